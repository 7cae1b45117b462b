// Wording of the listener's error messages.

#include "net/socket_errors.h"

#include <cstring>

namespace net {

std::string socket_api_error_message(std::string_view system_text, int code, std::string_view api)
{
    // Trailing blanks, line ends and full stops would sit awkwardly before " (%d)".
    while (!system_text.empty()) {
        const auto last = static_cast<unsigned char>(system_text.back());
        if (last > ' ' && last != '.')
            break;
        system_text.remove_suffix(1);
    }
    std::string message = "Windows-Socket-Fehler: ";
    message += system_text;
    message += " (";
    message += std::to_string(code);
    message += "), auf API '";
    message += api;
    message += "'";
    return message;
}

std::string socket_api_error_message(int code, std::string_view api)
{
    return socket_api_error_message(std::strerror(code), code, api);
}

std::string async_socket_error_message(int32_t code)
{
    return "Asynchroner Socket-Fehler " + std::to_string(code);
}

}  // namespace net
