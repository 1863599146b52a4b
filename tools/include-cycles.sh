#!/usr/bin/env bash
# Checks the folders of src/ against include cycles: each subsystem folder (app, search, views,
# catalogue, actions) and each platform library (platform/<library>) is one node, an include of
# another node's header one edge; the graph must have no cycle. Also no panel's widget header
# includes another folder's widget header: panels meet through the narrow interfaces.
# Usage: tools/include-cycles.sh [--print]   (--print: the folder edges, "from -> to", one a line)
set -euo pipefail
cd "$(dirname "$0")/.."

edges=$(grep -rEo '^#include "[^"]+"' src --include='*.h' --include='*.cpp' \
  | awk -F'[:"]' '
      function node(path,  part, n) {
        n = split(path, part, "/")
        if (n == 1) return "main"
        return part[1] == "platform" ? part[1] "/" part[2] : part[1]
      }
      { from = $1; sub(/^src\//, "", from); f = node(from); t = node($3); if (f != t) print f, t }' \
  | sort -u)

if [ "${1:-}" = "--print" ]; then
  awk '{ print $1 " -> " $2 }' <<<"$edges"
  exit 0
fi

status=0
# tsort names the folders of a loop on standard error and fails.
if ! loop=$(tsort <<<"$edges" 2>&1 >/dev/null); then
  echo "include-cycles: the folders under src/ include each other in a loop:" >&2
  sed 's/^tsort: //' <<<"$loop" >&2
  status=1
fi

crossing=$(grep -rHEn '^#include "[a-z]+/widgets/' src/*/widgets --include='*.h' \
  | awk -F'[:"]' '{ own = $1; sub(/^src\//, "", own); split(own, a, "/"); split($4, b, "/"); if (a[1] != b[1]) print }')
if [ -n "$crossing" ]; then
  echo "include-cycles: a widget header includes another folder's widget header:" >&2
  echo "$crossing" >&2
  status=1
fi
exit "$status"
