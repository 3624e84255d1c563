#include "app/InstanceLockRecord.h"

#include <climits>

namespace {

// Longer names are not a host's or a program's; they are cut off in the log.
constexpr std::size_t kMaxNameLength = 255;

bool isPrintable(std::string_view text)
{
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7e)
            return false;
    }
    return true;
}

// Splits off the text up to the next newline; false when there is none.
bool takeLine(std::string_view &text, std::string_view &line)
{
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos)
        return false;
    line = text.substr(0, end);
    text.remove_prefix(end + 1);
    return true;
}

} // namespace

std::string InstanceLockRecord::format() const
{
    return std::to_string(pid) + '\n' + application + '\n' + host + '\n';
}

std::optional<InstanceLockRecord> InstanceLockRecord::parse(std::string_view text)
{
    std::string_view pidLine, applicationLine, hostLine;
    if (!takeLine(text, pidLine) || !takeLine(text, applicationLine) || !takeLine(text, hostLine))
        return std::nullopt;
    if (pidLine.empty() || pidLine.size() > 10)
        return std::nullopt;
    long long pid = 0;
    for (const char c : pidLine) {
        if (c < '0' || c > '9')
            return std::nullopt;
        pid = pid * 10 + (c - '0');
    }
    if (pid <= 0 || pid > INT_MAX)
        return std::nullopt;
    if (applicationLine.size() > kMaxNameLength || hostLine.size() > kMaxNameLength ||
        !isPrintable(applicationLine) || !isPrintable(hostLine))
        return std::nullopt;
    // Later lines (Qt adds a machine id) are not needed to name the holder.
    InstanceLockRecord record;
    record.pid = pid;
    record.application = std::string(applicationLine);
    record.host = std::string(hostLine);
    return record;
}

std::string InstanceLockRecord::leftoverReason(std::string_view text, std::string_view thisHost)
{
    if (text.empty())
        return "the lock file was empty";
    const std::optional<InstanceLockRecord> record = parse(text);
    if (!record)
        return "the lock file did not name its holder";
    if (!record->host.empty() && record->host != thisHost)
        return "the lock file came from host " + record->host;
    return "the lock file named process " + std::to_string(record->pid) +
           ", which no longer holds it";
}

std::string InstanceLockRecord::describeHolder(std::string_view text)
{
    const std::optional<InstanceLockRecord> record = parse(text);
    if (!record)
        return "an unknown process";
    std::string description = "process " + std::to_string(record->pid);
    if (!record->host.empty())
        description += " on " + record->host;
    return description;
}
