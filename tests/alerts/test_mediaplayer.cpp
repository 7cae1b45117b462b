// The sound player driven the way the log window drives it, with WAV files written here and
// played into whatever audio sink the machine has (a discarding one without a sound server).

#include "alerts/tmediaplayer.h"

#include "platform/message_box.h"

#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <QDataStream>
#include <QtTest>

#include <vector>

namespace {

// A mono 16-bit 8 kHz WAV file of the given length (a quiet square wave).
QByteArray wave_file(int milliseconds)
{
    const quint32 size = static_cast<quint32>(16 * milliseconds);
    QByteArray file;
    QDataStream out(&file, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + size);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(8000) << quint32(16000)
        << quint16(2) << quint16(16);
    out.writeRawData("data", 4);
    out << size;
    for (quint32 i = 0; i < size / 2; ++i)
        out << qint16((i / 10) % 2 == 0 ? 800 : -800);
    return file;
}

// The log window's notification handler, recording what arrived.
struct NotifyLog {
    std::vector<TMPNotifyValues> results;
    std::vector<std::uint16_t> devices;

    explicit NotifyLog(TMediaPlayer& player)
    {
        player.OnNotify = [this, &player](QObject* sender) {
            QCOMPARE(sender, static_cast<QObject*>(&player));
            results.push_back(player.NotifyResult());
            devices.push_back(player.DeviceID());
            player.SetNotifyNext(false);
            player.SetWaitNext(true);
            player.CloseDevice();
        };
    }
};

// The alert engine's calling order for one sound.
void play_alert_sound(TMediaPlayer& player, const QString& file)
{
    player.SetFileName(file);
    player.SetWaitNext(true);
    player.SetNotifyNext(false);
    player.OpenDevice();
    player.SetWaitNext(false);
    player.SetNotifyNext(true);
    player.StartPlayback();
}

constexpr int timeout_ms = 10000;

}  // namespace

class TestMediaPlayer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void plays_to_end_then_handler_closes();
    void open_rejects_files_it_cannot_play_data();
    void open_rejects_files_it_cannot_play();
    void new_alert_replaces_playing_sound();
    void closing_window_mid_sound_notifies_nothing();
    void undecodable_file_fails_once_through_notification();
    void one_shot_settings_are_consumed();
    void handler_error_reaches_default_report();

private:
    QString write(const QString& name, const QByteArray& contents);
    QTemporaryDir dir;
};

QString TestMediaPlayer::write(const QString& name, const QByteArray& contents)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    return file.fileName();
}

void TestMediaPlayer::initTestCase()
{
    QVERIFY(dir.isValid());
    write("short.wav", wave_file(150));
    write("medium.wav", wave_file(500));
    write("long.wav", wave_file(900));
}

void TestMediaPlayer::plays_to_end_then_handler_closes()
{
    TMediaPlayer player;
    NotifyLog log(player);
    play_alert_sound(player, dir.filePath("short.wav"));
    const std::uint16_t first = player.DeviceID();
    QVERIFY(first != 0);
    QCOMPARE(player.Mode(), TMPModes::mpPlaying);
    QVERIFY(log.results.empty());  // never inside the command itself

    QTRY_COMPARE_WITH_TIMEOUT(log.results.size(), std::size_t{1}, timeout_ms);
    QCOMPARE(log.results[0], TMPNotifyValues::nrSuccessful);
    QCOMPARE(log.devices[0], first);
    QCOMPARE(player.DeviceID(), std::uint16_t{0});
}

void TestMediaPlayer::open_rejects_files_it_cannot_play_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("contents");  // null: no file written
    QTest::addColumn<QString>("message_part");

    QTest::newRow("missing file") << "absent.wav" << QByteArray() << "was not found";
    QTest::newRow("empty file name") << "" << QByteArray() << "was not found";
    QTest::newRow("unknown extension") << "sound.txt" << wave_file(50) << "type";
    QTest::newRow("text named .wav") << "fake.wav" << QByteArray("not a wave\n") << "format";
    QTest::newRow("RIFF but not WAVE") << "avi.wav" << QByteArray("RIFF\x10\0\0\0AVI LIST", 16)
                                       << "format";
}

void TestMediaPlayer::open_rejects_files_it_cannot_play()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, contents);
    QFETCH(QString, message_part);

    TMediaPlayer player;
    NotifyLog log(player);
    play_alert_sound(player, dir.filePath("long.wav"));  // a sound that was playing stops
    player.SetFileName(name.isEmpty() ? QString()
                       : contents.isNull() ? dir.filePath(name) : write(name, contents));
    try {
        player.OpenDevice();
        QFAIL("OpenDevice accepted the file");
    } catch (const EMCIDeviceError& error) {
        QVERIFY2(QString::fromUtf8(error.what()).contains(message_part), error.what());
    }
    QCOMPARE(player.DeviceID(), std::uint16_t{0});
    QCOMPARE(player.Mode(), TMPModes::mpNotReady);
    QVERIFY(player.Error() != 0);
    try {
        player.StartPlayback();
        QFAIL("StartPlayback ran without a device");
    } catch (const EMCIDeviceError& error) {
        QCOMPARE(QString::fromUtf8(error.what()), QString::fromUtf8("Kein MCI-Gerät geöffnet"));
    }
    QVERIFY(log.results.empty());
}

void TestMediaPlayer::new_alert_replaces_playing_sound()
{
    TMediaPlayer player;
    NotifyLog log(player);
    play_alert_sound(player, dir.filePath("medium.wav"));
    const std::uint16_t first = player.DeviceID();
    play_alert_sound(player, dir.filePath("short.wav"));
    const std::uint16_t second = player.DeviceID();
    QVERIFY(second != first);
    QCOMPARE(player.Mode(), TMPModes::mpPlaying);
    QTRY_COMPARE_WITH_TIMEOUT(log.results.size(), std::size_t{1}, timeout_ms);
    QCOMPARE(log.devices[0], second);

    // The replaced sound would end while this longer one plays; no notification of it may
    // come and cut this one short.
    play_alert_sound(player, dir.filePath("long.wav"));
    const std::uint16_t third = player.DeviceID();
    QTRY_COMPARE_WITH_TIMEOUT(log.results.size(), std::size_t{2}, timeout_ms);
    QCOMPARE(log.devices[1], third);
    QCOMPARE(log.results[1], TMPNotifyValues::nrSuccessful);
}

void TestMediaPlayer::closing_window_mid_sound_notifies_nothing()
{
    int closed_window_notifications = 0;
    {
        QWidget window;
        auto* medplay = new TMediaPlayer(&window);
        medplay->OnNotify = [&](QObject*) { ++closed_window_notifications; };
        play_alert_sound(*medplay, dir.filePath("short.wav"));
        QCOMPARE(medplay->Mode(), TMPModes::mpPlaying);
    }
    // A longer sound on another player outlasts the one that was cut off.
    TMediaPlayer other;
    NotifyLog log(other);
    play_alert_sound(other, dir.filePath("medium.wav"));
    QTRY_COMPARE_WITH_TIMEOUT(log.results.size(), std::size_t{1}, timeout_ms);
    QCOMPARE(closed_window_notifications, 0);
}

void TestMediaPlayer::undecodable_file_fails_once_through_notification()
{
    QByteArray garbage("RIFF\x24\x10\0\0WAVEjunkjunkjunk", 24);
    for (int i = 0; i < 4000; ++i)
        garbage.append(static_cast<char>((i * 37) & 0xFF));
    TMediaPlayer player;
    NotifyLog log(player);
    play_alert_sound(player, write("garbage.wav", garbage));  // the header looks right
    QTRY_COMPARE_WITH_TIMEOUT(log.results.size(), std::size_t{1}, timeout_ms);
    QCOMPARE(log.results[0], TMPNotifyValues::nrFailure);

    // The back end reports several errors for such a file; only one notification counts.
    play_alert_sound(player, dir.filePath("short.wav"));
    QTRY_COMPARE_WITH_TIMEOUT(log.results.size(), std::size_t{2}, timeout_ms);
    QCOMPARE(log.results[1], TMPNotifyValues::nrSuccessful);
}

// Open notifies only when NotifyNext is marked true; playback notifies unless NotifyNext is
// marked false; each command removes the marks it read.
void TestMediaPlayer::one_shot_settings_are_consumed()
{
    TMediaPlayer player;
    std::vector<TMPNotifyValues> results;
    player.OnNotify = [&](QObject*) { results.push_back(player.NotifyResult()); };

    player.SetFileName(dir.filePath("short.wav"));
    player.SetNotifyNext(true);
    player.OpenDevice();
    QTRY_COMPARE(results.size(), std::size_t{1});

    player.SetNotifyNext(false);
    player.StartPlayback();
    QTRY_COMPARE_WITH_TIMEOUT(player.Mode(), TMPModes::mpStopped, timeout_ms);
    QCOMPARE(results.size(), std::size_t{1});

    // Marks gone: playback notifies by default, and AutoRewind plays the sound again.
    player.StartPlayback();
    QCOMPARE(player.Mode(), TMPModes::mpPlaying);
    QTRY_COMPARE_WITH_TIMEOUT(results.size(), std::size_t{2}, timeout_ms);
    QCOMPARE(results[1], TMPNotifyValues::nrSuccessful);
}

void TestMediaPlayer::handler_error_reaches_default_report()
{
    QStringList shown;
    platform::set_message_box_handler(
        [&](const QString& text, const QString& caption, platform::MessageIcon) {
            shown << caption + ": " + text;
            return platform::MessageAnswer::Ok;
        });
    TMediaPlayer player;
    player.OnNotify = [](QObject*) { throw std::runtime_error("handler broke"); };
    play_alert_sound(player, dir.filePath("short.wav"));
    QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 1, timeout_ms);
    QCOMPARE(shown[0], QStringLiteral("Vesmira: handler broke."));
    platform::set_message_box_handler({});
}

QTEST_MAIN(TestMediaPlayer)
#include "test_mediaplayer.moc"
