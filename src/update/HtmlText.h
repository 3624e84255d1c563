#ifndef TAVRIN_UPDATE_HTMLTEXT_H
#define TAVRIN_UPDATE_HTMLTEXT_H

#include <cstddef>
#include <string>
#include <string_view>

// The readable text of an HTML page, as a reader would see it in a browser
// window: tags dropped, the contents of script, style and title dropped,
// comments dropped, CDATA kept as text, character references decoded (the
// common named ones and every numeric one), runs of white space folded to one
// space, and block elements (p, div, br, tr, li, headings, ...) ending lines.
//
// One forward pass without recursion or backtracking: the cost is linear in
// the input whatever its nesting or damage, and unclosed tags, comments and
// references end calmly at the end of the input. Input and output are UTF-8;
// the output holds at most maxChars code points and never ends in the middle
// of one.
class HtmlText
{
public:
    static std::string readableText(std::string_view html, std::size_t maxChars);
};

#endif
