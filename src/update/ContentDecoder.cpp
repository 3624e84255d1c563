#include "update/ContentDecoder.h"

#include "base/AsciiText.h"

#include <zlib.h>

namespace {

constexpr int OutputPieceBytes = 64 * 1024;

// The two-byte zlib header: method 8 and a check value that makes it a
// multiple of 31. Raw deflate data seldom looks like that.
bool looksLikeZlib(std::string_view bytes)
{
    const auto byte = [&](std::size_t i) { return unsigned(static_cast<unsigned char>(bytes[i])); };
    if (bytes.size() < 2)
        return bytes.empty() || (byte(0) & 0x0f) == 8;
    const unsigned first = byte(0);
    const unsigned second = byte(1);
    return (first & 0x0f) == 8 && ((first << 8) | second) % 31 == 0;
}

} // namespace

ContentDecoder::Coding ContentDecoder::codingFor(std::string_view contentEncoding)
{
    const std::string coding = AsciiText::lowered(AsciiText::trimmed(contentEncoding));
    if (coding.empty() || coding == "identity")
        return Coding::Identity;
    if (coding == "gzip" || coding == "x-gzip")
        return Coding::Gzip;
    if (coding == "deflate")
        return Coding::Deflate;
    return Coding::Unsupported;
}

ContentDecoder::ContentDecoder(Coding coding, std::size_t maxBytes)
    : m_coding(coding), m_maxBytes(maxBytes), m_stream(std::make_unique<z_stream_s>())
{
    *m_stream = z_stream_s{};
}

ContentDecoder::~ContentDecoder()
{
    if (m_started)
        inflateEnd(m_stream.get());
}

bool ContentDecoder::start(std::string_view firstBytes)
{
    // 16 + 15: gzip only; 15: zlib; -15: raw deflate.
    int windowBits = 16 + MAX_WBITS;
    if (m_coding == Coding::Deflate)
        windowBits = looksLikeZlib(firstBytes) ? MAX_WBITS : -MAX_WBITS;
    m_started = inflateInit2(m_stream.get(), windowBits) == Z_OK;
    return m_started;
}

ContentDecoder::Result ContentDecoder::decode(std::string_view encoded, std::string &out)
{
    if (m_damaged)
        return Result::Damaged;
    if (m_coding == Coding::Unsupported)
        return Result::Damaged;
    if (m_coding == Coding::Identity) {
        m_decoded += encoded.size();
        if (m_decoded > m_maxBytes)
            return Result::TooLarge;
        out.append(encoded.data(), encoded.size());
        return Result::Ok;
    }
    if (encoded.empty() || m_ended)
        return Result::Ok; // bytes after the end of the stream are ignored
    if (!m_started && !start(encoded)) {
        m_damaged = true;
        return Result::Damaged;
    }

    z_stream_s &stream = *m_stream;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(encoded.data()));
    stream.avail_in = uInt(encoded.size());
    char piece[OutputPieceBytes];
    // Each round either takes input or fills the piece; the cap bounds the rounds.
    while (stream.avail_in > 0 && !m_ended) {
        stream.next_out = reinterpret_cast<Bytef *>(piece);
        stream.avail_out = uInt(sizeof piece);
        const int result = inflate(&stream, Z_NO_FLUSH);
        const std::size_t produced = sizeof piece - stream.avail_out;
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
            m_damaged = true;
            return Result::Damaged;
        }
        m_decoded += produced;
        if (m_decoded > m_maxBytes)
            return Result::TooLarge;
        out.append(piece, produced);
        if (result == Z_STREAM_END)
            m_ended = true;
        else if (result == Z_BUF_ERROR && produced == 0)
            break; // no progress possible without more input
    }
    return Result::Ok;
}

ContentDecoder::Result ContentDecoder::finish() const
{
    if (m_damaged || m_coding == Coding::Unsupported)
        return Result::Damaged;
    // An empty body is an empty answer, whatever its coding claims.
    if (m_coding == Coding::Identity || !m_started)
        return Result::Ok;
    return m_ended ? Result::Ok : Result::Damaged;
}
