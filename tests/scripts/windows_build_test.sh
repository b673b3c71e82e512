#!/usr/bin/env bash
# scripts/windows-build picks the 32-bit product only where a 32-bit program really runs,
# says why on one line, and obeys ORBELLE_WINDOWS.
#   windows_build_test.sh SOURCE_DIR WORK_DIR
set -uo pipefail
src=$1
work=$2/windows-build
rm -rf "$work" && mkdir -p "$work"
fails=0

expect() {  # expect NAME WANT-STDOUT WANT-STDERR-PART [env...] -- args...
  local name=$1 want=$2 reason=$3
  shift 3
  local envs=()
  while [ "$1" != -- ]; do envs+=("$1"); shift; done
  shift
  local out err rc
  out=$(env -u ORBELLE_WINDOWS "${envs[@]}" "$src/scripts/windows-build" "$@" 2>"$work/err")
  rc=$?
  err=$(cat "$work/err")
  if [ "$out" != "$want" ] || [[ "$err" != *"$reason"* ]] || [ "$(printf '%s\n' "$err" | wc -l)" != 1 ]; then
    echo "FAIL $name: rc=$rc stdout='$out' stderr='$err' (wanted '$want' and '$reason')"
    fails=$((fails + 1))
  else
    echo "ok   $name: $err"
  fi
}

# A probe the kernel refuses (an ELF for a machine this host does not run), one that the
# shell cannot even read as a program, one that runs but answers wrongly, one that runs.
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\010\000' >"$work/refused"
printf '\000\001\002' >"$work/garbage"
printf '#!/bin/sh\nexit 0\n' >"$work/wrong-code"
printf '#!/bin/sh\nexit 42\n' >"$work/runs"
chmod +x "$work"/*

expect "kernel refuses the probe" windows64 "cannot run 32-bit programs: Exec format error" -- --probe "$work/refused"
expect "probe is no program" windows64 "cannot run 32-bit programs" -- --probe "$work/garbage"
expect "probe exits with the wrong code" windows64 "cannot run 32-bit programs" -- --probe "$work/wrong-code"
expect "probe missing" windows64 "cannot run 32-bit programs" -- --probe "$work/missing"
expect "probe runs" windows "this host runs 32-bit programs" -- --probe "$work/runs"
expect "override: 64-bit on a host that runs 32-bit" windows64 "ORBELLE_WINDOWS=windows64" ORBELLE_WINDOWS=windows64 -- --probe "$work/runs"
expect "override: 32-bit" windows "ORBELLE_WINDOWS=windows" ORBELLE_WINDOWS=windows -- --probe "$work/refused"
expect "override: both" "windows windows64" "ORBELLE_WINDOWS=both" ORBELLE_WINDOWS=both --

# A bad override is refused with a clear error, not taken as a preset name.
if ORBELLE_WINDOWS=win32 "$src/scripts/windows-build" >/dev/null 2>"$work/err"; then
  echo "FAIL bad override accepted"; fails=$((fails + 1))
elif ! grep -q "must be windows, windows64 or both" "$work/err"; then
  echo "FAIL bad override: $(cat "$work/err")"; fails=$((fails + 1))
fi

# The built-in probe gives one of the two answers with its reason, and leaves no file.
out=$(env -u ORBELLE_WINDOWS "$src/scripts/windows-build" 2>"$work/err")
case "$out" in
  windows) grep -q "the probe ran" "$work/err" || { echo "FAIL built-in probe: $(cat "$work/err")"; fails=$((fails + 1)); } ;;
  windows64) grep -q "cannot run 32-bit programs" "$work/err" || { echo "FAIL built-in probe: $(cat "$work/err")"; fails=$((fails + 1)); } ;;
  *) echo "FAIL built-in probe answered '$out'"; fails=$((fails + 1)) ;;
esac
if ls "$src"/build/probe32.* >/dev/null 2>&1; then
  echo "FAIL the probe file was left behind"; fails=$((fails + 1))
fi

echo "windows-build: $fails failure(s)"
[ "$fails" = 0 ]
