#!/usr/bin/env bash
# Screenshots of Orvantis in a real desktop session (Xvfb with the openbox window manager), for
# looking at the window as a user sees it: both views at several sizes and at twice the scale, the
# first window without settings, platform themes (qt6ct: its own font, a dark palette) and the
# counts of a 150,000-entry catalogue, fractional scales (1.25, 1.5, 144 dots per inch), the window
# as a native Wayland client of a headless sway, and a library of CD copies: the wait dialog of a
# copy out of an image, each failure's message, the drive chooser keeping the saved drive. Also
# refreshes the two pictures the README shows.
# Usage: tools/screenshots.sh [OUTDIR] [library]   (default: build/screenshots; "library": the
# library's shots alone)
# Each shot starts the program on the sample catalogue from an application folder and home of its
# own, with a settings file that sizes the window to the screen and picks the view.
# The X display is the first free one of ORVANTIS_SHOT_DISPLAYS (default 80-89).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh xvfb xauth x11-utils x11-xserver-utils openbox imagemagick fonts-noto-cjk xdotool qt6-translations-l10n \
  libarchive-tools
tools/deps.sh qt6-wayland sway grim || echo "screenshots.sh: no sway or grim: no Wayland pictures" >&2
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build "${launcher[@]}" >/dev/null
cmake --build build -j2 --target orvantis >/dev/null
out=${1:-build/screenshots}
only=${2:-}
mkdir -p "$out"
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# Starts the X server on the first free display of ORVANTIS_SHOT_DISPLAYS, and the window manager,
# for one screen size. A display is ours once its lock file names our server.
range=${ORVANTIS_SHOT_DISPLAYS:-80-89}
session() { # width height
  local n
  for ((n = ${range%-*}; n <= ${range#*-}; n++)); do
    [ -e "/tmp/.X$n-lock" ] && continue
    # -noreset: the readiness check, the last client to leave, must not reset the server under
    # the window manager that connects next.
    Xvfb ":$n" -screen 0 "$1x$2x24" -nolisten tcp -noreset >>"$work/xvfb.log" 2>&1 &
    xvfb=$!; pids+=("$xvfb")
    export DISPLAY=:$n
    for _ in $(seq 100); do
      kill -0 "$xvfb" 2>/dev/null || break
      [ "$(cat "/tmp/.X$n-lock" 2>/dev/null | tr -d ' ')" = "$xvfb" ] && xprop -root >/dev/null 2>&1 && break 2
      sleep 0.05
    done
    kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; xvfb=
  done
  [ -n "$xvfb" ] || { echo "no X display free in $range:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
  HOME="$work/wmhome" XDG_CONFIG_HOME="$work/wmhome/config" openbox --sm-disable >>"$work/openbox.log" 2>&1 &
  wm=$!; pids+=("$wm")
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return; sleep 0.05
  done
  echo "openbox did not start on $DISPLAY:" >&2; cat "$work/openbox.log" >&2; exit 1
}

end_session() {
  kill "$wm" "$xvfb" 2>/dev/null || true
  wait "$wm" "$xvfb" 2>/dev/null || true
}

# What start_app runs the program through (nothing, or a private mount namespace).
wrap=()

# Where it can (as root, with unshare), the folder chooser's program runs in a mount namespace of
# its own in which two copies of a CD are mounted under /media, as a desktop mounts discs; the
# system's mounts stay as they are.
discs_wrapper() {
  [ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null || return 1
  unshare --mount --propagation private true 2>/dev/null || return 1
  mkdir -p "$work/disc12/UTIL/PC/TOOL" "$work/disc12/UTIL/SS/POINT" "$work/disc13/UTIL/GB"
  printf 'MZ' >"$work/disc12/UTIL/PC/TOOL/TOOL.EXE"
  cat >"$work/with-discs.sh" <<EOF
#!/bin/sh
set -e
mount -t tmpfs -o mode=755 media /media
mkdir -p "/media/お楽しみCD 12" /media/CD013
mount --bind "$work/disc12" "/media/お楽しみCD 12"
mount --bind "$work/disc13" /media/CD013
exec "\$@"
EOF
  chmod +x "$work/with-discs.sh"
  wrap=(unshare --mount --propagation private "$work/with-discs.sh")
}

# The window ids in xprop's output.
ids() { grep -o '0x[0-9a-f]*' || true; }

# Starts the program; returns once the first activation has ended: both load dialogs have come
# and gone (the window manager's client list has seen three windows and holds one again).
# Mode "-" starts without a settings file (width and height unused); $catalogue, when set, is
# the catalogue instead of the sample.
start_app() { # name mode width height [VAR=value...]
  local name=$1 mode=$2 w=$3 h=$4; shift 4
  app="$work/app-$name"
  mkdir -p "$app" "$work/home-$name/config" "$work/home-$name/run"
  chmod 700 "$work/home-$name/run"
  cp build/orvantis "$app/"
  cp "${catalogue:-data/sample/tevox20.mdb}" "$app/tevox20.mdb"
  [ "$mode" = - ] || printf '[DISP]\r\nMODE=%s\r\n[WINDOW]\r\nLEFT=0\r\nTOP=0\r\nWIDTH=%s\r\nHEIGHT=%s\r\nWINSATE=0\r\n' \
    "$mode" $((w * 15)) $((h * 15)) > "$app/tevo.ini"
  xprop -root -spy _NET_CLIENT_LIST > "$work/clients" 2>/dev/null &
  local spy=$!
  "${wrap[@]}" env HOME="$work/home-$name" XDG_CONFIG_HOME="$work/home-$name/config" \
    XDG_RUNTIME_DIR="$work/home-$name/run" "$@" "$app/orvantis" >/dev/null 2>&1 &
  prog=$!; pids+=("$prog")
  for _ in $(seq 300); do
    local seen last
    seen=$(ids < "$work/clients" | sort -u | wc -l)
    last=$(tail -n1 "$work/clients" | ids | wc -l)
    [ "$seen" -ge 3 ] && [ "$last" -eq 1 ] && break
    sleep 0.1
  done
  kill "$spy" 2>/dev/null || true
  wait "$spy" 2>/dev/null || true
  main=$(tail -n1 "$work/clients" | ids)
  sleep 0.5
}

stop_app() {
  kill "$prog" 2>/dev/null || true
  wait "$prog" 2>/dev/null || true
}

snap() { # name
  import -window root "$out/$1.png"
  echo "$out/$1.png"
}

# The window in both views at one screen size, the window filling the screen.
views() { # width height
  session "$1" "$2"
  for mode in 0 1; do
    local view=list; [ "$mode" = 1 ] && view=card
    start_app "$view-$1x$2" "$mode" "$1" "$2"
    snap "$view-$1x$2"
    stop_app
  done
  end_session
}

# The library of CD copies. The first entry is on volume 011 in UTIL\SS\POINT: the library holds
# it as an image, in turn whole and large, cut short, and with more than a copy may hold.
store_drive() { # name drive
  mkdir -p "$work/home-$1/config/MORVALEN"
  printf '[General]\nSelPath=%s\n' "$2" >"$work/home-$1/config/MORVALEN/Orvantis.conf"
}
make_image() { # image MB-per-file files
  local tree="$work/tree-$(basename "$1")"
  rm -rf "$tree"; mkdir -p "$tree/UTIL/SS/POINT"
  printf 'MZ' >"$tree/UTIL/SS/POINT/POINT.EXE"
  for ((i = 0; i < $3; i++)); do truncate -s "$2M" "$tree/UTIL/SS/POINT/DATA$i.BIN"; done
  (cd "$tree" && bsdtar -cf "$1" --format iso9660 .)
  rm -rf "$tree"
}
# The program's windows now, in the window manager's list.
windows() { xprop -root _NET_CLIENT_LIST | ids | wc -l; }
wait_windows() { # count
  for _ in $(seq 300); do [ "$(windows)" -ge "$1" ] && return; sleep 0.1; done
}
# Opens the entry's file from the drive given, then shows what came (a message) before leaving.
file_message() { # name drive [VAR=value...]
  local name=$1; store_drive "$name" "$2"; shift 2
  start_app "$name" 0 1024 768 "$@"
  xdotool key --window "$main" alt+u
  wait_windows 2
  sleep 0.5
  snap "$name"
  stop_app
}
library_shots() {
  session 1024 768
  mkdir -p "$work/lib-large" "$work/lib-cut" "$work/lib-over" "$work/lib-small"
  make_image "$work/lib-large/CD011.iso" 200 3
  make_image "$work/lib-small/CD011.iso" 1 1
  head -c 40000 "$work/lib-small/CD011.iso" >"$work/lib-cut/CD011.iso"
  make_image "$work/lib-over/CD011.iso" 1100 1
  # The copy under its wait dialog: the reader held once it has written a third or so.
  store_drive copy "$work/lib-large"
  start_app copy 0 1024 768
  xdotool key --window "$main" alt+u
  local reader=""
  for _ in $(seq 300); do
    reader=$(pgrep -P "$prog" || true)
    [ -n "$reader" ] && [ "$(du -sb "$work/home-copy/.cache/orvantis/volumes" 2>/dev/null | cut -f1)" -gt 200000000 ] \
      && break
    sleep 0.02
  done
  [ -n "$reader" ] && { kill -STOP "$reader" || true; }
  sleep 0.5
  snap library-copy-wait-dialog
  [ -n "$reader" ] && { kill -CONT "$reader" || true; }
  xdotool key Escape
  stop_app
  # Each failure's message.
  file_message library-message-damaged "$work/lib-cut"
  file_message library-message-over-1gib "$work/lib-over"
  mkdir -p "$work/not-writable"; printf 'a file' >"$work/not-writable/orvantis"
  file_message library-message-cache-not-writable "$work/lib-small" XDG_CACHE_HOME="$work/not-writable"
  if [ "$(id -u)" -eq 0 ] && unshare --mount --propagation private true 2>/dev/null; then
    mkdir -p "$work/small-disk"
    printf '#!/bin/sh\nmount -t tmpfs -o size=1m small "%s" && exec "$@"\n' "$work/small-disk" >"$work/small.sh"
    chmod +x "$work/small.sh"
    wrap=(unshare --mount --propagation private "$work/small.sh")
    file_message library-message-no-room "$work/lib-large" XDG_CACHE_HOME="$work/small-disk"
    wrap=()
  else
    echo "no private mount namespace: no shot of the full disk's message" >&2
  fi
  # Out of time: the reader held from the start, until the 15 s and a second per 32 MB that the
  # image allows are past.
  store_drive slow "$work/lib-large"
  start_app slow 0 1024 768
  xdotool key --window "$main" alt+u
  for _ in $(seq 100); do reader=$(pgrep -P "$prog" || true); [ -n "$reader" ] && break; sleep 0.02; done
  [ -n "$reader" ] && { kill -STOP "$reader" || true; }
  wait_windows 2
  sleep $((15 + $(stat -c %s "$work/lib-large/CD011.iso") / 33554432 + 2))
  snap library-message-out-of-time
  stop_app
  # The chooser opens on the saved drive; a folder typed that is not there is said.
  store_drive chooser "$work/lib-large"
  start_app chooser 0 1024 768
  xdotool key --window "$main" alt+d
  wait_windows 2
  sleep 3
  snap library-chooser-saved-drive
  xdotool key Tab Tab ctrl+a type "/no/such/folder"
  xdotool key Return
  wait_windows 3
  sleep 0.5
  snap library-chooser-missing-folder
  stop_app
  end_session
}
if [ "$only" = library ]; then
  library_shots
  exit 0
fi

views 1024 768
views 640 480
views 1600 900

session 1024 768
# A tool tip: the pointer rests on the mode button.
start_app tooltip 0 1024 768
xdotool mousemove --window "$main" 60 166 sleep 0.2 mousemove --window "$main" 62 168
sleep 1.5
snap tooltip-1024x768
stop_app
# The folder chooser of the drive button, in Japanese: the discs first, then one opened.
discs_wrapper || echo "no private mount namespace: the chooser is shown without discs" >&2
start_app folder 0 1024 768
wrap=()
xdotool key --window "$main" alt+d
for _ in $(seq 50); do
  [ "$(xprop -root _NET_CLIENT_LIST | ids | wc -l)" -ge 2 ] && break; sleep 0.1
done
sleep 1
snap folder-chooser-1024x768
# Into the tree: the first folder of the first disc, opened.
xdotool key Tab sleep 0.3 key Down sleep 0.3 key Right
sleep 0.8
snap folder-chooser-tree-1024x768
stop_app
# The card view stepped through: the next-entry button twice, then PageDown in the game name box.
start_app card-stepped 1 1024 768
xdotool mousemove --window "$main" 152 168 click 1 sleep 0.3 click 1 sleep 0.3 \
  mousemove --window "$main" 150 245 click 1 sleep 0.3 key Next
sleep 0.5
snap card-stepped-1024x768
stop_app
end_session

# Twice the scale: the window of 800 x 600 (logical pixels) takes twice the screen pixels.
session 1920 1440
start_app scale2-card 1 800 600 QT_SCALE_FACTOR=2
snap card-800x600-scale2
stop_app
start_app scale2-list 0 800 600 QT_SCALE_FACTOR=2
snap list-800x600-scale2
stop_app
end_session

# The first window, without settings, at twice the scale on a small screen: it fits the screen.
session 1024 768
start_app first-scale2 - 0 0 QT_SCALE_FACTOR=2
snap first-window-1024x768-scale2
stop_app
end_session

# Platform themes through qt6ct (when installed), each with a configuration of its own: none at
# all (its own application font), and a dark colour scheme.
if [ -e "$(qtpaths6 --query QT_INSTALL_PLUGINS 2>/dev/null)/platformthemes/libqt6ct.so" ]; then
  session 1024 768
  start_app qt6ct 1 1024 768 QT_QPA_PLATFORMTHEME=qt6ct
  snap card-1024x768-qt6ct
  stop_app
  for mode in 0 1; do
    view=list; [ "$mode" = 1 ] && view=card
    mkdir -p "$work/home-dark-$view/config/qt6ct"
    printf '[Appearance]\ncustom_palette=true\ncolor_scheme_path=/usr/share/qt6ct/colors/darker.conf\n' \
      > "$work/home-dark-$view/config/qt6ct/qt6ct.conf"
    start_app "dark-$view" "$mode" 1024 768 QT_QPA_PLATFORMTHEME=qt6ct
    snap "$view-1024x768-dark"
    stop_app
  done
  end_session
fi

# Big counts: a generated catalogue of 150,000 entries, at scale 1 and 2.
catalogue="$work/big.mdb"
python3 - "$catalogue" 150000 <<'PY'
import sqlite3, sys
path, n = sys.argv[1], int(sys.argv[2])
db = sqlite3.connect(path)
cols = ["gt_cdno", "gt_new", "gt_pf", "gt_game", "gt_maker", "gt_effect", "gt_file", "gt_exeenv", "gt_f_s",
        "gt_copyright", "gt_cdnod", "gt_folder", "gt_str1", "gt_str2", "gt_effecttmp"]
db.execute("CREATE TABLE tevoxB (%s)" % ", ".join(c + " TEXT" for c in cols))
pfs = ["PS", "SS", "PC", "MSX", "N64", "GB"]
def rows():
    for i in range(n):
        vol = 1 + i % 200
        game = "ゲーム %d" % i
        yield ["%03d" % vol, "♪" if i % 5 == 0 else None, pfs[i % len(pfs)], game, "メーカー %d" % (i % 97),
               "所持金MAX %d" % i, "E%d.EXE" % i, "Win95", "F", "作者",
               "%04d/%02d/01" % (1997 + vol // 12, vol % 12 + 1), "UTIL\\E%d" % i, game, "", ""]
db.executemany("INSERT INTO tevoxB VALUES (%s)" % ",".join("?" * 15), rows())
db.commit()
PY
session 1024 768
start_app big 0 1024 768
snap list-1024x768-150000
stop_app
end_session
session 1920 1440
start_app big-scale2 0 800 600 QT_SCALE_FACTOR=2
snap list-800x600-scale2-150000
stop_app
end_session
unset catalogue

# Fractional scales under X: the list at QT_SCALE_FACTOR 1.25 and 1.5, and with the X resources'
# 144 dots per inch; its grid lines are one screen pixel wide whatever the scale.
session 1280 1024
for scale in 1.25 1.5; do
  start_app "scale$scale" 0 800 600 QT_SCALE_FACTOR=$scale
  snap "list-800x600-scale$scale"
  stop_app
done
echo 'Xft.dpi: 144' | xrdb -merge
start_app dpi144 0 800 600
snap list-800x600-xft-dpi144
stop_app
end_session

# Native Wayland under a headless sway (as nobody when run as root: sway refuses root), pictured
# by grim: the list at QT_SCALE_FACTOR 1.25 and 1.5, and the first list of a start without
# settings (its columns fitted to the font: CD発売日 shows its dates whole).
if command -v sway >/dev/null && command -v grim >/dev/null; then
  wl="$work/wl"
  mkdir -p "$wl/run" "$wl/home"
  chmod 755 "$work" "$wl"
  chmod 700 "$wl/run"
  printf 'output HEADLESS-1 resolution 1280x960
for_window [app_id="orvantis"] floating enable, move position 0 0
' \
    > "$wl/sway.conf"
  asuser=()
  if [ "$(id -u)" -eq 0 ]; then
    asuser=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    chown -R 65534:65534 "$wl"
  fi
  wl_env=(env -i PATH=/usr/bin:/bin HOME="$wl/home" XDG_RUNTIME_DIR="$wl/run" LANG=C.UTF-8)
  "${wl_env[@]}" WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    "${asuser[@]}" sway -c "$wl/sway.conf" >"$work/sway.log" 2>&1 &
  pids+=($!)
  sock=
  for _ in $(seq 100); do
    sock=$(find "$wl/run" -maxdepth 1 -type s -name 'wayland-*' -printf '%f\n' | head -n1)
    [ -n "$sock" ] && break; sleep 0.1
  done
  wl_shot() { # name mode [VAR=value...]
    local name=$1 mode=$2 app="$wl/app-$1"; shift 2
    mkdir -p "$app"
    cp build/orvantis data/sample/tevox20.mdb "$app/"
    [ "$mode" = - ] || printf '[DISP]\r\nMODE=%s\r\n[WINDOW]\r\nWIDTH=12000\r\nHEIGHT=9000\r\nWINSATE=0\r\n' "$mode" \
      > "$app/tevo.ini"
    [ ${#asuser[@]} -eq 0 ] || chown -R 65534:65534 "$app"
    "${wl_env[@]}" WAYLAND_DISPLAY="$sock" QT_QPA_PLATFORM=wayland "$@" "${asuser[@]}" "$app/orvantis" >/dev/null 2>&1 &
    local p=$!; pids+=("$p")
    sleep 4
    "${wl_env[@]}" WAYLAND_DISPLAY="$sock" "${asuser[@]}" grim "$wl/home/shot.png"
    cp "$wl/home/shot.png" "$out/$name.png"
    echo "$out/$name.png"
    kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true
  }
  if [ -n "$sock" ]; then
    wl_shot wayland-list-scale1.25 0 QT_SCALE_FACTOR=1.25
    wl_shot wayland-list-scale1.5 0 QT_SCALE_FACTOR=1.5
    wl_shot wayland-first-list - 
  else
    echo "sway did not start: no Wayland pictures" >&2
  fi
else
  echo "sway or grim not installed: no Wayland pictures" >&2
fi

library_shots

# The README's pictures: the two views at 1024 x 768, in 64 colours without dithering to stay small.
mkdir -p docs
for view in list card; do
  convert "$out/$view-1024x768.png" +dither -colors 64 -strip "PNG8:docs/$view-view.png"
  echo "docs/$view-view.png"
done
