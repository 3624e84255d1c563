// Saves an ever-new value into the settings, as fast as it can, and prints the
// number of each value once save() has returned. The fault tests kill it at
// random moments and then look at what the file holds. The printed numbers
// are all it tells: the values stand in for a key.
//
// With "--hold-lock" it takes the settings lock instead, prints "locked" and
// keeps it until it is killed (a minute at most): another writer at work.

#include "qt/settings/IniSettingsStore.h"

#include <QLockFile>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

int main(int argc, char *argv[])
{
    if (argc < 2)
        return 2;
    if (std::strcmp(argv[1], "--hold-lock") == 0) {
        QLockFile lock(IniSettingsStore(QStringLiteral("tavrin-connector")).filePath() +
                       QStringLiteral(".lock"));
        if (!lock.tryLock(5000))
            return 1;
        const char locked[] = "locked\n";
        if (::write(STDOUT_FILENO, locked, sizeof locked - 1) != sizeof locked - 1)
            return 1;
        ::sleep(60);
        return 0;
    }
    const long long first = std::atoll(argv[1]);
    // A long value keeps each write busy for longer, so more kills land inside one.
    const QString padding(2000, QLatin1Char('p'));
    IniSettingsStore store(QStringLiteral("tavrin-connector"));
    // Bounded, in case the parent is gone and nobody kills it.
    for (long long n = first; n < first + 100000; ++n) {
        const QString value = QStringLiteral("http://127.0.0.1/ProbeKey-%1-").arg(n) + padding;
        if (!store.save("settings", "TavrinKey", value.toStdString()))
            return 1;
        char line[32];
        const int length = std::snprintf(line, sizeof line, "%lld\n", n);
        if (::write(STDOUT_FILENO, line, size_t(length)) != length)
            return 1;
    }
    return 0;
}
