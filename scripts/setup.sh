# Shared by the demo, test and package commands: installs the Debian packages that are missing
# (apt-get update at most once; the names hold on Debian 12, 13 and testing) and builds the
# program in build/.
set -euo pipefail

root_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${PROLUT_BUILD_DIR:-$root_dir/build}

required_packages=(
  cmake make g++ pkg-config
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev ffmpeg
  libgtest-dev
  opencolorio-tools
)

install_missing_packages() {
  local missing=() package
  for package in "${required_packages[@]}" "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  if [ -z "${apt_lists_updated:-}" ]; then
    $sudo apt-get update -qq
    apt_lists_updated=yes
  fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build_program() {
  cmake -S "$root_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  cmake --build "$build_dir" -j "$(nproc)"
}
