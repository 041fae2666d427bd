#!/bin/sh
# Builds the libFuzzer target of the cabinet reader, standalone against the reader sources, the
# system QtCore and libmspack. Not part of the main build.
#
#   fuzz/build-cabinet.sh [OUTDIR]      (default: build-cabinet-fuzz)
#   build-cabinet-fuzz/fuzz_cabinet -max_total_time=600 fuzz/corpus/cab
set -e
. "$(dirname "$0")/fuzz-common.sh"
fuzz_setup "${1:-$root/build-cabinet-fuzz}" libmspack
fuzz_compile cabinet/TSTCabReader cabinet/CabinetSet cabinet/MspackSystem cabinet/ESTCabinet
fuzz_link fuzz_cabinet "$root/fuzz/cabinet_fuzzer.cpp"
echo "built: $out/fuzz_cabinet"
