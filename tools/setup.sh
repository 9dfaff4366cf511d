#!/usr/bin/env bash
# Installs what is missing, builds, and then either starts the game or runs every test.
#   bash tools/setup.sh game   - build and start ペブリオ
#   bash tools/setup.sh test   - build and run the whole test suite
# Works as root on a fresh Debian 12 machine; as another user it uses sudo for apt-get.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-game}
packages=(build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-multimedia-dev libgl-dev
  libicu-dev zlib1g-dev libdeflate-dev libgtest-dev libgmock-dev googletest libbenchmark-dev
  libsqlite3-dev sqlite3 libedit-dev
  fonts-ipafont-gothic fonts-motoya-l-maruberi
  xvfb xauth clang libclang-rt-14-dev clang-format)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build

case "$mode" in
  game)
    # The cues are looked up under the current directory, so the game runs from build/bin,
    # where the build copied oto/ beside the executable.
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
      echo
      echo "The game is built, but there is no display here (DISPLAY is not set)."
      echo "Start it under a virtual X server instead:"
      echo "  cd build/bin && xvfb-run -a ./pebrio"
      exit 0
    fi
    cmake --build build --target run ;;
  test)
    ctest --test-dir build --output-on-failure -j"$(nproc)" ;;
  *)
    echo "usage: tools/setup.sh game|test" >&2; exit 2 ;;
esac
