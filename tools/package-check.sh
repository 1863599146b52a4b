#!/usr/bin/env bash
# Builds the Debian package in a build folder that is already built (tools/test.sh makes build/),
# checks it with lintian, validates its desktop entry and AppStream metadata, unpacks it into a
# temporary root (nothing is installed on the system) and starts the unpacked program with a
# temporary home and XDG folders: it must open the packaged sample catalogue (found through
# XDG_DATA_DIRS), keep its settings under XDG_CONFIG_HOME, and open the user's own catalogue once
# one lies in XDG_DATA_HOME/orvantis/.
#
# Which catalogue was opened is read from the saved platform selection: with no settings file
# every platform of the opened catalogue is selected, and the shut-down that SIGTERM starts saves
# them. The user's catalogue is a copy of the sample with one platform renamed.
# Usage: tools/package-check.sh [BUILD_FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
tools/deps.sh dpkg-dev desktop-file-utils appstream lintian
if [ ! -x "$build/orvantis" ] || [ ! -x "$build/orvantis-query" ]; then
  echo "package-check: build $build first (tools/test.sh)" >&2
  exit 1
fi
started=$(date +%s)

work=$(mktemp -d)
pid=""
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "package-check: FAILED: $*" >&2; exit 1; }

rm -f "$build"/orvantis_*.deb
(cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; fail "cpack"; }
debs=("$build"/orvantis_*_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "no single orvantis_<version>_<arch>.deb"
deb=${debs[0]}
packaged=$(date +%s)

root=$work/root
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/orvantis.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml >/dev/null \
  || { appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml; fail "AppStream metadata"; }

# Debian's own checks of the package: no error and no warning.
lint=$(lintian --fail-on error,warning "$deb" 2>/dev/null) || { echo "$lint" >&2; fail "lintian"; }
# The manuals in English and in Japanese, and the users' guide in Japanese.
for doc in man/man1/orvantis.1.gz man/man1/orvantis-query.1.gz man/ja/man1/orvantis.1.gz \
           man/ja/man1/orvantis-query.1.gz doc/orvantis/README.ja.md; do
  [ -f "$root/usr/share/$doc" ] || fail "no /usr/share/$doc in the package"
done

# Japanese search words are typed through an input method: the package recommends one.
case "$(dpkg-deb -f "$deb" Recommends)" in
  *"ibus-mozc | fcitx5-mozc"*) ;;
  *) fail "no input method recommended" ;;
esac

sample=$root/usr/share/orvantis/tevox20.mdb
[ -f "$sample" ] || fail "no sample catalogue in the package"

# The platforms of a catalogue as the platform list shows them, joined as the settings keep them.
platforms_of() {
  "$root/usr/bin/orvantis-query" "$1" "SELECT gt_pf, COUNT(*) as cnt FROM tevoxB GROUP BY gt_pf ORDER BY gt_pf ;" \
    | tail -n +2 | cut -f1 | paste -sd, -
}

# Waits up to $2 tenths of a second for the command in $1 to succeed.
wait_until() {
  local tries=$2
  until eval "$1"; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.1
  done
}

# A process that has ended stays a zombie until waited for: that counts as ended.
has_ended() {
  local state
  state=$(awk '/^State:/ { print $2 }' "/proc/$pid/status" 2>/dev/null) || return 0
  [ -z "$state" ] || [ "$state" = Z ]
}

catches_sigterm() {
  local mask
  mask=$(awk '/^SigCgt:/ { print $2 }' "/proc/$pid/status" 2>/dev/null) || return 1
  [ -n "$mask" ] && (( (16#$mask >> 14) & 1 ))
}

home=$work/home
data=$work/data
config=$work/config
mkdir -p "$home" "$config" "$work/run"
chmod 700 "$work/run"

# Starts the unpacked program and closes it with SIGTERM once it handles the signal and $1
# seconds have passed.
run_program_once() {
  env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen \
    XDG_DATA_HOME="$data" XDG_DATA_DIRS="$root/usr/share" XDG_CONFIG_HOME="$config" \
    XDG_RUNTIME_DIR="$work/run" "$root/usr/bin/orvantis" >"$work/out.log" 2>&1 &
  pid=$!
  wait_until catches_sigterm 300 || { cat "$work/out.log" >&2; fail "the program did not start"; }
  sleep "$1"
  kill -TERM "$pid"
  wait_until has_ended 600 || fail "the program did not end within 60 s of SIGTERM"
  local status=0
  wait "$pid" || status=$?
  pid=""
  [ "$status" -eq 0 ] || { cat "$work/out.log" >&2; fail "the program exited with $status"; }
  [ -f "$config/orvantis/tevo.ini" ] || fail "no settings written under XDG_CONFIG_HOME"
}

# The platform selection the last run saved (the settings file is CP932 with CRLF line ends).
saved_platforms() {
  { grep -a '^PFORMSTR=' "$config/orvantis/tevo.ini" || true; } | tr -d '\r' | cut -d= -f2-
}

# A SIGTERM that comes while the catalogue is still being read ends the program before any
# platform is listed, and nothing is saved of them; the program is then started again (without
# the settings that run saved) and given longer before the signal.
run_program() {
  local pause
  for pause in 0.3 1 3 8; do
    rm -f "$config/orvantis/tevo.ini"
    run_program_once "$pause"
    grep -aq '^PFORMSTR=' "$config/orvantis/tevo.ini" && return 0
  done
  fail "no platform selection saved, even with the signal 8 s after the start"
}

# 1. A fresh install: the packaged sample, found through XDG_DATA_DIRS.
expected=$(platforms_of "$sample")
[ -n "$expected" ] || fail "the sample catalogue lists no platform"
run_program
saved=$(saved_platforms)
[ "$saved" = "$expected" ] || fail "sample catalogue: saved platforms '$saved', expected '$expected'"
[ -z "$(find "$root" -iname 'tevo.ini')" ] || fail "settings written into the package's folders"
[ "$(stat -c %a "$config/orvantis")" = 700 ] || fail "settings folder not private"

# 2. The user's own catalogue wins from the next start.
mkdir -p "$data/orvantis"
perl -pe 's/PC-98/PC-99/g' "$sample" >"$data/orvantis/tevox20.mdb"
own=$(platforms_of "$data/orvantis/tevox20.mdb")
[ "$own" != "$expected" ] || fail "the user's catalogue lists the same platforms as the sample"
run_program
saved=$(saved_platforms)
[ "$saved" = "$own" ] || fail "user catalogue: saved platforms '$saved', expected '$own'"

echo "package-check: $(basename "$deb") OK in $(( $(date +%s) - started )) s" \
     "(package $(( packaged - started )) s, checks $(( $(date +%s) - packaged )) s)"
echo "  Depends: $(dpkg-deb -f "$deb" Depends)"
echo "  Recommends: $(dpkg-deb -f "$deb" Recommends)"
echo "  Suggests: $(dpkg-deb -f "$deb" Suggests)"
