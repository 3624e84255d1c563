#include "FaultAnswers.h"

#include <map>

#include <zlib.h>

namespace {

constexpr qint64 StreamChunkBytes = 64 * 1024;
constexpr qint64 DripDeclaredBytes = 4096;

QByteArray head(int status, const QByteArray &reason, const QByteArray &extraHeaders)
{
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n" + extraHeaders +
           "Connection: close\r\n\r\n";
}

QByteArray lengthHeader(qint64 length)
{
    return "Content-Length: " + QByteArray::number(length) + "\r\n";
}

QByteArray nestedTables(int depth)
{
    return "<html><body>" + QByteArray("<table><tr><td>").repeated(depth) + "good" +
           QByteArray("</td></tr></table>").repeated(depth) + "</body></html>";
}

// BombBytes zeros, packed once per format (windowBits 31: gzip, 15: zlib).
const QByteArray &bomb(int windowBits)
{
    static std::map<int, QByteArray> packed;
    QByteArray &out = packed[windowBits];
    if (!out.isEmpty())
        return out;
    z_stream stream{};
    if (deflateInit2(&stream, 9, Z_DEFLATED, windowBits, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        return out;
    const QByteArray zeros(1024 * 1024, '\0');
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    for (qint64 done = 0; done <= FaultAnswers::BombBytes; done += zeros.size()) {
        const bool last = done == FaultAnswers::BombBytes;
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(zeros.constData()));
        stream.avail_in = last ? 0 : uInt(zeros.size());
        do {
            stream.next_out = reinterpret_cast<Bytef *>(buffer.data());
            stream.avail_out = uInt(buffer.size());
            deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
            out.append(buffer.constData(), buffer.size() - qsizetype(stream.avail_out));
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return out;
}

// A whole answer: head and body, then the connection closes.
FaultAnswers::Reply whole(int status, const QByteArray &reason, const QByteArray &contentType,
                          const QByteArray &body)
{
    return {
        head(status, reason, "Content-Type: " + contentType + "\r\n" + lengthHeader(body.size())) +
            body,
        FaultAnswers::Then::Close, QByteArray(), 0};
}

} // namespace

QString FaultAnswers::pathFor(Fault fault)
{
    switch (fault) {
    case Fault::Ok:
        return QStringLiteral("/ok/");
    case Fault::ServerError:
        return QStringLiteral("/error/");
    case Fault::EchoingError:
        return QStringLiteral("/echo/");
    case Fault::NeverAnswer:
        return QStringLiteral("/never/");
    case Fault::Drip:
        return QStringLiteral("/drip/");
    case Fault::HugeBody:
        return QStringLiteral("/huge/");
    case Fault::HugeStream:
        return QStringLiteral("/stream/");
    case Fault::RedirectLoop:
        return QStringLiteral("/loop/");
    case Fault::ResetMidAnswer:
        return QStringLiteral("/reset/");
    case Fault::NestedTables:
        return QStringLiteral("/tables20/");
    case Fault::DeepTables:
        return QStringLiteral("/tables4000/");
    case Fault::InterimThenError:
        return QStringLiteral("/interim/");
    case Fault::CutChunked:
        return QStringLiteral("/chunked/");
    case Fault::GzipBomb:
        return QStringLiteral("/gzip/");
    case Fault::DeflateBomb:
        return QStringLiteral("/deflate/");
    case Fault::EndlessHeader:
        return QStringLiteral("/header/");
    case Fault::Garbage:
        return QStringLiteral("/garbage/");
    case Fault::OversizedChunk:
        return QStringLiteral("/hugechunk/");
    case Fault::DamagedGzip:
        return QStringLiteral("/badgzip/");
    case Fault::Refused:
        break;
    }
    return QString();
}

QString FaultAnswers::nameOf(Fault fault)
{
    switch (fault) {
    case Fault::Ok:
        return QStringLiteral("ok");
    case Fault::ServerError:
        return QStringLiteral("HTTP 500");
    case Fault::EchoingError:
        return QStringLiteral("404 echoing the request");
    case Fault::NeverAnswer:
        return QStringLiteral("never answered");
    case Fault::Drip:
        return QStringLiteral("slow drip");
    case Fault::HugeBody:
        return QStringLiteral("5 MB body");
    case Fault::HugeStream:
        return QStringLiteral("5 MB body without length");
    case Fault::RedirectLoop:
        return QStringLiteral("redirect loop");
    case Fault::ResetMidAnswer:
        return QStringLiteral("reset mid-answer");
    case Fault::Refused:
        return QStringLiteral("refused");
    case Fault::NestedTables:
        return QStringLiteral("20 nested tables");
    case Fault::DeepTables:
        return QStringLiteral("4,000 nested tables");
    case Fault::InterimThenError:
        return QStringLiteral("103, then 500");
    case Fault::CutChunked:
        return QStringLiteral("chunked body cut short");
    case Fault::GzipBomb:
        return QStringLiteral("gzip bomb");
    case Fault::DeflateBomb:
        return QStringLiteral("deflate bomb");
    case Fault::EndlessHeader:
        return QStringLiteral("endless header");
    case Fault::Garbage:
        return QStringLiteral("garbage");
    case Fault::OversizedChunk:
        return QStringLiteral("oversized chunk size");
    case Fault::DamagedGzip:
        return QStringLiteral("damaged gzip");
    }
    return QString();
}

std::optional<FaultAnswers::Fault> FaultAnswers::byPath(const QByteArray &target)
{
    // Refused has no path: only a cycle reaches it.
    static const Fault named[] = {Fault::Ok,
                                  Fault::ServerError,
                                  Fault::EchoingError,
                                  Fault::NeverAnswer,
                                  Fault::Drip,
                                  Fault::HugeBody,
                                  Fault::HugeStream,
                                  Fault::RedirectLoop,
                                  Fault::ResetMidAnswer,
                                  Fault::NestedTables,
                                  Fault::DeepTables,
                                  Fault::InterimThenError,
                                  Fault::CutChunked,
                                  Fault::GzipBomb,
                                  Fault::DeflateBomb,
                                  Fault::EndlessHeader,
                                  Fault::Garbage,
                                  Fault::OversizedChunk,
                                  Fault::DamagedGzip};
    for (Fault fault : named) {
        if (target.startsWith(pathFor(fault).toLatin1()))
            return fault;
    }
    return std::nullopt;
}

FaultAnswers::Reply FaultAnswers::replyTo(Fault fault, const QByteArray &target)
{
    switch (fault) {
    case Fault::Ok:
    case Fault::Refused:
        return whole(200, "OK", "text/plain", "good 127.0.0.1");
    case Fault::ServerError:
        return whole(500, "Internal Server Error", "text/plain", "Internal Server Error");
    case Fault::EchoingError:
        // Servers often quote what was asked for; the key must not get from
        // there into the log.
        return whole(404, "Not Found", "text/plain",
                     QByteArray::fromPercentEncoding(target.mid(1)) + " was not found");
    case Fault::NeverAnswer:
        return {QByteArray(), Then::Silence, QByteArray(), 0};
    case Fault::Drip:
        return {head(200, "OK", "Content-Type: text/plain\r\n" + lengthHeader(DripDeclaredBytes)) +
                    'g',
                Then::Drip, "o", 0};
    case Fault::HugeBody:
    case Fault::HugeStream: {
        // Written a chunk at a time as the client takes it, so the server's
        // own memory stays small.
        const QByteArray length = fault == Fault::HugeBody ? lengthHeader(HugeBytes) : QByteArray();
        return {head(200, "OK", "Content-Type: text/plain\r\n" + length), Then::Stream,
                QByteArray(StreamChunkBytes, 'z'), HugeBytes};
    }
    case Fault::RedirectLoop: {
        const QByteArray location = "/loop/" + QByteArray::number(++m_redirects);
        return {head(302, "Found", "Location: " + location + "\r\n" + lengthHeader(0)), Then::Close,
                QByteArray(), 0};
    }
    case Fault::ResetMidAnswer:
        return {head(200, "OK", "Content-Type: text/plain\r\n" + lengthHeader(100000)) +
                    QByteArray(1000, 'r'),
                Then::Reset, QByteArray(), 0};
    case Fault::NestedTables:
    case Fault::DeepTables:
        return whole(200, "OK", "text/html",
                     nestedTables(fault == Fault::NestedTables ? 20 : 4000));
    case Fault::InterimThenError:
        return {"HTTP/1.1 103 Early Hints\r\nLink: </style.css>; rel=preload\r\n\r\n" +
                    whole(500, "Internal Server Error", "text/plain", "badauth").bytes,
                Then::Close, QByteArray(), 0};
    case Fault::CutChunked:
        return {"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
                "4\r\ngood\r\n1000\r\npart of the chunk",
                Then::Close, QByteArray(), 0};
    case Fault::GzipBomb:
    case Fault::DeflateBomb: {
        const bool gzip = fault == Fault::GzipBomb;
        const QByteArray &body = bomb(gzip ? 31 : 15);
        return {head(200, "OK",
                     "Content-Type: text/plain\r\nContent-Encoding: " +
                         QByteArray(gzip ? "gzip" : "deflate") + "\r\n" +
                         lengthHeader(body.size())) +
                    body,
                Then::Close, QByteArray(), 0};
    }
    case Fault::EndlessHeader:
        return {"HTTP/1.1 200 OK\r\n", Then::Stream, "X-Filler: " + QByteArray(1000, 'h') + "\r\n",
                EndlessBytes};
    case Fault::Garbage:
        return {QByteArray(), Then::Stream,
                QByteArray("\x16\x03\x01\x00\xff garbage \x00\x80\n").repeated(1000), EndlessBytes};
    case Fault::OversizedChunk:
        return {"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
                "4\r\ngood\r\nffffffffffffffff\r\n" +
                    QByteArray(4096, 'm'),
                Then::Close, QByteArray(), 0};
    case Fault::DamagedGzip: {
        // A gzip header, then a deflate block of a type that does not exist.
        const QByteArray body =
            QByteArray("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10) + QByteArray(1024, '\xff');
        return {head(200, "OK",
                     "Content-Type: text/plain\r\nContent-Encoding: gzip\r\n" +
                         lengthHeader(body.size())) +
                    body,
                Then::Close, QByteArray(), 0};
    }
    }
    return {};
}
