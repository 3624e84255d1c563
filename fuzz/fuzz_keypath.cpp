// Arbitrary bytes as the key: the update URL built from it, the form put on
// the wire, the form put in the log, and the settings text that keeps it with
// an interval, whatever else that text holds.
//
// Input: one byte choosing the base URL, then the key's bytes (UTF-8 or not);
// after a 0xFF byte (never part of UTF-8 text) the interval's bytes, and after
// another the settings text the two are saved into.

#include "FuzzCheck.h"
#include "settings/SettingsText.h"
#include "update/UpdateUrl.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

const std::string Group = "settings";
const std::string KeyName = "TavrinKey";
const std::string IntervalName = "TavrinTime";

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

// Whether value is UTF-8 text, NUL characters allowed.
bool isUtf8(std::string value)
{
    std::replace(value.begin(), value.end(), '\0', ' ');
    return SettingsText::problem(value).empty();
}

// value as read back after saving: itself when it is UTF-8, else other text.
bool readsBack(const std::optional<std::string> &read, const std::string &value)
{
    return read && (isUtf8(value) ? *read == value : isUtf8(*read));
}

// The lines of text, cut apart here, independently of the format: each ends
// at "\n", and a "\r" before that is part of its end.
std::vector<std::string_view> pieces(std::string_view text)
{
    std::vector<std::string_view> out;
    for (std::size_t begin = 0;;) {
        const std::size_t end = text.find('\n', begin);
        if (end == std::string_view::npos) {
            out.push_back(text.substr(begin));
            return out;
        }
        const bool crlf = end > begin && text[end - 1] == '\r';
        out.push_back(text.substr(begin, end - begin - (crlf ? 1 : 0)));
        begin = end + 1;
    }
}

// Whether a piece may be one a save wrote: a line of one of the two values,
// the group's header or a blank line.
bool mayBeSaved(std::string_view piece)
{
    const std::size_t start = std::min(piece.find_first_not_of(" \t"), piece.size());
    const std::string_view text = piece.substr(start);
    return text.empty() || text == "[" + Group + "]" || text.rfind(KeyName, 0) == 0 ||
           text.rfind(IntervalName, 0) == 0;
}

// Settings text read, both values saved into it, read again: both come back,
// and every other line is kept byte for byte and in order.
void checkSettingsRoundTrip(const std::string &text, const std::string &key,
                            const std::string &interval)
{
    const bool wasText = SettingsText::problem(text).empty();
    for (const std::string &name : {KeyName, IntervalName}) {
        const std::optional<std::string> read = SettingsText::value(text, Group, name);
        FUZZ_CHECK(!wasText || !read || isUtf8(*read));
    }
    const std::string saved = SettingsText::withValue(
        SettingsText::withValue(text, Group, KeyName, key), Group, IntervalName, interval);
    const std::optional<std::string> readKey = SettingsText::value(saved, Group, KeyName);
    const std::optional<std::string> readInterval = SettingsText::value(saved, Group, IntervalName);
    FUZZ_CHECK(readsBack(readKey, key));
    FUZZ_CHECK(readsBack(readInterval, interval));
    FUZZ_CHECK(!wasText || SettingsText::problem(saved).empty());
    // Saving what is stored changes nothing.
    FUZZ_CHECK(SettingsText::withValue(saved, Group, KeyName, *readKey) == saved);
    FUZZ_CHECK(SettingsText::withValue(saved, Group, IntervalName, *readInterval) == saved);

    // Every other line is kept, in order; of the lines that may be ours, two
    // may have changed, and a group header, a blank line and two more come.
    std::vector<std::string_view> others[2];
    std::multiset<std::string_view> ours[2];
    for (int i = 0; i < 2; ++i) {
        for (const std::string_view piece : pieces(i == 0 ? text : saved)) {
            if (mayBeSaved(piece))
                ours[i].insert(piece);
            else
                others[i].push_back(piece);
        }
    }
    FUZZ_CHECK(others[0] == others[1]);
    std::vector<std::string_view> kept;
    std::set_intersection(ours[0].begin(), ours[0].end(), ours[1].begin(), ours[1].end(),
                          std::back_inserter(kept));
    FUZZ_CHECK(ours[0].size() - kept.size() <= 2 && ours[1].size() - kept.size() <= 5);
}

// The input up to its next 0xFF byte, which is taken off with it.
std::string nextPart(std::string_view &input)
{
    const std::size_t end = std::min(input.find('\xFF'), input.size());
    std::string part(input.substr(0, end));
    input.remove_prefix(std::min(end + 1, input.size()));
    return part;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    static const std::vector<std::string> bases = baseUrls();
    const std::string &base = bases.at(data[0] % bases.size());
    std::string_view rest(reinterpret_cast<const char *>(data + 1), size - 1);
    const std::string keyBytes = nextPart(rest);
    const std::string interval = nextPart(rest);
    const std::string text(rest);
    const std::string updateUrl = UpdateUrl::compose(base, keyBytes);
    FUZZ_CHECK(updateUrl == base + keyBytes);

    checkRequestUrl(base, keyBytes, updateUrl);
    checkSettingsRoundTrip(text, updateUrl, interval);
    return 0;
}
