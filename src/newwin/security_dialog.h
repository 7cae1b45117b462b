#pragma once
// The New window dialog's "Who may send to port N" dialog: the window's "Accept from" list, each
// group of settings in its own box above the buttons so that further groups can join below.

#include <QDialog>
#include <QString>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace newwin {

class SecurityDialog : public QDialog {
    Q_OBJECT

public:
    // port_text: the port as the New window dialog shows it, for the title.
    SecurityDialog(const QString& port_text, const QString& accept_from, QWidget* parent = nullptr);

    // "&Accept from:" as it is shown; valid once the dialog was accepted.
    QString accept_from() const;

    // Controls, owned by the dialog through Qt's parent chain; each named by objectName.
    QGroupBox* senders_group = nullptr;
    QLineEdit* accept_from_edit = nullptr;
    QLabel* accept_from_hint = nullptr;
    QPushButton* ok_button = nullptr;
    QPushButton* cancel_button = nullptr;
    QPushButton* help_button = nullptr;
    // The groups, top to bottom; a group added here shows under the ones before.
    QVBoxLayout* groups = nullptr;

    // OK: a malformed entry is told and the dialog stays open.
    void accept() override;
};

}  // namespace newwin
