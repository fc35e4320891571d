#!/usr/bin/env bash
# Runs every libFuzzer harness of a fuzz build (make fuzz) for a number of
# seconds each, starting from its committed corpus (tests/fuzz/<name>_corpus)
# and dictionary (tests/fuzz/<name>.dict). New inputs go to a scratch folder,
# not into the tree. A crash, leak, timeout or sanitizer report fails the
# run; its input is kept in BUILD_DIR/artifacts, to be added to the corpus as
# a regression case once mended.
#
#   scripts/fuzz.sh BUILD_DIR SECONDS
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "$1" && pwd)
seconds=${2:-30}

scratch=$(mktemp -d /tmp/zebcfg-fuzz.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$build/artifacts"

status=0
for harness in "$build"/*_fuzz; do
  name=$(basename "$harness" _fuzz)
  seeds=tests/fuzz/${name}_corpus
  options=(-max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048
           -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-")
  [ -f "tests/fuzz/$name.dict" ] && options+=(-dict="tests/fuzz/$name.dict")
  mkdir -p "$scratch/$name"
  echo "fuzz: $name for $seconds s from $seeds"
  if ! "$harness" "${options[@]}" "$scratch/$name" "$seeds" \
      >"$scratch/$name.log" 2>&1; then
    status=1
    echo "fuzz: $name failed; the input is in $build/artifacts:" >&2
    tail -n 60 "$scratch/$name.log" >&2
  else
    grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb" \
      "$scratch/$name.log" | sed "s/^/fuzz: $name /"
  fi
done
exit "$status"
