#!/usr/bin/env bash
# A sample session of the native build against a store in ./demo-root:
# the store is provisioned from examples/zebsetup.inf with zebinstall (as an
# installer would), then zebcfg configures two ports, the property map and
# the driver's services. Every command is shown with its output and exit code.
set -euo pipefail
cd "$(dirname "$0")/.."

BIN=${ZEBCFG_NATIVE_DIR:-build/native}
for tool in zebcfg zebreg zebinstall; do
  [ -x "$BIN/$tool" ] || { echo "demo: $BIN/$tool is not built (make native)" >&2; exit 1; }
done

# A fresh store each time, so that the session always reads the same.
export ZEBCFG_ROOT=$PWD/demo-root
rm -rf "$ZEBCFG_ROOT"

step() { printf '\n# %s\n' "$*"; }

# Shows a command as one would type it, runs it, and shows its exit code.
run() {
  local name=$1; shift
  local shown=$name arg
  for arg in "$@"; do
    case $arg in
      *[!A-Za-z0-9_.,:=+/-]* | '') shown+=" '$arg'" ;;
      *) shown+=" $arg" ;;
    esac
  done
  printf '$ %s\n' "$shown"
  local code=0
  "$BIN/$name" "$@" </dev/null || code=$?
  printf '  (exit code %d)\n' "$code"
}

zebcfg() { run zebcfg "$@"; }
zebreg() { run zebreg "$@"; }
zebinstall() { run zebinstall "$@"; }

step "Install the driver's setup file: into \$ZEBCFG_ROOT/inf, with its registry keys"
zebinstall examples/zebsetup.inf
# The native platform keeps the driver's services in the store; register the
# two services of [cfg_start_stop] as running.
for service in zebbus zebser; do
  "$BIN/zebreg" add "HKLM\\System\\CurrentControlSet\\Services\\$service" \
    /v State /t REG_DWORD /d 4 /f >/dev/null
done
echo "(services zebbus and zebser registered as running)"

step "The front end"
zebcfg
zebcfg help
zebcfg osver

step "Devices: create a serial port and a network port, list them"
zebcfg l
zebcfg a COM7 Port.Transport=serial Port.BaudRate=115200 Port.Parity=even
zebcfg a lab-gw Port.Transport=tcp Net.Host=10.0.4.17 Net.Port=4001
zebcfg a COM7 Port.Transport=serial
zebcfg l

step "Properties: the timing values follow the baud rate unless set"
zebcfg p COM7
zebcfg s COM7 Port.BaudRate=9600 Timing.WriteTimeout=20000
zebcfg p COM7
zebcfg s COM7 Timing.WriteTimeout=
zebcfg p COM7
zebcfg s COM7 Port.Parity=sometimes
zebcfg s COM7 Port.BaudRate=2000000
zebcfg s lab-gw Net.KeepAliveSec=30 Port.Transport=serial Port.Transport=tcp
zebcfg p lab-gw
zebcfg s lab-gw Driver.TraceMask=1

step "The property map"
zebcfg ml
zebcfg ms PollMs=250 Retries=0x10
zebcfg ml
zebcfg ms Retries=
zebcfg ml

step "What the registry holds"
zebreg query 'HKLM\SOFTWARE\Zeb\zebser' /s

step "Services: stopped in reverse order, started in file order"
SERVICES='HKLM\System\CurrentControlSet\Services'
zebcfg stop
zebreg query "$SERVICES\zebser"
zebcfg restart
zebreg add "$SERVICES\zebser" /v AcceptStop /t REG_DWORD /d 0 /f
zebcfg stop
echo "(status 0xF000000C; a Linux exit status keeps only its low 8 bits: 12)"
zebcfg stopq
zebreg delete "$SERVICES\zebser" /v AcceptStop /f

step "For scripts"
zebcfg wait sh -c 'exit 3'

step "Remove a device"
zebcfg r lab-gw
zebcfg r lab-gw
zebcfg l
echo
echo "The store is left in $ZEBCFG_ROOT. zebcfg finds its store and setup file"
echo "through ZEBCFG_ROOT (else /var/lib/zebcfg); to go on with this one:"
echo "  export ZEBCFG_ROOT=$ZEBCFG_ROOT"
echo "  $BIN/zebcfg l"
