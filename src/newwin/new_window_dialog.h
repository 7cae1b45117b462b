#pragma once
// The New window dialog: pick a stored window configuration or describe a new one, and save,
// change or remove window configurations. Created once at start-up and reused; it opens no
// window itself (the New action does, see new_action.h).

#include "config/window_config.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QShowEvent;

namespace newwin {

class PortMaskEdit;

class NewWindowDialog : public QDialog {
    Q_OBJECT

public:
    explicit NewWindowDialog(QWidget* parent = nullptr);

    // Set by a change of the port field that port_set_by_selection doesn't absorb (the user
    // typed a port); cleared only by a successful Save. The New action opens an unsaved window
    // while it is set.
    bool port_edited = false;
    // The next change of the port field is the dialog filling in a selected configuration's
    // port and is absorbed instead of marking the port as edited.
    bool port_set_by_selection = false;

    // Controls, owned by the dialog through Qt's parent chain; each carries its design name as
    // objectName.
    QGroupBox* port_group = nullptr;
    QRadioButton* preconfigured_radio = nullptr;
    QComboBox* config_name_combo = nullptr;
    QPushButton* remove_button = nullptr;
    QRadioButton* new_radio = nullptr;
    QLineEdit* new_name_edit = nullptr;
    QFrame* separator = nullptr;
    QLabel* port_label = nullptr;
    PortMaskEdit* port_edit = nullptr;
    QLabel* command_label = nullptr;
    QLineEdit* command_edit = nullptr;
    QPushButton* save_button = nullptr;
    QLabel* protocol_label = nullptr;
    // What the window listens for: text lines, or syslog over UDP and TCP.
    QComboBox* protocol_combo = nullptr;
    // Checked: the window listens on the loopback addresses only.
    QCheckBox* local_only_check_box = nullptr;
    // Opens the "Who may send" dialog for the "Accept from" list.
    QPushButton* security_button = nullptr;
    QPushButton* help_button = nullptr;
    QPushButton* ok_button = nullptr;
    QPushButton* cancel_button = nullptr;

    // "Accept from" as the "Who may send" dialog last took it, or as the selected
    // configuration stores it; held like the command field's text.
    QString allow_from;
    // What a sender over TLS must show, as the "Who may send" dialog last took it or the
    // selected configuration stores it (see config::WindowConfiguration).
    QString tls_auth;
    QString tls_ca;
    QString tls_fingerprints;

    // What the dialog shows, as a window on port would be opened or saved with it (the
    // command as typed).
    config::WindowConfiguration shown_configuration(std::int32_t port) const;

    // Event handlers, each reporting its own errors.
    void preconfigured_checked();
    void new_checked();
    void config_name_changed();
    void port_changed();
    void save_clicked();
    void help_clicked();
    void security_clicked();
    void remove_clicked();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void dialog_shown();
    void load_config_names();
    // Puts names in the combo box's list, leaving its text as it was and raising no change
    // of it; afterwards no item is selected.
    void replace_list_silently(const QStringList& names);
    void remove_list_items_silently(const QString& name);
    void center_on_screen();
    void show_protocol(net::Protocol protocol);
    // Who may send, from and into a configuration: what the "Who may send" dialog edits.
    void hold_senders(const config::WindowConfiguration& configuration);
    void put_senders(config::WindowConfiguration& configuration) const;
};

}  // namespace newwin
