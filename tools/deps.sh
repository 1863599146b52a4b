#!/usr/bin/env bash
# Installs the Debian packages the build and tests need, only those that are missing.
# Usage: tools/deps.sh [extra packages...]
set -euo pipefail
packages=(build-essential cmake pkg-config qt6-base-dev libgl-dev libsqlite3-dev mdbtools-dev
          libgtest-dev libgmock-dev libarchive-dev "$@")
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
