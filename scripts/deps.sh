#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need, and only those
# that are missing. Needs root (or sudo) when something is missing.
#   scripts/deps.sh package   also what building and checking the Debian package needs
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-webengine-dev libxkbcommon-dev
  libpoppler-qt6-dev libqpdf-dev libcurl4-openssl-dev libxml2-dev libsqlite3-dev libssl-dev libgmime-3.0-dev
  qtkeychain-qt6-dev
  libcpp-httplib-dev zlib1g-dev
  xvfb xauth fonts-dejavu-core fonts-crosextra-carlito
  dovecot-imapd qpdf poppler-utils openssl ca-certificates
  libglib2.0-bin gvfs gvfs-daemons dbus gnome-keyring
)
if [ "${1:-}" = "package" ]; then
  PACKAGES+=(git debhelper dpkg-dev lintian desktop-file-utils appstream)
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
