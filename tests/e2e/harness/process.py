"""Starting a program: the one process runner under both platform drivers,
and what it returns."""

import subprocess
import time
from dataclasses import dataclass

from .text import decode


@dataclass
class Result:
    out: str
    err: str
    code: "int | None"
    cmd: object = None
    seconds: "float | None" = None  # wall time of the process alone

    def __repr__(self):
        return f"Result(code={self.code!r}, out={self.out!r}, err={self.err[-400:]!r})"


def run_process(argv, env, out_path, err_path, timeout=None, stdin=None,
                new_session=False):
    """Runs argv to its end, standard output and error into the two files
    (stdin: bytes for its input, else none); returns (exit status, wall
    seconds of the process). Raises FileNotFoundError when argv[0] cannot be
    started, subprocess.TimeoutExpired (the process killed) when it outlives
    timeout."""
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        start = time.perf_counter()
        proc = subprocess.run(argv, input=stdin, stdout=out, stderr=err,
                              env=env, timeout=timeout,
                              start_new_session=new_session,
                              **({} if stdin is not None
                                 else {"stdin": subprocess.DEVNULL}))
        seconds = time.perf_counter() - start
    return proc.returncode, seconds


def read_output(out_path, err_path):
    """(standard output, standard error) a run left in the two files."""
    return decode(out_path.read_bytes()), decode(err_path.read_bytes())
