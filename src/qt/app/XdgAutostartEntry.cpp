#include "qt/app/XdgAutostartEntry.h"

#include "app/CommandLine.h"
#include "qt/CoreTypes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {
// Far more than any desktop entry; a bigger file is read in part.
const qint64 kMaxRead = 64 * 1024;

// The path the program was started by, made absolute but with its links kept:
// a link under another name runs with that name's settings.
QString startedPath(const QString &programPath)
{
    if (!programPath.contains(QLatin1Char('/'))) {
        const QString found = QStandardPaths::findExecutable(programPath);
        return found.isEmpty() ? QCoreApplication::applicationFilePath() : found;
    }
    return QFileInfo(programPath).absoluteFilePath();
}
} // namespace

XdgAutostartEntry::XdgAutostartEntry(const QString &programPath)
    : m_programPath(startedPath(programPath))
{
}

QString XdgAutostartEntry::filePath() const
{
    // Resolved at each use, as the settings file is, so a changed
    // $XDG_CONFIG_HOME is seen.
    const QString name = toQt(CommandLine::programName(toStd(m_programPath)));
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/") + name + QStringLiteral(".desktop");
}

std::string XdgAutostartEntry::where() const
{
    return toStd(filePath());
}

LoginEntryPlace::State XdgAutostartEntry::state() const
{
    const QFileInfo info(filePath());
    // A dangling link is the user's too: anything at the path stays.
    if (!info.exists() && !info.isSymLink())
        return State::Missing;
    QFile file(info.filePath());
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return State::Present;
    return StartAtLogin::desktopEntrySwitchedOff(file.read(kMaxRead).toStdString())
               ? State::SwitchedOff
               : State::Present;
}

bool XdgAutostartEntry::create(std::string &reason)
{
    const std::optional<std::string> text = StartAtLogin::desktopEntry(toStd(m_programPath));
    if (!text) {
        reason = "the program's path cannot be written into an entry";
        return false;
    }
    const QString target = filePath();
    const QString directory = QFileInfo(target).path();
    if (!QDir().mkpath(directory)) {
        reason = "cannot make the folder " + toStd(directory);
        return false;
    }
    // Written whole beside it, then linked into place: a cut-short write leaves
    // no entry, and an entry that appeared meanwhile is never replaced.
    QTemporaryFile temporary(directory + QStringLiteral("/.autostart-XXXXXX"));
    if (!temporary.open() ||
        temporary.write(text->data(), qint64(text->size())) != qint64(text->size()) ||
        !temporary.flush() || ::fsync(temporary.handle()) != 0) {
        reason = "cannot write in " + toStd(directory) + ": " + toStd(temporary.errorString());
        return false;
    }
    temporary.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                             QFile::ReadOther);
    if (::link(QFile::encodeName(temporary.fileName()).constData(),
               QFile::encodeName(target).constData()) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    return true;
}
