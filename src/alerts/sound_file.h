#pragma once
// What the player can tell about a sound file before handing it to the audio back end:
// whether it exists, can be read, and looks like a format the back end decodes.

#include <QString>

#include <cstdint>

enum class SoundFileCheck : std::int32_t {
    Ok = 0,
    NotFound = 275,
    NotReadable = 276,
    UnknownExtension = 277,
    BadHeader = 278,
};

// Judged by the file name's extension (case ignored) and the file's first bytes; reads at most
// a few bytes and never blocks on anything but the file itself.
SoundFileCheck check_sound_file(const QString& path);

// The text an open failure reports for a check result and file; empty for codes it has no
// text for.
QString sound_file_error_text(std::int32_t code, const QString& path);
