#!/bin/sh
# Builds one libFuzzer target per media metadata reader, standalone (clang, ASan, UBSan)
# against the reader sources and the system QtCore. Not part of the main build.
#
#   fuzz/build-media.sh [OUTDIR]      (default: build-media-fuzz)
#   build-media-fuzz/fuzz_media_mp3 -max_total_time=600 fuzz/corpus/mp3
set -e
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
out=${1:-$root/build-media-fuzz}
mkdir -p "$out/obj"
CXX=${CXX:-clang++}
FLAGS="-std=c++20 -g -O1 -fPIC -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined
       -fno-sanitize-recover=undefined -I$root/src $(pkg-config --cflags Qt6Core)"
SOURCES="acquire/MediaBytes acquire/TID3v1 acquire/TID3v2 acquire/TMPEGaudio acquire/TWAVFile acquire/TOggVorbis
         acquire/ImgSize acquire/HtmlTitle acquire/MediaReaders core/TextCodec store/CatalogueLocale"
objects=""
for s in $SOURCES; do
    o="$out/obj/$(echo "$s" | tr / _).o"
    $CXX $FLAGS -c "$root/src/$s.cpp" -o "$o"
    objects="$objects $o"
done
for kind in Mp3 Wav Ogg Gif Png Jpeg Bmp Html; do
    name=$(echo "$kind" | tr 'A-Z' 'a-z')
    $CXX $FLAGS -fsanitize=fuzzer -DMEDIA_READER="$kind" "$here/media_fuzzer.cpp" $objects \
        $(pkg-config --libs Qt6Core) -o "$out/fuzz_media_$name"
done
echo "built: $(ls "$out" | grep fuzz_media_ | tr '\n' ' ')"
