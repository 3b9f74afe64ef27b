#!/usr/bin/env bash
# Builds the Debian package of the station (Release) into dist/, then checks it as Debian
# would: lintian (errors fail the run) and desktop-file-validate on its desktop entry.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DVANTA_BUILD_TESTS=OFF -DVANTA_BUILD_BENCH=OFF "$@" >/dev/null
cmake --build build-package -j "$(nproc)"
rm -f dist/vantacheck_*.deb
(cd build-package && cpack -G DEB >/dev/null)
deb=$(ls dist/vantacheck_*.deb)
echo "Built $deb"

# The warnings kept on purpose are listed in packaging/lintian-kept.txt with the reason.
suppress=$(grep -v '^#' packaging/lintian-kept.txt | cut -d' ' -f1 | paste -sd, - || true)
lintian --fail-on error ${suppress:+--suppress-tags "$suppress"} "$deb"
scratch=$(mktemp -d)
dpkg-deb -x "$deb" "$scratch"
desktop-file-validate "$scratch/usr/share/applications/vantacheck.desktop"
rm -rf "$scratch"
echo "lintian and desktop-file-validate: no errors"
