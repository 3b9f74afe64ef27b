#!/usr/bin/env bash
# Draws every picture of the technician's guide again (docs/guide/pictures) with the station
# of this checkout, then makes the guide's HTML. Run it after changing a screen, look at the
# pictures, and commit them with the change.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target vantacheck-guide-pictures
build/guide/vantacheck-guide-pictures docs/guide/pictures
cmake --build build --target vanta_guide_html
echo "Pictures in docs/guide/pictures, the guide in build/guide/html/index.html"
