#!/usr/bin/env bash
# Sets up the machine, builds, prepares the demo player and runs the device
# manager (irivmgr) in the foreground on it. Ctrl-C closes the manager.
#
# The demo player lives in $HUB_DEMO_DIR (default ~/.local/share/hub-demo/player);
# the web server listens on 8049 unless KW_PortT says otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# Only the programs started below (the tests and benchmarks are built by test.sh).
HUB_TARGETS="hubwarden hubreg hubplat kdpcall" bash scripts/build.sh build

export HUBREG=$PWD/build/apps/hubreg/hubreg
kdpcall=$PWD/build/apps/kdpcall/kdpcall
hubplat=$PWD/build/apps/hubplat/hubplat
manager=$PWD/build/apps/hubwarden/irivmgr
key='Software\Quorral Software\Tarveld Explorer'
demo=${HUB_DEMO_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/hub-demo}
player=$demo/player

# The demo player: a folder labelled "H300" with a few tagged tracks, bound as a player.
if [[ ! -d $player ]]; then
  mkdir -p "$demo"
  bash scripts/make-demo-player.sh "$player" --register
  # The family's rebuild marker: the first connect builds the player's
  # database from the files already on it.
  : >"$player/Tarveld.iDB"
fi

# What the installer writes: the product key and the installed device support
# (bit 31: device families, bit 18: the player, its web server and tray icon).
"$HUBREG" create "$key"
"$HUBREG" set "$key" Vad_InstallResult dword 0x80040000
# The install folder (the key's default value): the shell library and the send-to launchers.
"$HUBREG" set "$key" "" sz "$PWD/build/lib/hubshell"
# Skins and the account file live in the application data folder; the
# manager installs the default skin there at start.
if ! "$HUBREG" get "$key" Gen_AppDataDir >/dev/null 2>&1; then
  "$HUBREG" set "$key" Gen_AppDataDir sz "${XDG_DATA_HOME:-$HOME/.local/share}/hub"
fi
# The codec libraries the readers and the conversion load at run time.
shared='Software\Quorral Software\Shared'
"$HUBREG" create "$shared"
"$HUBREG" set "$shared" libFLAC.dll sz libFLAC.so.12
"$HUBREG" set "$shared" ogg.dll sz libogg.so.0
"$HUBREG" set "$shared" vorbis.dll sz libvorbis.so.0
port=$("$HUBREG" get "$key" KW_PortT 2>/dev/null || true)
[[ $port =~ ^[0-9]+$ && $port -ge 1 && $port -le 65535 ]] || port=8049

# Once the manager runs: connect as Explorer would, and say what can be streamed.
(
  for _ in $(seq 100); do
    "$hubplat" list 2>/dev/null | grep -q KDPWNC_TV && break
    sleep 0.1
  done
  "$kdpcall" Connect 0 >/dev/null || exit 0
  out=$("$kdpcall" GetFirstTrack 2>/dev/null) || exit 0
  echo "Tracks on the player (stream one with curl -o track URL):"
  # The device keeps the walk's place, so each GetNextTrack answers the next one.
  for _ in $(seq 500); do
    [[ $out =~ ^R\ 0 ]] && break
    id=$(sed -n 's/^id \([0-9]*\),.*/\1/p' <<<"$out")
    [[ -n $id ]] || break
    path=$("$kdpcall" GetTrackFilePath "$id" 2>/dev/null | sed -n 's/^T //p')
    name=$(python3 -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1]))' "${path##*[\\/]}")
    echo "  http://127.0.0.1:$port/stream/$id/$name"
    out=$("$kdpcall" GetNextTrack 2>/dev/null) || break
  done
) &

echo "Starting irivmgr (tray: build/apps/hubplat/hubplat tray; Ctrl-C closes it)"
HUB_UI_DRIVER=${HUB_UI_DRIVER:-terminal} exec "$manager"
