#!/usr/bin/env bash
# Prints the newest CPython on the machine when its minor version differs from
# the default python3's, else nothing. Looks at pyenv's versions (PYENV_ROOT,
# else `pyenv root`) and at python3.N commands on PATH.
set -euo pipefail
default=$(python3 -c 'import sys; print("%d.%d" % sys.version_info[:2])' 2> /dev/null) || exit 0

# Lines of "VERSION PATH".
candidates=()
root=${PYENV_ROOT:-}
if [ -z "$root" ] && command -v pyenv > /dev/null; then root=$(pyenv root); fi
if [ -n "$root" ] && [ -d "$root/versions" ]; then
  for dir in "$root"/versions/*; do
    version=${dir##*/}
    # CPython releases only: not "pypy3.10-7.3", "3.13.0t" or "3.14-dev".
    [[ $version =~ ^3\.[0-9]+\.[0-9]+$ ]] && [ -x "$dir/bin/python3" ] && candidates+=("$version $dir/bin/python3")
  done
fi
IFS=: read -ra path_dirs <<< "${PATH:-}"
for dir in "${path_dirs[@]}"; do
  # pyenv's shims run only the versions pyenv has selected: its versions count above.
  [ -n "$root" ] && [ "$dir" = "$root/shims" ] && continue
  for exe in "$dir"/python3.*; do
    name=${exe##*/}
    [[ $name =~ ^python(3\.[0-9]+)$ ]] && [ -x "$exe" ] && candidates+=("${BASH_REMATCH[1]} $exe")
  done
done
[ ${#candidates[@]} -gt 0 ] || exit 0
newest=$(printf '%s\n' "${candidates[@]}" | sort -V -k1,1 | tail -n 1)
version=${newest%% *}
case "$version" in "$default" | "$default".*) exit 0 ;; esac
echo "${newest#* }"
