#include "update/HttpAnswer.h"

#include "ParamName.h"

#include <gtest/gtest.h>

#include <string>

namespace {
struct Head
{
    const char *name;
    std::string contentType;
    std::string body;
    std::string mediaType;
    std::string charset;
    bool html;
};

class Heads : public testing::TestWithParam<Head>
{
};

TEST_P(Heads, TypeCharsetAndHtml)
{
    const Head &h = GetParam();
    EXPECT_EQ(HttpAnswer::mediaType(h.contentType), h.mediaType);
    EXPECT_EQ(HttpAnswer::charset(h.contentType), h.charset);
    EXPECT_EQ(HttpAnswer::isHtml(h.contentType, h.body), h.html);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, Heads,
    testing::Values(Head{"plain", "text/plain", "good", "text/plain", "", false},
                    Head{"htmlWithCharset", " Text/HTML ; Charset=ISO-8859-1", "x", "text/html",
                         "ISO-8859-1", true},
                    Head{"quotedCharsetLater", "text/plain; q=1; charset=\"utf-8\"", "",
                         "text/plain", "utf-8", false},
                    Head{"xhtml", "application/xhtml+xml", "", "application/xhtml+xml", "", true},
                    Head{"untypedDoctype", "", "\xEF\xBB\xBF \n<!DOCTYPE html><p>", "", "", true},
                    Head{"untypedHtmlTag", "application/octet-stream", "\t<HTML>",
                         "application/octet-stream", "", true},
                    Head{"tagLaterIsText", "text/plain", "good <html>", "text/plain", "", false},
                    Head{"emptyCharset", "text/plain; charset=", "", "text/plain", "", false}),
    paramName<Head>);

} // namespace
