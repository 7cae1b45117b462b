#pragma once
// The Global options dialog: the one global option, "Reopen all windows on startup".

#include <QDialog>

class QCheckBox;

namespace shell {

class Toptdlg : public QDialog {
    Q_OBJECT

public:
    explicit Toptdlg(QWidget* parent = nullptr);

    QCheckBox* reopen_check_box() const { return CheckBox1; }

private:
    QCheckBox* CheckBox1;
};

// The `global_options` action: shows the option as stored and writes it back on OK.
void global_optionsExecute(Toptdlg& dialog);

}  // namespace shell
