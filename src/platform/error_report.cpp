// Default error report: one modal box per error, never nested without bound for network errors.

#include "error_report.h"

#include "message_box.h"

#include <cstdio>

namespace platform {

namespace {
int open_error_boxes = 0;
}

QString error_report_text(std::string_view message)
{
    QString text = QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        text += QLatin1Char('.');
    return text;
}

void show_error_box(const QString& text, const QString& caption, ErrorSource source)
{
    if (source == ErrorSource::Network && open_error_boxes > 0) {
        std::fprintf(stderr, "vesmira: %s\n", text.toLocal8Bit().constData());
        return;
    }
    struct OpenBoxCount {
        OpenBoxCount() { ++open_error_boxes; }
        ~OpenBoxCount() { --open_error_boxes; }
        OpenBoxCount(const OpenBoxCount&) = delete;
        OpenBoxCount& operator=(const OpenBoxCount&) = delete;
    } counting;
    show_message(text, caption, MessageIcon::Error);
}

void report_error_message(std::string_view message, ErrorSource source)
{
    show_error_box(error_report_text(message), QStringLiteral("Vesmira"), source);
}

}  // namespace platform
