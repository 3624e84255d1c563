#include "update/HttpResponseReader.h"

#include "base/AsciiText.h"

#include <algorithm>

namespace {

using AsciiText::hexValue;
using AsciiText::isDigit;

constexpr std::string_view HttpPrefix = "HTTP/";

// The characters of a field name (RFC 9110 "token").
bool isTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigit(c))
        return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

// Optional white space around field values and items.
std::string_view trimmed(std::string_view text)
{
    return AsciiText::trimmed(text, " \t");
}

// The line without its LF and an optional CR before it.
std::string_view withoutEnd(std::string_view line)
{
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

// A CR or NUL left inside a line could end it early for another reader.
bool hasStrayControl(std::string_view line)
{
    return line.find('\r') != std::string_view::npos || line.find('\0') != std::string_view::npos;
}

// Splits a comma-separated field value into its trimmed, non-empty items.
template <typename Visit> void forEachItem(std::string_view value, Visit visit)
{
    while (!value.empty()) {
        const std::size_t comma = value.find(',');
        const std::string_view item = trimmed(value.substr(0, comma));
        if (!item.empty())
            visit(item);
        if (comma == std::string_view::npos)
            break;
        value.remove_prefix(comma + 1);
    }
}

constexpr std::uint64_t Huge = ~std::uint64_t(0);

// Digits only; a value too large for 64 bits comes back as Huge.
bool parseLength(std::string_view text, std::uint64_t &value)
{
    if (text.empty())
        return false;
    value = 0;
    for (char c : text) {
        if (!isDigit(c))
            return false;
        const auto digit = std::uint64_t(c - '0');
        value = value > (Huge - digit) / 10 ? Huge : value * 10 + digit;
    }
    return true;
}

} // namespace

HttpResponseReader::HttpResponseReader(std::size_t maxBodyBytes) : m_maxBody(maxBodyBytes) {}

std::string HttpResponseReader::field(std::string_view name) const
{
    for (const Field &f : m_fields) {
        if (AsciiText::sameNoCase(f.first, name))
            return f.second;
    }
    return std::string();
}

bool HttpResponseReader::hasField(std::string_view name) const
{
    return std::any_of(m_fields.begin(), m_fields.end(),
                       [name](const Field &f) { return AsciiText::sameNoCase(f.first, name); });
}

std::string HttpResponseReader::takeBody()
{
    std::string body;
    body.swap(m_body);
    return body;
}

void HttpResponseReader::fail(Failure failure)
{
    m_state = State::Failed;
    m_failure = failure;
    m_line.clear();
    m_body.clear();
}

bool HttpResponseReader::takeLine(std::string_view &bytes, std::size_t limit)
{
    const std::size_t newline = bytes.find('\n');
    const std::size_t take = newline == std::string_view::npos ? bytes.size() : newline + 1;
    const bool counted =
        m_phase == Phase::StatusLine || m_phase == Phase::Fields || m_phase == Phase::Trailers;
    if (m_line.size() + take > limit + 2) { // the limit is on the line without its CRLF
        fail(Failure::HeadTooLarge);
        return false;
    }
    if (counted) {
        m_headBytes += take;
        if (m_headBytes > MaxHeadBytes) {
            fail(Failure::HeadTooLarge);
            return false;
        }
    }
    m_line.append(bytes.data(), take);
    bytes.remove_prefix(take);
    return newline != std::string_view::npos;
}

HttpResponseReader::State HttpResponseReader::feed(std::string_view bytes)
{
    if (!bytes.empty())
        m_anyByte = true;
    while (m_state == State::NeedMore && !bytes.empty()) {
        switch (m_phase) {
        case Phase::StatusLine: {
            const bool whole = takeLine(bytes, MaxLineBytes);
            if (m_state != State::NeedMore)
                break;
            // Garbage fails on its first bytes, not after a line's worth of them.
            const std::size_t known = std::min(m_line.size(), HttpPrefix.size());
            if (m_line.compare(0, known, HttpPrefix.substr(0, known)) != 0) {
                fail(Failure::NotHttp);
                break;
            }
            if (whole) {
                const std::string line = std::move(m_line);
                m_line.clear();
                statusLine(withoutEnd(line));
            }
            break;
        }
        case Phase::Fields:
        case Phase::Trailers:
        case Phase::ChunkSize: {
            if (!takeLine(bytes, MaxLineBytes))
                break;
            const std::string line = std::move(m_line);
            m_line.clear();
            if (m_phase == Phase::Fields)
                fieldLine(withoutEnd(line));
            else if (m_phase == Phase::Trailers)
                trailerLine(withoutEnd(line));
            else
                chunkSizeLine(withoutEnd(line));
            break;
        }
        case Phase::FixedBody:
            bodyBytesIn(bytes, m_left);
            if (m_state == State::NeedMore && m_left == 0) {
                m_phase = Phase::Done;
                m_state = State::Complete;
            }
            break;
        case Phase::BodyToClose:
            bodyBytesIn(bytes, bytes.size());
            break;
        case Phase::ChunkData:
            bodyBytesIn(bytes, m_left);
            if (m_state == State::NeedMore && m_left == 0)
                m_phase = Phase::ChunkDataEnd;
            break;
        case Phase::ChunkDataEnd: {
            constexpr std::string_view End = "\r\n";
            m_line += bytes.front();
            bytes.remove_prefix(1);
            if (m_line.compare(0, m_line.size(), End.substr(0, m_line.size())) != 0) {
                fail(Failure::Malformed);
            } else if (m_line.size() == End.size()) {
                m_line.clear();
                m_phase = Phase::ChunkSize;
            }
            break;
        }
        case Phase::Done:
            bytes = {};
            break;
        }
    }
    return m_state;
}

HttpResponseReader::State HttpResponseReader::finish()
{
    if (m_state != State::NeedMore)
        return m_state;
    if (m_phase == Phase::BodyToClose) {
        m_phase = Phase::Done;
        m_state = State::Complete;
    } else if (!m_anyByte) {
        fail(Failure::NoAnswer);
    } else {
        fail(Failure::CutShort);
    }
    return m_state;
}

void HttpResponseReader::statusLine(std::string_view line)
{
    // HTTP/1.x SP 3DIGIT [SP reason]
    if (hasStrayControl(line) || line.size() < 12 || line.compare(0, 7, "HTTP/1.") != 0 ||
        !isDigit(line[7]) || line[8] != ' ' || line[9] < '1' || line[9] > '5' ||
        !isDigit(line[10]) || !isDigit(line[11]) || (line.size() > 12 && line[12] != ' '))
        return fail(Failure::Malformed);
    const int status = (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
    if (status == 101)
        return fail(Failure::ProtocolSwitch);
    if (status < 200 && m_interim >= MaxInterimAnswers)
        return fail(Failure::TooManyInterim);
    m_status = status;
    m_fields.clear();
    m_phase = Phase::Fields;
}

void HttpResponseReader::fieldLine(std::string_view line)
{
    if (line.empty()) {
        headEnd();
        return;
    }
    const std::size_t colon = line.find(':');
    // A folded line (leading blank) or a blank before the colon is refused:
    // readers on the way could take the field differently.
    bool valid = colon != std::string_view::npos && colon > 0 && !hasStrayControl(line);
    for (std::size_t i = 0; valid && i < colon; ++i)
        valid = isTokenChar(line[i]);
    if (!valid)
        return fail(Failure::Malformed);
    if (m_fields.size() >= MaxFields)
        return fail(Failure::HeadTooLarge);
    m_fields.emplace_back(std::string(line.substr(0, colon)),
                          std::string(trimmed(line.substr(colon + 1))));
}

void HttpResponseReader::headEnd()
{
    m_headBytes = 0;
    if (m_status < 200) {
        ++m_interim;
        m_fields.clear();
        m_phase = Phase::StatusLine;
        return;
    }
    if (m_status == 204 || m_status == 304) {
        m_phase = Phase::Done;
        m_state = State::Complete;
        return;
    }

    bool hasCoding = false;
    bool chunkedOnly = true;
    int codings = 0;
    bool hasLength = false;
    bool lengthValid = true;
    std::uint64_t length = 0;
    for (const Field &f : m_fields) {
        if (AsciiText::sameNoCase(f.first, "Transfer-Encoding")) {
            hasCoding = true;
            forEachItem(f.second, [&](std::string_view item) {
                ++codings;
                chunkedOnly = chunkedOnly && AsciiText::sameNoCase(item, "chunked");
            });
        } else if (AsciiText::sameNoCase(f.first, "Content-Length")) {
            int items = 0;
            forEachItem(f.second, [&](std::string_view item) {
                ++items;
                std::uint64_t value = 0;
                if (!parseLength(item, value) || (hasLength && value != length))
                    lengthValid = false;
                hasLength = true;
                length = value;
            });
            if (items == 0)
                lengthValid = false;
            hasLength = true;
        }
    }

    // Transfer-Encoding wins over Content-Length.
    if (hasCoding) {
        if (codings != 1 || !chunkedOnly)
            return fail(Failure::UnsupportedCoding);
        m_phase = Phase::ChunkSize;
        return;
    }
    if (hasLength) {
        if (!lengthValid)
            return fail(Failure::Malformed);
        if (length > m_maxBody)
            return fail(Failure::TooLarge);
        m_left = length;
        m_phase = length == 0 ? Phase::Done : Phase::FixedBody;
        if (length == 0)
            m_state = State::Complete;
        return;
    }
    m_phase = Phase::BodyToClose;
}

void HttpResponseReader::chunkSizeLine(std::string_view line)
{
    std::size_t digits = 0;
    std::uint64_t size = 0;
    while (digits < line.size() && hexValue(line[digits]) >= 0) {
        if (digits == 16)
            return fail(Failure::Malformed);
        size = size * 16 + std::uint64_t(hexValue(line[digits]));
        ++digits;
    }
    // Extensions after ';' are ignored; nothing else may follow the size.
    const std::string_view rest = trimmed(line.substr(digits));
    if (digits == 0 || hasStrayControl(line) || (!rest.empty() && rest.front() != ';'))
        return fail(Failure::Malformed);
    // Checked before use: the size may be anything up to 2^64 - 1.
    if (size > m_maxBody - m_bodyTotal)
        return fail(Failure::TooLarge);
    if (size == 0) {
        m_headBytes = 0;
        m_trailerFields = 0;
        m_phase = Phase::Trailers;
        return;
    }
    m_left = size;
    m_phase = Phase::ChunkData;
}

void HttpResponseReader::trailerLine(std::string_view line)
{
    if (line.empty()) {
        m_phase = Phase::Done;
        m_state = State::Complete;
        return;
    }
    if (++m_trailerFields > MaxFields)
        fail(Failure::HeadTooLarge);
}

void HttpResponseReader::bodyBytesIn(std::string_view &bytes, std::uint64_t count)
{
    const std::size_t take = std::size_t(std::min<std::uint64_t>(count, bytes.size()));
    if (m_bodyTotal + take > m_maxBody)
        return fail(Failure::TooLarge);
    m_body.append(bytes.data(), take);
    m_bodyTotal += take;
    m_left -= std::min<std::uint64_t>(m_left, take);
    bytes.remove_prefix(take);
}
