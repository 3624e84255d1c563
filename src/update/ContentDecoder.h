#ifndef TAVRIN_UPDATE_CONTENTDECODER_H
#define TAVRIN_UPDATE_CONTENTDECODER_H

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

struct z_stream_s;

// Undoes an answer's Content-Encoding (gzip or deflate) piece by piece as the
// body arrives, with zlib. The decoded size is capped: the piece that would
// take it past maxBytes fails at once, so a few kilobytes that unpack to
// gigabytes cost no more than the cap.
class ContentDecoder
{
public:
    enum class Coding
    {
        Identity,
        Gzip,
        Deflate, // zlib-wrapped, or raw deflate as some servers send it
        Unsupported,
    };
    enum class Result
    {
        Ok,
        TooLarge,
        Damaged,
    };

    // From the Content-Encoding field's value.
    static Coding codingFor(std::string_view contentEncoding);

    ContentDecoder(Coding coding, std::size_t maxBytes);
    ~ContentDecoder();
    ContentDecoder(const ContentDecoder &) = delete;
    ContentDecoder &operator=(const ContentDecoder &) = delete;

    // Appends the decoded form of encoded to out.
    Result decode(std::string_view encoded, std::string &out);
    // The body has ended: a compressed stream must have ended with it.
    Result finish() const;

private:
    bool start(std::string_view firstBytes);

    Coding m_coding;
    std::size_t m_maxBytes;
    std::size_t m_decoded = 0;
    std::unique_ptr<z_stream_s> m_stream;
    bool m_started = false;
    bool m_ended = false;
    bool m_damaged = false;
};

#endif
