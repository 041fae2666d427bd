#!/bin/sh
# Builds the libFuzzer target of the cabinet reader, standalone (clang, ASan, UBSan) against
# the reader sources, the system QtCore and libmspack. Not part of the main build.
#
#   fuzz/build-cabinet.sh [OUTDIR]      (default: build-cabinet-fuzz)
#   build-cabinet-fuzz/fuzz_cabinet -max_total_time=600 fuzz/corpus/cab
set -e
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
out=${1:-$root/build-cabinet-fuzz}
mkdir -p "$out/obj"
CXX=${CXX:-clang++}
FLAGS="-std=c++20 -g -O1 -fPIC -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined
       -fno-sanitize-recover=undefined -I$root/src $(pkg-config --cflags Qt6Core libmspack)"
objects=""
for s in cabinet/TSTCabReader cabinet/ESTCabinet core/TextCodec; do
    o="$out/obj/$(echo "$s" | tr / _).o"
    $CXX $FLAGS -c "$root/src/$s.cpp" -o "$o"
    objects="$objects $o"
done
$CXX $FLAGS -fsanitize=fuzzer "$here/cabinet_fuzzer.cpp" $objects $(pkg-config --libs Qt6Core libmspack) \
    -o "$out/fuzz_cabinet"
echo "built: $out/fuzz_cabinet"
