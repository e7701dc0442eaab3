"""The two engines behind one line protocol, and what their answers mean.

Both run as child processes that answer one line per request line, so a
crash or a hang costs one pair, not the run: the process is restarted and the
request is answered "crash" or "hang".

Requests to the reference binary are `HEX(pattern)\\tHEX(text)`; requests to
our server (this folder's `serve.py`) add a leading mode, `=` for the pattern
as given and `i` for the case-insensitive entry.
"""

import os
import select
import subprocess
import sys
import threading
from pathlib import Path

HERE = Path(__file__).resolve().parent
LINE_TIMEOUT = 30.0  # seconds one answer may take before the request counts as a hang

MATCH, NOMATCH, ERROR = "match", "nomatch", "error"


def oracle_request(pattern: str, text: str, mode: str) -> str:
    if mode == "i":
        pattern = "(?i)" + pattern
    return pattern.encode().hex() + "\t" + text.encode().hex()


def ours_request(pattern: str, text: str, mode: str) -> str:
    return mode + "\t" + pattern.encode().hex() + "\t" + text.encode().hex()


def outcome(answer: str) -> str:
    """match / nomatch / error, or the answer itself for anything else (a crash,
    an unexpected exception). A failed match of the reference (its backtrack
    limit) is no match, as it is for us."""
    kind = answer.split("\t", 1)[0].rstrip(":")
    if kind == "runtime":
        return NOMATCH
    if kind in (MATCH, NOMATCH, ERROR):
        return kind
    return answer


class LineEngine:
    def __init__(self, argv, env=None):
        self.argv = argv
        self.env = env
        self.proc = None

    def _start(self):
        self.proc = subprocess.Popen(self.argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, env=self.env)
        self.buffer = b""

    def close(self):
        if self.proc is not None:
            try:
                self.proc.stdin.close()
            except OSError:
                pass
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
            self.proc = None

    def _kill(self):
        if self.proc is not None:
            self.proc.kill()
            self.proc.wait()
            self.proc = None

    def _read_line(self):
        """One answer line, or None on end of output or timeout (then 'hang' is set)."""
        fd = self.proc.stdout.fileno()
        while b"\n" not in self.buffer:
            ready, _, _ = select.select([fd], [], [], LINE_TIMEOUT)
            if not ready:
                self.timed_out = True
                return None
            chunk = os.read(fd, 1 << 16)
            if not chunk:
                return None
            self.buffer += chunk
        line, _, self.buffer = self.buffer.partition(b"\n")
        return line.decode("utf-8", "replace")

    def ask_all(self, requests):
        """Answers, one per request, in order."""
        answers = []
        while len(answers) < len(requests):
            if self.proc is None:
                self._start()
            rest = requests[len(answers):]
            writer = threading.Thread(target=self._write, args=(self.proc, rest), daemon=True)
            writer.start()
            self.timed_out = False
            while len(answers) < len(requests):
                line = self._read_line()
                if line is None:
                    answers.append("hang" if self.timed_out else "crash")
                    self._kill()
                    break
                answers.append(line)
            writer.join()
        return answers

    def send(self, request):
        """Starts a request; read its answer with receive(). Cheaper than ask_all for one."""
        if self.proc is None:
            self._start()
        try:
            self.proc.stdin.write((request + "\n").encode())
            self.proc.stdin.flush()
        except (BrokenPipeError, OSError):
            pass

    def receive(self):
        self.timed_out = False
        line = self._read_line()
        if line is None:
            line = "hang" if self.timed_out else "crash"
            self._kill()
        return line

    @staticmethod
    def _write(proc, lines):
        try:
            for k in range(0, len(lines), 256):
                proc.stdin.write(("\n".join(lines[k:k + 256]) + "\n").encode())
            proc.stdin.flush()
        except (BrokenPipeError, ValueError, OSError):
            pass  # the reader sees the end of output and restarts


class Pair:
    """The reference engine and ours, asked the same questions."""

    def __init__(self, oracle_path):
        self.oracle = LineEngine([oracle_path])
        self.ours = LineEngine([sys.executable, str(HERE / "serve.py")])
        # Fail once, clearly, rather than restart a broken engine for every pair.
        for name, answer in zip(("the reference binary", "the extension (is it on PYTHONPATH?)"), self.ask("a", "a", "=")):
            if answer != MATCH:
                self.close()
                raise SystemExit(f"{name} does not answer: {answer!r}")

    def ask_all(self, triples):
        """triples: (pattern, text, mode) -> [(oracle answer, our answer)]."""
        result = [None, None]

        def run(k, engine, make):
            result[k] = engine.ask_all([make(*t) for t in triples])

        threads = [threading.Thread(target=run, args=(0, self.oracle, oracle_request)),
                   threading.Thread(target=run, args=(1, self.ours, ours_request))]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        return list(zip(result[0], result[1]))

    def ask(self, pattern, text, mode):
        self.oracle.send(oracle_request(pattern, text, mode))
        self.ours.send(ours_request(pattern, text, mode))
        return self.oracle.receive(), self.ours.receive()

    def close(self):
        self.oracle.close()
        self.ours.close()
