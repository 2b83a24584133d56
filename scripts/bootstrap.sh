# Shared set-up of run.sh and test.sh: installs the Debian packages that are
# missing, then configures and builds. Sourced, not run.

DUOSCOPE_PACKAGES=(build-essential cmake ninja-build pkg-config
  qtbase5-dev libopencv-dev libqwt-qt5-dev libbenchmark-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad)
# Making and checking the Debian package: dpkg-shlibdeps (dpkg-dev) and file,
# which CPack uses to find the programs in it, and the validators of the
# launcher entry and the software-centre description.
# shellcheck disable=SC2034 # used by the scripts that source this file
DUOSCOPE_PACKAGING_PACKAGES=(dpkg-dev file desktop-file-utils appstream)

# duoscope_install_packages [extra packages...]
# Installs only what is missing, so a second run costs a dpkg query and no network.
duoscope_install_packages() {
  local missing=() pkg
  for pkg in "${DUOSCOPE_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# duoscope_build <build dir> [cmake arguments...]
duoscope_build() {
  # Lets ccache (used when installed) share objects between checkouts.
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja "$@"
  cmake --build "$dir" --parallel "$(nproc)"
}
