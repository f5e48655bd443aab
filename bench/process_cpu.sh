# shellcheck shell=bash
# shellcheck disable=SC2034  # cpu_seconds is read by the benchmark that sources this file
# process_cpu.sh, sourced by the benchmarks that time a whole process.
#
#   process_cpu COMMAND [ARGS...]   runs COMMAND (standard input, output and error as the caller's)
#                                   and sets cpu_seconds to the CPU time it used, user plus system,
#                                   in seconds with microseconds; returns the command's exit status.
#                                   Every benchmark that compares two programs times both this way.
cpu_seconds=""

# posix_spawn and wait4: the child's own figures, none of the interpreter's.
process_cpu_script='
import os, sys
pid = os.posix_spawnp(sys.argv[2], sys.argv[2:], os.environ)
_, status, used = os.wait4(pid, 0)
with open(sys.argv[1], "w") as out:
    out.write("%.6f\n" % (used.ru_utime + used.ru_stime))
sys.exit(os.waitstatus_to_exitcode(status) % 256)
'

process_cpu() {
  local report status=0
  report=$(mktemp)
  python3 -c "$process_cpu_script" "$report" "$@" || status=$?
  cpu_seconds=$(cat "$report")
  rm -f "$report"
  return "$status"
}
