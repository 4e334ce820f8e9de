# shellcheck shell=bash
# Shared by the Wine runs (sourced): a fresh Wine prefix with the fonts a
# Windows machine has, and a private X display.
#
# Windows has Arial, Times New Roman and Courier New, the bitmap font
# MS Sans Serif and Tahoma; a fresh Wine prefix has none of them (a window
# asking for Arial falls back to a serif face). Debian has metric-compatible
# ones: the Liberation fonts, copied into the prefix's Fonts folder and named
# as the replacements of those three families, and fonts-wine's MS Sans Serif
# (sserife.fon; its TrueType copy is bitmap-only, which Windows' font loader
# refuses) and Tahoma.

# The Wine loader for a Windows program file, by the machine its PE header
# names: `wine` for x86 (32-bit Wine, Debian's wine32:i386), wine64 for x64.
wine_program() { # program.exe
  local header machine wine
  header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  machine=$(od -An -tx2 -j$((header + 4)) -N2 "$1" | tr -d ' ')
  case $machine in
  014c)
    if [ ! -e /usr/lib/wine/wine ] && [ ! -e /usr/lib/i386-linux-gnu/wine/wine ]; then
      echo "$1 is a 32-bit program and this machine has no 32-bit Wine (wine32:i386)" >&2
      return 1
    fi
    command -v wine
    ;;
  8664)
    wine=$(command -v wine64 || true)
    [ -n "$wine" ] || [ ! -x /usr/lib/wine/wine64 ] || wine=/usr/lib/wine/wine64
    [ -n "$wine" ] || wine=$(command -v wine)
    echo "$wine"
    ;;
  *)
    echo "$1 is not a Windows program for x86 or x64 (machine ${machine:-unreadable})" >&2
    return 1
    ;;
  esac
}

# What every Wine run here sets: no debug channels, no offer to install Mono
# or Gecko, and no menu entries written into the user's desktop for the
# Start-menu shortcuts an installer makes.
wine_environment() {
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
}

# Creates a prefix in a new temporary folder for the given loader and
# exports WINEPREFIX; the caller removes it with wine_prefix_remove.
wine_prefix_create() {
  local wine=$1
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/skarvet-wine.XXXXXX")
  # One prefix per architecture: the 32-bit loader makes a 32-bit one.
  WINEARCH=win32
  [ "$(basename "$wine")" != wine64 ] || WINEARCH=win64
  export WINEPREFIX WINEARCH
  wine_environment
  if ! DISPLAY='' timeout -k 10 180 "$wine" wineboot -i >"$WINEPREFIX.boot.log" 2>&1; then
    cat "$WINEPREFIX.boot.log" >&2
    echo "wineboot failed or took longer than 3 minutes" >&2
    return 1
  fi
  rm -f "$WINEPREFIX.boot.log"
  local fonts=$WINEPREFIX/drive_c/windows/Fonts family
  mkdir -p "$fonts"
  cp /usr/share/fonts/truetype/liberation/Liberation{Sans,Serif,Mono}-*.ttf \
    /usr/share/wine/fonts/{sserife.fon,tahoma.ttf,tahomabd.ttf} "$fonts/"
  for family in "Arial=Liberation Sans" "Times New Roman=Liberation Serif" \
    "Courier New=Liberation Mono"; do
    if ! DISPLAY='' timeout 60 "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' \
      /v "${family%%=*}" /d "${family#*=}" /f >"$WINEPREFIX.reg.log" 2>&1; then
      cat "$WINEPREFIX.reg.log" >&2
      rm -f "$WINEPREFIX.reg.log"
      echo "could not name ${family#*=} as the replacement of ${family%%=*} in the Wine prefix" >&2
      return 1
    fi
  done
  rm -f "$WINEPREFIX.reg.log"
  # The registry is written when the server ends.
  timeout 30 wineserver -w 2>/dev/null || true
}

wine_prefix_remove() {
  [ -n "${WINEPREFIX:-}" ] || return 0
  timeout 20 wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}

# Starts Xvfb on a free display, 1024 x 768 unless given another size
# (WIDTHxHEIGHT), and exports DISPLAY; XVFB_PID is its id.
xvfb_start() {
  local fifo display size=${1:-1024x768}
  fifo=$(mktemp -u "${TMPDIR:-/tmp}/skarvet-xvfb.XXXXXX")
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  XVFB_PID=$!
  read -r -t 30 display <"$fifo" || true
  rm -f "$fifo"
  if [ -z "$display" ]; then
    echo "Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=:$display
}

xvfb_stop() {
  [ -n "${XVFB_PID:-}" ] || return 0
  kill "$XVFB_PID" 2>/dev/null || true
  wait "$XVFB_PID" 2>/dev/null || true
  XVFB_PID=
}
