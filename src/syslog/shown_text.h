#pragma once
// A syslog message as one line of the view: the line breaks and NULs a message may hold
// (octet counting and datagrams carry them) are shown as control pictures.

#include <string>
#include <string_view>

namespace syslog_proto {

// LF, CR and NUL become "␊", "␍", "␀" (U+240A, U+240D, U+2400). Returns message itself when it
// holds none (the common case, no copy), else the text written into buffer.
std::string_view shown_line(std::string_view message, std::string& buffer);

}  // namespace syslog_proto
