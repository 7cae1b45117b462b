// A log window's channel: from the listener's reads to the kept, filtered and logged lines.

#include "channel/log_channel.h"

#include "net/tcustomwinsocket.h"
#include "net/tserversocket.h"
#include "net/tserverwinsocket.h"
#include "platform/error_report.h"

#include <QDateTime>
#include <QFile>
#include <QScopeGuard>

#include <algorithm>
#include <string>

namespace channel {

namespace {

// The most one read event takes from a connection. The listener offers the rest in further
// read events, so the event loop gets a turn between them: a sender that filled a large socket
// buffer (Linux lets it grow to tens of MiB) can't hold up painting, input or other senders.
constexpr std::int32_t read_limit = 256 * 1024;
// Lines wait in the log file's buffer at most this long.
constexpr int log_flush_interval_ms = 1000;

}  // namespace

// Line assembly's view of the channel: the log's lines, the alert check and the log file for
// each completed line, and the lines completed by one chunk for the filter.
class LogChannel::Target final : public LineTarget {
public:
    explicit Target(LogChannel& owner) : channel(owner) {}

    int line_count() const override { return channel.lines_.line_count(); }
    std::int64_t first_line_number() const override { return channel.lines_.first_line_number(); }
    std::string_view line_view(int index) const override { return channel.lines_.line_view(index); }
    void append_lines(std::span<const std::string_view> lines) override { channel.lines_.append(lines, time); }
    void extend_line(int index, std::string_view bytes) override { channel.lines_.extend(index, bytes, time); }
    void check_line(std::string_view line) override
    {
        std::vector<alerts::AlertActions> actions = channel.alerts_.check_line(line);
        if (!actions.empty())
            emit channel.alert_fired(actions, line);
        channel.log_line(line);
        ++channel.lines_received_;
    }
    void line_completed(std::int64_t number) override
    {
        // Only a filter wants them: without one, a line costs nothing more here.
        if (channel.filter_->active())
            completed.push_back(number);
    }

    // The arrival time of the chunk being assembled; its lines share it.
    lines::ArrivalTime time = lines::no_arrival_time;
    std::vector<std::int64_t> completed;

private:
    LogChannel& channel;
};

LogChannel::LogChannel(alerts::HighlightList& highlights, QObject* parent)
    : QObject(parent),
      alerts_(highlights),
      filter_(std::make_unique<LineFilter>(lines_)),
      target_(std::make_unique<Target>(*this))
{
    listener_ = new net::TServerSocket(this);
    listener_->setObjectName(QStringLiteral("ServerSocket1"));
    listener_->OnClientConnect = [this](net::TServerWinSocket&, net::TCustomWinSocket&) { emit senders_changed(); };
    listener_->OnClientRead = [this](net::TServerWinSocket&, net::TCustomWinSocket& connection) { read_from(connection); };
    // Line assembly keeps a fragment per connection and must learn when one ends.
    listener_->OnClientDisconnect = [this](net::TServerWinSocket&, net::TCustomWinSocket& connection) {
        assembly_.connection_closed(&connection);
        emit senders_changed();
    };
    log_flush_timer_.setInterval(log_flush_interval_ms);
    connect(&log_flush_timer_, &QTimer::timeout, this, [this] { flush_log_file(); });
}

LogChannel::~LogChannel()
{
    // The listener goes first: its events reach into members that are about to go.
    listener_->OnClientConnect = nullptr;
    listener_->OnClientRead = nullptr;
    listener_->OnClientDisconnect = nullptr;
    delete listener_;
}

void LogChannel::listen(std::int32_t port, bool local_only)
{
    listener_->SetPort(port);
    listener_->SetLocalOnly(local_only);
    listener_->SetActive(true);
}

void LogChannel::close()
{
    if (listener_->Active())
        listener_->SetActive(false);
    // Closing the listener destroyed every connection without telling anyone.
    assembly_.reset();
    stop_logging();
    emit senders_changed();
}

bool LogChannel::listening() const { return listener_->Active(); }

int LogChannel::senders() const { return listener_->Active() ? listener_->Socket().ActiveConnections() : 0; }

void LogChannel::read_from(net::TCustomWinSocket& connection)
{
    platform::guarded(
        [&] {
            try {
                const std::int32_t pending = std::min(connection.AvailableByteCount(), read_limit);
                std::string text(static_cast<std::size_t>(std::max(pending, 0)), '\0');
                const std::int32_t received = connection.ReadBytes(text.data(), pending);
                text.resize(static_cast<std::size_t>(std::max(received, 0)));
                receive(&connection, text, QDateTime::currentMSecsSinceEpoch());
            } catch (...) {
                // The rest of the chunk is lost; the connection (if the read didn't close it)
                // and the channel go on.
                emit receive_failed();
            }
        },
        platform::ErrorSource::Network);
}

void LogChannel::receive(LineAssembly::ConnectionKey connection, std::string_view chunk, lines::ArrivalTime time)
{
    bytes_received_ += static_cast<std::int64_t>(chunk.size());
    target_->time = time;
    target_->completed.clear();
    // The lines completed before a failing check are filtered as they are kept.
    const auto filter_completed = qScopeGuard([this] { filter_->take_lines(target_->completed); });
    assembly_.add_received_text(connection, chunk, *target_);
}

std::int64_t LogChannel::complete_end() const
{
    return lines_.first_line_number() + lines_.line_count() - (last_line_open() ? 1 : 0);
}

void LogChannel::clear()
{
    lines_.clear();
    assembly_.view_cleared();
}

QString LogChannel::start_logging(const QString& file)
{
    auto sink = std::make_unique<logfile::LogFile>(QFile::encodeName(file).toStdString());
    if (!sink->open())
        return QString::fromLocal8Bit(sink->error());
    log_file_ = std::move(sink);
    log_flush_timer_.start();
    return {};
}

void LogChannel::stop_logging()
{
    if (!log_file_)
        return;
    if (!log_file_->flush()) {
        fail_logging();
        return;
    }
    log_file_.reset();
    log_flush_timer_.stop();
}

QString LogChannel::log_file_name() const
{
    return log_file_ ? QFile::decodeName(QByteArray::fromStdString(log_file_->path())) : QString();
}

void LogChannel::log_line(std::string_view line)
{
    if (log_file_ && !log_file_->add_line(line))
        fail_logging();
}

void LogChannel::flush_log_file()
{
    if (log_file_ && !log_file_->flush())
        fail_logging();
}

void LogChannel::fail_logging()
{
    const QString message = QStringLiteral("Logging to ") + log_file_name() + QStringLiteral(" stopped: ")
                            + QString::fromLocal8Bit(log_file_->error()) + QLatin1Char('.');
    log_file_.reset();
    log_flush_timer_.stop();
    emit logging_failed(message);
}

}  // namespace channel
