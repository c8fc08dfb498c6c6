#!/usr/bin/env bash
# Builds the demo volume shown by `make run`.
set -euo pipefail
out=$1
mkfs.fat -C -F 12 -n DEMO "$out" 1440 >/dev/null 2>&1 || { rm -f "$out"; mkfs.fat -C -F 12 -n DEMO "$out" 1440 >/dev/null; }
