// A log window's channel: from the listener's reads to the kept, filtered and logged lines.

#include "channel/log_channel.h"

#include "net/tcustomwinsocket.h"
#include "net/tserversocket.h"
#include "net/tserverwinsocket.h"
#include "platform/error_report.h"
#include "syslog/message.h"
#include "syslog/shown_text.h"

#include <QDateTime>
#include <QFile>
#include <QScopeGuard>

#include <algorithm>
#include <climits>
#include <stdexcept>
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
    void append_lines(std::span<const std::string_view> lines) override
    {
        lines::Arrival arrival;
        arrival.time = time;
        arrival.senders = std::span(&sender, 1);
        channel.lines_.append(lines, arrival);
    }
    void extend_line(int index, std::string_view bytes) override { channel.lines_.extend(index, bytes, time); }
    void check_line(std::string_view line) override { channel.check_line(line, {time}); }
    void line_completed(std::int64_t number) override
    {
        // Only a filter wants them: without one, a line costs nothing more here.
        if (channel.filter_->active())
            completed.push_back(number);
    }

    // The arrival time and sender of the chunk being assembled; its lines share them.
    lines::ArrivalTime time = lines::no_arrival_time;
    platform::PeerAddress sender;
    std::vector<std::int64_t> completed;

private:
    LogChannel& channel;
};

LogChannel::LogChannel(alerts::HighlightList& highlights, QObject* parent)
    : QObject(parent),
      syslog_([this](const SyslogReception::Batch& batch) { take_messages(batch); },
              [this](const platform::PeerAddress& sender) { return admits(sender, false); }),
      tls_([this](net::TCustomWinSocket& connection, std::string_view bytes) { take_chunk(connection, bytes); },
           [this](net::TCustomWinSocket& connection, const QString& reason) {
               refusals_.add({QDateTime::currentMSecsSinceEpoch(), sender_of(connection), RefusalReason::tls, reason});
           }),
      alerts_(highlights),
      filter_(std::make_unique<LineFilter>(lines_)),
      target_(std::make_unique<Target>(*this))
{
    listener_ = new net::TServerSocket(this);
    listener_->setObjectName(QStringLiteral("ServerSocket1"));
    listener_->OnAdmit = [this](const platform::PeerAddress& sender) { return admits(sender, true); };
    listener_->OnClientConnect = [this](net::TServerWinSocket&, net::TCustomWinSocket& connection) {
        peers_[&connection] = connection.RemoteAddress();
        if (protocol_ == net::Protocol::syslog_tls)
            tls_.connection_opened(connection);
        emit senders_changed();
    };
    listener_->OnClientRead = [this](net::TServerWinSocket&, net::TCustomWinSocket& connection) { read_from(connection); };
    // Line assembly and syslog framing keep state per connection and must learn when one ends.
    listener_->OnClientDisconnect = [this](net::TServerWinSocket&, net::TCustomWinSocket& connection) {
        connection_closed(connection);
    };
    log_flush_timer_.setInterval(log_flush_interval_ms);
    connect(&log_flush_timer_, &QTimer::timeout, this, [this] { flush_log_file(); });
    silence_timer_.setSingleShot(true);
    connect(&silence_timer_, &QTimer::timeout, this, [this] { silence_due(); });
    alerts_.on_change([this] { watch_silence(); });
}

LogChannel::~LogChannel()
{
    // The listener goes first: its events reach into members that are about to go.
    listener_->OnAdmit = nullptr;
    listener_->OnClientConnect = nullptr;
    listener_->OnClientRead = nullptr;
    listener_->OnClientDisconnect = nullptr;
    delete listener_;
}

void LogChannel::listen(std::int32_t port, bool local_only, net::Protocol protocol)
{
    listener_->SetPort(port);
    listener_->SetLocalOnly(local_only);
    listener_->SetActive(true);
    protocol_ = protocol;
    if (protocol == net::Protocol::syslog_tls && !tls_ready_)
        throw std::logic_error("A window speaks TLS only after use_tls");
    if (protocol == net::Protocol::syslog) {
        try {
            syslog_.open_datagrams(port, local_only);
        } catch (...) {
            // Half a syslog window would lose what routers send: it listens on both or on nothing.
            listener_->SetActive(false);
            throw;
        }
    }
    // Silence counts from when the window listens.
    alerts_.start_silence(QDateTime::currentMSecsSinceEpoch());
    watch_silence();
}

void LogChannel::watch_silence()
{
    if (!listening()) {
        silence_timer_.stop();
        return;
    }
    const std::optional<std::int64_t> next = alerts_.next_silence();
    if (!next) {
        silence_timer_.stop();
        return;
    }
    const std::int64_t wait = std::clamp<std::int64_t>(*next - QDateTime::currentMSecsSinceEpoch(), 0, INT_MAX);
    silence_timer_.start(static_cast<int>(wait));
}

void LogChannel::silence_due()
{
    for (const alerts::SilenceAlarm& alarm : alerts_.check_silence(QDateTime::currentMSecsSinceEpoch())) {
        const std::string text = alarm.text.toStdString();
        // No line is refused here: a handler's error is reported as any handler's.
        platform::guarded([&] { emit alert_fired({alarm.actions}, text); }, platform::ErrorSource::Network);
    }
    watch_silence();
}

void LogChannel::close()
{
    if (listener_->Active())
        listener_->SetActive(false);
    // Closing the listener destroyed every connection without telling anyone.
    assembly_.reset();
    syslog_.close();
    tls_.stop();
    silence_timer_.stop();
    peers_.clear();
    stop_logging();
    emit senders_changed();
}

bool LogChannel::listening() const { return listener_->Active(); }

int LogChannel::senders() const
{
    if (!listener_->Active())
        return 0;
    const int connected = listener_->Socket().ActiveConnections();
    if (protocol_ != net::Protocol::syslog)
        return connected;
    return connected + syslog_.datagram_senders(QDateTime::currentMSecsSinceEpoch());
}

bool LogChannel::admits(const platform::PeerAddress& sender, bool connection)
{
    RefusalReason reason = RefusalReason::not_accepted;
    if (accept_from_.allows(sender)) {
        // Closed connections waiting to be destroyed still count: they go on the next turn.
        if (!connection || listener_->Socket().ActiveConnections() < max_connections)
            return true;
        reason = RefusalReason::too_many_connections;
    }
    refusals_.add({QDateTime::currentMSecsSinceEpoch(), sender, reason});
    return false;
}

std::int64_t LogChannel::lost() const { return syslog_.lost(); }

std::int64_t LogChannel::framing_errors() const { return syslog_.framing_errors(); }

void LogChannel::connection_closed(net::TCustomWinSocket& connection)
{
    const platform::PeerAddress sender = sender_of(connection);
    peers_.erase(&connection);
    tls_.connection_closed(connection);
    if (protocol_ != net::Protocol::lines) {
        platform::guarded(
            [&] {
                try {
                    syslog_.connection_closed(&connection, sender, QDateTime::currentMSecsSinceEpoch());
                } catch (...) {
                    emit receive_failed();
                }
            },
            platform::ErrorSource::Network);
    } else {
        assembly_.connection_closed(&connection);
    }
    emit senders_changed();
}

QString LogChannel::use_tls(const tls::ServerSettings& settings)
{
    QString error = tls_.start(settings);
    tls_ready_ = error.isEmpty();
    return error;
}

platform::PeerAddress LogChannel::sender_of(const net::TCustomWinSocket& connection) const
{
    const auto peer = peers_.find(&connection);
    return peer == peers_.end() ? platform::PeerAddress{} : peer->second;
}

void LogChannel::read_from(net::TCustomWinSocket& connection)
{
    platform::guarded(
        [&] {
            try {
                if (protocol_ == net::Protocol::syslog_tls) {
                    tls_.readable(connection);
                    return;
                }
                const std::int32_t pending = std::min(connection.AvailableByteCount(), read_limit);
                std::string text(static_cast<std::size_t>(std::max(pending, 0)), '\0');
                const std::int32_t received = connection.ReadBytes(text.data(), pending);
                text.resize(static_cast<std::size_t>(std::max(received, 0)));
                take_chunk(connection, text);
            } catch (...) {
                // The rest of the chunk is lost; the connection (if the read didn't close it)
                // and the channel go on.
                emit receive_failed();
            }
        },
        platform::ErrorSource::Network);
}

void LogChannel::take_chunk(net::TCustomWinSocket& connection, std::string_view chunk)
{
    const platform::PeerAddress sender = sender_of(connection);
    const lines::ArrivalTime time = QDateTime::currentMSecsSinceEpoch();
    if (receive(&connection, chunk, time, sender))
        return;
    refusals_.add({time, sender, RefusalReason::unfinished_budget});
    connection.Close();
}

bool LogChannel::receive(LineAssembly::ConnectionKey connection, std::string_view chunk, lines::ArrivalTime time,
                         const platform::PeerAddress& sender)
{
    bytes_received_ += static_cast<std::int64_t>(chunk.size());
    if (protocol_ != net::Protocol::lines)
        return syslog_.receive(connection, sender, chunk, time);
    target_->time = time;
    target_->sender = sender;
    target_->completed.clear();
    // The lines completed before a failing check are filtered as they are kept.
    alerts_.prescan(chunk);
    const auto filter_completed = qScopeGuard([this] {
        alerts_.prescan({});
        filter_->take_lines(target_->completed);
        rewatch_silence();
    });
    assembly_.add_received_text(connection, chunk, *target_);
    return true;
}

void LogChannel::check_line(std::string_view line, const alerts::LineFacts& facts)
{
    std::vector<alerts::AlertActions> actions = alerts_.check_line(line, facts);
    if (!actions.empty())
        emit alert_fired(actions, line);
    log_line(line);
    ++lines_received_;
}

void LogChannel::take_messages(const SyslogReception::Batch& batch)
{
    shown_lines_.clear();
    priorities_.clear();
    shown_text_.clear();
    std::string rewritten;
    for (const std::string_view message : batch.messages) {
        const std::string_view shown = syslog_proto::shown_line(message, rewritten);
        if (shown.data() == message.data()) {
            shown_lines_.push_back(shown);
        } else {
            shown_text_.push_back(std::move(rewritten));
            shown_lines_.push_back(shown_text_.back());
            rewritten.clear();
        }
        priorities_.push_back(syslog_proto::read_priority(message));
    }
    lines::Arrival arrival;
    arrival.time = batch.time;
    arrival.senders = batch.senders;
    arrival.priorities = priorities_;
    take_lines(shown_lines_, arrival);
}

void LogChannel::take_lines(std::span<const std::string_view> lines, const lines::Arrival& arrival)
{
    // Each line is checked before it is kept; when a check throws, the lines before it are
    // kept and filtered, and the rest are lost with the exception.
    std::size_t checked = 0;
    const auto keep_checked = qScopeGuard([&] {
        if (checked == 0)
            return;
        lines::Arrival kept = arrival;
        if (kept.senders.size() > 1)
            kept.senders = kept.senders.first(checked);
        if (!kept.priorities.empty())
            kept.priorities = kept.priorities.first(checked);
        const std::int64_t first = lines_.first_line_number() + lines_.line_count();
        lines_.append(lines.first(checked), kept);
        if (!filter_->active())
            return;
        // Dropping old lines for the text limit doesn't renumber the new ones.
        std::vector<std::int64_t> numbers(checked);
        for (std::size_t index = 0; index < checked; ++index)
            numbers[index] = first + static_cast<std::int64_t>(index);
        filter_->take_lines(numbers);
    });
    const auto watch = qScopeGuard([this] { rewatch_silence(); });
    alerts::LineFacts facts{arrival.time};
    for (const std::string_view line : lines) {
        if (!arrival.priorities.empty())
            facts.severity = static_cast<int>(syslog_proto::severity_of(arrival.priorities[checked]));
        check_line(line, facts);
        ++checked;
    }
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
