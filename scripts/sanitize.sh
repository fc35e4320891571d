#!/usr/bin/env bash
# Runs the unit tests and the native end-to-end tests against a build made
# with AddressSanitizer and UndefinedBehaviorSanitizer (make sanitize), and
# fails when any process of the run wrote a sanitizer report, whether or not
# its test noticed.
#
#   scripts/sanitize.sh BUILD_DIR [pytest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "$1" && pwd)
shift

reports=$(mktemp -d /tmp/zebcfg-sanitize.XXXXXX)
chmod 1777 "$reports"  # the unprivileged runs (uid 65534) report here too
trap 'rm -rf "$reports"' EXIT

# Every report goes to a file of its own; leaks count as reports.
export ASAN_OPTIONS="log_path=$reports/asan:detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="log_path=$reports/ubsan:print_stacktrace=1:halt_on_error=1"

status=0
"$build/zebcfg_unit" --gtest_brief=1 || status=$?
ZEBCFG_NATIVE_DIR="$build" ZEBCFG_WIN_DIR="$build/no-windows-build" \
  /usr/bin/python3 -m pytest tests/e2e -q -k "not wine" "$@" || status=$?

if compgen -G "$reports/*" >/dev/null; then
  echo "sanitize: sanitizer reports:" >&2
  for report in "$reports"/*; do
    echo "---- $(basename "$report")" >&2
    cat "$report" >&2
  done
  exit 1
fi
[ "$status" -eq 0 ] || { echo "sanitize: tests failed ($status)" >&2; exit "$status"; }
echo "sanitize: unit and native end-to-end tests passed with no sanitizer report"
