// Wording of the listener's error messages.

#include "net/socket_errors.h"

#include <QtTest>

#include <cerrno>
#include <cstring>

using namespace net;

class TestSocketErrors : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void trims_the_system_text_data()
    {
        QTest::addColumn<QByteArray>("system_text");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("plain") << QByteArray("Address already in use")
                               << QByteArray("Windows-Socket-Fehler: Address already in use (98), auf API 'bind'");
        QTest::newRow("stop and line end") << QByteArray("Reset by peer.\r\n")
                                           << QByteArray("Windows-Socket-Fehler: Reset by peer (98), auf API 'bind'");
        QTest::newRow("mixed trailing") << QByteArray("a.b . .\t ")
                                        << QByteArray("Windows-Socket-Fehler: a.b (98), auf API 'bind'");
        QTest::newRow("only trimmings") << QByteArray(" ..\n") << QByteArray("Windows-Socket-Fehler:  (98), auf API 'bind'");
    }
    void trims_the_system_text()
    {
        QFETCH(QByteArray, system_text);
        QFETCH(QByteArray, expected);
        QCOMPARE(QByteArray::fromStdString(socket_api_error_message(system_text.toStdString(), 98, "bind")), expected);
    }

    void names_errno_code_and_call()
    {
        QCOMPARE(socket_api_error_message(ECONNRESET, "recv"),
                 "Windows-Socket-Fehler: " + std::string(std::strerror(ECONNRESET)) + " (" +
                     std::to_string(ECONNRESET) + "), auf API 'recv'");
        QCOMPARE(async_socket_error_message(104), std::string("Asynchroner Socket-Fehler 104"));
    }
};

QTEST_GUILESS_MAIN(TestSocketErrors)
#include "test_socket_errors.moc"
