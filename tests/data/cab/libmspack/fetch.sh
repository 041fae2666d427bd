#!/bin/sh
# Copies libmspack's own cabinet test files from Debian's libmspack 0.11 source package.
# The set's parts are renamed to the names each part announces for its neighbour
# ("cabd_multi_basic_ptN.cab"), so the chain can be followed as a real set would be.
set -e
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
cd "$work"
cat > src.sources <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
mkdir -p lists/partial
apt-get -o Dir::Etc::SourceList="$work/src.sources" -o Dir::Etc::SourceParts=/dev/null \
    -o Dir::State::Lists="$work/lists" update -qq
apt-get -o Dir::Etc::SourceList="$work/src.sources" -o Dir::Etc::SourceParts=/dev/null \
    -o Dir::State::Lists="$work/lists" source --download-only libmspack
tar xzf libmspack_*.orig.tar.gz
src=$(echo libmspack-*/test/test_files/cabd)
cp "$src/mszip_lzx_qtm.cab" "$src/normal_2files_2folders.cab" "$here/"
for i in 1 2 3 4 5; do cp "$src/multi_basic_pt$i.cab" "$here/cabd_multi_basic_pt$i.cab"; done
mkdir -p "$here/hostile"
cp "$src"/cve-*.cab "$src/lzx-main-tree-no-lengths.cab" "$src"/filename-read-violation-*.cab \
   "$src"/bad_*.cab "$src"/partial_*.cab "$here/hostile/"
rm -rf "$work"
