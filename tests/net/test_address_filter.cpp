// "Accept from" texts: which entries parse, what a malformed one is told, and whom each lets send.

#include "net/address_filter.h"

#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>

using net::AddressFilter;

namespace {

// A sender as a connection or datagram reports it: IPv4 comes as an AF_INET address.
platform::PeerAddress peer(const char* text)
{
    sockaddr_in6 ipv6{};
    ipv6.sin6_family = AF_INET6;
    if (::inet_pton(AF_INET6, text, &ipv6.sin6_addr) == 1)
        return platform::PeerAddress::from_socket_address(reinterpret_cast<const sockaddr&>(ipv6));
    sockaddr_in ipv4{};
    ipv4.sin_family = AF_INET;
    if (::inet_pton(AF_INET, text, &ipv4.sin_addr) != 1)
        qFatal("not an address: %s", text);
    return platform::PeerAddress::from_socket_address(reinterpret_cast<const sockaddr&>(ipv4));
}

}  // namespace

class TestAddressFilter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void matches_senders_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("allowed");
        QTest::addColumn<QStringList>("refused");
        const auto row = [](const char* name, const char* text, QStringList allowed, QStringList refused) {
            QTest::newRow(name) << QString::fromUtf8(text) << allowed << refused;
        };
        row("empty: everyone", "", {"10.0.0.1", "fd00::1"}, {});
        row("blanks and commas: everyone", " , ,\t", {"192.0.2.1", "::1"}, {});
        row("one IPv4 address", "10.0.0.5", {"10.0.0.5"}, {"10.0.0.6", "::1", "::ffff:10.0.0.6"});
        row("IPv4 network, blanks around", "  192.168.1.0/24 ", {"192.168.1.0", "192.168.1.255"},
            {"192.168.2.1", "192.168.0.255"});
        row("host bits in a network", "192.168.1.77/24", {"192.168.1.3"}, {"192.168.2.3"});
        row("odd prefix", "10.0.0.0/9", {"10.127.255.255"}, {"10.128.0.0"});
        row("IPv4 /0: every IPv4 sender", "0.0.0.0/0", {"1.2.3.4", "255.255.255.255"}, {"::1", "fd00::1"});
        row("IPv4 /32", "127.0.0.1/32", {"127.0.0.1"}, {"127.0.0.2"});
        row("IPv6 network", "fd00::/8", {"fd12:3456::1", "fdff::"}, {"fe80::1", "10.0.0.1"});
        row("IPv6 /128", "::1/128", {"::1"}, {"::2", "127.0.0.1"});
        row("IPv6 /0: everyone", "::/0", {"::1", "10.0.0.1"}, {});
        row("mapped IPv4 written as IPv6", "::ffff:10.0.0.0/104", {"10.1.2.3"}, {"11.0.0.0"});
        row("several", "192.168.1.0/24, 10.0.0.5, fd00::/8", {"192.168.1.9", "10.0.0.5", "fd00::5"},
            {"10.0.0.4", "2001:db8::1"});
        row("trailing comma", "10.0.0.5,", {"10.0.0.5"}, {"10.0.0.4"});
    }
    void matches_senders()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, allowed);
        QFETCH(QStringList, refused);
        const auto parsed = AddressFilter::parse(text);
        if (const QString* error = std::get_if<QString>(&parsed))
            QFAIL(qPrintable(*error));
        const AddressFilter& filter = std::get<AddressFilter>(parsed);
        QCOMPARE(filter.allows_everyone(), QString(text).remove(QLatin1Char(',')).trimmed().isEmpty());
        for (const QString& address : allowed)
            QVERIFY2(filter.allows(peer(qPrintable(address))), qPrintable(address));
        for (const QString& address : refused)
            QVERIFY2(!filter.allows(peer(qPrintable(address))), qPrintable(address));
        // Lines typed by the user have no sender; only an empty filter lets them through.
        QCOMPARE(filter.allows(platform::PeerAddress{}), filter.allows_everyone());
    }

    void names_the_malformed_entry_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("entry");
        const auto row = [](const char* text, const char* entry) {
            QTest::newRow(text) << QString::fromUtf8(text) << QString::fromUtf8(entry);
        };
        row("192.168.1.0/33", "192.168.1.0/33");
        row("10.0.0.5, fd00::/129", "fd00::/129");
        row(" host.example ,10.0.0.1", "host.example");
        row("10.0.0.1/", "10.0.0.1/");
        row("/24", "/24");
        row("10.0.0.0/+8", "10.0.0.0/+8");
        row("10.0.0.0/0x8", "10.0.0.0/0x8");
        row("10.0.0.0/0008", "10.0.0.0/0008");
        row("10.0.0.0/8/8", "10.0.0.0/8/8");
        row("10.0.0.256", "10.0.0.256");
        row("10.0.0", "10.0.0");
        row("10.0.0.1 10.0.0.2", "10.0.0.1 10.0.0.2");
        row("fe80::1%eth0", "fe80::1%eth0");
        row("1:2:3:4:5:6:7:8:9", "1:2:3:4:5:6:7:8:9");
        row("10.0.0.1; 10.0.0.2", "10.0.0.1; 10.0.0.2");
        row("ä.0.0.1", "ä.0.0.1");
        QTest::newRow("NUL inside") << QStringLiteral("10.0.0.1") + QChar(0) + QStringLiteral("x")
                                    << QStringLiteral("10.0.0.1") + QChar(0) + QStringLiteral("x");
        QTest::newRow("overlong") << QStringLiteral("1").repeated(5000) << QStringLiteral("1").repeated(5000);
    }
    void names_the_malformed_entry()
    {
        QFETCH(QString, text);
        QFETCH(QString, entry);
        const auto parsed = AddressFilter::parse(text);
        QVERIFY(std::holds_alternative<QString>(parsed));
        QCOMPARE(std::get<QString>(parsed), QLatin1Char('\'') + entry + QStringLiteral("' is not an address or network."));
    }

    void nobody_lets_no_one_send()
    {
        const AddressFilter nobody = AddressFilter::nobody();
        QVERIFY(!nobody.allows_everyone());
        for (const char* address : {"127.0.0.1", "::1", "0.0.0.0"})
            QVERIFY(!nobody.allows(peer(address)));
    }
};

QTEST_APPLESS_MAIN(TestAddressFilter)
#include "test_address_filter.moc"
