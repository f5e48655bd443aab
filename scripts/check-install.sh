#!/usr/bin/env bash
# Checks what an operator installs, in a scratch folder:
#   scripts/check-install.sh cmake [BUILD_DIR]   cmake --install BUILD_DIR (default build) --prefix <scratch>
#   scripts/check-install.sh deb FILE.deb        lintian (no errors), then dpkg-deb -x into <scratch>
# Either way: the binary, the systemd unit (naming the installed binary and parameter file, and accepted
# by systemd-analyze verify), the manual page (rendered by man -l without warnings), the parameter file
# and the sample station are there, the binary tells its version, and a short simulated run of the sample
# station in a station folder of its own goes on the air and ends through the shut-down sequence.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
usage() {
  echo "usage: $0 cmake [BUILD_DIR] | $0 deb FILE.deb" >&2
  exit 2
}
[[ $# -ge 1 ]] || usage
kind=$1

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failed=0
fail() {
  echo "check-install: $*" >&2
  failed=1
}

case $kind in
  cmake)
    build=${2:-$here/build}
    cmake --install "$build" --prefix "$root" >/dev/null
    prefix=$root
    etc=$root/etc
    installed_prefix=$root
    ;;
  deb)
    [[ $# -eq 2 && -f $2 ]] || usage
    deb=$2
    # Errors fail the check; warnings are shown.
    lintian --fail-on error "$deb" || fail "lintian reports errors in $deb"
    dpkg-deb -x "$deb" "$root"
    prefix=$root/usr
    etc=$root/etc
    installed_prefix=/usr
    control=$(dpkg-deb -f "$deb")
    grep -q '^Depends:.*libc6' <<<"$control" || fail "no library dependencies (dpkg-shlibdeps) in $deb"
    grep -q '^Depends:.*adduser' <<<"$control" || fail "$deb does not depend on adduser"
    dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles | grep -qx /etc/default/skedcast ||
      fail "/etc/default/skedcast is not a conffile of $deb"
    ;;
  *) usage ;;
esac

binary=$prefix/bin/skedcast
unit=$prefix/lib/systemd/system/skedcast.service
page=$prefix/share/man/man1/skedcast.1.gz
examples=$prefix/share/doc/skedcast/examples
for path in "$binary" "$unit" "$page" "$etc/default/skedcast" "$examples/data/schedule.lst" "$examples/log"; do
  [[ -e $path ]] || fail "${path#"$root"} is not installed"
done
[[ $failed -eq 0 ]] || exit 1

# The unit runs the installed binary with the installed parameter file (/usr/bin and /etc in the package).
grep -qx "ExecStart=$installed_prefix/bin/skedcast --headless --enable \$SKEDCAST_OPTIONS \$CALLSIGN \$PORT \$KEYLINE" \
  "$unit" || fail "the unit does not start $installed_prefix/bin/skedcast: $(grep ExecStart= "$unit")"
if [[ $kind == deb ]]; then
  grep -qx 'EnvironmentFile=/etc/default/skedcast' "$unit" || fail "the unit does not read /etc/default/skedcast"
fi
# verify looks for the binary and the manual page where the unit names them: in the scratch tree.
unit_copy=$root/skedcast.service
sed "s|^ExecStart=$installed_prefix/|ExecStart=$prefix/|" "$unit" >"$unit_copy"
# It reports a key it cannot read only as a warning: any word from it fails the check.
verify_status=0
verify=$(MANPATH=$prefix/share/man: systemd-analyze verify "$unit_copy" 2>&1) || verify_status=$?
[[ $verify_status -eq 0 && -z $verify ]] || fail "systemd-analyze verify refuses the unit: $verify"

# The manual page renders, without groff warnings.
warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || fail "man -l cannot render $page"
[[ -z $warnings ]] || fail "man -l warns about $page: $warnings"
MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q '^EXIT STATUS' || fail "man -l $page has no EXIT STATUS section"

"$binary" --version | grep -qx 'skedcast [0-9.]*' || fail "$binary --version: $("$binary" --version)"

# The sample station, an hour of simulated time from just before its first entry.
station=$root/station
mkdir -p "$station"
cp -r "$examples/data" "$examples/log" "$station/"
status=0
(cd "$station" && "$binary" --headless --simulate=2026-01-01T11:59:00 --enable --exit-when-idle --run-for=3600 \
  --serial=emulated:trace.tsv QZ0XB 2 RTS </dev/null >run.out 2>&1) || status=$?
[[ $status -eq 0 ]] || fail "the simulated run ended with status $status: $(tail -5 "$station/run.out")"
log=$station/log/20260101.log
for line in '***** Skedcast has been STARTED *****' 'Completed sending <bulletin.txt>.' \
            '***** Skedcast has been TERMINATED *****'; do
  grep -qF "> $line" "$log" 2>/dev/null || fail "the simulated run's log lacks \"$line\""
done

[[ $failed -eq 0 ]] || exit 1
echo "check-install: $kind install of skedcast checked ($("$binary" --version))"
