#pragma once
// The shell's "open": run a program or hand a document to the desktop's opener, returning at
// once and never reporting an error.

#include <QString>

namespace platform {

// file is an executable file (absolute, relative to the current directory, or a bare name found
// on PATH): it is started detached with params split at blanks, and reaped when it ends.
// Anything else is opened with the desktop's opener; params are not passed to a document.
void shell_open(const QString& file, const QString& params) noexcept;

}  // namespace platform
