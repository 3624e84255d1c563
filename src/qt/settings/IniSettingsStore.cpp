#include "qt/settings/IniSettingsStore.h"

#include "qt/Log.h"
#include "qt/settings/SettingsFile.h"
#include "settings/SettingsText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace {

const QString kFallbackApplication = QStringLiteral("tavrin-connector");

QString fromLocal(const std::string &text)
{
    return QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
}

} // namespace

IniSettingsStore::IniSettingsStore(const QString &application)
{
    const QString name = application.isEmpty() ? kFallbackApplication : application;
    // Resolved here, per store, so a changed $XDG_CONFIG_HOME is seen.
    const QDir configDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    m_directory = QDir::cleanPath(configDir.absoluteFilePath(name));
    m_fileName = name + QStringLiteral(".ini");
    m_filePath = m_directory + u'/' + m_fileName;
    removeLeftovers();
}

IniSettingsStore::~IniSettingsStore()
{
    m_closing = true;
    if (m_pending.empty())
        return;
    if (writePending(LockWaitMs) == Outcome::Deferred) {
        qCWarning(lcSettings).noquote() << "Settings changes were not saved: the file" << m_filePath
                                        << "stayed locked by another process";
    }
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

SettingsFile IniSettingsStore::settingsFile() const
{
    return SettingsFile(QFile::encodeName(m_directory).toStdString(),
                        QFile::encodeName(m_fileName).toStdString());
}

std::string IniSettingsStore::read(const std::string &section, const std::string &name,
                                   const std::string &defaultValue) const
{
    // A value waiting for the lock is the current one.
    const auto pending = m_pending.find({section, name});
    if (pending != m_pending.end())
        return pending->second;

    SettingsFile file = settingsFile();
    switch (file.load(false)) {
    case SettingsFile::State::Missing:
        m_reportedProblem.clear();
        return defaultValue;
    case SettingsFile::State::NotOurs:
        warnOnce(QStringLiteral("is not the program's own regular file"), fromLocal(file.reason()));
        return defaultValue;
    case SettingsFile::State::Unreadable:
        warnOnce(QStringLiteral("cannot be read"), fromLocal(file.reason()));
        return defaultValue;
    case SettingsFile::State::TooLarge:
        warnOnce(QStringLiteral("is not a usable settings file"), fromLocal(file.reason()));
        return defaultValue;
    case SettingsFile::State::Regular:
        break;
    }
    if (const std::string problem = SettingsText::problem(file.data()); !problem.empty()) {
        warnOnce(QStringLiteral("is not a usable settings file"), fromLocal(problem));
        return defaultValue;
    }
    m_reportedProblem.clear();
    return SettingsText::value(file.data(), section, name).value_or(defaultValue);
}

// What save() does with a file it cannot use:
// - A file that can be read but is not text (binary noise, not UTF-8, more
//   than 1 MiB) is renamed to "<file>.corrupt" (or ".corrupt.1",
//   ... if that exists) and a fresh file is written: the user's data it may
//   hold is kept for them to recover, and the program can store settings again.
// - A file that cannot be read at all (no permission, a directory in its
//   place) is left alone and save() returns false: its content is unknown, and
//   replacing it could silently lose settings that are fine once the user
//   repairs the permissions.
// - Something that is not the program's own regular file (a symbolic link, a
//   FIFO, a device) is left exactly as it is, and save() returns false.
bool IniSettingsStore::save(const std::string &section, const std::string &name,
                            const std::string &value)
{
    m_pending[{section, name}] = value;
    return writePending(LockWaitMs) == Outcome::Saved;
}

IniSettingsStore::Outcome IniSettingsStore::fail(const QString &message)
{
    qCWarning(lcSettings).noquote() << message;
    // Only a held lock keeps values for later; other failures are final.
    m_pending.clear();
    m_waitingForLock = false;
    if (m_retryTimer)
        m_retryTimer->stop();
    return Outcome::Failed;
}

IniSettingsStore::Outcome IniSettingsStore::writePending(int lockWaitMs)
{
    const auto refuse = [this](const QString &reason) {
        return fail(QStringLiteral("Cannot save settings to %1: %2").arg(m_filePath, reason));
    };
    const auto leftAlone = [this](const SettingsFile &file) {
        return fail(QStringLiteral("Not saving settings: %1 %2 (%3) and is left as it is")
                        .arg(m_filePath,
                             file.state() == SettingsFile::State::NotOurs
                                 ? QStringLiteral("is not the program's own regular file")
                                 : QStringLiteral("cannot be read"),
                             fromLocal(file.reason())));
    };
    const auto holdsAllPending = [this](const std::string &data) {
        for (const auto &[key, value] : m_pending) {
            if (SettingsText::value(data, key.first, key.second) != value)
                return false;
        }
        return true;
    };

    SettingsFile file = settingsFile();
    // A first look without the lock: saving what the file already holds would
    // rewrite it for nothing (start-up saves the stored interval straight back
    // every time); it is only kept private, and needs no write access.
    file.load(false);
    if (file.state() == SettingsFile::State::NotOurs ||
        file.state() == SettingsFile::State::Unreadable)
        return leftAlone(file);
    if (file.state() == SettingsFile::State::Regular) {
        if (SettingsText::problem(file.data()).empty() && holdsAllPending(file.data())) {
            std::string reason;
            if (!file.restrictToOwner(&reason))
                return refuse(fromLocal(reason));
            m_pending.clear();
            m_waitingForLock = false;
            return Outcome::Saved;
        }
        // A file the user made read-only stays as it is.
        if (!file.ownerMayWrite())
            return refuse(QStringLiteral("the file is not writable"));
    }

    if (file.load(true) == SettingsFile::State::Unreadable && !QFileInfo(m_directory).isDir())
        return refuse(fromLocal(file.reason()));

    QLockFile lock(m_filePath + QStringLiteral(".lock"));
    QString lockProblem;
    switch (acquire(lock, lockWaitMs, &lockProblem)) {
    case LockResult::Locked:
        break;
    case LockResult::Held:
        if (!m_waitingForLock) {
            qCWarning(lcSettings).noquote()
                << QStringLiteral("The settings file %1 is locked by another process; the "
                                  "change is kept and saved once the lock is free")
                       .arg(m_filePath);
        }
        m_waitingForLock = true;
        scheduleRetry();
        return Outcome::Deferred;
    case LockResult::Failed:
        return refuse(lockProblem);
    }

    // Under the lock, read again: another writer may have changed the file.
    switch (file.load(true)) {
    case SettingsFile::State::NotOurs:
    case SettingsFile::State::Unreadable:
        return leftAlone(file);
    case SettingsFile::State::TooLarge:
        if (!setCorruptFileAside(file, fromLocal(file.reason())))
            return Outcome::Failed;
        break;
    case SettingsFile::State::Regular:
        if (!file.ownerMayWrite())
            return refuse(QStringLiteral("the file is not writable"));
        if (const std::string problem = SettingsText::problem(file.data()); !problem.empty()) {
            if (!setCorruptFileAside(file, fromLocal(problem)))
                return Outcome::Failed;
        }
        break;
    case SettingsFile::State::Missing:
        break;
    }
    file.leftovers(true);

    std::string data = file.state() == SettingsFile::State::Regular ? file.data() : std::string();
    for (const auto &[key, value] : m_pending)
        data = SettingsText::withValue(data, key.first, key.second, value);

    std::string reason;
    if (file.state() == SettingsFile::State::Regular && data == file.data()) {
        if (!file.restrictToOwner(&reason))
            return refuse(fromLocal(reason));
    } else {
        if (data.size() > SettingsFile::MaxSize)
            return refuse(QStringLiteral("the settings would be larger than 1 MiB"));
        bool noSpace = false;
        if (!file.replace(data, &reason, &noSpace)) {
            return fail(QStringLiteral("Could not save settings to %1: %2%3")
                            .arg(m_filePath, fromLocal(reason),
                                 noSpace || diskIsFull() ? QStringLiteral(" (the disk is full)")
                                                         : QString()));
        }
    }

    if (m_waitingForLock) {
        qCInfo(lcSettings).noquote()
            << "saved the settings changes that waited for the lock on" << m_filePath;
    }
    m_pending.clear();
    m_waitingForLock = false;
    if (m_retryTimer)
        m_retryTimer->stop();
    return Outcome::Saved;
}

namespace {

// The lock file holds the writer's process id. A writer killed between
// creating the lock and writing its id leaves an empty lock that QLockFile
// cannot judge until its stale time (30 s). A live writer fills its lock
// within microseconds, so an empty one a quarter second old is abandoned.
constexpr qint64 AbandonedAfterMs = 250;

} // namespace

IniSettingsStore::LockResult IniSettingsStore::acquire(QLockFile &lock, int waitMs,
                                                       QString *reason) const
{
    // QLockFile removes a lock whose owner is gone, or older than its stale
    // time, itself; a lock held by a live process is waited for briefly only.
    QDeadlineTimer deadline(waitMs);
    bool extended = false;
    for (;;) {
        if (lock.tryLock(0))
            return LockResult::Locked;
        switch (lock.error()) {
        case QLockFile::NoError:
        case QLockFile::LockFailedError:
            break;
        case QLockFile::PermissionError:
            *reason = QStringLiteral("its directory is not writable");
            return LockResult::Failed;
        case QLockFile::UnknownError:
            *reason = QStringLiteral("the lock file could not be written") +
                      (diskIsFull() ? QStringLiteral(" (the disk is full)") : QString());
            return LockResult::Failed;
        }
        const qint64 emptyFor = emptyLockAgeMs();
        if (emptyFor >= AbandonedAfterMs && removeAbandonedLock())
            continue;
        if (deadline.hasExpired()) {
            // An empty lock left by a killed writer is waited out, once, until
            // it counts as abandoned: still a fraction of a second.
            if (waitMs <= 0 || emptyFor < 0 || extended)
                return LockResult::Held;
            deadline.setRemainingTime(AbandonedAfterMs - emptyFor + 10);
            extended = true;
        }
        QThread::msleep(10);
    }
}

qint64 IniSettingsStore::emptyLockAgeMs() const
{
    const QFileInfo lock(m_filePath + QStringLiteral(".lock"));
    if (!lock.exists() || lock.isSymLink() || lock.size() != 0)
        return -1;
    return std::max<qint64>(0, lock.lastModified().msecsTo(QDateTime::currentDateTime()));
}

bool IniSettingsStore::removeAbandonedLock() const
{
    const QString path = m_filePath + QStringLiteral(".lock");
    qCInfo(lcSettings).noquote() << "removing an abandoned lock" << path;
    return QFile::remove(path);
}

void IniSettingsStore::removeLeftovers() const
{
    // Only under the lock, waited for as briefly as a save waits: a writer
    // holding it may be filling its temporary file.
    SettingsFile file = settingsFile();
    QLockFile lock(m_filePath + QStringLiteral(".lock"));
    QString ignored;
    if (file.leftovers(false) == 0 || acquire(lock, LockWaitMs, &ignored) != LockResult::Locked)
        return;
    qCInfo(lcSettings).noquote() << "removed" << file.leftovers(true)
                                 << "temporary files of an interrupted save next to" << m_filePath;
}

bool IniSettingsStore::setCorruptFileAside(SettingsFile &file, const QString &reason)
{
    std::string target;
    std::string problem;
    if (!file.setAside(&target, &problem)) {
        fail(QStringLiteral("Not saving settings: the unusable file %1 could not be kept aside "
                            "(%2)")
                 .arg(m_filePath, fromLocal(problem)));
        return false;
    }
    qCWarning(lcSettings).noquote()
        << QStringLiteral("The settings file %1 was not usable (%2); kept it as %3 and started "
                          "a new one")
               .arg(m_filePath, reason, fromLocal(target));
    m_reportedProblem.clear();
    return true;
}

void IniSettingsStore::scheduleRetry()
{
    // Without an event loop (or while closing) only the next save retries.
    if (m_closing || !QCoreApplication::instance())
        return;
    if (!m_retryTimer) {
        m_retryTimer = std::make_unique<QTimer>();
        m_retryTimer->setSingleShot(true);
        m_retryTimer->setInterval(RetryMs);
        // A retry does not wait for the lock at all: the user-interface thread
        // is not held up for a lock that stays taken.
        QObject::connect(m_retryTimer.get(), &QTimer::timeout, [this] {
            if (!m_pending.empty())
                writePending(0);
        });
    }
    m_retryTimer->start();
}

void IniSettingsStore::warnOnce(const QString &problem, const QString &reason) const
{
    const QString report = problem + u'\n' + reason;
    if (m_reportedProblem == report)
        return;
    m_reportedProblem = report;
    qCWarning(lcSettings).noquote() << QStringLiteral("Using default settings: the file %1 %2 (%3)")
                                           .arg(m_filePath, problem, reason);
}

bool IniSettingsStore::diskIsFull() const
{
    const QStorageInfo volume(m_directory);
    return volume.isValid() && volume.bytesAvailable() < 4096;
}
