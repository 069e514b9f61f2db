#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, and nothing when all are there.
# Safe to run again and again; needs root (or sudo) only when something is missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build make pkg-config
  libicu-dev libsqlite3-dev libcli11-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  tzdata man-db bsdextrautils bash-completion ccache
  libxlsxwriter-dev libzip-dev libexpat1-dev
  libical-dev python3 python3-xlrd python3-xlwt python3-openpyxl python3-dateutil gnumeric
  sqlite3
  libwxgtk3.2-dev xvfb xauth imagemagick
  clang-16 libclang-rt-16-dev llvm-16
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "Installing: ${missing[*]}" >&2
sudo=()
if [[ $(id -u) -ne 0 ]]; then
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
