#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests, the sanitizer build
# and the fuzz targets need, and only those missing, so a second run (or a
# machine that has everything) costs a fraction of a second. Uses sudo when
# not root. Usage: install-deps.sh [PYTHON...] (default python3): for each
# Python that is Debian's own, its headers and venv module come too. Python
# packages never go into these interpreters (Debian's is externally managed);
# scripts/venv.sh puts them into the project's virtual environments.
set -euo pipefail

DEB_PACKAGES=(
  g++ cmake ninja-build pkg-config make
  libpcre2-dev libtbb-dev libabsl-dev libicu-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev nlohmann-json3-dev
)
DEBIAN_PYTHON_PACKAGES=(python3 python3-dev python3-venv)

pythons=("$@")
[ ${#pythons[@]} -gt 0 ] || pythons=(python3)
for py in "${pythons[@]}"; do
  if ! command -v "$py" > /dev/null; then
    [ "$py" = python3 ] && DEB_PACKAGES+=("${DEBIAN_PYTHON_PACKAGES[@]}")  # a bare machine
    continue
  fi
  # The interpreter itself, also when $py is a venv's or a shim.
  base=$("$py" -c 'import sys; print("%s/bin/python%d.%d" % (sys.base_prefix, *sys.version_info[:2]))')
  if dpkg-query -S "$(readlink -f "$base")" > /dev/null 2>&1; then
    DEB_PACKAGES+=("${DEBIAN_PYTHON_PACKAGES[@]}")
  fi
done

installed=$(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' "${DEB_PACKAGES[@]}" 2>/dev/null |
  awk '$1 == "ii" { print $2 }' | sed 's/:.*//')
missing=()
for p in "${DEB_PACKAGES[@]}"; do
  grep -qx -- "$p" <<< "$installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)
  echo "installing Debian packages: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi
