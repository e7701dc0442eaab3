#!/usr/bin/env bash
# Installs the Debian packages of the named sets that the machine lacks and
# says which; prints nothing when it lacks none. Each make target names the
# sets it needs. Uses sudo when not root. For each --python PY that is Debian's
# own (or is python3 and not there yet), its headers and venv module come too:
# Python packages never go into these interpreters (Debian's is externally
# managed); scripts/venv.sh puts them into the project's virtual environments.
# Usage: install-deps.sh [--python PY]... SET...
set -euo pipefail

declare -A SETS=(
  [build]="g++ cmake ninja-build pkg-config make libpcre2-dev libtbb-dev libabsl-dev libicu-dev"
  [test]="libgtest-dev"
  [tsan]="libtsan2"
  [bench]="libbenchmark-dev"
  # and the compiler runtime (libFuzzer) of the clang that is then installed
  [fuzz]="clang nlohmann-json3-dev"
)
DEBIAN_PYTHON_PACKAGES=(python3 python3-dev python3-venv)

fail() {
  echo "install-deps.sh: $*" >&2
  exit 1
}

# Installs those of its arguments that are not installed.
install_missing() {
  local listed installed missing=() p
  # dpkg-query exits 1 when any of them was never installed, and lists the rest.
  listed=$(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' "$@" 2> /dev/null) || [ $? -eq 1 ] ||
    fail "dpkg-query could not list the installed packages"
  # The second letter of the status is "i" when installed (held or not).
  installed=$(awk 'substr($1, 2, 1) == "i" { print $2 }' <<< "$listed")
  for p in "$@"; do
    grep -qxF -- "$p" <<< "$installed" || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)
  echo "installing Debian packages: ${missing[*]}"
  local sudo=() log status=0
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  # apt's chatter is shown only when it fails, for its error.
  log=$(mktemp)
  { "${sudo[@]}" apt-get update -qq &&
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"; } > "$log" 2>&1 || status=$?
  [ $status -eq 0 ] || cat "$log" >&2
  rm -f "$log"
  [ $status -eq 0 ] || {
    echo "install-deps.sh: apt-get could not install: ${missing[*]}" >&2
    exit $status
  }
}

pythons=()
sets=()
while [ $# -gt 0 ]; do
  case $1 in
    --python)
      [ $# -ge 2 ] || fail "--python needs an interpreter"
      pythons+=("$2")
      shift 2
      ;;
    *)
      [ -n "${SETS[$1]+set}" ] || fail "no package set named '$1' (sets: ${!SETS[*]})"
      sets+=("$1")
      shift
      ;;
  esac
done

packages=()
for set in "${sets[@]}"; do
  read -ra words <<< "${SETS[$set]}"
  packages+=("${words[@]}")
done
for py in "${pythons[@]}"; do
  if ! command -v "$py" > /dev/null; then
    [ "$py" = python3 ] && packages+=("${DEBIAN_PYTHON_PACKAGES[@]}") # a bare machine
    continue
  fi
  # The interpreter itself, also when $py is a venv's or a shim.
  base=$("$py" -c 'import sys; print("%s/bin/python%d.%d" % (sys.base_prefix, *sys.version_info[:2]))')
  if dpkg-query -S "$(readlink -f "$base")" > /dev/null 2>&1; then
    packages+=("${DEBIAN_PYTHON_PACKAGES[@]}")
  fi
done
[ ${#packages[@]} -eq 0 ] || install_missing "${packages[@]}"

# libFuzzer comes with the compiler runtime of clang's own version.
if [[ " ${sets[*]} " == *" fuzz "* ]]; then
  version=$(clang++ -dumpversion)
  install_missing "libclang-rt-${version%%.*}-dev"
fi
