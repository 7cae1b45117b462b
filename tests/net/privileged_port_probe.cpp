// Tries to listen on the port given and prints the errno the listener failed with (0 when it
// listens), so a test can run it as another user.

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
    net::TServerSocket listener;
    listener.SetPort(static_cast<std::int32_t>(std::atoi(argv[1])));
    try {
        listener.SetActive(true);
        std::puts("0");
    } catch (const net::ESocketError& error) {
        std::printf("%d\n", error.code());
    }
    return 0;
}
