#!/usr/bin/env bash
# Installs the Debian packages Marlinq Solver needs to build, test and run, and the
# German locale the number-format tests run under. Only what is missing is installed;
# safe to run again. Works as root and as a user with sudo.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config git
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libomp-dev
  qt6-base-dev qt6-base-dev-tools qt6-charts-dev qt6-svg-dev libqt6opengl6-dev qt6-qpa-plugins
  libgl-dev libxkbcommon-dev
  xvfb xauth x11-apps fonts-dejavu-core xdotool imagemagick
  clang libclang-rt-14-dev
  locales time
  pybind11-dev python3-dev python3-numpy python3-pytest python3-matplotlib
  desktop-file-utils
  slurm-wlm munge
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    SUDO="sudo"
  else
    echo "install-deps: not root and no sudo; install these packages by hand: ${PACKAGES[*]}" >&2
  fi
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "All required packages are installed."
else
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # Wait for another apt/dpkg run to finish instead of failing on its lock.
  $SUDO apt-get -o DPkg::Lock::Timeout=600 update -qq
  $SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
fi

# Tests check that numbers in files keep a decimal point under a comma locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  echo "Generating locale de_DE.UTF-8"
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "install-deps: could not generate de_DE.UTF-8 (locale tests will skip)" >&2
fi
