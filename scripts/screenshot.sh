#!/usr/bin/env bash
# Makes docs/screenshot.png: the real program under Xvfb with a hybrid invoice opened by a
# double click, the services played by erechnung-fake-service on 127.0.0.1. Builds the
# program into build-screenshot/ pointed at that stand-in.
#   scripts/screenshot.sh --no-rendering   makes docs/screenshot-eingebaut.png instead:
#   the rendering service answers 503, so the window shows the built-in view.
#   scripts/screenshot.sh --built-in-check  makes docs/screenshot-pruefung.png: the user
#   chose the built-in checks, so report and view are the program's own, without network.
set -euo pipefail
SERVICE_ARGS=()
OUT=docs/screenshot.png
SHOW_XML=
CHECK=
case "${1:-}" in
  --no-rendering)
    SERVICE_ARGS=(--no-rendering)
    OUT=docs/screenshot-eingebaut.png
    SHOW_XML="xdotool mousemove 63 215 click 1; sleep 3" ;;  # the switch to XML
  --built-in-check)
    OUT=docs/screenshot-pruefung.png
    CHECK='Pruefung=Eingebaut\r\n'
    SHOW_XML="xdotool mousemove 63 215 click 1; sleep 3" ;;
esac
cd "$(dirname "$0")/.."
scripts/deps.sh
command -v xdotool >/dev/null && command -v import >/dev/null \
  || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends xdotool imagemagick >/dev/null

WORK=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$WORK"' EXIT
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')

BUILD=build-screenshot
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DERECHNUNG_SERVICE_URL="https://127.0.0.1:$PORT" -DERECHNUNG_SERVICE_CA_FILE="$WORK/ca.pem" >/dev/null
cmake --build "$BUILD" --target erechnung-eingang erechnung-fake-service

"$BUILD/tests/erechnung-fake-service" --port "$PORT" --ca-out "$WORK/ca.pem" "${SERVICE_ARGS[@]}" >/dev/null &
sleep 1

# A user with a hotfolder that holds one hybrid invoice.
export HOME="$WORK/home" XDG_RUNTIME_DIR="$WORK/runtime"
mkdir -p "$HOME/.local/share" "$XDG_RUNTIME_DIR" "$WORK/Eingang" "$WORK/Archiv" "$WORK/Problem"
chmod 700 "$XDG_RUNTIME_DIR"
printf "[Main]\r\nHotfolderPfad=%s\r\nDMSPfad=%s\r\nProblemPfad=%s\r\nMailDisabled=1\r\n$CHECK" \
  "$WORK/Eingang" "$WORK/Archiv" "$WORK/Problem" > "$HOME/.local/share/erechnungseingang.ini"
SAMPLE=../shared/corpus/zf-corpus__zugferd_2p0_EN16931_Einfach.pdf
if [ -f "$SAMPLE" ]; then
  cp "$SAMPLE" "$WORK/Eingang/Rechnung 471102.pdf"
else
  cp tests/data/invoice-utf8.xml "$WORK/Eingang/Rechnung 471102.xml"
fi

mkdir -p docs
xvfb-run -a -s "-screen 0 1920x1080x24" bash -c "
  '$BUILD/app/erechnung-eingang' >/dev/null 2>&1 &
  sleep 5
  xdotool mousemove 300 31 click 1 sleep 0.2 click --repeat 2 --delay 80 1
  sleep 8
  $SHOW_XML
  import -window root -crop 1799x878+0+0 $OUT
  kill %1
"
echo "$OUT"
