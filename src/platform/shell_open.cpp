// The shell's "open" on Linux: executables are spawned directly, everything else goes to the
// desktop opener (xdg-open through QDesktopServices).

#include "platform/shell_open.h"

#include "platform/process.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

namespace platform {

namespace {

QString executable_for(const QString& file)
{
    const QFileInfo info(file);
    if (info.isFile() && info.isExecutable())
        return file;
    if (!file.contains(QLatin1Char('/')))
        return QStandardPaths::findExecutable(file);
    return QString();
}

}  // namespace

void shell_open(const QString& file, const QString& params) noexcept
{
    if (file.isEmpty())
        return;
    try {
        const QString program = executable_for(file);
        if (!program.isEmpty()) {
            // Not waited for and never terminated: dropping the handle leaves the child to the
            // reaper, which collects it when it ends.
            ChildProcess::start(program, params);
            return;
        }
        QDesktopServices::openUrl(QUrl::fromUserInput(file, QDir::currentPath(), QUrl::AssumeLocalFile));
    } catch (...) {
        // Opening is best effort by contract: the caller's alert goes on whatever happens here.
    }
}

}  // namespace platform
