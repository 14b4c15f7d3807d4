#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Takes the README's screenshot: Paddock in a virtual display, started as a user starts it
# (Start, then the database typed into the chooser), running the stand-in server on a small
# world script. Needs the build in build/ (make build) and Debian's xvfb, xdotool and
# imagemagick; writes docs/screenshot.png.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/install-deps.sh xvfb xdotool imagemagick
paddock=$root/build/app/paddock
standin=$root/build/tools/stand-in-server/stand-in-server
[ -x "$paddock" ] && [ -x "$standin" ] || { echo "Build first: make build" >&2; exit 1; }

work=$(mktemp -d)
# A server outlives Paddock by design: the world started here is ended with the rest.
trap 'kill $(jobs -p) 2>/dev/null || true; pkill -f "$work/worlds/" || true
      wait 2>/dev/null || true; rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
export XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$HOME" "$XDG_CONFIG_HOME/paddock" "$XDG_RUNTIME_DIR" "$work/worlds"
chmod 700 "$XDG_RUNTIME_DIR"
printf '[General]\nMOOExecutableURL=%s\n' "$standin" >"$XDG_CONFIG_HOME/paddock/paddock.conf"
cat >"$work/worlds/castle.db" <<'WORLD'
stdout Dec 08 16:12:17: STARTING: Version 1.8.1 of the LambdaMOO server
stdout Dec 08 16:12:17: LOADING: castle.db
stdout Dec 08 16:12:18: LOADING: castle.db done, will dump new database on castle.db.new
stdout Dec 08 16:12:18: INTERN: 1204 allocations saved, 72 KiB
stdout Dec 08 16:12:18: LISTEN: #0 now listening on port 7777
stdout Dec 08 16:12:31: ACCEPT: #-5 on port 7777 from localhost, port 50122
stdout Dec 08 16:12:35: CONNECTED: Wizard (#2) on port 7777 from localhost, port 50122
stdout Dec 08 16:20:02: CHECKPOINTING on castle.db.new.#1# ...
stdout Dec 08 16:20:03: CHECKPOINTING on castle.db.new.#1# finished
WORLD

# Xvfb picks a free display and names it once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x640x24 -nolisten tcp 3>"$work/display" &
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(cat "$work/display")

QT_QPA_PLATFORM=xcb "$paddock" 2>"$work/paddock.err" &
window=""
for _ in $(seq 100); do
    window=$(xdotool search --onlyvisible --name '^Paddock' 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "Paddock's window did not appear:" >&2; cat "$work/paddock.err" >&2; exit 1; }
xdotool windowmove "$window" 0 0 windowsize "$window" 900 560 windowfocus "$window"
sleep 0.5
# Waits until a window whose title matches $1 is shown (or, with "gone", no longer is).
waitForWindow() {
    for _ in $(seq 150); do
        if xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; then
            [ "${2:-}" != gone ] && return 0
        else
            [ "${2:-}" = gone ] && return 0
        fi
        sleep 0.1
    done
    echo "Timed out waiting for \"$1\" ${2:-}" >&2
    exit 1
}
xdotool key --window "$window" ctrl+r
waitForWindow '^Please choose a MOO database'
sleep 1
xdotool type --delay 5 "$work/worlds/castle.db"
xdotool key Return
waitForWindow '^Please choose a MOO database' gone
sleep 2
import -window "$window" docs/screenshot.png
echo "Wrote docs/screenshot.png"
