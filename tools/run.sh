#!/usr/bin/env bash
# Installs what is missing, builds, and starts Orvantis on the bundled sample catalogue.
# The build's own lines are shown only when it fails.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh fonts-noto-cjk qt6-translations-l10n xdg-utils
log=$(mktemp)
if ! { cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  && cmake --build build -j"$(nproc)" --target orvantis orvantis-query; } >"$log" 2>&1; then
  cat "$log" >&2
  rm -f "$log"
  echo "run.sh: the build failed" >&2
  exit 1
fi
rm -f "$log"
# A session without a runtime folder (root on a console, su, a container): the toolkit wants one
# of the user's own, so the program gets a private one, kept for the next run.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR="${TMPDIR:-/tmp}/orvantis-runtime-$(id -u)"
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
  if [ -L "$XDG_RUNTIME_DIR" ] || [ ! -O "$XDG_RUNTIME_DIR" ]; then
    echo "run.sh: $XDG_RUNTIME_DIR is not this user's own folder" >&2
    exit 1
  fi
  chmod 700 "$XDG_RUNTIME_DIR"
  export XDG_RUNTIME_DIR
fi
# The program reads tevox20.mdb and tevo.ini from its own folder; the build puts the sample there.
exec build/orvantis "$@"
