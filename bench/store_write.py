#!/usr/bin/python3
"""Times one durable write of the native store: whole `zebreg add` and
`zebcfg ms` processes that each write one value, the median of N runs, each
also as a ratio to a bare process start (/bin/true) timed in the same run.

    bench/store_write.py [--native-dir DIR] [--runs N] [--root DIR]

The store lives in a temporary folder below --root (default: the system's
temporary folder, a real disk here, so that each commit's fsync is paid).
"""

import argparse
import os
import shutil
import statistics
import subprocess
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
INF = ("[Version]\nSignature=\"$Windows NT$\"\n[cfg_strings]\n"
       "dev_reg_root=SOFTWARE\\ZebBench\\Devices\n"
       "map_path=SOFTWARE\\ZebBench\\Map\n")


def median_ms(argv, env, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(argv, env=env, check=True, stdout=subprocess.DEVNULL)
        times.append((time.perf_counter() - start) * 1000)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--native-dir", default=str(REPO / "build" / "native"))
    parser.add_argument("--runs", type=int, default=31)
    parser.add_argument("--root", default=None)
    args = parser.parse_args()
    native = Path(args.native_dir)
    root = Path(tempfile.mkdtemp(prefix="zebcfg-write-", dir=args.root))
    try:
        (root / "inf").mkdir()
        (root / "inf" / "zebsetup.inf").write_text(INF)
        env = dict(os.environ, ZEBCFG_ROOT=str(root))
        zebreg = str(native / "zebreg")
        subprocess.run([zebreg, "add", r"HKLM\SOFTWARE\ZebBench\Map", "/f"],
                       env=env, check=True, stdout=subprocess.DEVNULL)
        bare = median_ms(["/bin/true"], env, args.runs)
        rows = [
            ("bare process start (/bin/true)",
             ["/bin/true"]),
            ("zebreg add of one REG_DWORD",
             [zebreg, "add", r"HKLM\SOFTWARE\ZebBench\Map", "/v", "x",
              "/t", "REG_DWORD", "/d", "1", "/f"]),
            ("zebcfg ms of one entry",
             [str(native / "zebcfg"), "ms", "y=2"]),
        ]
        print(f"store in {root} ({args.runs} runs each, median)")
        print("| Operation | ms | x bare start |")
        print("|---|---|---|")
        for label, argv in rows:
            ms = bare if argv == ["/bin/true"] else median_ms(argv, env, args.runs)
            print(f"| {label} | {ms:.2f} | {ms / bare:.1f} |")
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
