#pragma once
// The Save configuration dialog: asks for a name under which an unsaved log window's port and
// command are saved, so that its alerts can be saved under it. One instance, created at start-up.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;

namespace logwin {

class SaveConfigurationDialog : public QDialog {
    Q_OBJECT

public:
    explicit SaveConfigurationDialog(QWidget* parent = nullptr);

    // Each carries its design name as objectName. The name field keeps its text between uses.
    QLabel* explanation_label = nullptr;
    QLineEdit* name_edit = nullptr;
    QLineEdit* port_edit = nullptr;     // read-only
    QLineEdit* command_edit = nullptr;  // read-only
    QPushButton* save_button = nullptr;
    QPushButton* cancel_button = nullptr;
    QPushButton* help_button = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};

// The log windows reach the start-up instance through these, since the shell that owns it is
// above them. Registration doesn't pass ownership; once the dialog is destroyed the accessor
// gives null again.
void set_save_configuration_dialog(SaveConfigurationDialog* dialog);
SaveConfigurationDialog* save_configuration_dialog();

}  // namespace logwin
