#include "update/HtmlText.h"

#include "ParamName.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string repeated(const std::string &piece, std::size_t times)
{
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

// True when bytes is well-formed UTF-8: every sequence complete.
bool isWholeUtf8(const std::string &bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (i + length > bytes.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += length;
    }
    return true;
}

struct TextCase
{
    std::string name;
    std::string html;
    std::string text; // UTF-8
};

class ReadableText : public testing::TestWithParam<TextCase>
{
};

TEST_P(ReadableText, Text)
{
    EXPECT_EQ(HtmlText::readableText(GetParam().html, 1000), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    HtmlText, ReadableText,
    testing::Values(
        TextCase{"tags dropped", "<html><body><b>good</b> <i>1.2.3.4</i></body></html>",
                 "good 1.2.3.4"},
        TextCase{"attributes with quoted >", "<a href=\"x>y\" title='a>b'>link</a> text",
                 "link text"},
        TextCase{"blocks break lines", "<h1>Status</h1><p>good</p><div>nochg</div>",
                 "Status\ngood\nnochg"},
        TextCase{"br twice keeps an empty line", "a<br><br>b", "a\n\nb"},
        TextCase{"table cells and rows",
                 "<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>", "a b\nc"},
        TextCase{"whitespace folded", "  good \r\n\t  news \n\n  ", "good news"},
        TextCase{"comment dropped", "a<!-- <p>hidden</p> -->b", "ab"},
        TextCase{"unterminated comment drops the rest", "a<!-- b <p>c", "a"},
        TextCase{"CDATA is text", "<![CDATA[x <y> & z]]>!", "x <y> & z!"},
        TextCase{"script and style dropped",
                 "<script>if (a</b) document.write('<p>x</p>')</script>ok"
                 "<STYLE>p { color: red }</Style>!",
                 "ok!"},
        TextCase{"title dropped", "<head><title>Hi</title></head>body", "body"},
        TextCase{"unclosed script drops the rest", "a<script>b", "a"},
        TextCase{"script end needs a name boundary", "<script>x</scripty>y</script>z", "z"},
        TextCase{"doctype and processing instruction", "<!DOCTYPE html><?xml version=\"1.0\"?>t",
                 "t"},
        TextCase{"unclosed tag drops the rest", "good<p class=\"x", "good"},
        TextCase{"< in text", "a < b, 3<4, <> <=", "a < b, 3<4, <> <="},
        TextCase{"named entities", "&lt;b&gt; &amp; &quot;&apos; Gr&uuml;&szlig;e &euro;&nbsp;1",
                 "<b> & \"' Gr\xC3\xBC\xC3\x9F"
                 "e \xE2\x82\xAC\xC2\xA0"
                 "1"},
        TextCase{"entities decoded once", "&amp;lt;", "&lt;"},
        TextCase{"numeric entities", "&#65;&#x42;&#X43;&#68 &#x1F600;", "ABCD \xF0\x9F\x98\x80"},
        TextCase{"invalid numeric entities", "&#0;|&#xD800;|&#x110000;|&#99999999999999999999999;",
                 "\xEF\xBF\xBD|\xEF\xBF\xBD|\xEF\xBF\xBD|\xEF\xBF\xBD"},
        TextCase{"unknown and unterminated entities kept", "&bogus; &amp &#; &#x; & a&",
                 "&bogus; &amp &#; &#x; & a&"},
        TextCase{"over-long entity name kept", "&abcdefghijklmnop;", "&abcdefghijklmnop;"},
        TextCase{"soft hyphen dropped", "ab&shy;cd", "abcd"},
        TextCase{"UTF-8 passes through", "<p>gr\xC3\xBC\xC3\x9F \xE2\x82\xAC</p>",
                 "gr\xC3\xBC\xC3\x9F \xE2\x82\xAC"},
        TextCase{"empty", "", ""}),
    paramName<TextCase>);

class DeepNestingEndsInText : public testing::TestWithParam<TextCase>
{
};

TEST_P(DeepNestingEndsInText, Text)
{
    EXPECT_EQ(HtmlText::readableText(GetParam().html, 1000), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    HtmlText, DeepNestingEndsInText,
    testing::Values(
        TextCase{"20 nested tables",
                 repeated("<table><tr><td>", 20) + "x" + repeated("</td></tr></table>", 20), "x"},
        TextCase{"100,000 nested tables",
                 repeated("<table><tr><td>", 100000) + "deep" +
                     repeated("</td></tr></table>", 100000),
                 "deep"},
        TextCase{"100,000 unclosed divs", repeated("<div>", 100000) + "end", "end"},
        TextCase{"100,000 unclosed comments", "t" + repeated("<!--", 100000), "t"}),
    paramName<TextCase>);

struct CapCase
{
    std::string name;
    std::string piece; // one code point of text
    std::size_t bytesPerChar;
};

class CapKeepsCodePointsWhole : public testing::TestWithParam<CapCase>
{
};

TEST_P(CapKeepsCodePointsWhole, Size)
{
    constexpr std::size_t Cap = 7;
    const std::string html = "<p>" + repeated(GetParam().piece, 20) + "</p>";
    const std::string text = HtmlText::readableText(html, Cap);
    EXPECT_EQ(text.size(), Cap * GetParam().bytesPerChar);
    EXPECT_TRUE(isWholeUtf8(text));
}

INSTANTIATE_TEST_SUITE_P(HtmlText, CapKeepsCodePointsWhole,
                         testing::Values(CapCase{"ASCII", "a", 1},
                                         CapCase{"two bytes", "\xC3\xBC", 2},
                                         CapCase{"three bytes", "\xE2\x82\xAC", 3},
                                         CapCase{"four bytes", "\xF0\x9F\x98\x80", 4},
                                         CapCase{"from a reference", "&#x1F600;", 4}),
                         paramName<CapCase>);

constexpr std::size_t Megabyte = 1024 * 1024;

class WorstCaseMegabyte : public testing::TestWithParam<TextCase>
{
};

TEST_P(WorstCaseMegabyte, Text)
{
    EXPECT_EQ(HtmlText::readableText(GetParam().html, 2 * Megabyte), GetParam().text);
}

// Each of these makes a naive parser search ahead from every position.
INSTANTIATE_TEST_SUITE_P(
    HtmlText, WorstCaseMegabyte,
    testing::Values(
        TextCase{"unclosed tags", repeated("<a ", Megabyte / 3), ""},
        TextCase{"unclosed quotes", "<p x=\"" + std::string(Megabyte, '>'), ""},
        TextCase{"script with many false ends", "<script>" + repeated("</scrip", Megabyte / 7), ""},
        TextCase{"references without end", repeated("&#", Megabyte / 2),
                 repeated("&#", Megabyte / 2)},
        TextCase{"brackets", std::string(Megabyte, '<'), std::string(Megabyte, '<')},
        TextCase{"nested tables", repeated("<table><tr><td>", Megabyte / 15) + "x", "x"}),
    paramName<TextCase>);

} // namespace
