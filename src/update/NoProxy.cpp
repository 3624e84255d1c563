#include "update/NoProxy.h"

#include "base/AsciiText.h"

#include <string>

namespace {

bool entryExempts(std::string_view entry, std::string_view host, int port)
{
    std::string_view name = entry;
    std::string_view entryPort;
    if (!entry.empty() && entry.front() == '[') {
        const std::size_t close = entry.find(']');
        name = entry.substr(1, close == std::string_view::npos ? entry.npos : close - 1);
        if (close != std::string_view::npos && entry.substr(close + 1, 1) == ":")
            entryPort = entry.substr(close + 2);
    } else if (entry.find(':') == entry.rfind(':') && entry.find(':') != entry.npos) {
        name = entry.substr(0, entry.find(':'));
        entryPort = entry.substr(entry.find(':') + 1);
    }
    if (!entryPort.empty() && entryPort != std::to_string(port))
        return false;
    if (!name.empty() && name.front() == '.')
        name.remove_prefix(1);
    if (!name.empty() && name.back() == '.')
        name.remove_suffix(1);
    if (name.empty())
        return false;
    if (host == name)
        return true;
    return host.size() > name.size() && host.substr(host.size() - name.size()) == name &&
           host[host.size() - name.size() - 1] == '.';
}

} // namespace

bool NoProxy::exempts(std::string_view list, std::string_view host, int port)
{
    if (!host.empty() && host.back() == '.')
        host.remove_suffix(1);
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string entry = AsciiText::lowered(AsciiText::trimmed(list.substr(0, comma)));
        if (entry == "*" || entryExempts(entry, host, port))
            return true;
        if (comma == std::string_view::npos)
            break;
        list.remove_prefix(comma + 1);
    }
    return false;
}
