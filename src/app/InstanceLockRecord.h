#ifndef TAVRIN_APP_INSTANCELOCKRECORD_H
#define TAVRIN_APP_INSTANCELOCKRECORD_H

#include <optional>
#include <string>
#include <string_view>

// What the instance lock file says about the process that holds it: its id,
// its name and its host, one a line. Earlier versions of the program wrote and
// read the same first three lines, so either finds the other's lock readable.
//
// The file only informs: who holds the lock is settled by a lock on the open
// file, which ends with its process. The text serves to say in the log why a
// lock nobody holds was left behind.
class InstanceLockRecord
{
public:
    long long pid = 0;
    std::string application;
    std::string host;

    std::string format() const;

    // A record from the file's text, or nothing when the text is not one
    // (empty, cut short, binary, an id that is not a positive number).
    static std::optional<InstanceLockRecord> parse(std::string_view text);

    // Why a lock file that no running process holds any more is there, for the
    // log: empty, unreadable, from another host, or left by a process that ended.
    static std::string leftoverReason(std::string_view text, std::string_view thisHost);

    // The holder as the log names it: "process 123 on host", or "an unknown process".
    static std::string describeHolder(std::string_view text);
};

#endif
