#!/usr/bin/env bash
# Makes the virtual environment DIR from PYTHON with PYTHON's own venv module,
# or reuses it while it still comes from the same interpreter; installs into
# it with pip the packages of the named sets that it lacks; and makes it
# import vellix from IMPORT_DIR (a build's python/ folder). Works whether
# PYTHON is Debian's, pyenv's or itself a venv's; nothing is installed into
# PYTHON. Usage: venv.sh PYTHON DIR IMPORT_DIR [SET...]
set -euo pipefail
python=$1 dir=$2 import_dir=$3
shift 3

declare -A SETS=(
  [test]="pytest numpy"
  [compare]="polars"  # what bench/polars_bench.py compares with, for .venv-bench only
)

packages=()
for set in "$@"; do
  [ -n "${SETS[$set]+set}" ] || { echo "venv.sh: no package set named '$set' (sets: ${!SETS[*]})" >&2; exit 1; }
  read -ra words <<< "${SETS[$set]}"
  packages+=("${words[@]}")
done

# Which interpreter a venv stands on, and whether it got as far as pip.
probe='import importlib.util, sys; print(sys.base_prefix, sys.version, importlib.util.find_spec("pip") is not None)'
want="$("$python" -c 'import sys; print(sys.base_prefix, sys.version)') True"
if [ "$("$dir/bin/python" -c "$probe" 2> /dev/null)" != "$want" ]; then
  echo "making $dir from $python"
  rm -rf "$dir"
  "$python" -m venv "$dir"
fi
missing=$("$dir/bin/python" - "${packages[@]}" << 'PY'
import importlib.util, sys
print(" ".join(p for p in sys.argv[1:] if importlib.util.find_spec(p.replace("-", "_")) is None))
PY
)
if [ -n "$missing" ]; then
  echo "installing into $dir: $missing"
  # shellcheck disable=SC2086 # one word per package
  "$dir/bin/python" -m pip install -q $missing
fi
"$dir/bin/python" - "$(realpath -m "$import_dir")" << 'PY'
import pathlib, sys, sysconfig
pth = pathlib.Path(sysconfig.get_path("purelib"), "vellix-build.pth")
if not pth.exists() or pth.read_text() != sys.argv[1] + "\n":
    pth.write_text(sys.argv[1] + "\n")
PY
