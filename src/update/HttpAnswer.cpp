#include "update/HttpAnswer.h"

#include "update/AsciiText.h"

std::string HttpAnswer::mediaType(std::string_view contentType)
{
    return AsciiText::lowered(AsciiText::trimmed(contentType.substr(0, contentType.find(';'))));
}

std::string HttpAnswer::charset(std::string_view contentType)
{
    std::size_t start = contentType.find(';');
    while (start != std::string_view::npos) {
        const std::size_t next = contentType.find(';', start + 1);
        const std::string_view parameter = AsciiText::trimmed(contentType.substr(
            start + 1, next == std::string_view::npos ? std::string_view::npos : next - start - 1));
        if (AsciiText::sameNoCase(parameter.substr(0, 8), "charset=")) {
            std::string_view value = AsciiText::trimmed(parameter.substr(8));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            return std::string(value);
        }
        start = next;
    }
    return std::string();
}

bool HttpAnswer::isHtml(std::string_view contentType, std::string_view body)
{
    const std::string type = mediaType(contentType);
    if (type == "text/html" || type == "application/xhtml+xml")
        return true;
    if (body.substr(0, 3) == "\xEF\xBB\xBF")
        body.remove_prefix(3);
    while (!body.empty() && AsciiText::isBlank(body.front()))
        body.remove_prefix(1);
    const std::string head = AsciiText::lowered(body.substr(0, 9));
    return head.compare(0, 5, "<html") == 0 || head.compare(0, 9, "<!doctype") == 0;
}
