#pragma once
// The Global options dialog: "Reopen all windows on startup", the limit of the received text
// each log window keeps, and the certificate windows receiving syslog over TLS show.

#include <QDialog>

#include <cstdint>
#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace shell {

class OptionsDialog : public QDialog {
    Q_OBJECT

public:
    explicit OptionsDialog(QWidget* parent = nullptr);

    QCheckBox* reopen_check_box() const { return reopen_check_box_; }
    // The limit as the dialog shows it, in MB; 0 = no limit.
    std::int32_t text_limit_mb() const;
    void set_text_limit_mb(std::int32_t megabytes);

    // Shows the certificate as stored: the chosen pair, or Vesmira's own (made now when it
    // isn't there yet).
    void load_certificate();
    // The pair to store on OK; both empty: Vesmira's own.
    const QString& chosen_certificate_file() const { return chosen_certificate_file_; }
    const QString& chosen_key_file() const { return chosen_key_file_; }

    // Asks for a file to open under the caption; empty when the user cancels. Tests answer in
    // its place.
    std::function<QString(const QString& caption)> ask_file_name;

private:
    void show_certificate();
    void use_certificate();

    QCheckBox* reopen_check_box_;
    QCheckBox* limit_check_box_;
    QSpinBox* limit_mb_spin_box_;
    QLabel* certificate_source_label_;
    QLabel* fingerprint_label_;
    QPushButton* copy_button_;
    QPushButton* use_own_button_;
    QString own_certificate_file_;
    QString own_certificate_error_;  // why there is no own certificate
    QString chosen_certificate_file_;
    QString chosen_key_file_;
    QString fingerprint_;  // of the certificate shown; empty when it cannot be read
};

// The limit for a window opened now, in bytes (0 = none), from the store.
std::int64_t stored_text_limit_bytes();

// The "&Global" options action: shows the options as stored and writes them back on OK; true
// when the user pressed OK.
bool edit_global_options(OptionsDialog& dialog);

}  // namespace shell
