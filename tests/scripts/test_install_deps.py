"""scripts/install-deps.sh against stand-ins for dpkg-query, apt-get, sudo, id
and clang++ that play a machine with some packages installed."""

import os
import pathlib
import subprocess
import sys
import textwrap

import pytest

SCRIPT = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "install-deps.sh"

# Each reads and writes the machine's state in $MACHINE: "installed" (one
# package a line), "held" (installed and held), "removed" (removed,
# configuration kept), and "calls" (what apt-get and sudo were asked, one call
# a line).
STAND_INS = {
    "dpkg-query": r"""
        if [ "$1" = -S ]; then  # which package owns a file: the Python's, if Debian's
            [ -e "$MACHINE/debian-python" ] && { echo "python3.11-minimal: $2"; exit 0; }
            echo "dpkg-query: no path found matching pattern $2" >&2; exit 1
        fi
        shift 2  # -W -f=FORMAT
        status=0
        for p; do
            if grep -qx -- "$p" "$MACHINE/installed"; then echo "ii  $p"
            elif grep -qx -- "$p" "$MACHINE/held"; then echo "hi  $p"
            elif grep -qx -- "$p" "$MACHINE/removed"; then echo "rc  $p"
            else echo "dpkg-query: no packages found matching $p" >&2; status=1; fi
        done
        exit $status
    """,
    "apt-get": r"""
        echo "apt-get $*" >> "$MACHINE/calls"
        [ "$1" = install ] || exit 0
        shift 2  # install -y
        [ "$1" = -qq ] && shift
        if [ -e "$MACHINE/apt-fails" ]; then
            echo "Selecting previously unselected package $1."
            echo "E: Unable to locate package $1" >&2; exit 100
        fi
        echo "Setting up $1 ..."
        printf '%s\n' "$@" >> "$MACHINE/installed"
    """,
    "sudo": 'echo "sudo $1" >> "$MACHINE/calls"; exec "$@"',
    "id": 'cat "$MACHINE/uid"',
    "clang++": 'echo 16.0.6',
}


@pytest.fixture
def machine(tmp_path):
    """run(*args, installed=(), held=(), removed=(), root=False, debian_python=False,
    apt_fails=False): runs the script on a machine with those packages;
    returns (process, apt-get calls, installed packages after)."""
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    for name, body in STAND_INS.items():
        path = bin_dir / name
        path.write_text("#!/bin/bash\n" + textwrap.dedent(body))
        path.chmod(0o755)

    def run(*args, installed=(), held=(), removed=(), root=False, debian_python=False, apt_fails=False):
        for name, packages in (("installed", installed), ("held", held), ("removed", removed)):
            (tmp_path / name).write_text("".join(p + "\n" for p in packages))
        (tmp_path / "calls").write_text("")
        (tmp_path / "uid").write_text("0\n" if root else "1000\n")
        for flag, on in (("debian-python", debian_python), ("apt-fails", apt_fails)):
            (tmp_path / flag).unlink(missing_ok=True)
            if on:
                (tmp_path / flag).touch()
        env = dict(os.environ, MACHINE=str(tmp_path), PATH=f"{bin_dir}{os.pathsep}{os.environ['PATH']}")
        proc = subprocess.run(["bash", str(SCRIPT), *args], env=env, capture_output=True, text=True)
        calls = (tmp_path / "calls").read_text().splitlines()
        return proc, calls, (tmp_path / "installed").read_text().split()

    return run


def asked(calls):
    """The packages of each apt-get install call, and whether every call went through sudo."""
    installs = [c.split()[4:] for c in calls if c.startswith("apt-get install")]
    return installs, all(c.startswith("sudo") for c in calls[::2]) and len(calls) % 2 == 0


def all_of(run, *sets):
    """Every package of those sets, as a bare machine is asked to install them."""
    _, calls, _ = run(*sets, root=True)
    return asked(calls)[0][0]


@pytest.mark.parametrize("sets", [("build",), ("build", "test"), ("build", "bench")])
def test_a_bare_machine_gets_every_package_once_through_sudo(machine, sets):
    proc, calls, installed = machine(*sets)
    (packages,), sudo = asked(calls)
    assert proc.returncode == 0, proc.stderr
    assert sudo and calls[1] == "apt-get update -qq"
    assert packages == sorted(set(packages)) == sorted(installed)
    assert proc.stdout == f"installing Debian packages: {' '.join(packages)}\n"
    assert proc.stderr == ""


def test_the_demo_asks_for_no_test_bench_or_fuzz_package(machine):
    demo = set(all_of(machine, "build"))
    for other in ("test", "bench", "fuzz"):
        assert not demo & set(all_of(machine, other))
    assert {"libpcre2-dev", "libtbb-dev", "libabsl-dev", "libicu-dev", "g++", "cmake"} <= demo


@pytest.mark.parametrize("removed", [(), ("libtbb-dev",)])
def test_a_partly_equipped_machine_gets_exactly_what_it_lacks(machine, removed):
    wanted = all_of(machine, "build", "test")
    have = [p for p in wanted if p not in removed][::2]  # every other one, never a removed one
    proc, calls, _ = machine("build", "test", installed=have, removed=removed)
    assert proc.returncode == 0, proc.stderr
    assert asked(calls)[0] == [sorted(set(wanted) - set(have))]
    assert set(removed) <= set(asked(calls)[0][0])


def test_a_full_machine_is_left_alone_in_silence(machine):
    wanted = all_of(machine, "build", "test", "bench")
    proc, calls, _ = machine("build", "test", "bench", installed=wanted[1:], held=wanted[:1])
    assert (proc.returncode, proc.stdout, proc.stderr, calls) == (0, "", "", [])


def test_a_failing_apt_fails_the_script_with_apt_s_error(machine):
    proc, calls, installed = machine("build", "test", apt_fails=True)
    assert proc.returncode == 100
    assert "E: Unable to locate package " in proc.stderr
    assert "apt-get could not install: " in proc.stderr
    assert installed == [] and len(asked(calls)[0]) == 1


@pytest.mark.parametrize("debian_python", [True, False])
def test_debian_s_python_gets_its_headers_and_venv_module(machine, debian_python):
    base = set(all_of(machine, "build"))
    proc, calls, _ = machine("--python", sys.executable, "build", root=True, debian_python=debian_python)
    assert proc.returncode == 0, proc.stderr
    extra = set(asked(calls)[0][0]) - base
    assert extra == ({"python3", "python3-dev", "python3-venv"} if debian_python else set())
    assert not any(c.startswith("sudo") for c in calls)


def test_fuzzing_gets_the_runtime_of_the_installed_clang(machine):
    wanted = all_of(machine, "build", "fuzz")
    assert "clang" in wanted and not any(p.startswith("libclang-rt") for p in wanted)
    proc, calls, _ = machine("build", "fuzz", installed=wanted)
    assert proc.returncode == 0, proc.stderr
    assert asked(calls)[0] == [["libclang-rt-16-dev"]]
    assert proc.stdout == "installing Debian packages: libclang-rt-16-dev\n"


def test_an_unknown_set_is_refused(machine):
    proc, calls, _ = machine("build", "docs")
    assert proc.returncode == 1 and "no package set named 'docs'" in proc.stderr and calls == []
