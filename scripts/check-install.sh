#!/usr/bin/env bash
# Checks what an operator installs, in a scratch folder:
#   scripts/check-install.sh cmake [BUILD_DIR]               cmake --install BUILD_DIR (default build) --prefix <scratch>
#   scripts/check-install.sh deb SKEDCAST.deb [SKEDCAST-GUI.deb]
#                                                           lintian (no errors or warnings) on each, then dpkg-deb -x both into <scratch>
# The packages: skedcast depends on no Qt library, skedcast-gui on skedcast of its own version and on Qt.
# Either way: the binaries (skedcast linking no Qt), the systemd units skedcast.service and skedcast@.service
# (naming the installed binary and parameter files, accepted by systemd-analyze verify, the template as an
# instance, and exposed no more than SECURITY_THRESHOLD in systemd-analyze security), the manual pages
# (rendered by man -l without warnings), the parameter files and the sample station are there, the binaries
# tell their version, and a short simulated run of the sample station in a station folder of its own goes on
# the air and ends through the shut-down sequence. skedcast-gui is checked when it is installed: given as a
# package, or built (SKEDCAST_GUI) in BUILD_DIR.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
usage() {
  echo "usage: $0 cmake [BUILD_DIR] | $0 deb SKEDCAST.deb [SKEDCAST-GUI.deb]" >&2
  exit 2
}
[[ $# -ge 1 ]] || usage
kind=$1
# systemd-analyze security's overall exposure, times ten: the units rate 1.5 (systemd 252); more means a
# sandbox setting was lost.
security_threshold=${SECURITY_THRESHOLD:-15}

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failed=0
fail() {
  echo "check-install: $*" >&2
  failed=1
}
# Dependencies from dpkg-deb's control fields, one per line (alternatives and versions kept).
depends_of() {
  dpkg-deb -f "$1" Depends Pre-Depends Recommends | sed 's/^[A-Za-z-]*: //' | tr ',' '\n' | sed 's/^ *//'
}

with_gui=0
case $kind in
  cmake)
    [[ $# -le 2 ]] || usage
    build=${2:-$here/build}
    cmake --install "$build" --prefix "$root" >/dev/null
    prefix=$root
    etc=$root/etc
    installed_prefix=$root
    grep -qx 'SKEDCAST_GUI:BOOL=ON' "$build/CMakeCache.txt" && with_gui=1
    ;;
  deb)
    [[ ($# -eq 2 || $# -eq 3) && -f $2 ]] || usage
    deb=$2
    [[ $# -eq 3 ]] && { [[ -f $3 ]] || usage; gui_deb=$3; with_gui=1; }
    [[ $(dpkg-deb -f "$deb" Package) == skedcast ]] || fail "$deb is not the skedcast package"
    version=$(dpkg-deb -f "$deb" Version)
    # Errors and warnings fail the check.
    lintian --fail-on error,warning "$deb" || fail "lintian reports errors or warnings in $deb"
    dpkg-deb -x "$deb" "$root"
    prefix=$root/usr
    etc=$root/etc
    installed_prefix=/usr
    depends=$(depends_of "$deb")
    grep -q '^libc6' <<<"$depends" || fail "no library dependencies (dpkg-shlibdeps) in $deb"
    grep -qx 'adduser' <<<"$depends" || fail "$deb does not depend on adduser"
    # The headless station installs on a box without Qt.
    ! grep -qi 'qt' <<<"$depends" || fail "$deb depends on Qt: $(grep -i qt <<<"$depends" | tr '\n' ' ')"
    conffiles=$(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles)
    for conffile in /etc/default/skedcast /etc/skedcast/example.conf; do
      grep -qx "$conffile" <<<"$conffiles" || fail "$conffile is not a conffile of $deb"
    done
    if [[ $with_gui -eq 1 ]]; then
      [[ $(dpkg-deb -f "$gui_deb" Package) == skedcast-gui ]] || fail "$gui_deb is not the skedcast-gui package"
      [[ $(dpkg-deb -f "$gui_deb" Version) == "$version" ]] ||
        fail "$gui_deb is version $(dpkg-deb -f "$gui_deb" Version), $deb $version"
      lintian --fail-on error,warning "$gui_deb" || fail "lintian reports errors or warnings in $gui_deb"
      dpkg-deb -x "$gui_deb" "$root"
      gui_depends=$(depends_of "$gui_deb")
      grep -qx "skedcast (= $version)" <<<"$gui_depends" || fail "$gui_deb does not depend on skedcast (= $version)"
      grep -q '^libqt6widgets6' <<<"$gui_depends" || fail "$gui_deb does not depend on Qt's widgets (dpkg-shlibdeps)"
      # Nothing of the station's own package again in the windows' package.
      dpkg-deb -c "$gui_deb" | awk '{print $6}' | grep -v '/$' >"$root/gui-files"
      grep -qx './usr/bin/skedcast-gui' "$root/gui-files" || fail "$gui_deb does not hold /usr/bin/skedcast-gui"
      shared=$(dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '/$' | grep -Fxf "$root/gui-files" || true)
      [[ -z $shared ]] || fail "both packages hold $(tr '\n' ' ' <<<"$shared")"
    fi
    ;;
  *) usage ;;
esac

binary=$prefix/bin/skedcast
gui_binary=$prefix/bin/skedcast-gui
unit_dir=$prefix/lib/systemd/system
unit=$unit_dir/skedcast.service
template=$unit_dir/skedcast@.service
page=$prefix/share/man/man1/skedcast.1.gz
gui_page=$prefix/share/man/man1/skedcast-gui.1.gz
examples=$prefix/share/doc/skedcast/examples
expected=("$binary" "$unit" "$template" "$page" "$etc/default/skedcast" "$etc/skedcast/example.conf"
          "$examples/data/schedule.lst" "$examples/log")
[[ $with_gui -eq 1 ]] && expected+=("$gui_binary" "$gui_page" "$prefix/share/doc/skedcast-gui/copyright")
for path in "${expected[@]}"; do
  [[ -e $path ]] || fail "${path#"$root"} is not installed"
done
[[ $failed -eq 0 ]] || exit 1

# skedcast runs where Qt is not installed.
qt_needed=$(readelf -d "$binary" | grep -i 'NEEDED.*libQt' || true)
[[ -z $qt_needed ]] || fail "$binary links Qt: $qt_needed"

# The units run the installed binary with the installed parameter files (/usr/bin and /etc in the package),
# the control socket in the runtime folder systemd makes.
bin=$installed_prefix/bin/skedcast
station_args() {  # SOCKET
  echo "--headless --enable --control=$1 \$SKEDCAST_OPTIONS \$CALLSIGN \$PORT \$KEYLINE"
}
expect_line() {  # FILE LINE
  grep -qxF "$2" "$1" || fail "${1#"$root"} lacks \"$2\": $(grep "^${2%%=*}=" "$1" | tr '\n' ' ')"
}
expect_line "$unit" "ExecStart=$bin $(station_args /run/skedcast/control)"
expect_line "$unit" "ExecReload=$bin ctl reload"
expect_line "$unit" "RuntimeDirectory=skedcast"
expect_line "$template" "ExecStart=$bin $(station_args /run/skedcast/%i/control)"
expect_line "$template" "ExecReload=$bin ctl --station=%i reload"
expect_line "$template" "RuntimeDirectory=skedcast/%i"
expect_line "$template" "StateDirectory=skedcast/%i"
if [[ $kind == deb ]]; then
  expect_line "$unit" 'EnvironmentFile=/etc/default/skedcast'
  expect_line "$template" 'EnvironmentFile=/etc/skedcast/%i.conf'
else
  expect_line "$unit" "EnvironmentFile=$etc/default/skedcast"
  expect_line "$template" "EnvironmentFile=$etc/skedcast/%i.conf"
fi
# verify looks for the binary and the manual page where the units name them: in the scratch tree. The
# template is verified as an instance.
units=$root/units
mkdir -p "$units"
for file in "$unit" "$template"; do
  sed "s|^\(Exec[A-Za-z]*=\)$installed_prefix/|\1$prefix/|" "$file" >"$units/$(basename "$file")"
done
for name in skedcast.service skedcast@test.service; do
  # It reports a key it cannot read only as a warning: any word from it fails the check.
  verify_status=0
  verify=$(MANPATH=$prefix/share/man: systemd-analyze verify "$units/$name" 2>&1) || verify_status=$?
  [[ $verify_status -eq 0 && -z $verify ]] || fail "systemd-analyze verify refuses $name: $verify"
  security_status=0
  security=$(systemd-analyze security --offline=yes --threshold="$security_threshold" --no-pager "$units/$name" 2>&1) ||
    security_status=$?
  [[ $security_status -eq 0 ]] ||
    fail "$name rates over $((security_threshold / 10)).$((security_threshold % 10)):$(grep -i 'overall exposure' <<<"$security" | sed 's/^[^:]*: */ /')"
done

# The manual pages render, without groff warnings.
pages=("$page")
[[ $with_gui -eq 1 ]] && pages+=("$gui_page")
for manual in "${pages[@]}"; do
  warnings=$(MANWIDTH=80 man --warnings -l "$manual" 2>&1 >/dev/null) || fail "man -l cannot render $manual"
  [[ -z $warnings ]] || fail "man -l warns about $manual: $warnings"
  MANWIDTH=80 man -l "$manual" 2>/dev/null | grep -q '^EXIT STATUS' || fail "man -l $manual has no EXIT STATUS section"
done

"$binary" --version | grep -qx 'skedcast [0-9.]*' || fail "$binary --version: $("$binary" --version)"
if [[ $with_gui -eq 1 ]]; then
  [[ $("$gui_binary" --version) == $("$binary" --version) ]] ||
    fail "$gui_binary --version: $("$gui_binary" --version), not that of $binary"
fi

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
checked=skedcast
[[ $with_gui -eq 1 ]] && checked="skedcast and skedcast-gui"
echo "check-install: $kind install of $checked checked ($("$binary" --version))"
