// Default error report: one modal box per error, never nested without bound for network errors.

#include "error_report.h"

#include "message_box.h"

#include <cstdio>

namespace platform {

namespace {
int open_report_boxes = 0;
}

QString error_report_text(std::string_view message)
{
    QString text = QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        text += QLatin1Char('.');
    return text;
}

void report_error_message(std::string_view message, ErrorSource source)
{
    const QString text = error_report_text(message);
    if (source == ErrorSource::Network && open_report_boxes > 0) {
        std::fprintf(stderr, "vesmira: %s\n", text.toLocal8Bit().constData());
        return;
    }
    struct OpenBoxCount {
        OpenBoxCount() { ++open_report_boxes; }
        ~OpenBoxCount() { --open_report_boxes; }
        OpenBoxCount(const OpenBoxCount&) = delete;
        OpenBoxCount& operator=(const OpenBoxCount&) = delete;
    } counting;
    show_message(text, QStringLiteral("Vesmira"), MessageIcon::Error);
}

}  // namespace platform
