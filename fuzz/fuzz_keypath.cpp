// Arbitrary bytes as the key: the update URL built from it, the form put on
// the wire, the form put in the log, and the settings file that keeps it.
//
// Input: one byte choosing the base URL, then the key as UTF-8.

#include "FuzzCheck.h"
#include "qt/settings/IniSettingsStore.h"
#include "update/UpdateUrl.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

const std::string Section = "settings";
const std::string KeyName = "TavrinKey";

QStringList loggedLines;
QString settingsHome;

void removeSettingsHome()
{
    QDir(settingsHome).removeRecursively();
}

void recordMessage(QtMsgType, const QMessageLogContext &, const QString &text)
{
    loggedLines.append(text);
}

QStringList baseUrls()
{
    return {UpdateUrl::baseUrl(), QStringLiteral("https://dyn.example.org/nic/update?hostname="),
            QStringLiteral("http://127.0.0.1:8080/"), QStringLiteral("http://[::1]:81/u/")};
}

// Bytes on the request line must be printable ASCII other than the space:
// anything else could end the line early or add a header.
bool safeOnTheWire(const QByteArray &encoded)
{
    for (char c : encoded) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7f)
            return false;
    }
    return true;
}

void checkRequestUrl(const QString &base, const QString &key, const QString &updateUrl)
{
    const QUrl baseUrl(base);
    const QUrl url = UpdateUrl::toRequestUrl(updateUrl);
    const QString redacted = UpdateUrl::redacted(url);
    // A key of a few characters may well occur in "http://host" by chance.
    const bool keyIsTelling = key.size() >= 4 && !base.contains(key);
    if (keyIsTelling)
        FUZZ_CHECK(!redacted.contains(key));
    if (!url.isValid())
        return;

    // Whatever the key holds, the request goes to the base URL's server.
    FUZZ_CHECK(url.scheme() == baseUrl.scheme());
    FUZZ_CHECK(url.host() == baseUrl.host());
    FUZZ_CHECK(url.port() == baseUrl.port());
    FUZZ_CHECK(redacted == UpdateUrl::redacted(baseUrl));

    FUZZ_CHECK(safeOnTheWire(url.toEncoded()));
    FUZZ_CHECK(safeOnTheWire(url.path(QUrl::FullyEncoded).toLatin1()));
    FUZZ_CHECK(safeOnTheWire(url.query(QUrl::FullyEncoded).toLatin1()));
}

// The settings file keeps the text exactly, both from QSettings' cache in this
// process and read afresh from the disk, and stays owner-only.
void checkSettingsRoundTrip(const QString &updateUrl)
{
    static qint64 round = 0;
    ++round;
    IniSettingsStore store(QStringLiteral("fuzz-keypath"));
    const std::string stored = updateUrl.toStdString();
    FUZZ_CHECK(store.save(Section, KeyName, stored));
    FUZZ_CHECK(store.read(Section, KeyName, std::string()) == stored);
    constexpr QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                          QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    FUZZ_CHECK(!(QFile::permissions(store.filePath()) & others));

    // QSettings re-reads a file it has cached only when its size or time stamp
    // changed; a new time stamp each round forces it to read the disk.
    {
        QFile file(store.filePath());
        FUZZ_CHECK(file.open(QIODevice::ReadWrite));
        FUZZ_CHECK(file.setFileTime(QDateTime::fromSecsSinceEpoch(1000000000 + round, Qt::UTC),
                                    QFileDevice::FileModificationTime));
    }
    FUZZ_CHECK(store.read(Section, KeyName, std::string()) == stored);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Settings go to a directory of this run's own: under $TAVRIN_FUZZ_SCRATCH
    // (fuzz.sh sets it and removes it, even after a crash), else in memory
    // where there is /dev/shm, since every save syncs the file to its disk.
    const char *scratch = std::getenv("TAVRIN_FUZZ_SCRATCH");
    if (!scratch)
        scratch = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(scratch) + "/tavrin-fuzz-XXXXXX";
    const char *home = mkdtemp(pattern.data());
    if (!home)
        std::abort();
    setenv("XDG_CONFIG_HOME", home, 1);
    settingsHome = QString::fromLocal8Bit(home);
    std::atexit(removeSettingsHome);
    qInstallMessageHandler(recordMessage);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    static const QStringList bases = baseUrls();
    const QString &base = bases.at(data[0] % bases.size());
    const QString key =
        QString::fromUtf8(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const QString updateUrl = UpdateUrl::compose(base, key);
    FUZZ_CHECK(updateUrl == base + key);

    loggedLines.clear();
    checkRequestUrl(base, key, updateUrl);
    checkSettingsRoundTrip(updateUrl);

    // Nothing logged on the way holds the key.
    if (key.size() >= 4) {
        for (const QString &line : std::as_const(loggedLines)) {
            // The line is not printed: it holds the key.
            FUZZ_CHECK(!line.contains(key));
        }
    }
    return 0;
}
