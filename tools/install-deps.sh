#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, when missing.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config libgtest-dev libgmock-dev
          qt6-base-dev qt6-base-dev-tools libgl-dev xdg-utils
          clang libclang-rt-14-dev poppler-utils libssl-dev
          libewf-dev libvmdk-dev libvhdi-dev libqcow-dev libbfio-dev qemu-utils ewf-tools
          sleuthkit tzdata
          help2man man-db bash-completion desktop-file-utils appstream lintian dpkg-dev
          libblkid-dev dosfstools e2fsprogs fdisk
          libfuse3-dev fuse3)
# xmllint validates the DFXML reports in the tests; openssl dgst is the save-records benchmark's baseline.
packages+=(libxml2-utils openssl)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
