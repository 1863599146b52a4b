#!/usr/bin/env bash
# Makes the disc image reader's seed corpus (fuzz/corpus/disc) with bsdtar (libarchive-tools):
# small ISO 9660 images with Rock Ridge and Joliet names, Joliet only, plain names, hard and
# symbolic links, and names patched to ".." and "/". Each seed is one byte choosing the folder to
# copy (see fuzz_disc.cpp) followed by the image, its zero padding cut off.
set -euo pipefail
cd "$(dirname "$0")"
../tools/deps.sh libarchive-tools
out=corpus/disc
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

tree=$work/tree
mkdir -p "$tree/UTIL/SS/POINT/DATA" "$tree/util/pc" "$tree/A" "$tree/B"
printf 'MZ point' >"$tree/UTIL/SS/POINT/POINT.EXE"
printf 'stage' >"$tree/UTIL/SS/POINT/DATA/Stage1.dat"
printf 'setup' >"$tree/util/pc/Setup.exe"
printf 'shared' >"$tree/A/IN"
ln "$tree/A/IN" "$tree/B/LINKED"
: >"$tree/A/EMPTY"
ln -s ../../../../etc/passwd "$tree/UTIL/SS/POINT/UP"
mkdir -p "$tree/UTIL/QQ/QQ"
printf 'escaped' >"$tree/UTIL/QQ/QQ/OUT.TXT"

# seed NAME SELECTOR [bsdtar options...]
seed() {
  local name=$1 selector=$2; shift 2
  (cd "$tree" && bsdtar -cf "$work/$name.iso" --format iso9660 "$@" .)
  python3 - "$work/$name.iso" "$out/$name" "$selector" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
end = (len(data.rstrip(b'\0')) + 2047) // 2048 * 2048
open(sys.argv[2], 'wb').write(bytes([int(sys.argv[3])]) + data[:end])
PY
}
seed rockridge-joliet 2
seed joliet 1 --options '!rockridge'
seed plain 2 --options '!rockridge,!joliet'
seed links 3
seed whole 0
# Names patched after writing: QQ becomes ".." and "/e"; a Rock Ridge name gets a line feed, a
# Joliet name an unpaired surrogate. Then the child's output as its parent reads it.
python3 - "$out" <<'PY'
import sys
base = sys.argv[1]
data = open(base + '/rockridge-joliet', 'rb').read()
open(base + '/dotdot', 'wb').write(bytes([1]) + data[1:].replace(b'QQ', b'..'))
open(base + '/slash', 'wb').write(bytes([1]) + data[1:].replace(b'QQ', b'/e'))
open(base + '/linefeed', 'wb').write(bytes([2]) + data[1:].replace(b'Stage1', b'St\nag1'))
joliet = open(base + '/joliet', 'rb').read()
open(base + '/surrogate', 'wb').write(bytes([2]) + joliet[1:].replace(b'\0S\0t\0a\0g\0e', b'\xd8\0\0t\0a\0g\0e'))
open(base + '/child-news', 'wb').write(bytes([8]) + b'size 10 2\nprogress 4\nprogress 10\n')
open(base + '/child-listing', 'wb').write(bytes([8]) + b'listing 5 2\nUTIL/A\0UTIL/B\nC\0')
PY
ls -l "$out"
