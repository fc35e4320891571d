#!/bin/sh
# Builds both platforms (bench/tools included) and prints the benchmark
# figures as a markdown table; arguments go to bench/run_bench.py (--runs N,
# --no-wine, --no-callgrind, ...).
set -e
cd "$(dirname "$0")/.."
make --no-print-directory build
exec /usr/bin/python3 bench/run_bench.py "$@"
