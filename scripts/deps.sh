#!/usr/bin/env bash
# Installs the Debian packages Corvane needs, and only those that are missing.
#   scripts/deps.sh          what building it and running the demo need
#   scripts/deps.sh --tests  that, and the hosts, servers and tools the test suite drives
set -euo pipefail

build_packages=(
  build-essential cmake pkg-config ccache
  libsoxr-dev libsndfile1-dev
  # The vector sine of the curve's wide block forms.
  libsleef-dev
  # The editor's drawing backend: Cairo, FreeType text, PNG and JPEG decoding, SVG.
  libcairo2-dev librsvg2-dev libfreetype-dev libpng-dev libjpeg62-turbo-dev
  # The editor's font, embedded at build time.
  fonts-roboto-unhinted
  # The LV2 binding's headers; the VST3 binding's ABI declarations (travesty, in dpf-source).
  lv2-dev dpf-source
  # The editor's X11 window: xcb with MIT-SHM, Present and XKB, xkbcommon for keys; fontconfig
  # for the installed fonts it looks up by family and style.
  libxcb1-dev libxcb-shm0-dev libxcb-present-dev libxcb-xkb-dev libxkbcommon-dev
  libxkbcommon-x11-dev libfontconfig-dev
)
test_packages=(
  python3
  libgtest-dev libgmock-dev libbenchmark-dev
  # A processor without AVX, emulated, for the test that the module still runs there.
  qemu-user
  # The LV2 hosts and validator the tests drive.
  liblilv-dev lilv-utils sordi lv2file ecasound
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  # The tests' own Xvfb server, driven through XTEST.
  libxcb-xtest0-dev xvfb xauth
  # corvane-host editor's tests drive its window as a user would and look at it.
  xdotool x11-utils imagemagick
  # The editor's clipboard, tested against another X client that copies and pastes.
  xclip
  # The tests look for DejaVu Sans among the installed fonts.
  fonts-dejavu-core
  # The LV2 UI in a host nobody here wrote: jalv's GTK front end, on a JACK server of its own.
  jalv jackd2
  # The .deb is made by CPack and its dependencies found by dpkg-shlibdeps.
  dpkg-dev
)
# Without what they recommend: Ardour and Qtractor need none of their extras (video, docs).
lean_test_packages=(ardour qtractor)

packages=("${build_packages[@]}")
lean_packages=()
case "${1:-}" in
  "") ;;
  --tests)
    packages+=("${test_packages[@]}")
    lean_packages+=("${lean_test_packages[@]}")
    ;;
  *)
    echo "deps.sh: unknown option '$1' (use --tests, or nothing)" >&2
    exit 2
    ;;
esac

missing() {
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      echo "$p"
    fi
  done
}

mapfile -t needed < <(missing "${packages[@]}")
mapfile -t needed_lean < <(missing "${lean_packages[@]}")
if [ ${#needed[@]} -gt 0 ] || [ ${#needed_lean[@]} -gt 0 ]; then
  echo "Installing: ${needed[*]} ${needed_lean[*]}"
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  $SUDO apt-get update -qq
  if [ ${#needed[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${needed[@]}"
  fi
  if [ ${#needed_lean[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
      "${needed_lean[@]}"
  fi
fi
