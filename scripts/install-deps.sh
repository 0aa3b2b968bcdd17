#!/bin/sh
# Debian 12 packages that the console, the agent, their tests, benchmarks and packages need.
set -e
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
  cmake ninja-build g++ clang libclang-rt-14-dev ccache pkg-config libssl-dev \
  qt6-base-dev qt6-base-dev-tools qt6-base-private-dev libqt6sql6-sqlite libgl-dev libxcb1-dev libx11-xcb-dev \
  xvfb xauth xdotool nftables dnsmasq-base libnftables-dev iproute2 \
  dpkg-dev lintian man-db desktop-file-utils systemd adduser >/dev/null
