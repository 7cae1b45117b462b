#pragma once
// The Global options dialog: "Reopen all windows on startup" and the limit of the received
// text each log window keeps.

#include <QDialog>

#include <cstdint>

class QCheckBox;
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

private:
    QCheckBox* reopen_check_box_;
    QCheckBox* limit_check_box_;
    QSpinBox* limit_mb_spin_box_;
};

// The limit for a window opened now, in bytes (0 = none), from the store.
std::int64_t stored_text_limit_bytes();

// The "&Global" options action: shows the options as stored and writes them back on OK; true
// when the user pressed OK.
bool edit_global_options(OptionsDialog& dialog);

}  // namespace shell
