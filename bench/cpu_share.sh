# shellcheck shell=bash
# shellcheck disable=SC2034  # cpu_percent is read by the benchmark that sources this file
# cpu_share.sh, sourced by the benchmarks that measure a station on the real clock.
#
#   cpu_share PID SECONDS   follows process PID (a child of the calling shell) until it ends and
#                           sets cpu_percent to the share of one core it used over SECONDS, in %
#                           with two decimals. Run it in the calling shell, not in $(...): only the
#                           parent reaps the process, and an unreaped one never looks ended.
cpu_percent=""

cpu_share() {
  local pid=$1 seconds=$2 last=0 stat ticks_per_second
  ticks_per_second=$(getconf CLK_TCK)
  while kill -0 "$pid" 2>/dev/null; do
    # fields 14 and 15 of /proc/PID/stat: user and system time in clock ticks
    read -r -a stat < "/proc/$pid/stat" || break
    last=$(( stat[13] + stat[14] ))
    sleep 1
  done
  cpu_percent=$(awk -v t="$last" -v hz="$ticks_per_second" -v s="$seconds" 'BEGIN { printf "%.2f", 100 * t / hz / s }')
}
