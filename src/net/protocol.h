#pragma once
// What a log window listens for on its port.

namespace net {

enum class Protocol {
    // Text lines over TCP, each ending at a line feed.
    lines,
    // Syslog messages over UDP and TCP together, on the same port.
    syslog,
    // Syslog over TLS (RFC 5425) on TCP.
    syslog_tls,
};

}  // namespace net
