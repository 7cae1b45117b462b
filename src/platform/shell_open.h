#pragma once
// The shell's "open": run a program or hand a document to the desktop's opener, returning at
// once and never reporting an error.

#include "platform/process.h"

#include <QString>

#include <memory>

namespace platform {

// file is an executable file (absolute, relative to the current directory, or a bare name found
// on PATH): it is started with params split at blanks. Anything else is handed to the desktop's
// opener, xdg-open when it is on PATH (params are not passed to a document).
// Returns the process started, so a caller can tell how many of its commands still run; null
// when nothing could be started or the opener isn't a process of ours. The caller may drop the
// handle at once: a dropped child is neither waited for nor killed, only reaped when it ends.
std::unique_ptr<ChildProcess> shell_open(const QString& file, const QString& params) noexcept;

}  // namespace platform
