// The shell's "open" on Linux: executables are spawned directly, everything else goes to the
// desktop opener (xdg-open, or QDesktopServices where that isn't installed).

#include "platform/shell_open.h"

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

std::unique_ptr<ChildProcess> shell_open(const QString& file, const QString& params) noexcept
{
    if (file.isEmpty())
        return nullptr;
    try {
        const QString program = executable_for(file);
        if (!program.isEmpty())
            return ChildProcess::start(program, params, ChildProcess::Lifetime::outlives_us);
        const QUrl url = QUrl::fromUserInput(file, QDir::currentPath(), QUrl::AssumeLocalFile);
        // Started by us rather than by QDesktopServices, so the opener counts among the caller's
        // running commands. The encoded URL holds no blank, so it stays one argument.
        const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
        if (!opener.isEmpty() && url.isValid())
            return ChildProcess::start(opener, QLatin1Char(' ') + QString::fromLatin1(url.toEncoded()),
                                       ChildProcess::Lifetime::outlives_us);
        QDesktopServices::openUrl(url);
    } catch (...) {
        // Opening is best effort by contract: the caller's alert goes on whatever happens here.
    }
    return nullptr;
}

}  // namespace platform
