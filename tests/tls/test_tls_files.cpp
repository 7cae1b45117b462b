// The files of syslog over TLS: Vesmira's own certificate as made and reused, a key file other
// users can read refused, fingerprints as the openssl tool prints them, a chosen pair checked,
// and the user's fingerprint list read or refused line by line.

#include "tls/certificate_file.h"
#include "tls/fingerprints.h"
#include "tls/key_file.h"
#include "tls/own_certificate.h"
#include "tls/server_context.h"
#include "tls_test_files.h"

#include <openssl/x509v3.h>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

using namespace tls;
using namespace tls_test;

namespace {

mode_t mode_of(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

QStringList dns_names(X509* certificate)
{
    QStringList names;
    auto* general_names =
        static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
    for (int i = 0; i < sk_GENERAL_NAME_num(general_names); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(general_names, i);
        if (name->type == GEN_DNS)
            names << QString::fromLatin1(reinterpret_cast<const char*>(ASN1_STRING_get0_data(name->d.dNSName)),
                                         ASN1_STRING_length(name->d.dNSName));
    }
    GENERAL_NAMES_free(general_names);
    return names;
}

}  // namespace

class TestTlsFiles : public QObject {
    Q_OBJECT

    QTemporaryDir pairs;

private Q_SLOTS:
    void initTestCase() { ::umask(022); }

    void own_certificate_is_made_once_for_this_computer()
    {
        QTemporaryDir config;
        // The store's folder does not exist yet on a first start.
        const std::string store_folder = config.path().toStdString() + "/Tarnwheel/vesmira";
        const OwnCertificate own = ensure_own_certificate(store_folder);
        QCOMPARE(own.error, std::string());
        QCOMPARE(own.key_file, store_folder + "/tls/key.pem");
        QCOMPARE(own.certificate_file, store_folder + "/tls/certificate.pem");
        QCOMPARE(mode_of(store_folder + "/tls"), mode_t(0700));
        QCOMPARE(mode_of(own.key_file), mode_t(0600));
        QCOMPARE(mode_of(own.certificate_file), mode_t(0644));

        const Certificate certificate = read_certificate(QString::fromStdString(own.certificate_file));
        QVERIFY(certificate);
        EVP_PKEY* public_key = X509_get0_pubkey(certificate.get());
        char group[64] = {};
        QVERIFY(EVP_PKEY_get_group_name(public_key, group, sizeof group, nullptr) == 1);
        QCOMPARE(QByteArray(group), QByteArray("prime256v1"));
        int days = 0;
        int seconds = 0;
        QVERIFY(ASN1_TIME_diff(&days, &seconds, X509_get0_notBefore(certificate.get()),
                               X509_get0_notAfter(certificate.get())));
        QVERIFY2(days == 3652 || days == 3653, qPrintable(QString::number(days)));  // 10 years, 2 or 3 leap days
        QCOMPARE(X509_cmp_current_time(X509_get0_notBefore(certificate.get())), -1);

        char host[HOST_NAME_MAX + 1] = {};
        QCOMPARE(::gethostname(host, sizeof host - 1), 0);
        char common_name[256] = {};
        X509_NAME_get_text_by_NID(X509_get_subject_name(certificate.get()), NID_commonName, common_name,
                                  sizeof common_name);
        QCOMPARE(QByteArray(common_name), QByteArray(host));
        QCOMPARE(dns_names(certificate.get()), (QStringList{QString::fromLatin1(host), "localhost"}));
        // Self-signed, and the key is the certificate's.
        QCOMPARE(X509_NAME_cmp(X509_get_issuer_name(certificate.get()), X509_get_subject_name(certificate.get())), 0);
        QCOMPARE(X509_verify(certificate.get(), public_key), 1);
        const KeyFileResult key = read_key_file(own.key_file);
        QVERIFY(key.key);
        QCOMPARE(X509_check_private_key(certificate.get(), key.key.get()), 1);

        // The second start finds them and keeps them.
        QFile file(QString::fromStdString(own.certificate_file));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray first = file.readAll();
        file.close();
        const OwnCertificate again = ensure_own_certificate(store_folder);
        QCOMPARE(again.error, std::string());
        QCOMPARE(again.certificate_file, own.certificate_file);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), first);

        // Fingerprints read as the openssl tool prints them.
        QCOMPARE(QString::fromStdString(sha256_fingerprint(certificate.get())),
                 tool_fingerprint(config.path(), QString::fromStdString(own.certificate_file), "sha256"));
    }

    void key_file_other_users_can_read_is_refused()
    {
        QTemporaryDir folder;
        const OwnCertificate own = ensure_own_certificate(folder.path().toStdString());
        QCOMPARE(own.error, std::string());
        const std::string copy = folder.path().toStdString() + "/shared key.pem";
        QVERIFY(QFile::copy(QString::fromStdString(own.key_file), QString::fromStdString(copy)));
        QCOMPARE(::chmod(copy.c_str(), 0640), 0);
        const std::string refusal =
            "The key file " + copy + " can be read by other users; make it readable by you only (chmod 600).";
        QCOMPARE(read_key_file(copy).error, refusal);
        const ServerContext context({own.certificate_file, copy, SenderCheck::anon, {}, {}});
        QVERIFY(!context.ok());
        QCOMPARE(context.error(), refusal);
    }

    // A pair the user chooses, checked as a listener would use it, and its certificate's
    // fingerprint as the options show it.
    void certificate_pair_data()
    {
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("error");  // <key> and <certificate> stand for the files
        QTest::addColumn<bool>("readable");  // the certificate file has a fingerprint
        QVERIFY(pairs.isValid());
        const OwnCertificate first = ensure_own_certificate((pairs.path() + "/first").toStdString());
        const OwnCertificate second = ensure_own_certificate((pairs.path() + "/second").toStdString());
        QCOMPARE(first.error + second.error, std::string());
        const QString certificate = QString::fromStdString(first.certificate_file);
        const QString key = QString::fromStdString(first.key_file);
        const QString shared_key = pairs.path() + "/shared.pem";
        QVERIFY(QFile::copy(key, shared_key));
        QCOMPARE(::chmod(shared_key.toLocal8Bit().constData(), 0644), 0);
        QTest::newRow("own pair") << certificate << key << "" << true;
        QTest::newRow("key others can read")
            << certificate << shared_key
            << "The key file <key> can be read by other users; make it readable by you only (chmod 600)." << true;
        QTest::newRow("key of another certificate")
            << certificate << QString::fromStdString(second.key_file)
            << "The key file <key> does not fit the certificate: key values mismatch." << true;
        QTest::newRow("key for the certificate")
            << key << key << "The certificate file <certificate> cannot be used: PEM lib." << false;
        QTest::newRow("no such certificate")
            << pairs.path() + "/none.pem" << key << "The certificate file <certificate> cannot be used: system lib."
            << false;
    }
    void certificate_pair()
    {
        QFETCH(QString, certificate);
        QFETCH(QString, key);
        QFETCH(QString, error);
        QFETCH(bool, readable);
        QCOMPARE(QString::fromStdString(check_certificate_pair(certificate.toStdString(), key.toStdString())),
                 error.replace("<key>", key).replace("<certificate>", certificate));
        const FileFingerprint fingerprint = certificate_file_fingerprint(certificate.toStdString());
        QCOMPARE(QString::fromStdString(fingerprint.fingerprint),
                 readable ? tool_fingerprint(pairs.path(), certificate, "sha256") : QString());
        QCOMPARE(fingerprint.error.empty(), readable);
        QVERIFY(readable
                || fingerprint.error.starts_with("The certificate file " + certificate.toStdString() + " cannot be read: "));
    }

    void fingerprint_list_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("sha256s");
        QTest::addColumn<int>("sha1s");
        QTest::addColumn<QString>("error");
        const QString sha256 = QString("AB:").repeated(31) + "CD";
        const QString sha1 = QString("0f:").repeated(19) + "e9";
        QTest::newRow("empty") << "" << 0 << 0 << "";
        QTest::newRow("both kinds, blank lines, spaces, CR LF, any case")
            << "\n  SHA256:" + sha256 + "  \r\n\n\tsha1:" + sha1 + "\nSha256:" + sha256.toLower() << 2 << 1 << "";
        QTest::newRow("bad hex") << "SHA256:zz" << 0 << 0 << "'SHA256:zz' is not a fingerprint.";
        QTest::newRow("bad line after a good one, named trimmed")
            << "SHA1:" + sha1 + "\n  SHA256:" + sha1 + " \n" << 0 << 0 << "'SHA256:" + sha1 + "' is not a fingerprint.";
        QTest::newRow("no prefix") << sha256 << 0 << 0 << "'" + sha256 + "' is not a fingerprint.";
        QTest::newRow("one pair short")
            << "SHA1:" + sha1.left(56) << 0 << 0 << "'SHA1:" + sha1.left(56) + "' is not a fingerprint.";
        QTest::newRow("dashes for colons") << "SHA1:" + QString(sha1).replace(':', '-') << 0 << 0
                                           << "'SHA1:" + QString(sha1).replace(':', '-') + "' is not a fingerprint.";
        QTest::newRow("trailing colon") << "SHA256:" + sha256 + ":" << 0 << 0
                                        << "'SHA256:" + sha256 + ":' is not a fingerprint.";
        QTest::newRow("MD5") << "MD5:00" << 0 << 0 << "'MD5:00' is not a fingerprint.";
    }

    void fingerprint_list()
    {
        QFETCH(QString, text);
        QFETCH(int, sha256s);
        QFETCH(int, sha1s);
        QFETCH(QString, error);
        const FingerprintList list = parse_fingerprint_list(text.toStdString());
        QCOMPARE(QString::fromStdString(list.error), error);
        const auto count = [&](DigestKind kind, std::size_t bytes) {
            return static_cast<int>(std::count_if(list.fingerprints.begin(), list.fingerprints.end(),
                                                  [&](const Fingerprint& f) {
                                                      return f.kind == kind && f.digest.size() == bytes;
                                                  }));
        };
        QCOMPARE(count(DigestKind::sha256, 32), sha256s);
        QCOMPARE(count(DigestKind::sha1, 20), sha1s);
        QCOMPARE(static_cast<int>(list.fingerprints.size()), sha256s + sha1s);
        if (sha256s > 0)
            QCOMPARE(list.fingerprints.front().digest.front(), static_cast<unsigned char>(0xAB));
    }
};

QTEST_GUILESS_MAIN(TestTlsFiles)
#include "test_tls_files.moc"
