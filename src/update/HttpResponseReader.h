#ifndef TAVRIN_UPDATE_HTTPRESPONSEREADER_H
#define TAVRIN_UPDATE_HTTPRESPONSEREADER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Reads one HTTP/1.x answer from bytes as they arrive, within fixed limits, so
// that nothing a server sends can make it use unbounded memory or time.
//
// Interim answers (1xx other than 101) are skipped up to MaxInterimAnswers;
// 101 fails, since the request never asks to switch protocols. The body is
// framed by Transfer-Encoding: chunked, else by Content-Length (digits only;
// duplicates must agree), else by the end of the connection; any other
// transfer coding fails. The body past maxBodyBytes fails at once, and so does
// a declared length or chunk size beyond it. The body is handed out still
// content-coded (gzip and the like are the caller's).
//
// Work per call is linear in the bytes fed; nothing recurses.
class HttpResponseReader
{
public:
    enum class State
    {
        NeedMore,
        Complete,
        Failed,
    };

    enum class Failure
    {
        None,
        NotHttp,          // the bytes are no HTTP answer
        Malformed,        // an HTTP answer broken in its framing
        HeadTooLarge,     // a line, the head or the trailers past their limits
        TooLarge,         // the body past maxBodyBytes
        CutShort,         // the connection ended before the answer did
        NoAnswer,         // the connection ended before any byte came
        ProtocolSwitch,   // HTTP 101
        TooManyInterim,   // more interim answers than allowed
        UnsupportedCoding // a transfer coding other than chunked
    };

    static constexpr std::size_t MaxLineBytes = 8 * 1024;
    static constexpr std::size_t MaxHeadBytes = 64 * 1024;
    static constexpr std::size_t MaxFields = 100;
    static constexpr int MaxInterimAnswers = 8;
    static constexpr std::size_t DefaultMaxBodyBytes = 1024 * 1024;

    using Field = std::pair<std::string, std::string>;

    explicit HttpResponseReader(std::size_t maxBodyBytes = DefaultMaxBodyBytes);

    // Takes the next bytes of the connection. Bytes after the end of the
    // answer, and any fed once it has failed, are ignored.
    State feed(std::string_view bytes);
    // The connection ended: completes an answer that runs until the close,
    // fails one that was cut short.
    State finish();

    // The system took the chunks apart: the body runs until the end.
    void unchunked()
    {
        if (m_phase == Phase::ChunkSize)
            m_phase = Phase::BodyToClose;
    }

    State state() const { return m_state; }
    Failure failure() const { return m_failure; }

    // True once the final answer's head is in; status and fields are then set.
    bool headComplete() const { return m_phase > Phase::Fields; }
    int status() const { return m_status; }
    const std::vector<Field> &fields() const { return m_fields; }
    // The first field of that name (compared without regard to case), or "".
    std::string field(std::string_view name) const;
    bool hasField(std::string_view name) const;

    // The body bytes read since the last call (chunk framing removed).
    std::string takeBody();
    std::uint64_t bodyBytes() const { return m_bodyTotal; }

private:
    enum class Phase
    {
        StatusLine,
        Fields,
        FixedBody,
        BodyToClose,
        ChunkSize,
        ChunkData,
        ChunkDataEnd,
        Trailers,
        Done,
    };

    // Collects bytes into m_line up to a LF; true when a whole line is there.
    bool takeLine(std::string_view &bytes, std::size_t limit);
    void statusLine(std::string_view line);
    void fieldLine(std::string_view line);
    void headEnd();
    void chunkSizeLine(std::string_view line);
    void trailerLine(std::string_view line);
    void bodyBytesIn(std::string_view &bytes, std::uint64_t count);
    void fail(Failure failure);

    std::size_t m_maxBody;
    State m_state = State::NeedMore;
    Failure m_failure = Failure::None;
    Phase m_phase = Phase::StatusLine;

    std::string m_line;
    bool m_anyByte = false;
    std::size_t m_headBytes = 0; // of the current head (or the trailers)
    int m_interim = 0;
    int m_status = 0;
    std::vector<Field> m_fields;
    std::size_t m_trailerFields = 0;

    std::uint64_t m_left = 0; // of the fixed body or the current chunk
    std::string m_body;
    std::uint64_t m_bodyTotal = 0;
};

#endif
