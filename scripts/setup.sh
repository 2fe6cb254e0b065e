#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need. Idempotent:
# quiet when everything is already there.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config clang mold
  libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev sqlite3
  libcrypto++-dev zlib1g-dev libminizip-dev libicu-dev
  libid3-3.8.3-dev libid3-tools
  libogg-dev libvorbis-dev libflac-dev
  libcurl4-openssl-dev libstb-dev libblkid-dev libglib2.0-dev shared-mime-info
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev libmp3lame-dev
  curl python3 sox lame flac vorbis-tools ffmpeg libtag1-dev
  chromium
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
