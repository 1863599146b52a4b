#!/usr/bin/env bash
# Formats the C++ sources with the project's .clang-format, or with --check only reports the files
# that differ from it (and fails). Without file arguments it takes every tracked .cpp and .h.
# Usage: tools/format.sh [--check] [FILE...]
set -euo pipefail
cd "$(dirname "$0")/.."
check=0
if [ "${1:-}" = "--check" ]; then check=1; shift; fi
if [ $# -eq 0 ]; then
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
  files=("$@")
fi
[ ${#files[@]} -gt 0 ] || exit 0
if [ $check -eq 1 ]; then
  report=$(mktemp)
  trap 'rm -f "$report"' EXIT
  if ! clang-format --dry-run -Werror "${files[@]}" 2>"$report"; then
    grep -oE '^[^: ]+\.(cpp|h):[0-9]+:[0-9]+: (warning|error)' "$report" | cut -d: -f1 | sort -u \
      | sed 's/^/not formatted: /' >&2
    echo "run tools/format.sh to format them" >&2
    exit 1
  fi
else
  clang-format -i "${files[@]}"
fi
