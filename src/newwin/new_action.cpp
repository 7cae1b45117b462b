// The New action: from the dialog's port, name and command to one open_log_window call.

#include "newwin/new_action.h"

#include "config/window_config.h"
#include "newwin/port_mask_edit.h"
#include "newwin/text_trim.h"
#include "newwin/new_window_dialog.h"
#include "platform/error_report.h"
#include "platform/int_conversion.h"
#include "platform/message_box.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

namespace newwin {

void run_new_action(NewWindowDialog& dialog, const OpenLogWindow& open_log_window)
{
    platform::guarded([&] {
        if (dialog.exec() != QDialog::Accepted)
            return;

        const QString port_text = dialog.port_edit->Text();
        const QString trimmed_port = trim_blanks(port_text);
        if (trimmed_port.isEmpty()) {
            platform::show_message(QStringLiteral("Can't connect without a port number."),
                                   QStringLiteral("Gross"), platform::MessageIcon::Error);
            return;
        }
        // As shown: a change not saved yet applies to this window.
        config::WindowConfiguration shown =
            dialog.shown_configuration(platform::str_to_int(trimmed_port.toStdString()));
        shown.command = trim_text(shown.command);
        const QString name = dialog.config_name_combo->currentText();

        // A saved window refers to its configuration by name for its alerts and for reopening,
        // so it is opened only under a name the store holds; otherwise the shown port and
        // command open an unsaved window.
        if (!dialog.port_edited && config::config_exists(name)) {
            open_log_window(shown, name, config::saved_window_titles(name));
            return;
        }
        open_log_window(shown, QString(), config::unsaved_window_titles(port_text));
    });
}

}  // namespace newwin
