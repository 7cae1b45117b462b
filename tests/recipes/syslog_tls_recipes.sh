#!/usr/bin/env bash
# Runs the README's rsyslog recipes for syslog over TLS for real: one Vesmira (no display needed)
# with three saved syslog-over-TLS windows that log to a file, each asking its senders for
# something else, and a private rsyslogd for each, forwarding with its gtls driver:
# - no certificate asked: rsyslogd pins the fingerprint of Vesmira's own certificate, as Vesmira
#   made it in its tls folder;
# - "fingerprint": rsyslogd shows a certificate made with the README's commands, whose printed
#   fingerprint is the window's list;
# - "ca": rsyslogd shows a certificate signed by a CA made here.
# Their messages must arrive. Senders these windows refuse can only be seen in the Refused
# senders dialog, so test_log_channel checks them with rsyslogd against the channel.
# Usage: syslog_tls_recipes.sh BIN_DIR README HELP_TOPIC
set -euo pipefail

source "$(dirname "$0")/recipe_helpers.sh"

need_tools rsyslogd openssl logger nc
compgen -G "/usr/lib/*/rsyslog/lmnsd_gtls.so" >/dev/null ||
    fail "rsyslog's gtls driver is missing (scripts/install-deps installs rsyslog-gnutls)"
help_gives_recipes rsyslog-tls-fingerprint rsyslog-tls-client rsyslog-tls-client-certificate

# A recipe as run here: with the folder FOLDER for the sender's certificate and key, and to PORT
# of this computer, pinning Vesmira's fingerprint once it is known.
local_recipe() {
    local name=$1 folder=$2 port=${3-}
    local text
    text=$(recipe "$name")
    text=${text//192.0.2.10/127.0.0.1}
    text=${text//6514/$port}
    text=${text//\/etc\/ssl\/certs/$folder}
    text=${text//\/etc\/ssl\/private/$folder}
    printf '%s\n' "${text//SHA256:AB:CD:.../${vesmira_fingerprint-}}"
}

# The sender certificates: one made with the README's commands, which print its fingerprint, and
# one signed by a CA.
listed=$work/listed
mkdir -p "$listed"
listed_fingerprint=$(bash -c "$(local_recipe rsyslog-tls-client-certificate "$listed")" 2>/dev/null)
[[ $listed_fingerprint =~ ^SHA256:([0-9A-F]{2}:){31}[0-9A-F]{2}$ ]] ||
    fail "the README's commands printed no fingerprint: $listed_fingerprint"
signed=$work/signed
mkdir -p "$signed"
new_key() { openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=$1" -keyout "$2" "${@:3}" 2>/dev/null; }
new_key "Test CA" "$work/ca.key" -x509 -days 1 -out "$work/ca.pem"
new_key sender "$signed/rsyslog-client.key" |
    openssl x509 -req -CA "$work/ca.pem" -CAkey "$work/ca.key" -days 1 -out "$signed/rsyslog-client.pem" 2>/dev/null

pinned_port=$(free_port)
listed_port=$(free_port)
ca_port=$(free_port)
tls='value "protocol" str "syslog-tls"'
start_vesmira_with "$(saved_window pinned "$pinned_port" "$tls")
$(saved_window listed "$listed_port" "$tls" 'value "tlsauth" str "fingerprint"' \
    "value \"tlsfingerprints\" str \"$listed_fingerprint\"")
$(saved_window ca "$ca_port" "$tls" 'value "tlsauth" str "ca"' "value \"tlsca\" str $(quote "$work/ca.pem")")" \
    "$pinned_port" "$listed_port" "$ca_port"
# The windows listen: Vesmira has made its own certificate.
vesmira_fingerprint=$(openssl x509 -noout -fingerprint -sha256 -in "$work/config/Tarnwheel/vesmira/tls/certificate.pem")
vesmira_fingerprint=SHA256:${vesmira_fingerprint#*=}

start_rsyslogd "$work/pinned" "$(local_recipe rsyslog-tls-fingerprint "$work/pinned" "$pinned_port")"
for sender in listed:$listed_port signed:$ca_port; do
    folder=$work/${sender%:*}
    start_rsyslogd "$folder" "$(local_recipe rsyslog-tls-client "$folder")
$(local_recipe rsyslog-tls-fingerprint "$folder" "${sender#*:}")"
done
for sender in pinned listed signed; do
    expect_line "rsyslog over TLS, $sender" "^<[0-9]{1,3}>.* tls-$sender-marker$" \
        sh -c "logger -u '$work/$sender/log.sock' tls-$sender-marker 2>/dev/null || true"
done

echo "$me: every recipe arrived"
