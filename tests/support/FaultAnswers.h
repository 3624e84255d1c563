#ifndef TAVRIN_SUPPORT_FAULTANSWERS_H
#define TAVRIN_SUPPORT_FAULTANSWERS_H

#include <QByteArray>
#include <QString>

#include <limits>
#include <optional>

// The answers of a server that misbehaves on purpose: the path that calls for
// each fault, and what the fault sends. LoopbackHttpServer writes them; its
// plain answers go out as a Reply too.
class FaultAnswers
{
public:
    enum class Fault
    {
        Ok,             // 200 with a short text
        ServerError,    // 500
        EchoingError,   // 404 whose text starts with the requested path, key and all
        NeverAnswer,    // reads the request, then stays silent
        Drip,           // headers, then one body byte a second
        HugeBody,       // 5 MB body with its Content-Length
        HugeStream,     // 5 MB body ended by closing, no Content-Length
        RedirectLoop,   // 302 to another /loop/ path, forever
        ResetMidAnswer, // some of the body, then a TCP reset
        Refused,        // cycle only: nothing listens for a while
        // Hostile answers:
        NestedTables,     // 200 text/html, 20 nested tables round "good"
        DeepTables,       // 200 text/html, 4,000 nested tables round "good"
        InterimThenError, // 103 Early Hints, then 500 "badauth"
        CutChunked,       // chunked "good", then part of a 4 kB chunk and a close
        GzipBomb,         // gzip body of BombBytes zeros, with its Content-Length
        DeflateBomb,      // the same as deflate
        EndlessHeader,    // a status line, then header lines for ever
        Garbage,          // bytes that are no HTTP, for ever
        OversizedChunk,   // chunked, a chunk size of 2^64 - 1, more bytes, then a close
        DamagedGzip       // gzip-coded body whose stream breaks off into junk
    };

    // How an answer goes on after its first bytes.
    enum class Then
    {
        Close,   // it is whole: close the connection
        Silence, // keep the connection open and write nothing more
        Drip,    // one more body byte every DripIntervalMs
        Stream,  // streamBytes taken from piece again and again, then close
        Reset    // after ResetAfterMs, a TCP reset; the server ends it, not the client
    };

    struct Reply
    {
        QByteArray bytes; // written at once
        Then then = Then::Close;
        QByteArray piece; // Stream: written as the client takes it
        qint64 streamBytes = 0;
    };

    static constexpr qint64 HugeBytes = 5 * 1024 * 1024;
    static constexpr qint64 EndlessBytes = std::numeric_limits<qint64>::max();
    static constexpr int DripIntervalMs = 1000;
    static constexpr int ResetAfterMs = 100;
    static constexpr qint64 BombBytes = 256 * 1024 * 1024; // unpacked

    static QString pathFor(Fault fault); // "/error/" and so on; Ok has "/ok/"
    static QString nameOf(Fault fault);
    // The fault whose path starts the target, if any.
    static std::optional<Fault> byPath(const QByteArray &target);

    // fault's answer to a request for target. Each step of the redirect loop
    // names a new path.
    Reply replyTo(Fault fault, const QByteArray &target);

private:
    int m_redirects = 0;
};

#endif
