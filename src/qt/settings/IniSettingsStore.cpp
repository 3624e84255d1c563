#include "qt/settings/IniSettingsStore.h"

#include "qt/Log.h"
#include "qt/settings/SettingsFile.h"
#include "settings/SettingsText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QThread>

#include <algorithm>

namespace {

// The lock file holds the writer's process id. A writer killed between
// creating the lock and writing its id leaves an empty lock that QLockFile
// cannot judge until its stale time (30 s). A live writer fills its lock
// within microseconds, so an empty one a quarter second old is abandoned.
constexpr qint64 AbandonedAfterMs = 250;

QString fromLocal(const std::string &text)
{
    return QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
}

QString diskNote(const QString &path)
{
    const QStorageInfo volume(QFileInfo(path).path());
    return volume.isValid() && volume.bytesAvailable() < 4096
               ? QStringLiteral(" (the disk is full)")
               : QString();
}

} // namespace

IniSettingsStore::IniSettingsStore(const QString &application)
{
    // Resolved here, per store, so a changed $XDG_CONFIG_HOME is seen.
    const QDir configDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    const QString directory = QDir::cleanPath(configDir.absoluteFilePath(application));
    const QString fileName = application + QStringLiteral(".ini");
    m_filePath = directory + u'/' + fileName;
    m_directory = QFile::encodeName(directory).toStdString();
    m_fileName = QFile::encodeName(fileName).toStdString();
    // A retry does not wait: the user interface is not held up for a lock.
    m_retryTimer.setSingleShot(true);
    m_retryTimer.callOnTimeout([this] { writePending(0); });

    // Temporary files of saves a kill cut short hold the key. They go only
    // under the lock: a writer holding it may be filling its temporary file.
    SettingsFile file(m_directory, m_fileName);
    QLockFile lock(m_filePath + QStringLiteral(".lock"));
    QString ignored;
    if (file.leftovers(false) > 0 && acquire(lock, LockWaitMs, &ignored)) {
        qCInfo(lcSettings).noquote()
            << "removed" << file.leftovers(true) << "temporary files of an interrupted save next to"
            << m_filePath;
    }
}

IniSettingsStore::~IniSettingsStore()
{
    if (!m_pending.empty() && !writePending(LockWaitMs) && !m_pending.empty()) {
        qCWarning(lcSettings).noquote() << "Settings changes were not saved: the file" << m_filePath
                                        << "stayed locked by another process";
    }
}

std::string IniSettingsStore::read(const std::string &section, const std::string &name,
                                   const std::string &defaultValue) const
{
    // A value waiting for the lock is the current one.
    const auto pending = m_pending.find({section, name});
    if (pending != m_pending.end())
        return pending->second;

    SettingsFile file(m_directory, m_fileName);
    const SettingsFile::State state = file.load(false);
    if (state == SettingsFile::State::Regular || state == SettingsFile::State::Missing) {
        m_reportedProblem.clear();
        return SettingsText::value(file.data(), section, name).value_or(defaultValue);
    }
    if (m_reportedProblem != file.reason()) {
        m_reportedProblem = file.reason();
        qCWarning(lcSettings).noquote()
            << QStringLiteral("Using default settings: the file %1 is not usable (%2)")
                   .arg(m_filePath, fromLocal(file.reason()));
    }
    return defaultValue;
}

bool IniSettingsStore::save(const std::string &section, const std::string &name,
                            const std::string &value)
{
    m_pending[{section, name}] = value;
    return writePending(LockWaitMs);
}

bool IniSettingsStore::finish(bool saved, const QString &failure)
{
    if (!saved) {
        qCWarning(lcSettings).noquote()
            << QStringLiteral("Cannot save settings to %1: %2").arg(m_filePath, failure);
    } else if (m_waitingForLock) {
        qCInfo(lcSettings).noquote()
            << "saved the settings changes that waited for the lock on" << m_filePath;
    }
    // Only a held lock keeps values for later; other failures are final.
    m_pending.clear();
    m_waitingForLock = false;
    m_retryTimer.stop();
    return saved;
}

bool IniSettingsStore::writePending(int lockWaitMs)
{
    SettingsFile file(m_directory, m_fileName);
    // Why the file as loaded must not be written, or "" when it may.
    const auto refusal = [&file] {
        switch (file.state()) {
        case SettingsFile::State::NotOurs:
        case SettingsFile::State::Unreadable:
            return fromLocal(file.reason()) + QStringLiteral("; it is left as it is");
        case SettingsFile::State::Regular:
        case SettingsFile::State::NotText:
            // A file the user made read-only stays as it is.
            return file.ownerMayWrite() ? QString() : QStringLiteral("the file is not writable");
        default:
            return QString();
        }
    };
    const auto keep = [this, &file] {
        std::string reason;
        return file.restrictToOwner(&reason) ? finish(true) : finish(false, fromLocal(reason));
    };
    const auto holdsAllPending = [this, &file] {
        return std::all_of(m_pending.begin(), m_pending.end(), [&file](const auto &entry) {
            const auto &[key, value] = entry;
            return SettingsText::value(file.data(), key.first, key.second) == value;
        });
    };

    // A first look without the lock: saving what the file already holds would
    // rewrite it for nothing (start-up saves the stored interval straight back
    // every time); it is only kept private, which needs no write access.
    if (file.load(false) == SettingsFile::State::Regular && holdsAllPending())
        return keep();
    if (const QString refused = refusal(); !refused.isEmpty())
        return finish(false, refused);
    // The directory, for the lock.
    if (file.state() == SettingsFile::State::Missing &&
        file.load(true) == SettingsFile::State::Unreadable)
        return finish(false, fromLocal(file.reason()));

    QLockFile lock(m_filePath + QStringLiteral(".lock"));
    QString failure;
    if (!acquire(lock, lockWaitMs, &failure)) {
        if (!failure.isEmpty())
            return finish(false, failure);
        if (!m_waitingForLock) {
            qCWarning(lcSettings).noquote()
                << QStringLiteral("The settings file %1 is locked by another process; the "
                                  "change is kept and saved once the lock is free")
                       .arg(m_filePath);
        }
        m_waitingForLock = true;
        // Without an event loop only the next save retries.
        if (QCoreApplication::instance())
            m_retryTimer.start(RetryMs);
        return false;
    }

    // Under the lock, read again: another writer may have changed the file.
    file.load(true);
    if (const QString refused = refusal(); !refused.isEmpty())
        return finish(false, refused);
    if (file.state() == SettingsFile::State::NotText ||
        file.state() == SettingsFile::State::TooLarge) {
        const QString problem = fromLocal(file.reason());
        std::string target, reason;
        if (!file.setAside(&target, &reason)) {
            return finish(false, QStringLiteral("the unusable file could not be kept aside (%1)")
                                     .arg(fromLocal(reason)));
        }
        qCWarning(lcSettings).noquote()
            << QStringLiteral("The settings file %1 was not usable (%2); kept it as %3 and "
                              "started a new one")
                   .arg(m_filePath, problem, fromLocal(target));
        m_reportedProblem.clear();
    }
    file.leftovers(true);

    std::string data = file.data();
    for (const auto &[key, value] : m_pending)
        data = SettingsText::withValue(data, key.first, key.second, value);
    if (file.state() == SettingsFile::State::Regular && data == file.data())
        return keep();
    if (data.size() > SettingsFile::MaxSize)
        return finish(false, QStringLiteral("the settings would be larger than 1 MiB"));
    std::string reason;
    if (!file.replace(data, &reason))
        return finish(false, fromLocal(reason) + diskNote(m_filePath));
    return finish(true);
}

bool IniSettingsStore::acquire(QLockFile &lock, int waitMs, QString *failure) const
{
    // QLockFile itself takes over a lock whose owner is gone; a live owner is
    // waited for briefly only, an empty lock until it counts as abandoned.
    QElapsedTimer waited;
    waited.start();
    while (!lock.tryLock(0)) {
        if (lock.error() != QLockFile::LockFailedError) {
            *failure =
                lock.error() == QLockFile::PermissionError
                    ? QStringLiteral("its directory is not writable")
                    : QStringLiteral("the lock file could not be written") + diskNote(m_filePath);
            return false;
        }
        const QFileInfo info(lock.fileName());
        const qint64 emptyFor =
            info.exists() && !info.isSymLink() && info.size() == 0
                ? std::max<qint64>(0, info.lastModified().msecsTo(QDateTime::currentDateTime()))
                : -1;
        if (emptyFor >= AbandonedAfterMs) {
            qCInfo(lcSettings).noquote() << "removing an abandoned lock" << lock.fileName();
            if (QFile::remove(lock.fileName()))
                continue;
        }
        if (waitMs <= 0 || waited.elapsed() >= waitMs + (emptyFor < 0 ? 0 : AbandonedAfterMs + 10))
            return false;
        QThread::msleep(10);
    }
    return true;
}
