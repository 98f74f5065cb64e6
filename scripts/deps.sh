#!/usr/bin/env bash
# Installs the Debian packages the build and its tests need, and only those that are missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ccache python3
  libsoxr-dev libsndfile1-dev
  # The vector sine of the curve's wide block forms; a processor without AVX, emulated, for the
  # test that the module still runs there.
  libsleef-dev qemu-user
  libgtest-dev libgmock-dev libbenchmark-dev
  # The editor's drawing backend: Cairo, FreeType text, PNG and JPEG decoding, SVG.
  libcairo2-dev librsvg2-dev libfreetype-dev libpng-dev libjpeg62-turbo-dev
  # The editor's font, embedded at build time.
  fonts-roboto-unhinted
  # The LV2 binding, and the LV2 hosts and validator its tests drive.
  lv2-dev liblilv-dev lilv-utils sordi lv2file ecasound
  # The VST3 binding's ABI declarations (travesty, in dpf-source).
  dpf-source
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  # The editor's X11 window: xcb with MIT-SHM, Present and XKB, xkbcommon for keys; its tests' own
  # Xvfb server, driven through XTEST.
  libxcb1-dev libxcb-shm0-dev libxcb-present-dev libxcb-xkb-dev libxkbcommon-dev
  libxkbcommon-x11-dev libxcb-xtest0-dev xvfb xauth
  # corvane-host editor's tests drive its window as a user would and look at it.
  xdotool x11-utils imagemagick
  # The editor's clipboard, tested against another X client that copies and pastes.
  xclip
  # The editor's installed fonts, looked up by family and style; the tests look for DejaVu Sans.
  libfontconfig-dev fonts-dejavu-core
  # The LV2 UI in a host nobody here wrote: jalv's GTK front end, on a JACK server of its own.
  jalv jackd2
)
# Without what they recommend: Ardour's headless tools need none of its video or GUI extras.
lean_packages=(ardour)

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
