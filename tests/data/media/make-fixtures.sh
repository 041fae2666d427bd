#!/bin/sh
# Makes the media fixtures of the metadata-reader tests with real tools. Run from anywhere;
# writes into the folder of this script. Needs: sox, lame, ffmpeg, vorbis-tools (oggenc),
# python3-mutagen (mid3v2, for an ID3v2.4 tag), imagemagick, gifsicle, python3.
set -e
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# --- WAV: canonical 44-byte PCM headers, mono and stereo, 8 and 16 bit.
sox -n -r 44100 -c 2 -b 16 stereo16.wav synth 0.3 sine 440
sox -n -r 44100 -c 1 -b 16 mono16.wav synth 0.5 sine 440
sox -n -r 8000 -c 1 -b 8 mono8.wav synth 2.5 sine 440
sox -n -r 11025 -c 2 -b 8 stereo8.wav synth 1.5 sine 440

# --- MP3: one second of stereo tone, encoded several ways.
sox -n -r 44100 -c 2 -b 16 "$tmp/tone.wav" synth 1 sine 440 sine 660
sox -n -r 22050 -c 1 -b 16 "$tmp/tone22.wav" synth 1 sine 440
sox -n -r 8000 -c 1 -b 16 "$tmp/tone8.wav" synth 1 sine 440
# CBR 128 kbit/s with only a version-1 tag, fields padded with blanks.
lame --quiet -b 128 --cbr --id3v1-only --space-id3v1 \
    --tt "Blank Padded" --ta "Lame Artist" --tl "Lame Album" "$tmp/tone.wav" cbr128-id3v1.mp3
# VBR with a Xing header and a version-2.3 tag (lame writes major version 3).
lame --quiet -V 2 --id3v2-only --tt "Xing Title" --ta "Xing Artist" --tl "Xing Album" \
    "$tmp/tone.wav" vbr-xing-id3v23.mp3
# CBR with a version-1 tag, then a version-2.4 tag in front of it.
lame --quiet -b 64 --cbr --id3v1-only --tt "V1 Title" --ta "V1 Artist" --tl "V1 Album" \
    "$tmp/tone.wav" cbr64-id3v24-id3v1.mp3
mid3v2 --quiet -t "V24 Title" -a "V24 Artist" -A "V24 Album" cbr64-id3v24-id3v1.mp3 2>/dev/null ||
    mid3v2 -t "V24 Title" -a "V24 Artist" -A "V24 Album" cbr64-id3v24-id3v1.mp3
# No tag at all; MPEG-2 mono VBR (Xing header at the short offset); MPEG-2.5 CBR.
lame --quiet -b 160 --cbr "$tmp/tone.wav" cbr160-notag.mp3
lame --quiet -V 5 -m m "$tmp/tone22.wav" mpeg2-mono-vbr.mp3
lame --quiet -b 16 --cbr -m m "$tmp/tone8.wav" mpeg25-cbr16.mp3
# Constant rate with an "Info" header in a first frame of a higher rate than the rest, as
# ffmpeg writes it: MPEG-1, MPEG-2 and MPEG-2.5.
ff() { ffmpeg -nostdin -loglevel error -y "$@"; }
ff -f lavfi -i sine=duration=3.3 -ac 2 -ar 44100 -c:a libmp3lame -b:a 32k info-mpeg1-32k.mp3
ff -f lavfi -i sine=duration=3.3 -ac 1 -ar 22050 -c:a libmp3lame -b:a 24k info-mpeg2-24k.mp3
ff -f lavfi -i sine=duration=3.3 -ac 1 -ar 8000 -c:a libmp3lame -b:a 8k info-mpeg25-8k.mp3

# --- Ogg Vorbis with the three comments; and one without comments.
oggenc --quiet -q 0 -t "Ogg Title" -a "Ogg Artist" -l "Ogg Album" -o tagged.ogg "$tmp/tone.wav"
oggenc --quiet -q 0 -o plain.ogg "$tmp/tone22.wav"
# A picture of 50 KB (as base64, 67 KB) before the title: the comment packet fills a page and
# goes on to the next.
oggenc --quiet -q 0 -o "$tmp/cover.ogg" "$tmp/tone22.wav"
python3 -c "
import base64, random
random.seed(7)
print('METADATA_BLOCK_PICTURE=' + base64.b64encode(bytes(random.getrandbits(8) for _ in range(50000))).decode())
print('TITLE=Behind The Picture')
print('ARTIST=Pictured Artist')" > "$tmp/cover.txt"
vorbiscomment -w -c "$tmp/cover.txt" "$tmp/cover.ogg" cover-art.ogg

# --- Pictures.
convert -size 37x21 gradient:red-blue bmp3:bottomup.bmp
# ImageMagick writes bottom-up bitmaps only: turn the same picture top-down (negative height,
# rows reversed), which is how other programs store it.
python3 - bottomup.bmp topdown.bmp <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
offset, = struct.unpack_from('<I', data, 10)
width, height = struct.unpack_from('<ii', data, 18)
bpp, = struct.unpack_from('<H', data, 28)
stride = (width * bpp // 8 + 3) & ~3
rows = [data[offset + i * stride: offset + (i + 1) * stride] for i in range(height)]
struct.pack_into('<i', data, 22, -height)
data[offset:offset + height * stride] = b''.join(reversed(rows))
open(sys.argv[2], 'wb').write(data)
PY
# An OS/2 1.x bitmap: the 12-byte header with 16-bit sizes.
convert -size 37x21 gradient:red-blue bmp2:os2.bmp
convert rose: -quality 85 baseline.jpg
convert rose: -quality 85 -interlace Plane progressive.jpg
# A logical screen larger than the first image, and a full 256-entry global colour table.
convert -seed 7 -size 40x30 xc: +noise Random -colors 256 -set page 64x48+3+4 gif89a.gif
# Extensions before the first image holding commas: an icon with its author's comment, as old
# web icons carry one; an animation whose loop count (NETSCAPE2.0 application extension) and
# comment come before a first frame smaller than the logical screen.
convert -size 20x22 gradient:red-blue -set comment "Public domain icon, by A. Author, 1996" comment-icon.gif
convert -delay 20 \( -size 12x9 xc:red -set page 30x20+2+3 \) \( -size 30x20 xc:blue -set page +0+0 \) \
    -loop 0 "$tmp/anim.gif"
gifsicle --comment "made by gifsicle, twice, with commas" --loopcount=forever "$tmp/anim.gif" > loop-anim.gif
convert rose: rose.png

# --- Files that are not what their names say.
python3 -c "import random,sys; random.seed(42); sys.stdout.buffer.write(bytes(random.getrandbits(8) for _ in range(4096)))" > random.mp3
head -c 20 rose.png > truncated.png
printf 'MAC \226\017\000\000' > notogg.ape
python3 -c "import random,sys; random.seed(43); sys.stdout.buffer.write(bytes(random.getrandbits(8) for _ in range(3000)))" >> notogg.ape

# --- HTML pages.
printf '<html>\r\n<head>\r\n<TITLE>\r\n  Quarterly report\r\n  second line\r\n</TITLE>\r\n</head><body></body></html>\r\n' > multiline.html
printf '<html><head><title>Tom &amp; Jerry &lt;&gt;show&copy</title></head></html>\n' > entities.html
printf '<html><head><title lang="en">With attributes</title></head></html>\n' > attributes.html
printf '<HTML><HEAD><TiTlE>Caf\351 menu</TiTlE></HEAD></HTML>\n' > cp1252.html

ls -l
