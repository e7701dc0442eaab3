"""Cost of one entry through the binding frame: matching arguments, converting
them and building the result, against CPython builtins of the same shape.

Also checks that matching and converting positional or keyword arguments
allocates nothing from Python's allocators: with every allocation made to
fail, a call whose result needs no allocation must still succeed.
"""

import timeit

import _testcapi

import vellix

f = vellix.column_number_to_letter
g = vellix.get_letter_coordinate


def per_call_ns(stmt, number=1_000_000):
    best = min(timeit.repeat(stmt, globals=globals(), number=number, repeat=5))
    return best / number * 1e9


def runs_without_allocating(call):
    _testcapi.set_nomemory(0, 0)  # every allocation from now on fails
    try:
        call()
        return True
    except MemoryError:
        return False
    finally:
        _testcapi.remove_mem_hooks()


CASES = [
    ("builtin abs(-5)  (baseline, 1 argument)", "abs(-5)"),
    ("builtin divmod(7, 2)  (baseline, 2 arguments)", "divmod(7, 2)"),
    ("column_number_to_letter(1)", "f(1)"),
    ("column_number_to_letter(col=1)", "f(col=1)"),
    ("column_number_to_letter(27)  (new str)", "f(27)"),
    ("get_letter_coordinate(7, 2)", "g(7, 2)"),
    ("get_letter_coordinate(row=7, col=2)", "g(row=7, col=2)"),
]

if __name__ == "__main__":
    for label, stmt in CASES:
        print(f"{label:48s} {per_call_ns(stmt):7.1f} ns")
    print("error path: column_number_to_letter(2.0)".ljust(48),
          f"{per_call_ns('try: f(2.0)' + chr(10) + 'except TypeError: pass', 200_000):7.1f} ns")
    for label, call in [("positional", lambda: f(1)), ("keyword", lambda: f(col=1))]:
        print(f"no allocation in matching and conversion ({label}): {runs_without_allocating(call)}")
