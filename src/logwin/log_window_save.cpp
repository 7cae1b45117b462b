// Saving a log window's text to a file: every line on screen or the selected text, written in
// slices while lines keep arriving, with a progress dialog for a long save.

#include "colormemo/tcolormemo.h"
#include "logsave/log_writer.h"
#include "logwin/log_window.h"
#include "platform/message_box.h"
#include "platform/sliced_work.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QProgressDialog>

#include <algorithm>
#include <chrono>
#include <string>
#include <string_view>

namespace logwin {

namespace {

using Writer = logsave::LogWriter<lines::LineSource>;

// How long a save waits before it looks again whether the disk has caught up.
constexpr auto disk_wait = std::chrono::milliseconds(1);
constexpr int progress_steps = 100;

logsave::TextPlace place_of(const lines::LineSource& store, lines::TextOffset offset)
{
    const int line = store.line_of_offset(offset);
    const lines::TextOffset byte = std::max<lines::TextOffset>(0, offset - store.line_start(line));
    return {store.first_line_number() + line, static_cast<std::size_t>(byte)};
}

}  // namespace

// One save under way; a child of the window, so that it goes with the window.
class LogWindow::LogSave : public QObject {
public:
    LogSave(LogWindow& window, Writer writer, const QString& file_name)
        : QObject(&window), window_(window), writer_(std::move(writer)), file_name_(file_name),
          progress_(QStringLiteral("Saving to %1").arg(file_name), QStringLiteral("Cancel"), 0, progress_steps, &window),
          work_([this](platform::SlicedWork::Clock::time_point deadline) { return tick(deadline); })
    {
        progress_.setWindowTitle(QStringLiteral("Saving log"));
        progress_.setMinimumDuration(static_cast<int>(platform::SlicedWork::progress_after_ms));
        // At its maximum the bar would reset itself while the file is still being committed.
        progress_.setAutoReset(false);
        progress_.setAutoClose(false);
        // Not modal: lines keep arriving and the window stays usable; only a second save waits.
        progress_.setWindowModality(Qt::NonModal);
        progress_.setValue(0);
        connect(&progress_, &QProgressDialog::canceled, this, [this] {
            writer_.cancel();
            if (writer_.failed())
                end();
        });
        connect(&work_, &platform::SlicedWork::finished, this, [this] { end(); });
        work_.start();
    }

private:
    // The progress bar repaints at once when its value changes, which costs some milliseconds:
    // a tick does that or a slice of the save, not both.
    bool tick(platform::SlicedWork::Clock::time_point deadline)
    {
        const int value = writer_.lines_total() > 0
                              ? static_cast<int>(writer_.lines_done() * progress_steps / writer_.lines_total())
                              : 0;
        if (value != progress_.value()) {
            progress_.setValue(value);
            return false;
        }
        const bool done = writer_.step(deadline);
        // Ticking on while the disk is behind would only spin the event loop and take the
        // processor from the writing thread.
        work_.set_pause(writer_.waiting_for_disk() ? disk_wait : std::chrono::milliseconds(0));
        return done;
    }

    void end()
    {
        work_.cancel();
        progress_.hide();
        window_.log_save = nullptr;
        deleteLater();
        const QString reason = writer_.error();
        // A cancelled save is what the user asked for.
        if (!writer_.failed() || reason == logsave::cancelled_error)
            return;
        QString text = QStringLiteral("Couldn't save the log to %1: %2").arg(file_name_, reason);
        if (!text.endsWith(QLatin1Char('.')))
            text += QLatin1Char('.');
        platform::show_message(text, QStringLiteral("Error"), platform::MessageIcon::Error);
    }

    LogWindow& window_;
    Writer writer_;
    QString file_name_;
    QProgressDialog progress_;
    platform::SlicedWork work_;
};

void LogWindow::save_log_as(bool selection_only)
{
    // One save at a time; the frame's menu items are disabled meanwhile.
    if (log_save != nullptr)
        return;
    if (selection_only && shown_memo()->selection_length() == 0)
        return;
    const QString file_name = ask_save_file_name ? ask_save_file_name() : ask_save_file(selection_only);
    if (file_name.isEmpty() || log_save != nullptr)
        return;
    // The dialog's loop went on receiving lines, and the filter may have been set or ended
    // meanwhile: the text saved is what is on screen now.
    const TColorMemo* memo = shown_memo();
    const lines::LineSource& store = memo->source();
    const std::int64_t first = store.first_line_number();
    const lines::TextOffset start = memo->selection_start();
    Writer writer = selection_only ? Writer::text(store, file_name, place_of(store, start),
                                                  place_of(store, start + memo->selection_length()))
                                   : Writer::lines(store, file_name, first, first + store.line_count());
    if (save_arrival_times) {
        writer.set_line_prefix([memo, format = lines::ArrivalTimeFormat()](std::int64_t number,
                                                                               std::string& out) mutable {
            const int index = static_cast<int>(number - memo->source().first_line_number());
            const std::string_view time = format.text(memo->source().time(index));
            // A line without a time (one the user typed) keeps the column of the text.
            // Assigned in place: this runs for every line saved, so it must not allocate.
            if (time.empty())
                out.assign(lines::ArrivalTimeFormat::length, ' ');
            else
                out.assign(time);
            out.push_back(' ');
        });
    }
    log_save = new LogSave(*this, std::move(writer), file_name);
}

QString LogWindow::ask_save_file(bool selection_only)
{
    QFileDialog dialog(this, selection_only ? QStringLiteral("Save selection as") : QStringLiteral("Save log as"),
                       QString(), QStringLiteral("Log files (*.log *.txt);;All files (*)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // Qt's own dialog, which takes the check box below its fields.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto* with_times = new QCheckBox(QStringLiteral("with &arrival times"), &dialog);
    with_times->setObjectName(QStringLiteral("with_arrival_times"));
    with_times->setChecked(save_arrival_times);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
        grid->addWidget(with_times, grid->rowCount(), 0, 1, grid->columnCount());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    save_arrival_times = with_times->isChecked();
    return dialog.selectedFiles().constFirst();
}

}  // namespace logwin
