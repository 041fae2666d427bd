#!/bin/sh
# Runs fuzz targets one after another, each until it has made RUNS executions or spent SECONDS
# (the first reached), at the lowest priority. New inputs go to a scratch folder, never into
# fuzz/corpus/ (which keeps only what found a fault); logs and crash files go to LOGDIR.
#
#   fuzz/run-all.sh LOGDIR TARGET...
#   TARGET: cabinet, catalogue, zip, or media_<kind> (mp3 wav ogg gif png jpeg bmp html audio exif
#           video discimage)
#   RUNS, SECONDS_EACH, FUZZ_BUILD (folder holding the build-*-fuzz folders) from the environment.
set -e
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
logs=$1
shift
runs=${RUNS:-10000000}
seconds=${SECONDS_EACH:-1800}
builds=${FUZZ_BUILD:-$root}
mkdir -p "$logs"
for t in "$@"; do
    case $t in
    media_*) bin=$builds/build-media-fuzz/fuzz_$t corpus=${t#media_} ;;
    cabinet) bin=$builds/build-cabinet-fuzz/fuzz_cabinet corpus=cab ;;
    *) bin=$builds/build-$t-fuzz/fuzz_$t corpus=$t ;;
    esac
    work=$logs/work-$t
    mkdir -p "$work"
    start=$(date +%s)
    status=0
    nice -n 19 "$bin" -runs="$runs" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$logs/$t-" "$work" "$here/corpus/$corpus" \
        >"$logs/$t.log" 2>&1 || status=$?
    echo "$t: exit $status, $(($(date +%s) - start)) s, $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$logs/$t.log" | grep -o '[0-9]*$') executions" \
        >>"$logs/summary.txt"
done
