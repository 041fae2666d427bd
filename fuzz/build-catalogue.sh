#!/bin/sh
# Builds the libFuzzer target of the catalogue text files ("groups.tree" and the contents
# lists), standalone (clang, ASan, UBSan) against the store's sources and the system QtCore.
#
#   fuzz/build-catalogue.sh [OUTDIR]      (default: build-catalogue-fuzz)
#   build-catalogue-fuzz/fuzz_catalogue -max_total_time=600 fuzz/corpus/catalogue
set -e
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
out=${1:-$root/build-catalogue-fuzz}
mkdir -p "$out/obj"
CXX=${CXX:-clang++}
FLAGS="-std=c++20 -g -O1 -fPIC -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined
       -fno-sanitize-recover=undefined -I$root/src $(pkg-config --cflags Qt6Core)"
objects=""
for s in store/TCD store/TreeNode store/GroupTree store/TreeFile core/TextCodec store/ContentsList; do
    o="$out/obj/$(echo "$s" | tr / _).o"
    $CXX $FLAGS -c "$root/src/$s.cpp" -o "$o"
    objects="$objects $o"
done
# GroupTree is a QObject: its meta-object code comes from moc.
/usr/lib/qt6/libexec/moc -I"$root/src" "$root/src/store/GroupTree.h" -o "$out/moc_GroupTree.cpp"
$CXX $FLAGS -c "$out/moc_GroupTree.cpp" -o "$out/obj/moc_GroupTree.o"
$CXX $FLAGS -fsanitize=fuzzer "$here/catalogue_fuzzer.cpp" $objects "$out/obj/moc_GroupTree.o" \
    $(pkg-config --libs Qt6Core) -o "$out/fuzz_catalogue"
echo "built: $out/fuzz_catalogue"
