#!/bin/sh
# Builds the libFuzzer target of the catalogue's own files ("groups.tree" through the loader the
# program uses, the contents lists through their parser and the search's names, a checksum
# member), standalone against the whole of the layers the store stands on, the search's names
# and the system libraries. Not part of the main build.
#
#   fuzz/build-catalogue.sh [OUTDIR]      (default: build-catalogue-fuzz)
#   build-catalogue-fuzz/fuzz_catalogue -max_total_time=600 fuzz/corpus/catalogue
set -e
. "$(dirname "$0")/fuzz-common.sh"
fuzz_setup "${1:-$root/build-catalogue-fuzz}" libgcab-1.0 libmspack libxxhash
fuzz_compile $(fuzz_layer cabinet store) search/DiscNames
fuzz_link fuzz_catalogue "$root/fuzz/catalogue_fuzzer.cpp"
echo "built: $out/fuzz_catalogue"
