#!/bin/sh
# Builds one libFuzzer target per media metadata reader, standalone against the reader sources
# and the system QtCore. Not part of the main build.
#
#   fuzz/build-media.sh [OUTDIR]      (default: build-media-fuzz)
#   build-media-fuzz/fuzz_media_mp3 -max_total_time=600 fuzz/corpus/mp3
set -e
. "$(dirname "$0")/fuzz-common.sh"
# The library readers are the libraries as the system has them, not instrumented: the fuzzer
# finds what the program's own side does with what they hand back.
fuzz_setup "${1:-$root/build-media-fuzz}" taglib exiv2 libmediainfo
fuzz_compile acquire/MediaBytes acquire/TID3v1 acquire/TID3v2 acquire/TMPEGaudio acquire/TWAVFile \
    acquire/TOggVorbis acquire/ImgSize acquire/HtmlTitle acquire/TagLibReader acquire/ExifReader \
    acquire/VideoReader acquire/VolumeProbe acquire/MediaReaders store/CatalogueLocale
for kind in Mp3 Wav Ogg Gif Png Jpeg Bmp Html Audio Exif Video DiscImage; do
    fuzz_link "fuzz_media_$(echo "$kind" | tr 'A-Z' 'a-z')" "$root/fuzz/media_fuzzer.cpp" -DMEDIA_READER="$kind"
done
echo "built: $(ls "$out" | grep fuzz_media_ | tr '\n' ' ')"
