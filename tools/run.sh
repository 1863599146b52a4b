#!/usr/bin/env bash
# Installs what is missing, builds, and starts Orvantis on the bundled sample catalogue.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh fonts-noto-cjk qt6-translations-l10n xdg-utils
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target orvantis orvantis-query
# The program reads tevox20.mdb and tevo.ini from its own folder; the build puts the sample there.
exec build/orvantis "$@"
