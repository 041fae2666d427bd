#!/bin/sh
# Makes the cabinet fixtures of the backup tests. Run from anywhere; writes next to itself.
#   gcab (Debian package gcab): single cabinets, MSZIP and stored, with and without folders.
#   cabarc of Wine (Debian package wine64, /usr/lib/wine/wine64 cabarc): a two-part cabinet set;
#     gcab cannot write sets. Needed only to remake set1.cab/set2.cab, not to build or test.
#   hostile/: cabinets shipped by Debian's libgcab-tests (/usr/libexec/installed-tests/libgcab-1.0),
#     damaged on purpose (Quantum and MSZIP decoder faults, a header that lies); copied as they are.
# Names with ".." or a leading "\" cannot be made by any tool; they are made by rewriting the
# name bytes of a gcab cabinet in place (names are not covered by any checksum).
set -e
here=$(cd "$(dirname "$0")" && pwd)
cd "$here"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p src
printf 'First member of the fixtures.\r\nSecond line.\r\n' > src/alpha.txt
printf 'Beta\r\n' > src/beta.txt
touch -d '2021-03-04 05:06:08' src/alpha.txt
touch -d '2019-11-30 23:58:00' src/beta.txt

# Single cabinets by gcab, bare names.
(cd src && gcab -c -z -n "$here/gcab-mszip.cab" alpha.txt beta.txt)
(cd src && gcab -c -n "$here/gcab-stored.cab" alpha.txt beta.txt)

# A member with a folder part.
mkdir -p "$work/f/sub"
cp src/alpha.txt "$work/f/sub/alpha.txt"
(cd "$work/f" && gcab -c -z "$here/folder-member.cab" sub/alpha.txt)

# ".." and a rooted name, rewritten from same-length names.
mkdir -p "$work/d/ab"
cp src/beta.txt "$work/d/ab/evil.txt"
(cd "$work/d" && gcab -c -z "$here/dotdot-member.cab" ab/evil.txt)
perl -0777 -pi -e 's/ab\\evil\.txt/..\\evil.txt/' dotdot-member.cab
cp src/beta.txt "$work/d/Xroot.txt"
(cd "$work/d" && gcab -c -z -n "$here/rooted-member.cab" Xroot.txt)
perl -0777 -pi -e 's/Xroot\.txt/\\root.txt/' rooted-member.cab
# A safe member followed by an unsafe one: nothing at all may be written.
cp src/alpha.txt "$work/d/ab/aaa.txt"
(cd "$work/d" && gcab -c -z "$here/mixed-member.cab" ab/aaa.txt ab/evil.txt)
perl -0777 -pi -e 's/ab\\aaa\.txt/abaaa0.txt/; s/ab\\evil\.txt/..\\evil.txt/' mixed-member.cab

# A two-part set (cabarc refuses parts under 50000 bytes, so the data must not compress).
if [ -x /usr/lib/wine/wine64 ]; then
    mkdir -p "$work/s"
    head -c 70000 /dev/urandom > "$work/s/part-a.bin"
    cp src/alpha.txt "$work/s/part-b.txt"
    (cd "$work/s" && WINEPREFIX="$work/wine" WINEDEBUG=-all /usr/lib/wine/wine64 cabarc -d 50000 -m mszip \
        n 'set*.cab' part-a.bin part-b.txt >/dev/null 2>&1)
    cp "$work/s/set1.cab" "$work/s/set2.cab" .
else
    echo "wine64 not installed: keeping the committed set1.cab and set2.cab" >&2
fi

# Damaged cabinets from libgcab's installed tests.
t=/usr/libexec/installed-tests/libgcab-1.0
if [ -d "$t" ]; then
    mkdir -p hostile
    cp "$t/CVE-2014-9556.cab" hostile/quantum-CVE-2014-9556.cab
    cp "$t/CVE-2015-4470.cab" hostile/mszip-CVE-2015-4470.cab
    cp "$t/CVE-2014-9732.cab" hostile/mszip-CVE-2014-9732.cab
    cp "$t/CVE-2015-4471.cab" hostile/header-CVE-2015-4471.cab
    cp "$t/test-signed.cab" reserved-header.cab
fi
ls -l "$here" "$here/hostile"
