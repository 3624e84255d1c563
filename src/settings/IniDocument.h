#ifndef TAVRIN_SETTINGS_INIDOCUMENT_H
#define TAVRIN_SETTINGS_INIDOCUMENT_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The text of an INI settings file, read and edited the way QSettings' INI
// format reads and writes it, in plain C++.
//
// Keys are addressed as "section/name" (a name without a section lives in
// [General]); text is UTF-16, as the program's strings are, and the file is
// UTF-8. Changing a value rewrites that value only: every other key, section,
// comment and line of the file stays as it was, so files written by the
// QSettings-based versions of the program, and by hand, keep their content.
class IniDocument
{
public:
    // What a stored value is, as QSettings would hand it out.
    struct Value
    {
        enum class Kind
        {
            Text,    // a string (also "@String(...)", "@@..." and "@ByteArray(...)")
            List,    // an unquoted comma-separated list of strings
            Invalid, // "@Invalid()": QSettings' way of storing "no value"
            Other    // a type this program never stores (numbers in "@Variant(...)", rects, ...)
        };
        Kind kind = Kind::Text;
        std::u16string text;              // Text only
        std::vector<std::u16string> list; // List only
    };

    // Why data is not a usable settings file, or an empty string if it is:
    // binary data, text that is not UTF-8, or a line that is neither blank, a
    // comment, a section header nor a key=value entry.
    static std::string problem(std::string_view data);

    // data should have passed problem(); anything else is read as far as it goes.
    explicit IniDocument(std::string data = std::string());

    const std::string &data() const { return m_data; }

    // The value stored under key, if there is one. found is false when not.
    Value value(const std::u16string &key, bool *found) const;
    // Whether key holds exactly text as a string.
    bool holdsText(const std::u16string &key, const std::u16string &text) const;
    // Stores text under key: replaces the value in place when the key exists,
    // else adds it to the end of its section, or a new section at the end.
    void setText(const std::u16string &key, const std::u16string &text);

    // The value part of a line as written for text ("name=" + this).
    static std::string escapedText(const std::u16string &text);
    // What the value part of a line (after "=") reads as.
    static Value parsedValue(std::string_view raw);
    // A key or section name as written in the file, and back.
    static std::string escapedKey(const std::u16string &key);
    static std::u16string unescapedKey(std::string_view key);

private:
    struct Entry
    {
        std::u16string key;        // "section/name", as QSettings addresses it
        std::u16string sectionKey; // "section/" or "" for [General]: decides which duplicate wins
        std::size_t order = 0;
        std::size_t valueBegin = 0;
        std::size_t valueEnd = 0;
    };
    struct Section
    {
        std::u16string sectionKey; // as in Entry
        std::size_t end = 0;       // just past the last header or entry line of this occurrence
        bool hasLines = false;
    };

    void parse();
    const Entry *find(const std::u16string &key) const;
    std::string lineBreak() const;

    std::string m_data;
    std::vector<Entry> m_entries;
    std::vector<Section> m_sections; // in file order; a name may occur more than once
};

#endif
