#pragma once
// Syslog over TLS: a TLS session for each connection, on the listener's own non-blocking
// sockets. A connection's decrypted bytes go on as any syslog connection's do; a handshake that
// refuses the sender, or isn't done in time, closes the connection and is told as a refusal.

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace net {
class TCustomWinSocket;
}
namespace tls {
class ServerContext;
class ServerSession;
struct ServerSettings;
}  // namespace tls

namespace channel {

class TlsReception : public QObject {
    Q_OBJECT

public:
    // Decrypted bytes of a connection; may throw (an alert check), and the rest of the read goes.
    using Deliver = std::function<void(net::TCustomWinSocket& connection, std::string_view bytes)>;
    // A connection refused by its handshake, with why; it is closed right after.
    using Refuse = std::function<void(net::TCustomWinSocket& connection, const QString& reason)>;

    TlsReception(Deliver deliver, Refuse refuse);
    ~TlsReception() override;

    // The certificate and the check of senders; the reason when they can't be used.
    QString start(const tls::ServerSettings& settings);
    // Every session goes.
    void stop();
    // A handshake not done this long after the connection came is refused (10 s).
    void set_handshake_limit(std::chrono::milliseconds limit) { handshake_limit_ = limit; }

    void connection_opened(net::TCustomWinSocket& connection);
    // The connection has bytes, or takes them again after its answer filled it: the handshake
    // goes on, or what it decrypts is delivered.
    void readable(net::TCustomWinSocket& connection);
    void connection_closed(net::TCustomWinSocket& connection);

private:
    struct Session;
    void refuse_and_close(net::TCustomWinSocket& connection, const QString& reason);
    void close_late_handshakes();

    Deliver deliver_;
    Refuse refuse_;
    std::unique_ptr<tls::ServerContext> context_;
    std::unordered_map<const void*, std::unique_ptr<Session>> sessions_;
    std::chrono::milliseconds handshake_limit_{10'000};
    QTimer handshake_check_;
    // One read's decrypted bytes, kept to be reused.
    std::vector<char> buffer_;
};

}  // namespace channel
