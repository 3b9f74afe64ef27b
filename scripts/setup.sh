#!/usr/bin/env bash
# Installs what the station needs to build and test on Debian 12, when it is missing.
set -euo pipefail
packages=(g++ cmake ninja-build pkg-config
          qt6-base-dev qt6-serialport-dev
          libsqlite3-dev libssl-dev googletest libgtest-dev libgmock-dev libbenchmark-dev
          fonts-liberation xvfb xauth python3 locales
          poppler-utils     # the PDF report test reads its pages back with pdftotext
          libreoffice-calc  # the export test opens the spreadsheet file in Calc
          clang libclang-rt-14-dev    # the fuzz targets: libFuzzer comes with clang's runtime
          dpkg-dev file lintian desktop-file-utils gzip  # the Debian package and its checks
          libcmark-dev      # the user guide's HTML, made from its Markdown at build time
          libpqxx-dev postgresql      # the shared archive (pg_trgm comes with it); its tests start a cluster of their own
          libcli11-dev                # vantacheck-cli's command line (header-only)
          libkainjow-mustache-dev     # the report site's HTML templates (header-only)
          chromium)                   # the report site's pages are checked in headless Chromium
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
