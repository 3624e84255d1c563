// Arbitrary bytes as the key: the update URL built from it, the form put on
// the wire, the form put in the log, and the settings file that keeps it.
//
// Input: one byte choosing the base URL, then the key's bytes (UTF-8 or not).

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

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

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

std::vector<std::string> baseUrls()
{
    return {UpdateUrl::baseUrl(),
            "https://dyn.example.org/nic/update?hostname=", "http://127.0.0.1:8080/",
            "http://[::1]:81/u/"};
}

// Bytes on the request line must be printable ASCII other than the space:
// anything else could end the line early or add a header.
bool safeOnTheWire(const std::string &encoded)
{
    for (char c : encoded) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7f)
            return false;
    }
    return true;
}

void checkRequestUrl(const std::string &base, const std::string &key, const std::string &updateUrl)
{
    const std::optional<UpdateUrl::RequestUrl> baseUrl = UpdateUrl::toRequestUrl(base);
    FUZZ_CHECK(baseUrl.has_value());
    const std::optional<UpdateUrl::RequestUrl> url = UpdateUrl::toRequestUrl(updateUrl);
    const std::string redacted = UpdateUrl::redacted(url);
    // A key of a few characters may well occur in "http://host" by chance.
    const bool keyIsTelling = key.size() >= 4 && base.find(key) == std::string::npos;
    if (keyIsTelling)
        FUZZ_CHECK(redacted.find(key) == std::string::npos);
    if (!url)
        return;

    // Whatever the key holds, the request goes to the base URL's server.
    FUZZ_CHECK(url->scheme == baseUrl->scheme);
    FUZZ_CHECK(url->host == baseUrl->host);
    FUZZ_CHECK(url->port == baseUrl->port);
    FUZZ_CHECK(redacted == UpdateUrl::redacted(baseUrl));

    FUZZ_CHECK(safeOnTheWire(url->url));
    FUZZ_CHECK(safeOnTheWire(url->target));
    FUZZ_CHECK(url->url == redacted + url->target);
    // What is on the wire reads the same when parsed again.
    const std::optional<UpdateUrl::RequestUrl> again = UpdateUrl::toRequestUrl(url->url);
    FUZZ_CHECK(again.has_value() && again->url == url->url);
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
    static const std::vector<std::string> bases = baseUrls();
    const std::string &base = bases.at(data[0] % bases.size());
    const std::string keyBytes(reinterpret_cast<const char *>(data + 1), size - 1);
    const std::string updateUrl = UpdateUrl::compose(base, keyBytes);
    FUZZ_CHECK(updateUrl == base + keyBytes);

    loggedLines.clear();
    checkRequestUrl(base, keyBytes, updateUrl);
    checkSettingsRoundTrip(QString::fromStdString(updateUrl));

    // Nothing logged on the way holds the key.
    const QString key = QString::fromStdString(keyBytes);
    if (key.size() >= 4) {
        for (const QString &line : std::as_const(loggedLines)) {
            // The line is not printed: it holds the key.
            FUZZ_CHECK(!line.contains(key));
        }
    }
    return 0;
}
