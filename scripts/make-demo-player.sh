#!/usr/bin/env bash
# Makes a demo player: a folder bound as a player whose volume label is "H300"
# (the iRiver H-series family), holding a few short tagged tracks made here
# with sox, lame, oggenc and flac.
#
#   scripts/make-demo-player.sh <folder> [--register] [--serial HEX]
#
# Prints the HUB_FOLDER_PLAYERS entry that binds the folder; with --register
# also adds it to the "FolderPlayers" setting (through hubreg: $HUBREG, or the
# one in build/), so every program of the system finds the player.
set -euo pipefail

usage() { echo "usage: $0 <folder> [--register] [--serial HEX]" >&2; exit 2; }
[[ $# -ge 1 ]] || usage
folder=$1; shift
register=0
serial=48300001
while [[ $# -gt 0 ]]; do
  case $1 in
    --register) register=1 ;;
    --serial) [[ $# -ge 2 && $2 =~ ^[0-9A-Fa-f]{1,8}$ ]] || usage; serial=$2; shift ;;
    *) usage ;;
  esac
  shift
done
for tool in sox lame oggenc flac; do
  command -v "$tool" >/dev/null || { echo "$0: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done

mkdir -p "$folder"
folder=$(cd "$folder" && pwd)
if [[ -n "$(ls -A "$folder")" ]]; then
  echo "$0: $folder is not empty" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# tone <seconds> <frequency> <wav>: a short stereo tone with a fade.
tone() { sox -q -n -r 44100 -c 2 -b 16 "$3" synth "$1" sine "$2" fade 0.05 "$1" 0.3; }

# mp3|ogg|flac, artist, album, title, track number, genre, year, seconds, frequency
tracks=(
  "mp3|Aurora Tide|Northern Lights|First Light|1|Ambient|2019|3|440"
  "mp3|Aurora Tide|Northern Lights|Polar Drift|2|Ambient|2019|2|523"
  "ogg|The Copper Kettles|Steam|Whistle|1|Folk|2007|3|659"
  "flac|Mina Okafor|Low Tide|Blue Hour|3|Jazz|2021|2|349"
  "mp3|Café Sonore|Été Indien|Première|1|Chanson|1998|2|392"
)

for entry in "${tracks[@]}"; do
  IFS='|' read -r kind artist album title number genre year seconds freq <<<"$entry"
  wav="$work/tone.wav"
  tone "$seconds" "$freq" "$wav"
  dir="$folder/$artist"
  mkdir -p "$dir"
  out=$(printf '%s/%02d %s.%s' "$dir" "$number" "$title" "$kind")
  case $kind in
    mp3) lame --quiet -b 128 --id3v2-only --id3v2-utf16 --ta "$artist" --tl "$album" --tt "$title" \
           --tn "$number" --tg "$genre" --ty "$year" "$wav" "$out" ;;
    ogg) oggenc --quiet -q 3 -a "$artist" -l "$album" -t "$title" -N "$number" -G "$genre" -d "$year" \
           -o "$out" "$wav" ;;
    flac) flac --silent --best -T "ARTIST=$artist" -T "ALBUM=$album" -T "TITLE=$title" \
            -T "TRACKNUMBER=$number" -T "GENRE=$genre" -T "DATE=$year" -o "$out" "$wav" ;;
  esac
done

entry="$folder|H300|$serial"
if [[ $register == 1 ]]; then
  hubreg=${HUBREG:-$(dirname "$0")/../build/apps/hubreg/hubreg}
  [[ -x $hubreg ]] || { echo "$0: hubreg not found (build first, or set HUBREG)" >&2; exit 1; }
  key='Software\Quorral Software\Shared'
  "$hubreg" create "$key"
  old=$("$hubreg" get "$key" FolderPlayers 2>/dev/null || true)
  if [[ -n $old ]]; then entry="$old;$entry"; fi
  "$hubreg" set "$key" FolderPlayers sz "$entry"
  echo "registered: $folder as a player labelled H300"
else
  echo "HUB_FOLDER_PLAYERS='$entry'"
fi
