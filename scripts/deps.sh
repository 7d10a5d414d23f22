#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# As root it runs apt-get; otherwise it prints the exact command and stops.
set -euo pipefail

packages=(
  build-essential cmake pkg-config   # compiler and build
  googletest libgtest-dev libgmock-dev # tests
  libncurses-dev                     # the terminal front end
  libssl-dev                         # MD5 for qab-mkimage and the device simulator
  iproute2 util-linux                # private network namespaces for the tests and the demo
  tmux curl tftpd-hpa                # terminal tests and peers that no one here wrote
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" = 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
  # tftpd-hpa's package starts a system service; the tests run their own.
  if command -v systemctl >/dev/null 2>&1; then systemctl stop tftpd-hpa >/dev/null 2>&1 || true; fi
else
  echo "Missing packages: ${missing[*]}" >&2
  echo "Install them with:" >&2
  echo "  sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
