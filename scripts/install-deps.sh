#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Skedcast need.
# Safe to run again: only what is missing is installed.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config      # build
  libgtest-dev libgmock-dev             # unit and scenario tests
  libsndfile1-dev                       # WAV files (on-air rendering)
  libasound2-dev                        # sound cards (ALSA)
  libsystemd-dev                        # readiness, status and watchdog under systemd (sd_notify)
  libinih-dev                           # the station settings file (INI)
  nlohmann-json3-dev                    # the control socket's JSON replies
  libhamlib-dev libgpiod-dev            # keying a rig through Hamlib, a Linux GPIO line
  libhamlib-utils                       # rigctld's dummy rig, which the keying tests key
  libmicrohttpd-dev libsodium-dev       # the web page (HTTP/HTTPS from the station's loop; the password's hash)
  openssl                               # the web page's test makes a certificate for HTTPS
  qt6-base-dev libgl-dev fonts-dejavu-core  # the windows (Qt 6 Widgets) and a fixed-pitch font
  libqt6svg6                            # the window's icon (SVG)
  xdotool                               # the window test's clicks under Xvfb
  minimodem multimon-ng sox             # decoders that check what goes on the air
  fldigi xvfb pulseaudio pulseaudio-utils  # PSK31 decoded by fldigi, headless (Xvfb, a private PulseAudio)
  clang libclang-rt-14-dev              # fuzz targets (libFuzzer)
  chromium chromium-driver python3-selenium  # the web page's test in a real browser (headless)
  python3 libx11-6                      # test helpers (the X window checks use libX11 through ctypes)
  tzdata
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is installed"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
