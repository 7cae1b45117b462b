// The text view's clipboard: copy, cut and paste of the selection's exact bytes, select all,
// and the context menu that offers them.

#include "colormemo/text_view.h"

#include "lines/text_codec.h"
#include "platform/error_report.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>

#include <string>

namespace colormemo {

namespace {

// The clipboard format that carries a selection's exact bytes between memos.
const QString bytes_mime_type = QStringLiteral("application/x-vesmira-bytes");

}  // namespace

void TextView::copy()
{
    if (selection_length() == 0)
        return;
    QApplication::clipboard()->setMimeData(selection_mime());
}

void TextView::cut()
{
    if (read_only_ || selection_length() == 0)
        return;
    copy();
    replace_selection({});
}

void TextView::paste()
{
    if (read_only_)
        return;
    const QMimeData* clipboard_data = QApplication::clipboard()->mimeData();
    if (clipboard_data == nullptr)
        return;
    // Our own selections come back byte for byte; anything else is text, stored as UTF-8.
    if (clipboard_data->hasFormat(bytes_mime_type)) {
        const QByteArray bytes = clipboard_data->data(bytes_mime_type);
        replace_selection(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    } else if (clipboard_data->hasText()) {
        const QByteArray utf8 = clipboard_data->text().toUtf8();
        replace_selection(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    }
}

void TextView::select_all()
{
    anchor_ = 0;
    move_caret(source_->text_length(), true);
}

QMimeData* TextView::selection_mime() const
{
    const Position first = position_of(selection_start());
    const Position last = position_of(selection_start() + selection_length());
    std::string bytes;
    for (int line = first.line; line <= last.line; ++line) {
        const std::string_view text = source_->line_view(line);
        const std::size_t from = line == first.line ? first.byte : 0;
        const std::size_t to = line == last.line ? last.byte : text.size();
        bytes += text.substr(from, to - from);
        if (line != last.line)
            bytes += '\n';
    }
    auto* mime = new QMimeData;
    mime->setText(lines::decode_text(bytes));
    mime->setData(bytes_mime_type, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return mime;
}

QMenu* TextView::create_context_menu()
{
    auto* menu = new QMenu(this);
    const bool has_selection = selection_length() > 0;
    const bool can_paste = !read_only_ && QApplication::clipboard()->mimeData() != nullptr &&
                           (QApplication::clipboard()->mimeData()->hasText() ||
                            QApplication::clipboard()->mimeData()->hasFormat(bytes_mime_type));
    const auto add = [&](const QString& text, const char* name, bool enabled, auto slot) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QLatin1String(name));
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, [slot] { platform::guarded(slot); });
        return action;
    };
    add(tr("Cu&t"), "cut", has_selection && !read_only_, [this] { cut(); });
    add(tr("&Copy"), "copy", has_selection, [this] { copy(); });
    add(tr("&Paste"), "paste", can_paste, [this] { paste(); });
    add(tr("&Delete"), "delete", has_selection && !read_only_, [this] { replace_selection({}); });
    menu->addSeparator();
    add(tr("Select &All"), "selectAll", source_->text_length() > 0, [this] { select_all(); });
    return menu;
}

void TextView::contextMenuEvent(QContextMenuEvent* event)
{
    platform::guarded([&] {
        QMenu* menu = create_context_menu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(event->globalPos());
    });
}

}  // namespace colormemo
