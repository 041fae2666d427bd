#!/bin/sh
# Makes the fixtures of the library readers' tests (TagLib, Exiv2, libmediainfo, the volume
# probe on an image) with real tools, into the folder of this script, and prints what the
# reference tools (mutagen-inspect, exiftool, mediainfo, xorriso) report of them. Needs: sox,
# flac, opus-tools, ffmpeg, imagemagick, libimage-exiftool-perl, python3-mutagen, mediainfo,
# xorriso.
set -e
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
ff() { ffmpeg -nostdin -loglevel error -y "$@"; }

# --- Audio: one second of tone, small rates so the files stay small.
sox -n -r 8000 -c 1 -b 16 "$tmp/tone.wav" synth 1 sine 440
sox -n -r 16000 -c 2 -b 16 "$tmp/tone2.wav" synth 2 sine 440 sine 660
flac --silent -f -T TITLE="Flac Title" -T ARTIST="Flac Artist" -T ALBUM="Flac Album" -o tagged.flac "$tmp/tone.wav"
flac --silent -f --ogg -T TITLE="Ogg Flac" -o flac-in-ogg.oga "$tmp/tone.wav"
# The same written in one pass, by ffmpeg: the header's sample count stays 0.
ff -i "$tmp/tone.wav" -c:a flac -metadata title="One Pass Flac" one-pass-flac.oga
opusenc --quiet --title "Opus Title" --artist "Opus Artist" --album "Opus Album" "$tmp/tone2.wav" tagged.opus
# An Opus stream under the Vorbis name: the Ogg reader finds no Vorbis header.
opusenc --quiet --title "Opus In Ogg" "$tmp/tone.wav" opus-named.ogg
ff -i "$tmp/tone2.wav" -c:a aac -b:a 32k -metadata title="Aac Title" -metadata artist="Aac Artist" \
    -metadata album="Aac Album" aac.m4a
ff -i "$tmp/tone.wav" -c:a alac -metadata title="Alac Title" alac.m4a
ff -i "$tmp/tone2.wav" -c:a wmav2 -b:a 32k -metadata title="Wma Title" -metadata artist="Wma Artist" wma.wma
ff -i "$tmp/tone.wav" -write_id3v2 1 -metadata title="Aiff Title" tagged.aiff
ff -i "$tmp/tone.wav" -c:a wavpack -metadata title="Wv Title" -metadata album="Wv Album" tagged.wv
# WAV files the WAV reader leaves to TagLib: a LIST chunk before the samples (ffmpeg's way),
# and the extensible format of 24-bit or surround sound.
ff -i "$tmp/tone.wav" -metadata title="Wav Title" listed.wav
sox -n -r 8000 -c 3 -b 24 extensible.wav synth 1 sine 440

# --- Pictures: sizes from ImageMagick, EXIF written by exiftool.
exif() {
    exiftool -q -overwrite_original -DateTimeOriginal="2021:06:15 14:30:05" -Make="Canon" \
        -Model="Canon EOS 5D" "$@"
}
convert -size 64x48 gradient:red-blue -quality 60 exif.jpg && exif exif.jpg
convert -size 40x30 gradient:green-white -compress zip exif.tif && exif exif.tif
convert -size 32x24 gradient:white-black -quality 50 exif.webp && exif exif.webp
convert -size 20x10 xc:orange -quality 50 exif.heic && exif exif.heic
convert -size 20x10 xc:orange -quality 50 exif.avif && exif exif.avif
# Only a make, no date.
convert -size 16x16 xc:navy -quality 50 make-only.jpg && exiftool -q -overwrite_original -Make="NIKON" make-only.jpg

# --- Video: one second of a test picture and a tone in each container.
src="-f lavfi -i testsrc=size=64x48:rate=10:duration=1 -f lavfi -i sine=frequency=440:duration=1:sample_rate=8000"
ff $src -c:v libx264 -pix_fmt yuv420p -c:a aac -ac 2 -b:a 32k h264-aac.mp4
ff $src -c:v libvpx -b:v 50k -c:a libopus -ac 2 vp8-opus.webm
ff $src -c:v mpeg4 -c:a pcm_s16le -ac 1 mpeg4-pcm.mov
ff $src -c:v mpeg4 -c:a libmp3lame -ac 1 mpeg4-mp3.avi
ff $src -c:v mpeg2video -c:a mp2 -ac 2 mpeg2-mp2.ts
ff $src -c:v libx264 -pix_fmt yuv420p -c:a flac video-flac.mkv
ff $src -c:v mpeg2video -c:a ac3 -ac 2 -f vob mpeg2-ac3.vob

# --- A disc image.
mkdir -p "$tmp/iso/Folder" && echo hello >"$tmp/iso/Folder/a.txt"
xorriso -as mkisofs -quiet -V "PHOTOS_2021" -J -o small.iso "$tmp/iso" 2>/dev/null

echo "== mutagen (length, bit rate, sample rate; then the tags)"
for f in *.flac *.oga *.opus *.ogg *.m4a *.wma *.aiff *.wv *.wav; do
    /usr/bin/python3 -c 'import mutagen, sys; i = mutagen.File(sys.argv[1]).info
print(sys.argv[1], i.length, getattr(i, "bitrate", None), getattr(i, "sample_rate", None))' "$f"
    mutagen-inspect "$f" | grep =
done
echo "== exiftool"
exiftool -s -ImageWidth -ImageHeight -DateTimeOriginal -Make -Model *.jpg *.tif *.webp *.heic *.avif
echo "== mediainfo"
for f in *.mp4 *.webm *.mov *.avi *.ts *.mkv *.vob; do
    mediainfo --ParseSpeed=0 --Inform="General;$f %Duration% ms " "$f"
    mediainfo --ParseSpeed=0 --Inform="Video;%Width%x%Height% %Format% " "$f"
    mediainfo --ParseSpeed=0 --Inform="Audio;%Format% %Channel(s)%" "$f"
    echo
done
echo "== xorriso"
xorriso -indev small.iso -pvd_info 2>/dev/null | grep -i "volume id"
