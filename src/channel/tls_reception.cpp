// TLS sessions on the listener's connections, their handshakes timed.

#include "channel/tls_reception.h"

#include "net/tcustomwinsocket.h"
#include "tls/server_context.h"
#include "tls/server_session.h"

#include <QDateTime>

#include <algorithm>
#include <span>

namespace channel {

namespace {

// How often handshakes are looked at for their time limit.
constexpr int handshake_check_ms = 1000;
// The most one read event decrypts before the event loop gets a turn, as for plain connections.
constexpr std::size_t read_limit = 256 * 1024;
constexpr std::size_t buffer_bytes = 64 * 1024;
// The most one TLS record carries.
constexpr std::size_t record_bytes = 16 * 1024;

}  // namespace

struct TlsReception::Session {
    std::unique_ptr<tls::ServerSession> tls;
    net::TCustomWinSocket* connection = nullptr;
    std::chrono::steady_clock::time_point opened;
    bool handshake_done = false;
};

TlsReception::TlsReception(Deliver deliver, Refuse refuse) : deliver_(std::move(deliver)), refuse_(std::move(refuse))
{
    handshake_check_.setInterval(handshake_check_ms);
    connect(&handshake_check_, &QTimer::timeout, this, [this] { close_late_handshakes(); });
}

TlsReception::~TlsReception() = default;

QString TlsReception::start(const tls::ServerSettings& settings)
{
    auto context = std::make_unique<tls::ServerContext>(settings);
    if (!context->ok())
        return QString::fromStdString(context->error());
    context_ = std::move(context);
    buffer_.resize(buffer_bytes);
    handshake_check_.start();
    return {};
}

void TlsReception::stop()
{
    sessions_.clear();
    handshake_check_.stop();
}

void TlsReception::connection_opened(net::TCustomWinSocket& connection)
{
    if (!context_)
        return;
    auto session = std::make_unique<Session>();
    session->tls = std::make_unique<tls::ServerSession>(*context_, connection.SocketHandle());
    session->connection = &connection;
    session->opened = std::chrono::steady_clock::now();
    sessions_[&connection] = std::move(session);
}

void TlsReception::readable(net::TCustomWinSocket& connection)
{
    // The session reads the socket itself.
    connection.NoteReceived();
    const auto found = sessions_.find(&connection);
    if (found == sessions_.end())
        return;
    Session& session = *found->second;
    if (!session.handshake_done) {
        const tls::StepResult step = session.tls->step();
        if (step.status == tls::StepStatus::failed) {
            refuse_and_close(connection, QString::fromStdString(step.reason));
            return;
        }
        // A sender waits for the whole answer before it sends again: a handshake whose answer
        // the socket can't take yet goes on once it can.
        if (step.status == tls::StepStatus::want_write)
            connection.ReadWhenWritable();
        if (step.status != tls::StepStatus::done)
            return;
        session.handshake_done = true;
    }
    // OpenSSL may hold decrypted bytes the socket no longer shows: read until it has none.
    // Records (16 KiB at most) are gathered before they go on, as a plain connection's read
    // is: each delivery costs framing and a batch of lines whatever its size.
    std::size_t gathered = 0;
    for (std::size_t taken = 0; taken < read_limit;) {
        const tls::ReadResult read = session.tls->read(std::span(buffer_).subspan(gathered));
        if (read.status == tls::ReadStatus::data) {
            gathered += read.bytes;
            taken += read.bytes;
            if (buffer_.size() - gathered >= record_bytes)
                continue;
        }
        if (gathered > 0) {
            deliver_(connection, std::string_view(buffer_.data(), gathered));
            gathered = 0;
            // A handler's nested event loop may have closed the connection meanwhile.
            if (!sessions_.contains(&connection))
                return;
        }
        if (read.status == tls::ReadStatus::would_block) {
            // A key update's answer waits for room in the socket as a handshake's does.
            if (read.wants_write)
                connection.ReadWhenWritable();
            return;
        }
        if (read.status != tls::ReadStatus::data) {
            connection.Close();
            return;
        }
    }
    if (gathered > 0)
        deliver_(connection, std::string_view(buffer_.data(), gathered));
}

void TlsReception::connection_closed(net::TCustomWinSocket& connection)
{
    sessions_.erase(&connection);
}

void TlsReception::refuse_and_close(net::TCustomWinSocket& connection, const QString& reason)
{
    refuse_(connection, reason);
    connection.Close();
}

void TlsReception::close_late_handshakes()
{
    const auto now = std::chrono::steady_clock::now();
    std::vector<net::TCustomWinSocket*> late;
    for (const auto& [key, session] : sessions_)
        if (!session->handshake_done && now - session->opened >= handshake_limit_)
            late.push_back(session->connection);
    // Closing tells connection_closed, which changes the sessions: they are closed after.
    for (net::TCustomWinSocket* connection : late)
        if (sessions_.contains(connection))
            refuse_and_close(*connection, QStringLiteral("TLS handshake failed: not done within %1 s")
                                              .arg(std::chrono::duration_cast<std::chrono::seconds>(handshake_limit_).count()));
}

}  // namespace channel
