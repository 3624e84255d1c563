#ifndef TAVRIN_QT_APP_COREDUMPS_H
#define TAVRIN_QT_APP_COREDUMPS_H

// The process holds the user's key in memory (the update URL), so a crash must
// not leave it in a core file. Sets this process's core size limit to zero,
// soft and hard, so neither the kernel nor a crash collector writes one.
// Returns false, after a log line, when the limit could not be set.
bool disableCoreDumps();

#endif
