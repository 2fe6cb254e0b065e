#!/usr/bin/env bash
# Makes the fuzz seeds of the metadata readers: one small real file of each
# kind per folder, by Debian's encoders. usage: make_seeds.sh <dir>
set -euo pipefail
out=$1
rm -rf "$out"
mkdir -p "$out"/{mp3,wav,ogg,flac,mp4,wma}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sox -n -r 8000 -c 1 -b 16 "$tmp/s.wav" synth 1 sine 440 vol 0.5
lame --quiet -b 32 --tt Title --ta Artist --tl Album --ty 2001 --tn 3 --tg Rock --id3v2-only "$tmp/s.wav" "$out/mp3/v23.mp3"
lame --quiet -V 4 --tt "Ünï" --id3v2-utf16 --add-id3v2 "$tmp/s.wav" "$out/mp3/vbr_utf16.mp3"
lame --quiet -V 4 -t "$tmp/s.wav" "$out/mp3/vbr_noxing.mp3"
ff() { ffmpeg -nostdin -loglevel error -y "$@"; }
ff -i "$tmp/s.wav" -c:a libmp3lame -b:a 32k -id3v2_version 4 -metadata title=T4 -metadata artist=A4 "$out/mp3/v24.mp3"
ff -i "$tmp/s.wav" -metadata title=Wave -metadata artist=Band "$out/wav/list.wav"
oggenc -Q -t Title -a Artist -o "$out/ogg/a.ogg" "$tmp/s.wav"
flac -s -f -T TITLE=Title -T ARTIST=Artist -o "$out/flac/a.flac" "$tmp/s.wav"
ff -i "$tmp/s.wav" -c:a aac -b:a 16k -metadata title=Title -metadata artist=Artist -metadata track=3/9 -metadata genre=Rock "$out/mp4/last.m4a"
ff -i "$tmp/s.wav" -c:a aac -b:a 16k -metadata title=Title -movflags +faststart "$out/mp4/first.m4a"
ff -i "$tmp/s.wav" -c:a wmav2 -b:a 32k -metadata title=Title -metadata author=Artist "$out/wma/a.wma"
# Committed cases that once broke a parser.
cp "$(dirname "$0")"/cases/*.mp3 "$out/mp3/"
