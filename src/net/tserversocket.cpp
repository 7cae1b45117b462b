// Properties of the listener component; the work is done by its listening socket object.

#include "net/tserversocket.h"

namespace net {

TServerSocket::TServerSocket(QObject* parent)
    : QObject(parent), server_socket_(std::make_unique<TServerWinSocket>(*this))
{
}

TServerSocket::~TServerSocket()
{
    // Connections and the listening socket go before the events they would report to.
    server_socket_.reset();
}

void TServerSocket::SetActive(bool value)
{
    if (value == active_)
        return;
    if (value == server_socket_->Connected())
        return;
    if (server_socket_->Connected())
        server_socket_->close_listener();
    else
        server_socket_->listen(service_, static_cast<uint16_t>(static_cast<uint32_t>(port_) & 0xFFFFu), local_only_);
}

void TServerSocket::SetPort(int32_t value)
{
    change_while_inactive(port_, value);
}

void TServerSocket::SetService(const std::string& value)
{
    change_while_inactive(service_, value);
}

void TServerSocket::SetLocalOnly(bool value)
{
    change_while_inactive(local_only_, value);
}

template <typename Value>
void TServerSocket::change_while_inactive(Value& field, const Value& value)
{
    if (value == field)
        return;
    if (active_)
        throw ESocketError(kCannotChangeWhileActive);
    field = value;
}

}  // namespace net

