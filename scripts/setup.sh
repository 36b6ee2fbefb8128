#!/usr/bin/env bash
# Installs the Debian packages the project needs, when any is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  googletest libgtest-dev nlohmann-json3-dev
  libssl-dev                                   # the digests of evidence files
  sqlite3 libsqlite3-dev                       # the tests' and benchmarks' reference only
  qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev
  qt6-translations-l10n                        # Qt's own dialogs in Chinese
  fonts-noto-cjk fonts-noto-color-emoji      # Chinese texts and the emoji of phone messages
  xvfb xauth x11-utils
  python3 time
  lintian desktop-file-utils man-db dpkg-dev file   # building and checking the Debian package
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
