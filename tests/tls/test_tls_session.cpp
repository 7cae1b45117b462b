// Syslog over TLS with a real sender: the openssl tool's s_client connects to a listening
// socket whose connections a poll loop serves through ServerSession, with each way of checking
// senders, over TLS 1.3 and 1.2; older protocols and senders that fail the check are refused
// with the reason the window will show.

#include "tls/fingerprints.h"
#include "tls/own_certificate.h"
#include "tls/server_context.h"
#include "tls/server_session.h"
#include "tls_test_files.h"

#include <QTemporaryDir>
#include <QtTest>

#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace tls;
using namespace tls_test;

namespace {

const QByteArray line = "<13>1 - host app - - - hello over TLS\n";
constexpr int wait_ms = 15000;

struct Outcome {
    QByteArray received;
    QString refusal;
};

bool wait_for(int fd, short events)
{
    pollfd entry{fd, events, 0};
    return ::poll(&entry, 1, wait_ms) == 1;
}

// A listening socket on the loopback address, on a port of its own.
class Listener {
public:
    Listener() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        address_.sin_family = AF_INET;
        address_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address_;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address_), sizeof address_) != 0 || ::listen(fd_, 1) != 0
            || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address_), &size) != 0)
            qWarning() << "cannot listen:" << std::strerror(errno);
    }
    ~Listener() { ::close(fd_); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    const sockaddr_in& address() const { return address_; }
    // The next connection, non-blocking as the channel's are; -1 when none came.
    int accept() const
    {
        return wait_for(fd_, POLLIN) ? ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC) : -1;
    }

private:
    int fd_;
    sockaddr_in address_{};
};

// One accepted connection served through a session to its end, the way a window's channel
// will: handshake steps and reads as the socket gets ready.
Outcome serve(const ServerContext& context, int fd)
{
    Outcome outcome;
    if (fd < 0)
        return {{}, "no connection"};
    {
        ServerSession session(context, fd);
        StepResult step = session.step();
        for (; step.status == StepStatus::want_read || step.status == StepStatus::want_write; step = session.step())
            if (!wait_for(fd, step.status == StepStatus::want_read ? POLLIN : POLLOUT))
                break;
        outcome.refusal = QString::fromStdString(step.reason);
        std::array<char, 7> buffer{};  // smaller than the line: it comes in pieces
        for (bool reading = step.status == StepStatus::done; reading;) {
            const ReadResult read = session.read(buffer);
            if (read.status == ReadStatus::data)
                outcome.received.append(buffer.data(), static_cast<qsizetype>(read.bytes));
            else if (read.status == ReadStatus::failed)
                outcome.refusal = QString::fromStdString(read.reason);
            reading = read.status == ReadStatus::data
                || (read.status == ReadStatus::would_block && wait_for(fd, read.wants_write ? POLLOUT : POLLIN));
        }
    }
    ::close(fd);
    return outcome;
}

// One connection from s_client with the arguments, sending `line`.
Outcome serve_s_client(const ServerContext& context, const QString& folder, const QStringList& client_arguments)
{
    const Listener listener;
    QFile input(folder + "/line.txt");
    if (input.open(QIODevice::WriteOnly))
        input.write(line);
    input.close();
    QProcess client;
    client.setWorkingDirectory(folder);
    client.setProcessChannelMode(QProcess::MergedChannels);
    client.setStandardInputFile(input.fileName());
    client.start("openssl", QStringList{"s_client", "-connect",
                                        QString("127.0.0.1:%1").arg(ntohs(listener.address().sin_port))}
                                + client_arguments);
    const Outcome outcome = serve(context, listener.accept());
    if (!client.waitForFinished(wait_ms))
        client.kill();
    client.waitForFinished();
    if (outcome.received != line && outcome.refusal.isEmpty())
        qWarning() << "s_client said:" << client.readAll();
    return outcome;
}

// The first bytes a TLS client sends: its hello.
QByteArray client_hello()
{
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    SSL* ssl = SSL_new(context);
    BIO* out = BIO_new(BIO_s_mem());
    SSL_set_bio(ssl, BIO_new(BIO_s_mem()), out);
    SSL_connect(ssl);
    char* data = nullptr;
    const long size = BIO_get_mem_data(out, &data);
    QByteArray hello(data, static_cast<qsizetype>(size));
    SSL_free(ssl);
    SSL_CTX_free(context);
    return hello;
}

}  // namespace

class TestTlsSession : public QObject {
    Q_OBJECT

    QTemporaryDir folder_;
    OwnCertificate own_;

    QString path(const QString& name) const { return folder_.path() + "/" + name; }

    // A P-256 key and a certificate for it: self-signed, or signed by the test CA.
    void make_certificate(const QString& name, bool signed_by_ca) const
    {
        if (!signed_by_ca) {
            QVERIFY(openssl(folder_.path(), new_key(name) + QStringList{"-x509", "-days", "2", "-out", name + ".pem"}));
            return;
        }
        QVERIFY(openssl(folder_.path(), new_key(name) + QStringList{"-out", name + ".csr"}));
        QVERIFY(openssl(folder_.path(), {"x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                                          "-CAcreateserial", "-days", "2", "-out", name + ".pem"}));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(folder_.isValid());
        // The server shows Vesmira's own certificate, as a window does.
        own_ = ensure_own_certificate(folder_.path().toStdString());
        QCOMPARE(own_.error, std::string());
        make_certificate("ca", false);
        make_certificate("signed", true);
        make_certificate("self", false);
    }

    void sender_is_served_or_refused_data()
    {
        QTest::addColumn<SenderCheck>("check");
        QTest::addColumn<QString>("fingerprints");
        QTest::addColumn<QStringList>("client");
        QTest::addColumn<QString>("refusal");  // empty: the line arrives
        const QStringList signed_cert{"-cert", "signed.pem", "-key", "signed.key"};
        const QStringList self_cert{"-cert", "self.pem", "-key", "self.key"};
        const QString listed = tool_fingerprint(folder_.path(), "signed.pem", "sha256") + "\n"
            + tool_fingerprint(folder_.path(), "ca.pem", "sha1").toLower();
        QTest::newRow("anon, TLS 1.3") << SenderCheck::anon << "" << QStringList{"-tls1_3"} << "";
        QTest::newRow("anon, TLS 1.2") << SenderCheck::anon << "" << QStringList{"-tls1_2"} << "";
        QTest::newRow("anon, TLS 1.1 refused")
            << SenderCheck::anon << "" << QStringList{"-tls1_1", "-cipher", "DEFAULT@SECLEVEL=0"}
            << "TLS handshake failed: unsupported protocol";
        QTest::newRow("fingerprint, SHA-256 listed, TLS 1.3")
            << SenderCheck::fingerprint << listed << QStringList{"-tls1_3"} + signed_cert << "";
        QTest::newRow("fingerprint, SHA-1 listed, TLS 1.2")
            << SenderCheck::fingerprint << listed << QStringList{"-tls1_2", "-cert", "ca.pem", "-key", "ca.key"} << "";
        QTest::newRow("fingerprint, not listed")
            << SenderCheck::fingerprint << listed << QStringList{"-tls1_3"} + self_cert << "fingerprint not listed";
        QTest::newRow("fingerprint, not listed, TLS 1.2")
            << SenderCheck::fingerprint << listed << QStringList{"-tls1_2"} + self_cert << "fingerprint not listed";
        QTest::newRow("fingerprint, no certificate")
            << SenderCheck::fingerprint << listed << QStringList{"-tls1_3"} << "no certificate";
        QTest::newRow("CA, signed, TLS 1.3") << SenderCheck::ca << "" << QStringList{"-tls1_3"} + signed_cert << "";
        QTest::newRow("CA, signed, TLS 1.2") << SenderCheck::ca << "" << QStringList{"-tls1_2"} + signed_cert << "";
        QTest::newRow("CA, self-signed")
            << SenderCheck::ca << "" << QStringList{"-tls1_3"} + self_cert << "certificate not signed by the CA";
        QTest::newRow("CA, no certificate, TLS 1.2")
            << SenderCheck::ca << "" << QStringList{"-tls1_2"} << "no certificate";
    }

    void sender_is_served_or_refused()
    {
        QFETCH(SenderCheck, check);
        QFETCH(QString, fingerprints);
        QFETCH(QStringList, client);
        QFETCH(QString, refusal);
        const FingerprintList list = parse_fingerprint_list(fingerprints.toStdString());
        QCOMPARE(list.error, std::string());
        const ServerContext context(
            {own_.certificate_file, own_.key_file, check, path("ca.pem").toStdString(), list.fingerprints});
        QCOMPARE(context.error(), std::string());
        const Outcome outcome = serve_s_client(context, folder_.path(), client);
        QCOMPARE(outcome.refusal, refusal);
        QCOMPARE(outcome.received, refusal.isEmpty() ? line : QByteArray());
    }

    // Whatever a sender sends before it hangs up, even before it finished its handshake, the
    // session ends with a reason and leaves nothing behind.
    void sender_that_hangs_up_is_refused_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("plain syslog") << line << "TLS handshake failed: wrong version number";
        QTest::newRow("hello, then gone") << client_hello() << "TLS handshake failed: connection closed";
        QTest::newRow("nothing") << QByteArray() << "TLS handshake failed: connection closed";
    }

    void sender_that_hangs_up_is_refused()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QString, refusal);
        const ServerContext context({own_.certificate_file, own_.key_file, SenderCheck::anon, {}, {}});
        const Listener listener;
        const int sender = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        QCOMPARE(::connect(sender, reinterpret_cast<const sockaddr*>(&listener.address()), sizeof(sockaddr_in)), 0);
        const auto size = static_cast<std::size_t>(sent.size());
        const bool all_sent = ::send(sender, sent.constData(), size, 0) == static_cast<ssize_t>(size);
        ::close(sender);
        QVERIFY(all_sent);
        const Outcome outcome = serve(context, listener.accept());
        QCOMPARE(outcome.refusal, refusal);
        QVERIFY(outcome.received.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestTlsSession)
#include "test_tls_session.moc"
