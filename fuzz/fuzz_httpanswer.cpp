// Arbitrary bytes as a server's answer, fed to the answer reader in pieces.
//
// Input: one byte choosing the piece size (1 to 256), then the answer. The
// reader must end the same way whatever the pieces, never hand out more body
// than its cap, and say why when it fails.

#include "FuzzCheck.h"
#include "update/HttpResponseReader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

// A small cap, so that the fuzzer reaches it.
constexpr std::size_t Cap = 512;

struct Read
{
    HttpResponseReader::State state;
    HttpResponseReader::Failure failure;
    int status;
    std::string body;
};

Read readIn(std::string_view answer, std::size_t piece)
{
    HttpResponseReader reader(Cap);
    std::string body;
    for (std::size_t at = 0; at < answer.size(); at += piece) {
        const HttpResponseReader::State state = reader.feed(answer.substr(at, piece));
        FUZZ_CHECK(state == reader.state());
        body += reader.takeBody();
        // A failure drops what it had not handed out yet.
        FUZZ_CHECK(state == HttpResponseReader::State::Failed || reader.bodyBytes() == body.size());
        FUZZ_CHECK(body.size() <= Cap);
    }
    reader.finish();
    body += reader.takeBody();
    FUZZ_CHECK(reader.state() != HttpResponseReader::State::NeedMore);
    const bool failed = reader.state() == HttpResponseReader::State::Failed;
    FUZZ_CHECK(failed == (reader.failure() != HttpResponseReader::Failure::None));
    if (!failed) {
        FUZZ_CHECK(reader.headComplete());
        FUZZ_CHECK(reader.status() >= 200 && reader.status() <= 599);
        FUZZ_CHECK(reader.fields().size() <= HttpResponseReader::MaxFields);
    }
    return {reader.state(), reader.failure(), failed ? 0 : reader.status(),
            failed ? std::string() : body};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const std::size_t piece = std::size_t(data[0]) + 1;
    const std::string_view answer(reinterpret_cast<const char *>(data + 1), size - 1);

    const Read whole = readIn(answer, answer.size() + 1);
    const Read pieces = readIn(answer, piece);
    FUZZ_CHECK(whole.state == pieces.state);
    FUZZ_CHECK(whole.failure == pieces.failure);
    FUZZ_CHECK(whole.status == pieces.status);
    FUZZ_CHECK(whole.body == pieces.body);
    return 0;
}
