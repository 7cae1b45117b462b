#pragma once
// The listener's exception class and the texts it carries; plain functions so the wording can be
// checked without any socket.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace net {

// Raised by the listener and its socket objects: its message, and the errno of the system call
// that failed (0 when the error isn't a failed call), so a caller can tell why.
class ESocketError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    ESocketError(const std::string& message, int code) : std::runtime_error(message), code_(code) {}
    int code() const noexcept { return code_; }

private:
    int code_ = 0;
};

// "Windows-Socket-Fehler: %s (%d), auf API '%s'" for an OS call that failed with errno `code`.
// The system text (strerror) loses trailing characters at or below the blank and trailing full stops.
std::string socket_api_error_message(int code, std::string_view api);

// The same message with the system text given, so the trimming rule can be checked directly.
std::string socket_api_error_message(std::string_view system_text, int code, std::string_view api);

// "Asynchroner Socket-Fehler %d": a readiness carried an error nobody cleared.
std::string async_socket_error_message(int32_t code);

inline constexpr const char* kCannotListenOnOpenSocket = "Ein offener Socket kann nicht beobachtet werden";
inline constexpr const char* kCannotCreateSocket = "Es kann kein neuer Socket erzeugt werden";
inline constexpr const char* kCannotChangeWhileActive =
    "Der Wert kann nicht geändert werden, während der Socket aktiv ist";

}  // namespace net
