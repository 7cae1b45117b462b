#pragma once
// The About dialog: the product's logo, its version and its notice text.

#include <QDialog>

class QKeyEvent;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace shell {

// Created once at start-up and shown modally by the frame's "&About". Only its OK button and
// the close box end it: no control has the cancel role, so Escape does nothing.
class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);

    QLabel* logo_label = nullptr;
    QLabel* version_label = nullptr;
    QPlainTextEdit* notice_view = nullptr;
    QPushButton* ok_button = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
};

}  // namespace shell
