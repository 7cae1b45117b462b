#pragma once
// The New window dialog's "Who may send to port N" dialog: the window's "Accept from" list and
// what a sender over TLS must show, each group of settings in its own box above the buttons so
// that further groups can join below.

#include <QDialog>
#include <QString>

#include <functional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

namespace newwin {

class SecurityDialog : public QDialog {
    Q_OBJECT

public:
    // port_text: the port as the New window dialog shows it, for the title.
    SecurityDialog(const QString& port_text, const QString& accept_from, QWidget* parent = nullptr);

    // "&Accept from:" as it is shown; valid once the dialog was accepted.
    QString accept_from() const;

    // Whether the window receives syslog over TLS: only then may its TLS senders be changed
    // (and are they checked on OK); otherwise the group is off and says why.
    void set_tls(bool tls);
    // Shows what a sender over TLS must show, as config::WindowConfiguration holds it: tls_auth
    // picks the choice (empty or unknown: no certificate); the CA file and the fingerprints fill
    // their fields whichever is chosen, so that a choice made again finds them.
    void show_tls_senders(const QString& tls_auth, const QString& tls_ca, const QString& tls_fingerprints);
    // The choice as config::tls_auth_anon, tls_auth_ca or tls_auth_fingerprint, and the fields.
    QString tls_auth() const;
    QString tls_ca() const;
    QString tls_fingerprints() const;

    // Asks for a file to open under the caption, starting at the given path; empty when the user
    // cancels. Tests answer in its place.
    std::function<QString(const QString& caption, const QString& start)> ask_file_name;

    // Controls, owned by the dialog through Qt's parent chain; each named by objectName.
    QGroupBox* senders_group = nullptr;
    QLineEdit* accept_from_edit = nullptr;
    QLabel* accept_from_hint = nullptr;
    QGroupBox* tls_group = nullptr;
    QRadioButton* anon_radio = nullptr;
    QRadioButton* ca_radio = nullptr;
    QLineEdit* ca_file_edit = nullptr;
    QPushButton* browse_button = nullptr;
    QRadioButton* fingerprint_radio = nullptr;
    QPlainTextEdit* fingerprints_edit = nullptr;
    // "Only for Syslog over TLS.", shown while the TLS group is off.
    QLabel* tls_note = nullptr;
    QPushButton* ok_button = nullptr;
    QPushButton* cancel_button = nullptr;
    QPushButton* help_button = nullptr;
    // The groups, top to bottom; a group added here shows under the ones before.
    QVBoxLayout* groups = nullptr;

    // OK: a malformed entry is told and the dialog stays open.
    void accept() override;

private:
    void add_tls_group();
    void browse_ca_file();
    // Why the TLS senders shown can't be taken; empty when they can or the group is off.
    QString tls_senders_error() const;
    void refuse(const QString& message, QWidget* field);
};

}  // namespace newwin
