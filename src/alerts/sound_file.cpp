// Up-front check of sound files, so that opening a device fails before it returns instead of
// in a later back-end message.

#include "sound_file.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <string_view>

namespace {

enum class Format { Wave, Mpeg, Ogg, Flac, Au, Mp4 };

struct Extension {
    std::string_view suffix;
    Format format;
};

// The formats the GStreamer plug-ins of the base, good and libav sets decode (AIFF would need
// the "bad" set, which the program does not depend on).
constexpr std::array<Extension, 9> known_extensions{{
    {"wav", Format::Wave},
    {"wave", Format::Wave},
    {"mp3", Format::Mpeg},
    {"ogg", Format::Ogg},
    {"oga", Format::Ogg},
    {"opus", Format::Ogg},
    {"flac", Format::Flac},
    {"au", Format::Au},
    {"m4a", Format::Mp4},
}};

bool starts_with(const QByteArray& data, qsizetype at, std::string_view magic)
{
    return data.size() >= at + static_cast<qsizetype>(magic.size()) &&
           std::string_view(data.constData() + at, magic.size()) == magic;
}

bool mpeg_frame_sync(const QByteArray& data)
{
    return data.size() >= 2 && static_cast<unsigned char>(data[0]) == 0xFF &&
           (static_cast<unsigned char>(data[1]) & 0xE0) == 0xE0;
}

bool header_matches(Format format, const QByteArray& head)
{
    switch (format) {
    case Format::Wave:
        return (starts_with(head, 0, "RIFF") || starts_with(head, 0, "RIFX") ||
                starts_with(head, 0, "RF64")) &&
               starts_with(head, 8, "WAVE");
    case Format::Mpeg:
        return starts_with(head, 0, "ID3") || mpeg_frame_sync(head);
    case Format::Ogg:
        return starts_with(head, 0, "OggS");
    case Format::Flac:
        return starts_with(head, 0, "fLaC") || starts_with(head, 0, "ID3");
    case Format::Au:
        return starts_with(head, 0, ".snd");
    case Format::Mp4:
        return starts_with(head, 4, "ftyp");
    }
    return false;
}

}  // namespace

SoundFileCheck check_sound_file(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return SoundFileCheck::NotFound;
    if (!info.isFile())
        return SoundFileCheck::NotReadable;

    const QByteArray suffix = info.suffix().toLower().toLatin1();
    const std::string_view suffix_view(suffix.constData(), static_cast<std::size_t>(suffix.size()));
    const Extension* extension = nullptr;
    for (const Extension& candidate : known_extensions) {
        if (candidate.suffix == suffix_view)
            extension = &candidate;
    }
    if (extension == nullptr)
        return SoundFileCheck::UnknownExtension;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return SoundFileCheck::NotReadable;
    const QByteArray head = file.read(16);
    if (!header_matches(extension->format, head))
        return SoundFileCheck::BadHeader;
    return SoundFileCheck::Ok;
}

QString sound_file_error_text(std::int32_t code, const QString& path)
{
    switch (static_cast<SoundFileCheck>(code)) {
    case SoundFileCheck::NotFound:
        return QStringLiteral("The sound file \"%1\" was not found.").arg(path);
    case SoundFileCheck::NotReadable:
        return QStringLiteral("The sound file \"%1\" cannot be read.").arg(path);
    case SoundFileCheck::UnknownExtension:
        return QStringLiteral("No sound device plays files of the type of \"%1\".").arg(path);
    case SoundFileCheck::BadHeader:
        return QStringLiteral("The file \"%1\" does not hold sound in the format its name says.")
            .arg(path);
    case SoundFileCheck::Ok:
        break;
    }
    return {};
}
