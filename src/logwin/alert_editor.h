#pragma once
// The alert editor on a log window's "&Alert" tab: lists the window's alerts with their
// active marks, shows the selected one's parameters and saves and removes alerts.

#include "alerts/alert_set.h"
#include "config/window_config.h"

#include <QString>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace logwin {

// What the editor needs of the window it sits on.
class AlertEditorHost {
public:
    // Whether the window's configuration is saved, and under which name; the alerts are
    // stored with it.
    virtual bool configuration_saved() const = 0;
    virtual QString configuration_name() const = 0;
    // What saving an alert of an unsaved window stores as the window's configuration: its
    // port, command and sender restriction, and the choices it remembers.
    virtual config::WindowConfiguration configuration_to_save() const = 0;
    // The unsaved window was saved under name, together with an alert.
    virtual void configuration_saved_as(const QString& name) = 0;
    // Whether the window's lines carry a syslog severity.
    virtual bool lines_have_severity() const = 0;

protected:
    ~AlertEditorHost() = default;
};

class AlertEditor : public QWidget {
    Q_OBJECT

public:
    // Edits alerts, which the window keeps; each child carries its form name as objectName.
    AlertEditor(alerts::AlertSet& alerts, AlertEditorHost& host, QWidget* parent = nullptr);

    // The configuration's name as the tab shows it, after "This configuration is".
    void set_configuration_label(const QString& text);
    // How much taller than the form the alert conditions make the tab.
    int conditions_height() const { return conditions_height_; }
    // Fills the collection and the list from the store when the window is saved. Store
    // errors propagate to the caller.
    void load_alerts();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QGroupBox* build_saved_alerts();
    // grown_by: how much taller than the form the conditions make the parameters.
    QGroupBox* build_alert_parameters(QGroupBox* conditions, int grown_by);
    QGroupBox* build_conditions();
    // The fields as they stand, to be saved; and the fields of an alert shown.
    config::AlertFields entered_fields() const;
    void show_fields(const config::AlertFields& fields);

    // The handlers of the tab's controls; each reports its own errors.
    void update_save_button();
    void save_alert();
    void alert_check_changed(int row);
    void show_selected_alert();
    void remove_selected_alert();
    void choose_sound_file();
    // The name the Save configuration dialog gives an unsaved window; empty when the user
    // gives none.
    QString ask_configuration_name();
    // Inserts an entry at its alphabetical place without raising the list's handlers.
    void add_alert_entry(const QString& name, bool checked);
    // Lists the collection's alerts anew.
    void list_alerts();

    alerts::AlertSet& alerts;
    AlertEditorHost& host;
    int conditions_height_ = 0;

    QLabel* configuration_label = nullptr;
    // Entries in alphabetical order without regard to case; checked = the alert is active.
    QListWidget* alert_list = nullptr;
    QLineEdit* name_edit = nullptr;
    QLineEdit* sound_edit = nullptr;
    QLineEdit* command_edit = nullptr;
    QCheckBox* color_titlebar_box = nullptr;
    // "&Notify": a firing line shows a desktop notification.
    QCheckBox* notify_box = nullptr;
    QPlainTextEdit* catchwords_edit = nullptr;  // one per line
    // The conditions: expressions, least severity ("(any)" first), burst, silence.
    QCheckBox* regex_box = nullptr;
    QComboBox* severity_combo = nullptr;
    QLabel* severity_note = nullptr;  // shown in a window of text lines, where it never holds
    QSpinBox* burst_count_spin = nullptr;
    QSpinBox* burst_seconds_spin = nullptr;
    QCheckBox* silence_box = nullptr;
    QSpinBox* silence_spin = nullptr;
    QPushButton* save_button = nullptr;
    // The sound file chooser; made at its first use and kept, so it stays in its last folder.
    QFileDialog* sound_dialog = nullptr;
};

}  // namespace logwin
