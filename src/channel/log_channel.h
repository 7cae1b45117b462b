#pragma once
// A log window's channel: everything a window receives and keeps, without a widget. It owns, in
// this order, the listener with its connections, line assembly, the alert check, the log's
// lines with their arrival times, the filter, the log file and the counters, and says what
// happened through signals.

#include "alerts/alert_set.h"
#include "channel/line_assembly.h"
#include "channel/line_filter.h"
#include "lines/log_lines.h"
#include "logfile/log_file.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <string_view>
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
    // Listens on `port`, on the loopback addresses only when local_only; throws
    // net::ESocketError when it can't.
    void listen(std::int32_t port, bool local_only);
    // Stops listening; every connection goes, and open lines stay as shown.
    void close();
    bool listening() const;
    // Senders connected now.
    int senders() const;
    // The listener itself, for measuring what it does.
    net::TServerSocket& listener() { return *listener_; }

    // One received chunk of `connection`, which arrived at `time`: its lines are checked for
    // alerts, kept, filtered and logged. Throws when the alert check does; the lines checked
    // before are kept.
    void receive(LineAssembly::ConnectionKey connection, std::string_view chunk, lines::ArrivalTime time);
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

signals:
    // Lines of the alerts that matched a completed line, before it is kept; a handler may throw
    // to refuse the line, as the alert check may.
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
    void read_from(net::TCustomWinSocket& connection);
    void log_line(std::string_view line);
    void flush_log_file();
    void fail_logging();

    net::TServerSocket* listener_ = nullptr;
    LineAssembly assembly_;
    alerts::AlertSet alerts_;
    lines::LogLines lines_;
    std::unique_ptr<LineFilter> filter_;
    std::unique_ptr<logfile::LogFile> log_file_;
    // Writes the log file's buffer at least once a second while logging.
    QTimer log_flush_timer_;
    std::unique_ptr<Target> target_;
    std::int64_t lines_received_ = 0;
    std::int64_t bytes_received_ = 0;
};

}  // namespace channel
