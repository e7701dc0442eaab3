#!/usr/bin/env bash
# Makes the virtual environment DIR from PYTHON with PYTHON's own venv module,
# or reuses it while it still comes from the same interpreter, and installs
# into it with pip the build and test packages it lacks. Works whether PYTHON
# is Debian's, pyenv's or itself a venv's; nothing is installed into PYTHON.
# Usage: venv.sh PYTHON DIR
set -euo pipefail
python=$1 dir=$2
PY_PACKAGES=(scikit-build-core pytest hypothesis numpy)

# Which interpreter a venv stands on, and whether it got as far as pip.
probe='import importlib.util, sys; print(sys.base_prefix, sys.version, importlib.util.find_spec("pip") is not None)'
want="$("$python" -c 'import sys; print(sys.base_prefix, sys.version)') True"
if [ "$("$dir/bin/python" -c "$probe" 2> /dev/null)" != "$want" ]; then
  echo "making $dir from $python"
  rm -rf "$dir"
  "$python" -m venv "$dir"
fi
missing=$("$dir/bin/python" - "${PY_PACKAGES[@]}" << 'PY'
import importlib.util, sys
print(" ".join(p for p in sys.argv[1:] if importlib.util.find_spec(p.replace("-", "_")) is None))
PY
)
if [ -n "$missing" ]; then
  echo "installing into $dir: $missing"
  # shellcheck disable=SC2086 # one word per package
  "$dir/bin/python" -m pip install -q $missing
fi
