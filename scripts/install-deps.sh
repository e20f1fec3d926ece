#!/usr/bin/env bash
# Installs the Debian packages Marlinq Solver needs to build, test and run.
# Only missing packages are installed; safe to run again.
set -euo pipefail
# On the way out: the tests also run under a comma locale (de_DE.UTF-8); generate it if missing.
trap 'command -v localedef >/dev/null && ! locale -a 2>/dev/null | grep -qix de_DE.utf8 && $([ "$(id -u)" -ne 0 ] && echo sudo) localedef -i de_DE -f UTF-8 de_DE.UTF-8 || true' EXIT

PACKAGES=(
  build-essential cmake pkg-config git
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libomp-dev
  qt6-base-dev qt6-base-dev-tools libqt6charts6-dev libqt6svg6-dev qt6-qpa-plugins
  libgl-dev libxkbcommon-dev
  xvfb xauth x11-apps fonts-dejavu-core
  clang libclang-rt-14-dev
  locales
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "All required packages are installed."
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
