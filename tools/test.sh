#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite (no display needed: the
# real-session lane, label realx, brings its own X server and window manager).
# Usage: tools/test.sh [--sanitize]
set -euo pipefail
cd "$(dirname "$0")/.."
# qt6ct: the real-session lane holds the layout against a platform theme's own font.
tools/deps.sh xvfb openbox xdotool x11-utils imagemagick fonts-noto-cjk qt6-translations-l10n clang-format qt6ct
# bsdtar: bench_disc times a copy out of an image against it, and the disc fuzz corpus is made
# with it.
tools/deps.sh libarchive-tools
# The real-session lane types Japanese through ibus with Anthy; where they cannot be installed,
# that one test skips.
tools/deps.sh dbus-daemon ibus ibus-anthy \
  || echo "test.sh: ibus and ibus-anthy could not be installed: the input-method test will skip" >&2
# The Wayland lane runs the program as a native client of a headless sway (with wtype for keys
# and grim for pictures) or weston; where they cannot be installed, its tests skip.
tools/deps.sh qt6-wayland sway weston wtype grim \
  || echo "test.sh: sway, weston, wtype or grim could not be installed: the Wayland lane will skip" >&2
# The sources keep the project's style before anything is built.
tools/format.sh --check
# The folders under src/ include each other without a cycle, and panels meet through interfaces.
tools/include-cycles.sh
build=build
# Our own code builds with shadowing and C-style casts as errors.
cmake_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANTIS_STRICT_WARNINGS=ON)
ctest_args=()
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  cmake_args=(-DCMAKE_BUILD_TYPE=Debug -DORVANTIS_SANITIZE=ON -DORVANTIS_STRICT_WARNINGS=ON)
  # The real-session and Wayland lanes look at what the window manager, the X server and the
  # compositor do; they run in the plain pass.
  ctest_args=(-LE 'realx|wayland')
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
# A compiler cache, where there is one, makes rebuilds of other checkouts cheap.
if command -v ccache >/dev/null; then
  cmake_args+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" "${cmake_args[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "${ctest_args[@]}"
