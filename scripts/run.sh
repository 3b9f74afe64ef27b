#!/usr/bin/env bash
# Builds the station and starts it. When no sensor box is attached it runs on the
# built-in simulated box (the window says so). Arguments are passed to the station.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
args=("$@")
if ! build/cli/vantacheck-cli probe >/dev/null 2>&1; then
  case " ${args[*]-} " in
    *" --simulate "*) ;;
    *) echo "No sensor box found: starting on the simulated sensor box."; args+=(--simulate) ;;
  esac
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  if command -v xvfb-run >/dev/null; then
    echo "No display here: the station runs in a virtual one (xvfb-run). Start it from a desktop to see it."
    exec xvfb-run -a -s '-screen 0 1280x900x24' build/app/vantacheck "${args[@]}"
  fi
fi
exec build/app/vantacheck "${args[@]}"
