// The sound player on Qt Multimedia: one QMediaPlayer with its audio output per open device.

#include "tmediaplayer.h"

#include "sound_file.h"

#include "platform/error_report.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QMetaObject>
#include <QUrl>

namespace {

// Device identifiers run 1..65535 and wrap, never handing out 0 (which means "none").
std::uint16_t next_device_id()
{
    static std::uint16_t counter = 0;
    ++counter;
    if (counter == 0)
        counter = 1;
    return counter;
}

}  // namespace

TMediaPlayer::TMediaPlayer(QObject* parent) : QObject(parent) {}

TMediaPlayer::~TMediaPlayer()
{
    // Close with the wait flag only: queued notifications die with this object, and the
    // device's own signals go with its QMediaPlayer.
    release_device();
}

void TMediaPlayer::SetWaitNext(bool value)
{
    wait_next = value;
    wait_next_marked = true;
}

void TMediaPlayer::SetNotifyNext(bool value)
{
    notify_next = value;
    notify_next_marked = true;
}

// Open, close and the other plain commands: wait unless told not to, notify only when told to.
TMediaPlayer::Flags TMediaPlayer::rule_w()
{
    Flags flags;
    flags.wait = !(wait_next_marked && !wait_next);
    flags.notify = notify_next_marked && notify_next;
    wait_next_marked = false;
    notify_next_marked = false;
    return flags;
}

// Playback: notify unless told not to, wait only when told to.
TMediaPlayer::Flags TMediaPlayer::rule_p()
{
    Flags flags;
    flags.notify = !(notify_next_marked && !notify_next);
    flags.wait = wait_next_marked && wait_next;
    wait_next_marked = false;
    notify_next_marked = false;
    return flags;
}

TMPModes TMediaPlayer::Mode() const
{
    if (!opened || !media)
        return TMPModes::mpNotReady;
    switch (media->playbackState()) {
    case QMediaPlayer::PlayingState:
        return TMPModes::mpPlaying;
    case QMediaPlayer::PausedState:
        return TMPModes::mpPaused;
    case QMediaPlayer::StoppedState:
        break;
    }
    return TMPModes::mpStopped;
}

std::int64_t TMediaPlayer::Length() const
{
    return media ? media->duration() : 0;
}

std::int64_t TMediaPlayer::Position() const
{
    return media ? media->position() : 0;
}

void TMediaPlayer::OpenDevice()
{
    if (opened)
        CloseDevice();
    const Flags flags = rule_w();

    // Everything that can be known now is checked now: the back end reports its own findings
    // only through the event loop, and running a nested loop here would let the next read
    // event of the log window run in the middle of its current chunk.
    const SoundFileCheck check = check_sound_file(file_name);
    last_error = static_cast<std::int32_t>(check);
    if (check != SoundFileCheck::Ok) {
        QString text = sound_file_error_text(last_error, file_name);
        if (text.isEmpty())
            text = QStringLiteral("Unbekannter Fehlercode");
        throw EMCIDeviceError(text.toStdString());
    }

    // Without an audio output GStreamer's pipeline fails ("Internal data stream error");
    // with one but no sound server, Qt plays into a sink that discards the samples in real
    // time, so the end of playback still arrives when the sound would have ended.
    audio_output = std::make_unique<QAudioOutput>();
    media = std::make_unique<QMediaPlayer>();
    media->setAudioOutput(audio_output.get());
    const std::uint16_t device = next_device_id();
    connect(media.get(), &QMediaPlayer::mediaStatusChanged, this,
            [this, device](QMediaPlayer::MediaStatus status) {
                if (status == QMediaPlayer::EndOfMedia)
                    device_ended(device, TMPNotifyValues::nrSuccessful);
                else if (status == QMediaPlayer::InvalidMedia)
                    device_ended(device, TMPNotifyValues::nrFailure);
            });
    connect(media.get(), &QMediaPlayer::errorOccurred, this,
            [this, device](QMediaPlayer::Error error, const QString&) {
                if (error != QMediaPlayer::NoError)
                    device_ended(device, TMPNotifyValues::nrFailure);
            });
    device_failed = false;
    notify_pending_for = 0;
    device_id = device;
    opened = true;
    media->setSource(QUrl::fromLocalFile(file_name));
    if (flags.notify)
        post_notify(TMPNotifyValues::nrSuccessful);
}

void TMediaPlayer::StartPlayback()
{
    if (!opened)
        throw EMCIDeviceError("Kein MCI-Gerät geöffnet");
    // A waiting playback would need a nested event loop, with the hazard OpenDevice avoids;
    // no caller asks for one, so the wait flag is read (and its mark consumed) but not
    // honoured: playback always returns at once.
    const Flags flags = rule_p();

    // A notification still owed for this device is replaced by the new command's.
    if (notify_pending_for == device_id) {
        notify_pending_for = 0;
        post_notify(flags.notify ? TMPNotifyValues::nrSuperseded : TMPNotifyValues::nrAborted);
    }
    last_error = 0;

    if (device_failed) {
        if (flags.notify)
            post_notify(TMPNotifyValues::nrFailure);
        return;
    }
    const bool at_end = media->mediaStatus() == QMediaPlayer::EndOfMedia;
    if (at_end && auto_rewind) {
        media->setPosition(0);
    } else if (at_end) {
        // Nothing left to play: the command completes at once.
        if (flags.notify)
            post_notify(TMPNotifyValues::nrSuccessful);
        return;
    }
    if (flags.notify)
        notify_pending_for = device_id;
    media->play();
}

void TMediaPlayer::CloseDevice()
{
    if (device_id == 0)
        return;
    const Flags flags = rule_w();
    release_device();
    last_error = 0;
    if (flags.notify)
        post_notify(TMPNotifyValues::nrSuccessful);
}

// Stops and frees the device. A playback cut short this way owes no notification: one that
// arrived after a newer open would close the newer device and silence the newer alert.
void TMediaPlayer::release_device()
{
    if (media) {
        media->disconnect(this);
        media->stop();
    }
    media.reset();
    audio_output.reset();
    opened = false;
    device_id = 0;
    notify_pending_for = 0;
    device_failed = false;
}

void TMediaPlayer::device_ended(std::uint16_t device, TMPNotifyValues result)
{
    if (device != device_id)
        return;
    if (result == TMPNotifyValues::nrFailure)
        device_failed = true;
    if (notify_pending_for != device)
        return;
    notify_pending_for = 0;
    post_notify(result);
}

// Notifications always travel through the event loop, so a handler never runs inside the
// player command (or back-end signal) that caused it.
void TMediaPlayer::post_notify(TMPNotifyValues result)
{
    QMetaObject::invokeMethod(
        this,
        [this, result] {
            notify_result = result;
            if (OnNotify)
                platform::guarded([this] { OnNotify(this); });
        },
        Qt::QueuedConnection);
}
