#!/usr/bin/env bash
# Builds the station and starts it. Without a sensor box attached it runs on the
# built-in simulated box. Arguments are passed to the station.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
if [ -x build/app/vantacheck ]; then
  exec build/app/vantacheck "$@"
fi
# Until the window is built: the command-line analyser on a demo test.
mkdir -p build/DATA
build/cli/vantacheck-cli demo build/DATA/demo.kvq --repetitions 3
exec build/cli/vantacheck-cli analyse build/DATA/demo.kvq
