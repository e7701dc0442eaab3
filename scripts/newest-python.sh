#!/usr/bin/env bash
# Prints the newest CPython that pyenv holds besides the default python3, or nothing.
set -euo pipefail
default=$(python3 -c 'import sys; print("%d.%d" % sys.version_info[:2])')
root=${PYENV_ROOT:-/root/.pyenv}/versions
[ -d "$root" ] || exit 0
newest=$(ls "$root" | grep -E '^3\.[0-9]+\.[0-9]+$' | sort -V | tail -n 1)
[ -n "$newest" ] || exit 0
case "$newest" in "$default".*) exit 0 ;; esac
echo "$root/$newest/bin/python3"
