#!/bin/sh
# Builds the libFuzzer target of the ZIP walk, standalone against the walk's sources and the
# system QtCore. Not part of the main build.
#
#   fuzz/build-zip.sh [OUTDIR]      (default: build-zip-fuzz)
#   build-zip-fuzz/fuzz_zip -max_total_time=600 fuzz/corpus/zip
set -e
. "$(dirname "$0")/fuzz-common.sh"
fuzz_setup "${1:-$root/build-zip-fuzz}"
fuzz_compile acquire/TZipFile store/CatalogueLocale
fuzz_link fuzz_zip "$root/fuzz/zip_fuzzer.cpp"
echo "built: $out/fuzz_zip"
