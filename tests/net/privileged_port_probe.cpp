// Tries to listen on the port given, over TCP and then UDP, and prints the errno each failed with
// (0 when it listens), so a test can run it as another user.

#include "net/datagram_receiver.h"
#include "net/socket_errors.h"
#include "net/tserversocket.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    if (argc != 2)
        return 2;
    const auto port = static_cast<std::int32_t>(std::atoi(argv[1]));
    const auto code = [](auto&& start) {
        try {
            start();
            return 0;
        } catch (const net::ESocketError& error) {
            return error.code();
        }
    };
    net::TServerSocket listener;
    listener.SetPort(port);
    net::DatagramReceiver receiver;
    std::printf("%d %d\n", code([&] { listener.SetActive(true); }), code([&] { receiver.open(port, false); }));
    return 0;
}
