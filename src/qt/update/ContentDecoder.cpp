#include "qt/update/ContentDecoder.h"

#include <zlib.h>

namespace {

constexpr int OutputPieceBytes = 64 * 1024;

// The two-byte zlib header: method 8 and a check value that makes it a
// multiple of 31. Raw deflate data seldom looks like that.
bool looksLikeZlib(const QByteArray &bytes)
{
    if (bytes.size() < 2)
        return (bytes.isEmpty() || (uchar(bytes.at(0)) & 0x0f) == 8);
    const uint first = uchar(bytes.at(0));
    const uint second = uchar(bytes.at(1));
    return (first & 0x0f) == 8 && ((first << 8) | second) % 31 == 0;
}

} // namespace

ContentDecoder::Coding ContentDecoder::codingFor(const QByteArray &contentEncoding)
{
    const QByteArray coding = contentEncoding.trimmed().toLower();
    if (coding.isEmpty() || coding == "identity")
        return Coding::Identity;
    if (coding == "gzip" || coding == "x-gzip")
        return Coding::Gzip;
    if (coding == "deflate")
        return Coding::Deflate;
    return Coding::Unsupported;
}

ContentDecoder::ContentDecoder(Coding coding, qint64 maxBytes)
    : m_coding(coding), m_maxBytes(maxBytes), m_stream(std::make_unique<z_stream_s>())
{
    *m_stream = z_stream_s{};
}

ContentDecoder::~ContentDecoder()
{
    if (m_started)
        inflateEnd(m_stream.get());
}

bool ContentDecoder::start(const QByteArray &firstBytes)
{
    // 16 + 15: gzip only; 15: zlib; -15: raw deflate.
    int windowBits = 16 + MAX_WBITS;
    if (m_coding == Coding::Deflate)
        windowBits = looksLikeZlib(firstBytes) ? MAX_WBITS : -MAX_WBITS;
    m_started = inflateInit2(m_stream.get(), windowBits) == Z_OK;
    return m_started;
}

ContentDecoder::Result ContentDecoder::decode(const QByteArray &encoded, QByteArray &out)
{
    if (m_damaged)
        return Result::Damaged;
    if (m_coding == Coding::Unsupported)
        return Result::Damaged;
    if (m_coding == Coding::Identity) {
        m_decoded += encoded.size();
        if (m_decoded > m_maxBytes)
            return Result::TooLarge;
        out += encoded;
        return Result::Ok;
    }
    if (encoded.isEmpty() || m_ended)
        return Result::Ok; // bytes after the end of the stream are ignored
    if (!m_started && !start(encoded)) {
        m_damaged = true;
        return Result::Damaged;
    }

    z_stream_s &stream = *m_stream;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(encoded.constData()));
    stream.avail_in = uInt(encoded.size());
    char piece[OutputPieceBytes];
    // Each round either takes input or fills the piece; the cap bounds the rounds.
    while (stream.avail_in > 0 && !m_ended) {
        stream.next_out = reinterpret_cast<Bytef *>(piece);
        stream.avail_out = uInt(sizeof piece);
        const int result = inflate(&stream, Z_NO_FLUSH);
        const qint64 produced = qint64(sizeof piece) - qint64(stream.avail_out);
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
