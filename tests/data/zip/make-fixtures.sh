#!/bin/sh
# Makes the ZIP fixtures of the archive-listing tests with other programs' writers. Run from
# anywhere; writes into the folder of this script. Needs: zip, fastjar, python3; a JDK's jar
# when present (openjdk.jar is kept otherwise).
set -e
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A small tree with a folder, a nested folder, an odd-sized file and a compressible one.
mkdir -p "$tmp/tree/docs/img" "$tmp/tree/empty"
printf 'hello\n' > "$tmp/tree/a.txt"
printf '12345' > "$tmp/tree/docs/five.txt"
python3 -c "import sys; sys.stdout.write('line of text\n' * 250)" > "$tmp/tree/docs/long.txt"
printf '0123456789' > "$tmp/tree/docs/img/icon.bin"
find "$tmp/tree" -exec touch -d '2004-03-01 10:20:30' {} +
touch -d '2001-09-09 01:46:40' "$tmp/tree/docs/img/icon.bin"

# Info-ZIP writing to a pipe: every entry's sizes follow its data in a descriptor.
(cd "$tmp/tree" && zip -q -r - . | cat > "$OLDPWD/infozip-pipe.zip")
# Info-ZIP reading the data from standard input too: the entry is "-", its local sizes are
# the ZIP64 marker and the true ones are in the descriptor.
printf 'read from standard input\n' | zip -q - - | cat > infozip-stdin.zip
# Info-ZIP forced to ZIP64 (local sizes in ZIP64 extra fields, a ZIP64 end record), with an
# archive comment after the end record.
rm -f infozip-zip64.zip
(cd "$tmp/tree" && printf 'An archive comment, PK and all\n' | zip -q -r -fz -z "$OLDPWD/infozip-zip64.zip" .)

# jar writers: fastjar states sizes in the local headers; the JDK's jar defers them and marks
# names as UTF-8.
rm -f fastjar.jar
(cd "$tmp/tree" && fastjar cf "$OLDPWD/fastjar.jar" a.txt docs)
if command -v jar >/dev/null; then
    rm -f openjdk.jar
    (cd "$tmp/tree" && jar cf "$OLDPWD/openjdk.jar" a.txt docs)
fi

# Python's zipfile: into a stream that cannot seek (descriptors, a 5-byte entry that puts the
# next header off the 4-byte steps, a UTF-8 name); with ZIP64 local headers forced; and a
# streamed archive whose central directory states sizes above 4 GB, as a ZIP64 writer records
# them (the data itself is small).
python3 - <<'PY'
import zipfile

class Stream:
    def __init__(self, f): self.f = f
    def write(self, b): return self.f.write(b)
    def flush(self): self.f.flush()
    def tell(self): return self.f.tell()
    def seekable(self): return False

S, D = zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED
items = [('folder/', b'', S, (2004, 3, 1, 10, 20, 30)),
         ('folder/five.txt', b'12345', S, (2004, 3, 1, 10, 20, 30)),
         ('folder/deep/long.txt', b'line of text\n' * 250, D, (1999, 12, 31, 0, 0, 0)),
         ('Caf\u00e9.txt', b'x', S, (2020, 2, 29, 23, 59, 58)),
         ('top.bin', bytes(range(256)) * 3, D, (2010, 6, 15, 8, 9, 10))]

def write(z, n, data, method, when, **kw):
    i = zipfile.ZipInfo(n, when)
    i.compress_type = method
    with z.open(i, 'w', **kw) as w:
        w.write(data)

with open('python-stream.zip', 'wb') as f:
    with zipfile.ZipFile(Stream(f), 'w') as z:
        for n, data, method, when in items:
            write(z, n, data, method, when)

with zipfile.ZipFile('python-zip64.zip', 'w') as z:
    for n, data, method, when in items:
        write(z, n, data, method, when, force_zip64=True)

with open('python-over4g.zip', 'wb') as f:
    with zipfile.ZipFile(Stream(f), 'w') as z:
        for n, data, method, when in items[1:3]:
            write(z, n, data, method, when)
        big = z.infolist()[1]
        big.file_size = 5 * 2**30 + 7
        big.compress_size = 4 * 2**30 + 123
PY
ls -l
