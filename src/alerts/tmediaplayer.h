#pragma once
// The log window's sound player: opens one sound file at a time, plays it without waiting and
// reports the end of playback through OnNotify on the GUI thread.

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>

class QMediaPlayer;
class QAudioOutput;

// Raised by OpenDevice when the file can't be opened, and by the device commands that need an
// open device when none is open ("Kein MCI-Gerät geöffnet"). Carries only its message.
class EMCIDeviceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Only automatic selection from the file name is supported; the other types are kept so a
// stored choice still names something.
enum class TMPDeviceTypes {
    dtAutoSelect, dtAVIVideo, dtCDAudio, dtDAT, dtDigitalVideo, dtMMMovie, dtOther,
    dtOverlay, dtScanner, dtSequencer, dtVCR, dtVideodisc, dtWaveAudio
};

enum class TMPNotifyValues { nrSuccessful, nrSuperseded, nrAborted, nrFailure };

enum class TMPModes { mpNotReady, mpStopped, mpPlaying, mpRecording, mpSeeking, mpPaused, mpOpen };

class TMediaPlayer : public QObject {
    Q_OBJECT
public:
    // The owner (normally the log window) deletes the player with itself.
    explicit TMediaPlayer(QObject* parent = nullptr);
    // Closes an open device with the wait flag only: a sound still playing stops and no
    // notification follows.
    ~TMediaPlayer() override;

    TMediaPlayer(const TMediaPlayer&) = delete;
    TMediaPlayer& operator=(const TMediaPlayer&) = delete;

    QString FileName() const { return file_name; }
    void SetFileName(const QString& value) { file_name = value; }

    TMPDeviceTypes DeviceType() const { return device_type; }
    void SetDeviceType(TMPDeviceTypes value) { device_type = value; }

    bool Shareable() const { return shareable; }
    void SetShareable(bool value) { shareable = value; }

    // Stored only: the program creates its players in code, so there is no loading to end.
    bool AutoOpen() const { return auto_open; }
    void SetAutoOpen(bool value) { auto_open = value; }

    bool AutoRewind() const { return auto_rewind; }
    void SetAutoRewind(bool value) { auto_rewind = value; }

    // Stored only: the player has no buttons.
    bool AutoEnable() const { return auto_enable; }
    void SetAutoEnable(bool value) { auto_enable = value; }

    // One-shot settings: stored and marked in force; the next command that uses one clears
    // the mark.
    bool WaitNext() const { return wait_next; }
    void SetWaitNext(bool value);
    bool NotifyNext() const { return notify_next; }
    void SetNotifyNext(bool value);

    TMPNotifyValues NotifyResult() const { return notify_result; }

    // 0 while no device is open.
    std::uint16_t DeviceID() const { return device_id; }
    // Result code of the last device command; 0 is success.
    std::int32_t Error() const { return last_error; }
    TMPModes Mode() const;
    // Length and position of the open media in milliseconds; 0 without a device or while the
    // length is not yet known.
    std::int64_t Length() const;
    std::int64_t Position() const;

    // Closes an open device, then opens one for FileName. The file is checked before this
    // returns (it exists, is readable, and its extension and header name a format the back
    // end plays); decoding problems found later arrive as an nrFailure notification.
    void OpenDevice();
    // Starts playing the open device and returns at once; raises "Kein MCI-Gerät geöffnet"
    // when no device is open. Only a playback that asks for a notification reports its end.
    void StartPlayback();
    // Closes the open device, if any; never raises.
    void CloseDevice();

    // Raised on the GUI thread, from the event loop, for every completion notification.
    std::function<void(QObject* sender)> OnNotify;

private:
    struct Flags {
        bool wait = false;
        bool notify = false;
    };
    Flags rule_w();
    Flags rule_p();
    void release_device();
    void post_notify(TMPNotifyValues result);
    void device_ended(std::uint16_t device, TMPNotifyValues result);

    QString file_name;
    TMPDeviceTypes device_type = TMPDeviceTypes::dtAutoSelect;
    bool shareable = false;
    bool auto_open = false;
    bool auto_rewind = true;
    bool auto_enable = true;

    bool wait_next = false;
    bool wait_next_marked = false;
    bool notify_next = false;
    bool notify_next_marked = false;

    TMPNotifyValues notify_result = TMPNotifyValues::nrSuccessful;
    bool opened = false;
    std::uint16_t device_id = 0;
    std::int32_t last_error = 0;

    // The open device. Both belong to the player; they are replaced at every open.
    std::unique_ptr<QAudioOutput> audio_output;
    std::unique_ptr<QMediaPlayer> media;
    // The device whose playback owes its end notification; 0 when none is owed.
    std::uint16_t notify_pending_for = 0;
    // The back end reported an error for the open device before playback began.
    bool device_failed = false;
};
