#!/usr/bin/env bash
# Installs what the build and the tests need, and only what is missing,
# so a second run (or a machine that has everything) costs seconds.
set -euo pipefail

DEB_PACKAGES=(
  g++ cmake ninja-build pkg-config make
  libpcre2-dev libtbb-dev libabsl-dev libicu-dev
  libgtest-dev libgmock-dev libbenchmark-dev

)
PY_PACKAGES=(scikit-build-core pytest hypothesis numpy)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

missing=()
for p in "${DEB_PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing Debian packages: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi

PYTHON=${PYTHON:-python3}
py_missing=()
for p in "${PY_PACKAGES[@]}"; do
  mod=${p//-/_}
  if ! "$PYTHON" -c "import importlib.util,sys; sys.exit(0 if importlib.util.find_spec('$mod') else 1)" 2>/dev/null; then
    py_missing+=("$p")
  fi
done
if [ ${#py_missing[@]} -gt 0 ]; then
  echo "installing Python packages: ${py_missing[*]}"
  "$PYTHON" -m pip install -q "${py_missing[@]}"
fi
