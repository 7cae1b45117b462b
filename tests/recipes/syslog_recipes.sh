#!/usr/bin/env bash
# Runs the README's syslog recipes for real: a real Vesmira (no display needed) listens with a
# saved syslog window that logs to a file, and real logger, rsyslogd and Python send to it with
# each recipe; every message must arrive as one line of the file, header and text together. The
# help topic must give the same recipes, the ones run here and those that can't be:
# - syslog-ng: Debian 12's syslog-ng-core conflicts with rsyslog, which this test and the
#   recipes test need, so the two can't be installed together;
# - docker: there is no Docker daemon to run a container with;
# - netlogd: systemd-netlogd is not packaged in Debian 12.
# Usage: syslog_recipes.sh BIN_DIR README HELP_TOPIC
set -euo pipefail

source "$(dirname "$0")/recipe_helpers.sh"

need_tools logger rsyslogd python3 nc
help_gives_recipes rsyslog-udp rsyslog-tcp-octet rsyslog-tcp-lf syslog-ng docker netlogd \
    python-udp python-tcp logger-udp logger-tcp

port=$(free_port)
start_vesmira "$port" 'value "protocol" str "syslog"'

# A recipe as run here: to this computer and the window's port.
local_recipe() {
    local text
    text=$(recipe "$1")
    text=${text//192.0.2.10/127.0.0.1}
    printf '%s\n' "${text//5514/$port}"
}
# A line as it arrives: the priority, then the rest of the message through to its end.
arrived() { printf '^<[0-9]{1,3}>%s$' "$1"; }

# Runs a recipe with its "disk almost full" made a marker of its own.
run_with() {
    local text=$1 marker=$2
    bash -c "${text//disk almost full/$marker}"
}

# logger, as the recipes give it, and with the framings and headers they mention.
logger_udp=$(local_recipe logger-udp)
logger_tcp=$(local_recipe logger-tcp)
logger_lf=${logger_tcp/ --octet-count/}
# The first also proves the window listens before the other senders start.
expect_line "logger over UDP" "$(arrived '1 .* logger-udp-marker')" run_with "$logger_udp" logger-udp-marker
expect_line "logger over TCP, octet-counted" "$(arrived '1 .* logger-octet-marker')" \
    run_with "$logger_tcp" logger-octet-marker
expect_line "logger over TCP, a line feed after each message" "$(arrived '1 .* logger-lf-marker')" \
    run_with "$logger_lf" logger-lf-marker
expect_line "logger --rfc3164" "$(arrived '[A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} .*logger-3164-marker')" \
    run_with "${logger_udp/--udp/--udp --rfc3164}" logger-3164-marker
expect_line "logger --rfc5424" "$(arrived '1 [0-9]{4}-[0-9]{2}-[0-9]{2}T.* logger-5424-marker')" \
    run_with "${logger_lf/--tcp/--tcp --rfc5424}" logger-5424-marker
# A counted message holding a line feed is one message, the line feed shown as a picture.
expect_line "a line feed inside a counted message" "$(arrived '1 .* counted-first␊counted-second')" \
    run_with "$logger_tcp" $'counted-first\ncounted-second'

# A count that is no count: the connection goes on with line feeds, and nothing is lost.
bad_count() { printf '12x <13>bad-count-marker\n<13>after-bad-count-marker\n' | nc -N 127.0.0.1 "$port"; }
expect_line "a message after a bad count" '^12x <13>bad-count-marker$' bad_count
expect_line "the message after it" "$(arrived 'after-bad-count-marker')" true

# Python's SysLogHandler over UDP, and over TCP two messages at once: the NUL after each keeps
# them apart.
expect_line "Python over UDP" '^<12>python-udp-marker$' python3 -c "$(local_recipe python-udp | sed 's/disk almost full/python-udp-marker/')"
python_tcp=$(local_recipe python-tcp | sed 's/disk almost full/python-tcp-first/')
python_tcp+=$'\nlogging.getLogger().warning("python-tcp-second")'
expect_line "Python over TCP" '^<12>python-tcp-first$' python3 -c "$python_tcp"
expect_line "Python over TCP, the second message" '^<12>python-tcp-second$' true

# rsyslog: a private rsyslogd for each recipe, each reading a socket of its own.
for name in rsyslog-udp rsyslog-tcp-octet rsyslog-tcp-lf; do
    start_rsyslogd "$work/$name" "$(local_recipe "$name")"
done
for name in rsyslog-udp rsyslog-tcp-octet rsyslog-tcp-lf; do
    expect_line "$name" "$(arrived ".* $name-marker")" \
        sh -c "logger -u '$work/$name/log.sock' $name-marker 2>/dev/null || true"
done

echo "$me: every recipe arrived"
