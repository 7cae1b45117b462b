// The certificate in the Global options: Vesmira's own shown by the fingerprint the openssl
// tool prints and copied, a chosen pair refused or kept on OK, a chosen file gone shown as such,
// and the way back to the own.

#include "config/server_certificate.h"
#include "platform/message_box.h"
#include "shell/options_dialog.h"
#include "store/store_paths.h"
#include "store/tregistry.h"
#include "tls/own_certificate.h"
#include "tls_test_files.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>

namespace {

QString stored(const std::string& name)
{
    store::TRegistry registry;
    return registry.OpenKey(store::product_key, false) ? QString::fromStdString(registry.ReadString(name)) : QString();
}

}  // namespace

class TestCertificateOptions : public QObject {
    Q_OBJECT

    QTemporaryDir folder;
    QStringList messages;
    QStringList answers;  // the files the file dialog is answered with, in turn
    std::unique_ptr<shell::OptionsDialog> dialog;

    QString shown_fingerprint() const
    {
        return dialog->findChild<QLabel*>(QStringLiteral("FingerprintLabel"))->text().remove('\n');
    }
    QString shown_source() const { return dialog->findChild<QLabel*>(QStringLiteral("SourceLabel"))->text(); }
    QPushButton* button(const char* name) const { return dialog->findChild<QPushButton*>(QString::fromLatin1(name)); }
    QString fingerprint_of(const QString& file) const
    {
        return tls_test::tool_fingerprint(folder.path(), file, "sha256");
    }

    // Opens the dialog as "&Global" does, lets `steps` work in it, and leaves with OK or Cancel.
    bool in_dialog(const std::function<void()>& steps, bool ok)
    {
        QTimer::singleShot(0, this, [&] {
            steps();
            button(ok ? "OKBtn" : "CancelBtn")->click();
        });
        return shell::edit_global_options(*dialog);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        ::umask(022);
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.filePath(QStringLiteral("config"))));
        platform::set_message_box_handler([this](const QString& text, const QString&, platform::MessageIcon) {
            messages << text;
            return platform::MessageAnswer::Ok;
        });
        dialog = std::make_unique<shell::OptionsDialog>();
        dialog->ask_file_name = [this](const QString&) { return answers.isEmpty() ? QString() : answers.takeFirst(); };
    }
    void cleanupTestCase() { dialog.reset(); }

    void own_certificate_is_made_shown_and_copied()
    {
        const QString own_file = folder.filePath(QStringLiteral("config/Tarnwheel/vesmira/tls/certificate.pem"));
        QVERIFY(!QFile::exists(own_file));
        QVERIFY(!in_dialog(
            [&] {
                // Opening the options is the first use: the own certificate is there now.
                QVERIFY(QFile::exists(own_file));
                QCOMPARE(shown_fingerprint(), fingerprint_of(own_file));
                QCOMPARE(shown_fingerprint().size(), 7 + 95);
                QCOMPARE(shown_source(), QStringLiteral("Vesmira's own"));
                QVERIFY(!button("UseOwnBtn")->isEnabled());
                button("CopyBtn")->click();
                QCOMPARE(QApplication::clipboard()->text(), fingerprint_of(own_file));
            },
            false));
    }

    void chosen_certificate_is_checked_kept_on_ok_and_left_again()
    {
        const tls::OwnCertificate other =
            tls::ensure_own_certificate(folder.filePath(QStringLiteral("other")).toStdString());
        QCOMPARE(other.error, std::string());
        const QString certificate = QString::fromStdString(other.certificate_file);
        const QString key = QString::fromStdString(other.key_file);
        const QString shared_key = folder.filePath(QStringLiteral("shared key.pem"));
        QVERIFY(QFile::copy(key, shared_key));
        QCOMPARE(::chmod(QFile::encodeName(shared_key).constData(), 0644), 0);
        const QString own_fingerprint = fingerprint_of(config::own_server_certificate().certificate_file);

        QVERIFY(in_dialog(
            [&] {
                // A key others can read is refused, and so is nothing chosen.
                answers = {certificate, shared_key};
                button("UseCertificateBtn")->click();
                QCOMPARE(messages,
                         QStringList{"The key file " + shared_key
                                     + " can be read by other users; make it readable by you only (chmod 600)."});
                answers = {certificate};  // the key's file dialog cancelled
                button("UseCertificateBtn")->click();
                QCOMPARE(messages.size(), 1);
                QCOMPARE(shown_fingerprint(), own_fingerprint);
                QVERIFY(dialog->chosen_certificate_file().isEmpty());

                answers = {certificate, key};
                button("UseCertificateBtn")->click();
                QCOMPARE(messages.size(), 1);
                QCOMPARE(shown_fingerprint(), fingerprint_of(certificate));
                // A long path is cut in its middle; the tool tip has it whole.
                QVERIFY2(shown_source().startsWith("From /") && shown_source().endsWith("/certificate.pem"),
                         qPrintable(shown_source()));
                QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("SourceLabel"))->toolTip(), certificate);
                QVERIFY(button("UseOwnBtn")->isEnabled());
                // Nothing is stored before OK.
                QCOMPARE(stored(store::tls_certificate_value), QString());
            },
            true));
        QCOMPARE(stored("TlsCertificate"), certificate);
        QCOMPARE(stored("TlsKey"), key);
        QVERIFY(!config::server_certificate().own);

        // A chosen file gone since shows why in place of a fingerprint, and nothing to copy.
        QVERIFY(QFile::rename(certificate, certificate + ".away"));
        QVERIFY(!in_dialog(
            [&] {
                QVERIFY2(shown_fingerprint().startsWith("The certificate file " + certificate + " cannot be read: "),
                         qPrintable(shown_fingerprint()));
                QVERIFY(!button("CopyBtn")->isEnabled());
            },
            false));
        QVERIFY(QFile::rename(certificate + ".away", certificate));

        QVERIFY(in_dialog(
            [&] {
                QCOMPARE(shown_fingerprint(), fingerprint_of(certificate));
                button("UseOwnBtn")->click();
                QCOMPARE(shown_fingerprint(), own_fingerprint);
                QVERIFY(!button("UseOwnBtn")->isEnabled());
            },
            true));
        QCOMPARE(stored("TlsCertificate"), QString());
        QCOMPARE(stored("TlsKey"), QString());
        QVERIFY(config::server_certificate().own);
    }
};

QTEST_MAIN(TestCertificateOptions)
#include "test_certificate_options.moc"
