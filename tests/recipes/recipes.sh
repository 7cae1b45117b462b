#!/usr/bin/env bash
# Runs the README's "Sending logs to Vesmira" recipes for real: a real Vesmira (no display
# needed) listens with a saved window that logs to a file, and each recipe's source, with real
# tail, journalctl, rsyslogd and ssh, must bring a line into that file. The help topic must
# give the same recipes.
# Usage: recipes.sh BIN_DIR README HELP_TOPIC
set -euo pipefail

source "$(dirname "$0")/recipe_helpers.sh"

# The tunnel's far end is a private sshd, which needs root for its privilege separation.
if [ "$(id -u)" -ne 0 ]; then
    echo "recipes: skipped, the stand-in for the tunnel's far end (sshd) needs root"
    exit 77
fi

need_tools tail journalctl /lib/systemd/systemd-journal-remote rsyslogd logger /usr/sbin/sshd ssh ssh-keygen nc
help_gives_recipes tail journal rsyslog tunnel tunnel-sender

vesmira_port=$(free_port)
tunnel_port=$(free_port)
sshd_port=$(free_port)

# ssh: a private sshd on this machine stands in for "loghost", reached through a config file.
mkdir -p "$work/ssh" /run/sshd
ssh-keygen -q -t ed25519 -N '' -f "$work/ssh/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$work/ssh/user_key"
cp "$work/ssh/user_key.pub" "$work/ssh/authorized_keys"
cat > "$work/ssh/sshd_config" <<EOF
ListenAddress 127.0.0.1
Port $sshd_port
HostKey $work/ssh/host_key
AuthorizedKeysFile $work/ssh/authorized_keys
PidFile none
StrictModes no
UsePAM no
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
AllowTcpForwarding yes
EOF
cat > "$work/ssh/ssh_config" <<EOF
Host loghost
    HostName 127.0.0.1
    Port $sshd_port
    User $(id -un)
    IdentityFile $work/ssh/user_key
    IdentitiesOnly yes
    BatchMode yes
    StrictHostKeyChecking no
    UserKnownHostsFile /dev/null
    LogLevel ERROR
EOF
start /usr/sbin/sshd -D -e -f "$work/ssh/sshd_config" 2> "$work/ssh/sshd.log"
wait_for_port "$sshd_port" sshd

# The window's command is the tunnel recipe as typed, told where "loghost" is. This machine is
# both ends here, so the remote end's port is another one than the window's.
tunnel=$(recipe tunnel)
tunnel=${tunnel/ssh /ssh -F $work/ssh/ssh_config }
tunnel=${tunnel/-R 5000:localhost:5000/-R $tunnel_port:localhost:$vesmira_port}

# A saved window "recipes" on its port, logging every line to a file, reopened at start.
start_vesmira "$vesmira_port" "value \"command\" str $(quote "$tunnel")"
# Also proves the listener is up before any source connects.
expect_line "a line sent with nc" "plain-nc-marker" sh -c "echo plain-nc-marker | nc -N 127.0.0.1 $vesmira_port"

# tail -F on a file that grows.
app_log=$work/app.log
: > "$app_log"
source_tail=$(recipe tail)
source_tail=${source_tail//\/var\/log\/app.log/$app_log}
start bash -c "${source_tail//5000/$vesmira_port}"
expect_line "tail -F" "tail-recipe-marker" sh -c "echo tail-recipe-marker >> '$app_log'"

# The journal: a private journal directory written through systemd-journal-remote, with this
# boot's id (journalctl -f shows the current boot).
journal=$work/journal
mkdir -p "$journal"
boot_id=$(tr -d - < /proc/sys/kernel/random/boot_id)
journal_entry() {
    printf '__REALTIME_TIMESTAMP=%s\n__MONOTONIC_TIMESTAMP=1\n_BOOT_ID=%s\n_HOSTNAME=recipes\nSYSLOG_IDENTIFIER=probe\nMESSAGE=%s\n\n' \
        "$(date +%s%6N)" "$boot_id" "$1" |
        /lib/systemd/systemd-journal-remote --output="$journal/remote.journal" - 2>/dev/null
}
journal_entry "opening entry"
source_journal=$(recipe journal)
source_journal=${source_journal/journalctl /journalctl --directory=$journal }
start bash -c "${source_journal//5000/$vesmira_port}"
expect_line "journalctl -f" "journal-recipe-marker" journal_entry "journal-recipe-marker"

# rsyslog: a private rsyslogd reading a socket of its own, forwarding with the recipe's action.
forward=$(recipe rsyslog)
forward=${forward//192.0.2.10/127.0.0.1}
start_rsyslogd "$work/rsyslog" "${forward//5000/$vesmira_port}"
expect_line "rsyslog" "rsyslog-recipe-marker" \
    sh -c "logger -u '$work/rsyslog/log.sock' rsyslog-recipe-marker 2>/dev/null || true"

# The tunnel: a sender on "loghost" writes to its own port, which the window's ssh forwards.
sender=$(recipe tunnel-sender)
remote_log=$work/remote-syslog
: > "$remote_log"
sender=${sender//\/var\/log\/syslog/$remote_log}
wait_for_port "$tunnel_port" "the tunnel's far end"
start bash -c "${sender//5000/$tunnel_port}"
expect_line "the ssh tunnel" "tunnel-recipe-marker" sh -c "echo tunnel-recipe-marker >> '$remote_log'"

echo "recipes: every recipe arrived"
