#pragma once
// The program's places in the configuration store, spelled once: key paths and value names.

#include <string>

namespace store {

inline const std::string product_key = "\\Software\\Tarnwheel\\vesmira";
inline const std::string open_windows_key = product_key + "\\OpenWindows";
inline const std::string configs_key = product_key + "\\configs";

// Value names.
inline const std::string reopen_windows_value = "ReopenWindowsOnRestart";  // in the product key
// In the product key, strings: the certificate chain and key files (PEM) a window receiving
// syslog over TLS shows; missing or empty: Vesmira's own certificate.
inline const std::string tls_certificate_value = "TlsCertificate";
inline const std::string tls_key_value = "TlsKey";
// In the product key: the most received text a log window keeps, in MB; 0 = no limit.
inline const std::string max_window_text_value = "MaxWindowTextMB";
inline const std::string port_value;  // a configuration's default (unnamed) value
inline const std::string command_value = "command";  // of a configuration and of an alert
// Of a configuration, an integer: 1 = only this computer may send; missing = any computer may.
inline const std::string local_only_value = "localonly";
// Of a configuration, a string: the addresses and networks that may send ("Accept from");
// empty or missing: everyone may.
inline const std::string allow_from_value = "allowfrom";
// Of a configuration, strings: what a sender over TLS must show, "anon" (no certificate),
// "ca" (one signed by the CA in the PEM file "tlsca") or "fingerprint" (one whose fingerprint
// is among "tlsfingerprints", one a line); missing = "anon".
inline const std::string tls_auth_value = "tlsauth";
inline const std::string tls_ca_value = "tlsca";
inline const std::string tls_fingerprints_value = "tlsfingerprints";
inline const std::string sound_value = "sound";
inline const std::string catchwords_value = "catchwords";
inline const std::string color_titlebar_value = "color_titlebar";
inline const std::string active_value = "active";
// Of a configuration, a string: the file its window logs every line to; empty or missing while
// it logs nowhere.
inline const std::string log_file_value = "logfile";
// Of a configuration, an integer: 1 = its window shows each line's arrival time; missing = off.
inline const std::string arrival_times_value = "arrivaltimes";
// Of a configuration, a string: what its window listens for, "lines" (text lines over TCP),
// "syslog" (syslog over UDP and TCP) or "syslog-tls" (syslog over TLS); missing = "lines".
inline const std::string protocol_value = "protocol";
// Of a configuration, an integer: 1 = its window shows each line's sender address; missing = off.
inline const std::string sender_addresses_value = "senders";
// Of an alert: 1 = a firing line shows a desktop notification; missing (older stores) = off.
inline const std::string notify_value = "notify";
// Of an alert, integers; each missing (older stores) means the alert as it was before them:
// 1 = its catchwords are regular expressions;
inline const std::string regex_value = "regex";
// 0-7: it fires only on syslog lines of this severity or worse (missing: any line);
inline const std::string min_severity_value = "minseverity";
// it fires only when this many matching lines came within that many seconds (missing: 1 line);
inline const std::string burst_count_value = "burstcount";
inline const std::string burst_seconds_value = "burstseconds";
// seconds: it also fires when no line came for this long (0 or missing: never).
inline const std::string silence_value = "silence";

// configs_key + "\" + name. The name is used unchanged: a backslash in it is a level separator.
std::string config_key(const std::string& config_name);
// config_key(config_name) + "\alerts"
std::string alerts_key(const std::string& config_name);
// alerts_key(config_name) + "\" + alert_name
std::string alert_key(const std::string& config_name, const std::string& alert_name);

}  // namespace store
