#include "settings/IniSettingsStore.h"

#include "settings/SettingsLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <QThread>

#include <algorithm>

namespace {

const QString kFallbackApplication = QStringLiteral("tavrin-connector");

constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;
constexpr QFile::Permissions kOwnerOnlyDirectory = kOwnerOnly | QFile::ExeOwner;
constexpr QFile::Permissions kModeBits = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                         QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                         QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;

QString settingsKey(const QString &section, const QString &name)
{
    return section.isEmpty() ? name : section + u'/' + name;
}

// Whether one line of an INI file is a blank line, a comment, a section
// header or a key=value pair. As QSettings reads it, a backslash escapes the
// next character, '=' and ';' count only outside double quotes, and an
// unquoted ';' starts a comment.
bool isIniLine(QStringView line)
{
    line = line.trimmed();
    if (line.isEmpty() || line.startsWith(u';'))
        return true;
    if (line.startsWith(u'['))
        return line.contains(u']');
    bool inQuotes = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar ch = line.at(i);
        if (ch == u'\\')
            ++i;
        else if (ch == u'"')
            inQuotes = !inQuotes;
        else if (!inQuotes && ch == u';')
            return false;
        else if (!inQuotes && ch == u'=')
            return true;
    }
    return false;
}

// Why data is not a settings file we can use, or an empty string if it is.
// QSettings reports malformed lines only the first time a process parses a
// file (it caches parsed files), and not binary noise at all, so the check is
// done here, the same for every read.
QString iniProblem(const QByteArray &data)
{
    if (data.contains('\0'))
        return QStringLiteral("it contains binary data");
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(data);
    if (decoder.hasError())
        return QStringLiteral("it is not UTF-8 text");
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    text.replace(u'\r', u'\n');
    for (const QStringView line : QStringView(text).tokenize(u'\n')) {
        if (!isIniLine(line))
            return QStringLiteral("it has lines that are not INI entries");
    }
    return QString();
}

} // namespace

IniSettingsStore::IniSettingsStore(const QString &application)
{
    const QString name = application.isEmpty() ? kFallbackApplication : application;
    // Resolved here rather than through QSettings' UserScope, which caches the
    // config directory for the life of the process.
    const QDir configDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    m_filePath = configDir.filePath(name + u'/' + name + QStringLiteral(".ini"));
}

QString IniSettingsStore::applicationName(const QString &programPath)
{
    // Both separators count, so a path written the Windows way works too.
    const qsizetype separator =
        std::max(programPath.lastIndexOf(u'/'), programPath.lastIndexOf(u'\\'));
    QString name = programPath.mid(separator + 1);
    if (name.endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive))
        name.chop(4);
    return name.isEmpty() ? kFallbackApplication : name;
}

QString IniSettingsStore::filePath() const
{
    return m_filePath;
}

QString IniSettingsStore::read(const QString &section, const QString &name,
                               const QString &defaultValue) const
{
    const Inspection inspection = inspect();
    if (inspection.state != FileState::Healthy) {
        if (inspection.state == FileState::Missing)
            m_reportedProblem.clear();
        else
            warnOnce(inspection);
        return defaultValue;
    }
    m_reportedProblem.clear();

    const QSettings settings(m_filePath, QSettings::IniFormat);
    const QVariant value = settings.value(settingsKey(section, name));
    if (!value.isValid())
        return defaultValue;
    // save() writes text, which comes back as text even with commas in it; an
    // unquoted value with commas typed into the file by hand comes back as a
    // list, which is joined again the way it was most likely written.
    if (value.metaType().id() == QMetaType::QStringList)
        return value.toStringList().join(u',');
    return value.toString();
}

// What save() does with a file it cannot use:
// - A file that can be read but is not a settings file (binary noise, broken
//   INI) is renamed to "<file>.corrupt" (or ".corrupt.1", ... if that exists)
//   and a fresh file is written: the user's data it may hold is kept for them
//   to recover, and the program can store settings again.
// - A file that cannot be read at all (no permission, a directory in its
//   place) is left alone and save() returns false: its content is unknown, and
//   replacing it could silently lose settings that are fine once the user
//   repairs the permissions.
bool IniSettingsStore::save(const QString &section, const QString &name, const QString &value)
{
    const Inspection inspection = inspect();
    if (inspection.state == FileState::Unreadable) {
        qCWarning(lcSettings).noquote()
            << QStringLiteral("Not saving settings: the file %1 cannot be read (%2) and is left "
                              "as it is")
                   .arg(m_filePath, inspection.reason);
        return false;
    }
    if (inspection.state == FileState::Corrupt && !setCorruptFileAside(inspection.reason))
        return false;

    const QString key = settingsKey(section, name);
    QString reason;
    const auto refuse = [&] {
        qCWarning(lcSettings).noquote() << "Cannot save settings to" << m_filePath << ":" << reason;
        return false;
    };
    // Saving what the file already holds would rewrite it for nothing (start-up
    // saves the stored interval straight back every time); it is only kept private.
    if (inspection.state == FileState::Healthy && holds(key, value)) {
        return restrictToOwner(&reason) || refuse();
    }

    if (!prepareDirectory(&reason))
        return refuse();

    // QSettings would create a new file with the umask's mode (usually 0644)
    // and only then chmod it; QSaveFile, in contrast, gives its temporary file
    // the mode of the file it replaces before writing to it. So the file is
    // created empty and owner-only first, and an existing one is restricted
    // before the secret goes in.
    bool createdFile = false;
    if (!QFileInfo::exists(m_filePath)) {
        QFile file(m_filePath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerOnly)) {
            qCWarning(lcSettings).noquote()
                << "Cannot create the settings file" << m_filePath << ":" << file.errorString();
            return false;
        }
        createdFile = true;
    } else if (!prepareExistingFile(&reason)) {
        return refuse();
    }

    removeAbandonedLock();

    QSettings settings(m_filePath, QSettings::IniFormat);
    // QSettings keeps writes atomic by default (QSaveFile, no direct-write
    // fallback); it is asked explicitly so that never changes silently.
    settings.setAtomicSyncRequired(true);
    const QVariant previous = settings.value(key);
    settings.setValue(key, value);
    settings.sync();
    // Only AccessError means the write failed; a FormatError is left from
    // reading a file QSettings finds odd but still reads (a byte order mark).
    if (settings.status() == QSettings::AccessError) {
        // A failed change stays pending in QSettings' per-process cache of the
        // file, where later reads would see it; put back what the file holds.
        // prepareExistingFile() makes this rare (a full disk, say).
        if (previous.isValid())
            settings.setValue(key, previous);
        else
            settings.remove(key);
        if (createdFile)
            QFile::remove(m_filePath);
        const QStorageInfo volume(QFileInfo(m_filePath).absolutePath());
        const bool full = volume.isValid() && volume.bytesAvailable() < 4096;
        qCWarning(lcSettings).noquote()
            << "Could not save settings to" << m_filePath << ": the file could not be written"
            << (full ? "(the disk is full)" : "");
        return false;
    }

    // The new file already has the old file's owner-only mode; this only
    // catches a file that was replaced behind our back meanwhile.
    if (!QFile::setPermissions(m_filePath, kOwnerOnly)) {
        qCWarning(lcSettings).noquote()
            << "Saved settings, but could not restrict" << m_filePath << "to its owner";
    }
    return true;
}

void IniSettingsStore::removeAbandonedLock() const
{
    // QSettings guards writes with "<file>.lock", which holds the writer's process
    // id. A writer killed between creating the lock and writing its id leaves an
    // empty lock that QLockFile cannot judge, and the next save would wait out the
    // full stale time (30 s) on the user-interface thread. A live writer fills its
    // lock within microseconds, so an empty one a quarter second old is abandoned.
    constexpr qint64 AbandonedAfterMs = 250;
    const QString path = m_filePath + QStringLiteral(".lock");
    QFileInfo lock(path);
    if (!lock.exists() || lock.size() != 0)
        return;
    const qint64 age = lock.lastModified().msecsTo(QDateTime::currentDateTime());
    if (age < AbandonedAfterMs) {
        QThread::msleep(unsigned(AbandonedAfterMs - std::max<qint64>(age, 0)));
        lock.refresh();
        if (!lock.exists() || lock.size() != 0)
            return;
    }
    qCInfo(lcSettings).noquote() << "removing an abandoned lock" << path;
    QFile::remove(path);
}

IniSettingsStore::Inspection IniSettingsStore::inspect() const
{
    const QFileInfo info(m_filePath);
    if (!info.exists() && !info.isSymLink())
        return {FileState::Missing, QString()};
    if (info.isDir())
        return {FileState::Unreadable, QStringLiteral("it is a directory")};

    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly))
        return {FileState::Unreadable, file.errorString()};
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {FileState::Unreadable, file.errorString()};

    const QString problem = iniProblem(data);
    if (!problem.isEmpty())
        return {FileState::Corrupt, problem};

    return {FileState::Healthy, QString()};
}

void IniSettingsStore::warnOnce(const Inspection &inspection) const
{
    if (m_reportedProblem == inspection.reason)
        return;
    m_reportedProblem = inspection.reason;
    const QString problem = inspection.state == FileState::Corrupt
                                ? QStringLiteral("is not a usable settings file")
                                : QStringLiteral("cannot be read");
    qCWarning(lcSettings).noquote() << QStringLiteral("Using default settings: the file %1 %2 (%3)")
                                           .arg(m_filePath, problem, inspection.reason);
}

bool IniSettingsStore::setCorruptFileAside(const QString &reason)
{
    QString target = m_filePath + QStringLiteral(".corrupt");
    for (int n = 1; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n) {
        if (n > 99) {
            qCWarning(lcSettings).noquote()
                << "Not saving settings: the unusable file" << m_filePath
                << "cannot be kept aside, too many earlier copies exist";
            return false;
        }
        target = QStringLiteral("%1.corrupt.%2").arg(m_filePath).arg(n);
    }

    // It may hold the secret key: restrict it before it gets its new name.
    QFile::setPermissions(m_filePath, QFile::permissions(m_filePath) & kOwnerOnly);
    QFile file(m_filePath);
    if (!file.rename(target)) {
        qCWarning(lcSettings).noquote()
            << "Not saving settings: the unusable file" << m_filePath
            << "could not be kept aside as" << target << ":" << file.errorString();
        return false;
    }
    qCWarning(lcSettings).noquote()
        << QStringLiteral("The settings file %1 was not usable (%2); kept it as %3 and started "
                          "a new one")
               .arg(m_filePath, reason, target);
    m_reportedProblem.clear();
    return true;
}

bool IniSettingsStore::prepareDirectory(QString *reason) const
{
    const QFileInfo directory(QFileInfo(m_filePath).absolutePath());
    if (directory.isDir())
        return true;
    if (directory.exists()) {
        *reason = directory.absoluteFilePath() + QStringLiteral(" is not a directory");
        return false;
    }
    // The config directory above is created with the usual mode if missing;
    // ours is private, so others cannot even see which files it holds.
    const QString parent = directory.absolutePath();
    if (!QDir().mkpath(parent) ||
        !QDir().mkdir(directory.absoluteFilePath(), kOwnerOnlyDirectory)) {
        *reason = QStringLiteral("the directory ") + directory.absoluteFilePath() +
                  QStringLiteral(" could not be created");
        return false;
    }
    return true;
}

bool IniSettingsStore::holds(const QString &key, const QString &value) const
{
    const QVariant stored = QSettings(m_filePath, QSettings::IniFormat).value(key);
    return stored.typeId() == QMetaType::QString && stored.toString() == value;
}

bool IniSettingsStore::restrictToOwner(QString *reason) const
{
    const QFile::Permissions current = QFile::permissions(m_filePath) & kModeBits;
    // Only takes permissions away: a file the user made read-only stays so.
    const QFile::Permissions wanted = current & kOwnerOnly;
    if (current != wanted && !QFile::setPermissions(m_filePath, wanted)) {
        *reason = QStringLiteral("its access cannot be restricted to the owner");
        return false;
    }
    return true;
}

bool IniSettingsStore::prepareExistingFile(QString *reason) const
{
    if (!restrictToOwner(reason))
        return false;

    // QSettings replaces the file with a new one written next to it, after
    // opening the old one for writing. Checking both here keeps a failed write
    // out of QSettings, which would otherwise keep it pending (see save()).
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadWrite)) {
        *reason = QStringLiteral("the file is not writable: ") + file.errorString();
        return false;
    }
    QTemporaryFile probe(QFileInfo(m_filePath).absolutePath() + QStringLiteral("/.probe-XXXXXX"));
    if (!probe.open()) {
        *reason = QStringLiteral("its directory is not writable: ") + probe.errorString();
        return false;
    }
    return true;
}
