#!/usr/bin/env bash
# The main job on the embedded default: see the README.
set -euo pipefail
build=${1:-build}
exec "$build/varno-regional-demo"
