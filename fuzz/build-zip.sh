#!/bin/sh
# Builds the libFuzzer target of the ZIP walk, standalone (clang, ASan, UBSan) against the
# walk's sources and the system QtCore. Not part of the main build.
#
#   fuzz/build-zip.sh [OUTDIR]      (default: build-zip-fuzz)
#   build-zip-fuzz/fuzz_zip -max_total_time=600 fuzz/corpus/zip
set -e
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
out=${1:-$root/build-zip-fuzz}
mkdir -p "$out/obj"
CXX=${CXX:-clang++}
FLAGS="-std=c++20 -g -O1 -fPIC -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined
       -fno-sanitize-recover=undefined -I$root/src -I$root/tests/common $(pkg-config --cflags Qt6Core)"
objects=""
for s in acquire/TZipFile core/TextCodec store/CatalogueLocale; do
    o="$out/obj/$(echo "$s" | tr / _).o"
    $CXX $FLAGS -c "$root/src/$s.cpp" -o "$o"
    objects="$objects $o"
done
$CXX $FLAGS -fsanitize=fuzzer "$here/zip_fuzzer.cpp" $objects $(pkg-config --libs Qt6Core) -o "$out/fuzz_zip"
echo "built: $out/fuzz_zip"
