#pragma once
// A log window's channel: everything a window receives and keeps, without a widget. It owns, in
// this order, the listener with its connections (and for syslog the datagram receiver and each
// connection's framing), who may send and whom it refused, line assembly, the alert check, the log's lines with their arrival
// times, senders and priorities, the filter, the log file and the counters, and says what
// happened through signals.

#include "alerts/alert_set.h"
#include "channel/line_assembly.h"
#include "channel/line_filter.h"
#include "channel/refusals.h"
#include "channel/syslog_reception.h"
#include "channel/tls_reception.h"
#include "lines/log_lines.h"
#include "logfile/log_file.h"
#include "net/address_filter.h"
#include "net/protocol.h"
#include "platform/peer_address.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace net {
class TCustomWinSocket;
class TServerSocket;
}  // namespace net

namespace channel {

class LogChannel : public QObject {
    Q_OBJECT

public:
    // highlights: where the active alerts' catchwords go to be drawn; it outlives the channel.
    explicit LogChannel(alerts::HighlightList& highlights, QObject* parent = nullptr);
    ~LogChannel() override;

    // --- Listening. ---
    // Listens on `port` for `protocol` (syslog: TCP and UDP together), on the loopback addresses
    // only when local_only; throws net::ESocketError when it can't, and listens on nothing then.
    void listen(std::int32_t port, bool local_only, net::Protocol protocol = net::Protocol::lines);
    // Who may send from now on (everyone until set): a connection from anyone else is closed
    // as it is accepted, before any of its bytes are read, and a datagram from anyone else is
    // dropped; each is counted as refused.
    void set_accept_from(const net::AddressFilter& filter) { accept_from_ = filter; }
    // The most connections held at once; one more is closed as it is accepted and refused.
    static constexpr int max_connections = 1000;
    net::Protocol protocol() const { return protocol_; }
    // Syslog over TLS shows this certificate and checks senders so; the reason when it can't.
    // Needed before listening for net::Protocol::syslog_tls.
    QString use_tls(const tls::ServerSettings& settings);
    // A handshake not done this long after its connection came is refused and closed (10 s).
    void set_handshake_limit(std::chrono::milliseconds limit) { tls_.set_handshake_limit(limit); }
    // Syslog connections' unfinished messages together hold at most this much (64 MiB); the
    // connection whose chunk takes them past it is closed and refused, its unfinished message
    // dropped.
    void set_unfinished_limit(std::size_t bytes) { syslog_.set_unfinished_limit(bytes); }
    // Stops listening; every connection goes, and open lines stay as shown.
    void close();
    bool listening() const;
    // Senders connected now, and for syslog the datagram senders heard in the last minute.
    int senders() const;
    // Syslog datagrams the kernel dropped before they could be read.
    std::int64_t lost() const;
    // Syslog octet counts that were not counts; each turned its connection to line framing.
    std::int64_t framing_errors() const;
    // The listener itself, for measuring what it does.
    net::TServerSocket& listener() { return *listener_; }

    // One received chunk of `connection`, sent from `sender`, which arrived at `time`: its
    // lines (or syslog messages) are checked for alerts, kept, filtered and logged. Throws when
    // the alert check does; the lines checked before are kept. False when the connection must
    // go: its unfinished syslog message took the window past its budget.
    bool receive(LineAssembly::ConnectionKey connection, std::string_view chunk, lines::ArrivalTime time,
                 const platform::PeerAddress& sender = {});
    // A fragment is shown whose line feed hasn't arrived yet.
    bool last_line_open() const { return assembly_.last_line_open(); }
    // Lines completed so far: the number after the last complete line.
    std::int64_t complete_end() const;

    // --- What the channel keeps. ---
    lines::LogLines& lines() { return lines_; }
    const lines::LogLines& lines() const { return lines_; }
    alerts::AlertSet& alerts() { return alerts_; }
    LineFilter& filter() { return *filter_; }
    const LineFilter& filter() const { return *filter_; }
    // Empties the log and gives back its memory; listening, alerts and the lines being received
    // go on (a line's next bytes start a new line).
    void clear();
    // The most bytes of line text kept (see lines::LogLines::set_text_limit).
    void set_text_limit(std::int64_t bytes) { lines_.set_text_limit(bytes); }
    std::int64_t text_limit() const { return lines_.text_limit(); }

    // --- The log file: every completed line appended to it. ---
    // Opens file and logs to it from now on; the reason, empty when it opened.
    QString start_logging(const QString& file);
    // Writes what is buffered and closes the file; a write error is told by logging_failed.
    void stop_logging();
    // Empty while not logging.
    QString log_file_name() const;

    // --- Counters since the channel was made. ---
    std::int64_t lines_received() const { return lines_received_; }
    std::int64_t bytes_received() const { return bytes_received_; }
    // Connections and datagrams refused, and the last Refusals::kept of them, newest first.
    std::int64_t refused() const { return refusals_.count(); }
    std::vector<Refusal> last_refusals() const { return refusals_.newest_first(); }

signals:
    // Lines of the alerts that matched a completed line, before it is kept; a handler may throw
    // to refuse the line, as the alert check may. An alert whose silence has lasted its time
    // fires too, with the text that says so ("No line for 5 minutes") as its line.
    void alert_fired(const std::vector<alerts::AlertActions>& actions, std::string_view line);
    // A sender connected or disconnected (a closed connection leaves senders() in the next turn
    // of the event loop).
    void senders_changed();
    // A received chunk couldn't be kept whole; the connection and the channel go on.
    void receive_failed();
    // The log file failed and logging stopped; message says why.
    void logging_failed(const QString& message);

private:
    class Target;
    // Whether sender may send; a refusal is counted with its reason. A connection also needs
    // room among the connections held.
    bool admits(const platform::PeerAddress& sender, bool connection);
    void read_from(net::TCustomWinSocket& connection);
    // receive() for a connection's chunk; a connection over the budget is refused and closed.
    void take_chunk(net::TCustomWinSocket& connection, std::string_view chunk);
    void connection_closed(net::TCustomWinSocket& connection);
    platform::PeerAddress sender_of(const net::TCustomWinSocket& connection) const;
    // The alert check of a completed line, then the log file; may throw to refuse the line.
    void check_line(std::string_view line, const alerts::LineFacts& facts);
    // Sets the silence timer for the next alert that waits for silence, if any, while listening.
    void watch_silence();
    void silence_due();
    // After lines came: an alert that fired for silence waits for the next one.
    void rewatch_silence()
    {
        if (!silence_timer_.isActive() && alerts_.watches_silence())
            watch_silence();
    }
    // Whole syslog messages: each shown as one line with its priority.
    void take_messages(const SyslogReception::Batch& batch);
    // Every line completed by one receive, checked, kept with its origins and filtered.
    void take_lines(std::span<const std::string_view> lines, const lines::Arrival& arrival);
    void log_line(std::string_view line);
    void flush_log_file();
    void fail_logging();

    net::TServerSocket* listener_ = nullptr;
    net::Protocol protocol_ = net::Protocol::lines;
    net::AddressFilter accept_from_;
    Refusals refusals_;
    // Each open connection's sender.
    std::unordered_map<LineAssembly::ConnectionKey, platform::PeerAddress> peers_;
    SyslogReception syslog_;
    TlsReception tls_;
    bool tls_ready_ = false;
    // A batch's shown lines and priorities, kept to be reused; lines that had to be rewritten
    // to show on one line live in shown_text_.
    std::vector<std::string_view> shown_lines_;
    std::vector<std::uint8_t> priorities_;
    std::deque<std::string> shown_text_;
    LineAssembly assembly_;
    alerts::AlertSet alerts_;
    lines::LogLines lines_;
    std::unique_ptr<LineFilter> filter_;
    std::unique_ptr<logfile::LogFile> log_file_;
    // Writes the log file's buffer at least once a second while logging.
    QTimer log_flush_timer_;
    // Wakes when the next alert's silence is due; idle when none waits, until a line comes.
    QTimer silence_timer_;
    std::unique_ptr<Target> target_;
    std::int64_t lines_received_ = 0;
    std::int64_t bytes_received_ = 0;
};

}  // namespace channel
