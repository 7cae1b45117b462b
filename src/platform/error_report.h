#pragma once
// The default error report: no exception may leave an event handler, so every handler body
// runs inside a guard that shows what went wrong and lets the event loop go on.

#include <QString>

#include <exception>
#include <string_view>

namespace platform {

// Where the failing handler was called from. Errors raised by network events must not stack
// one nested modal loop per event while a box is already open.
enum class ErrorSource { User, Network };

// The text the report shows: the message, with a full stop appended when its last
// character sorts after '.'.
QString error_report_text(std::string_view message);

// Shows a modal box with text, caption and the error icon. One raised by a network event while
// another box shown here is open is written to standard error instead, so a run of failing
// network events can't stack one nested modal loop per event.
void show_error_box(const QString& text, const QString& caption, ErrorSource source);

// Shows the report box (caption "Vesmira", error icon) through show_error_box.
void report_error_message(std::string_view message, ErrorSource source = ErrorSource::User);

// Runs body; an exception that escapes it is reported and swallowed, so the rest of the
// handler is skipped and the event loop goes on.
template <typename Body>
void guarded(Body&& body, ErrorSource source = ErrorSource::User)
{
    try {
        body();
    } catch (const std::exception& error) {
        report_error_message(error.what(), source);
    } catch (...) {
        report_error_message("Unknown error", source);
    }
}

}  // namespace platform
