// A port below the kernel's first unprivileged port, asked for by a user who may not bind it:
// the TCP listener and the UDP receiver must fail with the system's reason (EACCES), not as if the
// port were in use.

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>

#include <unistd.h>

class TestPrivilegedPort : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void a_user_without_the_right_is_told_so()
    {
        QFile first_open_port(QStringLiteral("/proc/sys/net/ipv4/ip_unprivileged_port_start"));
        QVERIFY(first_open_port.open(QIODevice::ReadOnly));
        const int first_unprivileged = first_open_port.readAll().trimmed().toInt();
        if (first_unprivileged == 0)
            QSKIP("this kernel lets every user bind every port (ip_unprivileged_port_start is 0)");

        // As root the probe runs as "nobody": from a folder anyone may enter, since the build
        // tree may lie below one only root may.
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                         QFile::ReadOther | QFile::ExeOther));
        const QString probe = folder.filePath(QStringLiteral("probe"));
        QVERIFY(QFile::copy(QStringLiteral(VESMIRA_PRIVILEGED_PORT_PROBE), probe));

        QStringList command{probe, QString::number(first_unprivileged - 1)};
        if (geteuid() == 0)
            command = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"} + command;
        QProcess process;
        process.start(command.takeFirst(), command);
        QVERIFY2(process.waitForFinished(30000), qPrintable(process.errorString()));
        QCOMPARE(process.exitCode(), 0);
        const QByteArray refused = QByteArray::number(EACCES);
        QCOMPARE(process.readAllStandardOutput().trimmed(), refused + ' ' + refused);
    }
};

QTEST_GUILESS_MAIN(TestPrivilegedPort)
#include "test_privileged_port.moc"
