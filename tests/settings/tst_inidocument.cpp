#include "settings/IniDocument.h"

#include "ParamName.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// What QSettings' INI format (Qt 6.4) writes and reads is recorded here: the
// value lines it writes, what it reads from lines typed by hand, and files it
// wrote and read back after our edits.

namespace {

std::string repeated(const std::string &piece, std::size_t times)
{
    std::string out;
    for (std::size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

std::u16string repeated(const std::u16string &piece, std::size_t times)
{
    std::u16string out;
    for (std::size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

std::string kindName(IniDocument::Value::Kind kind)
{
    switch (kind) {
    case IniDocument::Value::Kind::Text:
        return "text";
    case IniDocument::Value::Kind::List:
        return "list";
    case IniDocument::Value::Kind::Invalid:
        return "invalid";
    case IniDocument::Value::Kind::Other:
        return "other";
    }
    return "?";
}

void expectValue(const IniDocument::Value &actual, const IniDocument::Value &expected)
{
    EXPECT_EQ(kindName(actual.kind), kindName(expected.kind));
    if (expected.kind == IniDocument::Value::Kind::Text) {
        EXPECT_TRUE(actual.text == expected.text);
    }
    if (expected.kind == IniDocument::Value::Kind::List) {
        EXPECT_TRUE(actual.list == expected.list);
    }
}

IniDocument::Value text(const std::u16string &value)
{
    IniDocument::Value v;
    v.text = value;
    return v;
}

IniDocument::Value list(const std::vector<std::u16string> &elements)
{
    IniDocument::Value v;
    v.kind = IniDocument::Value::Kind::List;
    v.list = elements;
    return v;
}

IniDocument::Value ofKind(IniDocument::Value::Kind kind)
{
    IniDocument::Value v;
    v.kind = kind;
    return v;
}

struct AwkwardCase
{
    std::string name;
    std::u16string value;
    std::string line; // the value part of the line QSettings writes for it
};

class AwkwardValuesMatchQSettingsBothWays : public testing::TestWithParam<AwkwardCase>
{
};

// Our writer writes the line QSettings writes (and reads back unchanged), and
// our reader reads QSettings' file back unchanged.
TEST_P(AwkwardValuesMatchQSettingsBothWays, Value)
{
    const AwkwardCase &c = GetParam();
    IniDocument ours;
    ours.setText(u"settings/TavrinKey", c.value);
    bool found = false;
    expectValue(ours.value(u"settings/TavrinKey", &found), text(c.value));
    EXPECT_TRUE(found);
    EXPECT_EQ(IniDocument::problem(ours.data()), "");
    EXPECT_EQ(IniDocument::escapedText(c.value), c.line);

    const IniDocument read("[settings]\nTavrinKey=" + c.line + "\nTavrinTime=5\n");
    found = false;
    expectValue(read.value(u"settings/TavrinKey", &found), text(c.value));
    EXPECT_TRUE(found);
    EXPECT_TRUE(read.holdsText(u"settings/TavrinKey", c.value));
}

INSTANTIATE_TEST_SUITE_P(
    IniDocument, AwkwardValuesMatchQSettingsBothWays,
    testing::Values(
        AwkwardCase{"empty", u"", ""},
        AwkwardCase{"backslashes", u"C:\\dir\\\\share\\", "C:\\\\dir\\\\\\\\share\\\\"},
        AwkwardCase{"quotes", u"say \"hi\" \"", "say \\\"hi\\\" \\\""},
        AwkwardCase{"ini syntax", u"a=b;c #d [e] ,f", "\"a=b;c #d [e] ,f\""},
        AwkwardCase{"hash first", u"#not a comment", "#not a comment"},
        AwkwardCase{"semicolon first", u";not a comment", "\";not a comment\""},
        AwkwardCase{"outer spaces", u"  padded  ", "\"  padded  \""},
        AwkwardCase{"outer tabs", u"\tpadded\t", "\\tpadded\\t"},
        AwkwardCase{"non-ascii", u"Grüße ☃ 😀 %U00e9",
                    "Gr\xC3\xBC\xC3\x9F"
                    "e \xE2\x98\x83 \xF0\x9F\x98\x80 %U00e9"},
        AwkwardCase{"controls",
                    u"a\nb\r\tc\x01"
                    u"d\x7f",
                    "a\\nb\\r\\tc\\x1\\x64\x7F"},
        AwkwardCase{"nul then digits",
                    std::u16string(u"x\0"
                                   u"12ab",
                                   7),
                    "@String(x\\0\\x31\\x32\\x61\\x62\\0)"},
        AwkwardCase{"escape then hex digit",
                    u"\x01"
                    u"f",
                    "\\x1\\x66"},
        AwkwardCase{"at sign", u"@Invalid()", "@@Invalid()"},
        AwkwardCase{"at bytes", u"@ByteArray(x)", "@@ByteArray(x)"},
        AwkwardCase{"lone surrogate-free url", u"http://h/k?x=1&y=2", "\"http://h/k?x=1&y=2\""},
        AwkwardCase{"very long", repeated(u"Wert, mit; allem = \"drin\" \\ ", 5000),
                    "\"" + repeated("Wert, mit; allem = \\\"drin\\\" \\\\ ", 5000) + "\""}),
    paramName<AwkwardCase>);

struct HandWrittenCase
{
    std::string name;
    std::string raw;
    IniDocument::Value expected; // what QSettings reads
};

class HandWrittenValuesReadAsQSettingsReadsThem : public testing::TestWithParam<HandWrittenCase>
{
};

TEST_P(HandWrittenValuesReadAsQSettingsReadsThem, Value)
{
    const HandWrittenCase &c = GetParam();
    bool found = false;
    expectValue(IniDocument("[S]\nK=" + c.raw + "\n").value(u"S/K", &found), c.expected);
    EXPECT_TRUE(found);
}

// QSettings hands "@ByteArray(...)" out as bytes; they count as their UTF-8 text.
INSTANTIATE_TEST_SUITE_P(
    IniDocument, HandWrittenValuesReadAsQSettingsReadsThem,
    testing::Values(
        HandWrittenCase{"spaces around", "   v  w   ", text(u"v  w")},
        HandWrittenCase{"quoted spaces", "\"  v  \"  ", text(u"  v  ")},
        HandWrittenCase{"partly quoted", "a \"b;c\" d", text(u"a b;cd")},
        HandWrittenCase{"escaped space dropped", "a\\ b", text(u"ab")},
        HandWrittenCase{"hex and octal", "\\x41\\101\\x263a\\0",
                        text(std::u16string(u"AA\x263a\0", 4))},
        HandWrittenCase{"list", "a , b,c", list({u"a", u"b", u"c"})},
        HandWrittenCase{"quoted list item", "\"a,b\", c", list({u"a,b", u"c"})},
        HandWrittenCase{"list with type", "a, @Invalid()", ofKind(IniDocument::Value::Kind::Other)},
        HandWrittenCase{"list with at", "a, @@b", list({u"a", u"@b"})},
        HandWrittenCase{"invalid", "@Invalid()", ofKind(IniDocument::Value::Kind::Invalid)},
        HandWrittenCase{"byte array", "@ByteArray(abc)", text(u"abc")},
        HandWrittenCase{"string marker", "@String(x\\0y)", text(std::u16string(u"x\0y", 3))},
        HandWrittenCase{"double at", "@@at", text(u"@at")},
        HandWrittenCase{"rect", "@Rect(1 2 3 4)", ofKind(IniDocument::Value::Kind::Other)},
        HandWrittenCase{"unknown marker", "@Foo(x)", text(u"@Foo(x)")},
        HandWrittenCase{"comment after", "v ; note", text(u"v")},
        HandWrittenCase{"trailing backslash", "v  \\", text(u"v  ")},
        HandWrittenCase{"escaped tab at end", "v\\t  ", text(u"v\t")}),
    paramName<HandWrittenCase>);

// A file as QSettings wrote it: a string, a list, an int, an invalid value, a
// key in [General], a real section named General and an odd name.
const std::string QSettingsFile = "[General]\nTop=level\n\n"
                                  "[%General]\nx=real section\n\n"
                                  "[Other]\nList=a, b\nNothing=@Invalid()\nNumber=42\n\n"
                                  "[S%20p]\n%E4%20%U2603=odd\n\n"
                                  "[settings]\nTavrinKey=http://h/old\nTavrinTime=\"1,5\"\n";

// QSettingsFile with its first `before` replaced.
std::string edited(const std::string &before, const std::string &replacement)
{
    std::string file = QSettingsFile;
    const std::size_t at = file.find(before);
    return at == std::string::npos ? std::string("(not found)")
                                   : file.replace(at, before.size(), replacement);
}

const std::string NewValueLine = "\"new = \\\"value\\\"\"";

struct EditCase
{
    std::string name;
    std::u16string key;
    std::string expected; // QSettings reads every other key of it unchanged
};

class EditingKeepsEveryOtherKey : public testing::TestWithParam<EditCase>
{
};

TEST_P(EditingKeepsEveryOtherKey, File)
{
    const EditCase &c = GetParam();
    IniDocument document(QSettingsFile);
    document.setText(c.key, u"new = \"value\"");
    EXPECT_EQ(IniDocument::problem(document.data()), "");
    EXPECT_EQ(document.data(), c.expected);
    bool found = false;
    expectValue(document.value(c.key, &found), text(u"new = \"value\""));
    EXPECT_TRUE(found);
}

INSTANTIATE_TEST_SUITE_P(
    IniDocument, EditingKeepsEveryOtherKey,
    testing::Values(EditCase{"existing key", u"settings/TavrinKey",
                             edited("TavrinKey=http://h/old", "TavrinKey=" + NewValueLine)},
                    EditCase{"new key in a section", u"settings/New",
                             QSettingsFile + "New=" + NewValueLine + "\n"},
                    EditCase{"new section", u"Neu/Wert",
                             QSettingsFile + "\n[Neu]\nWert=" + NewValueLine + "\n"},
                    EditCase{"general", u"Top", edited("Top=level", "Top=" + NewValueLine)},
                    EditCase{"section named General", u"General/x",
                             edited("x=real section", "x=" + NewValueLine)},
                    EditCase{"odd name", u"S p/ä ☃",
                             edited("%E4%20%U2603=odd", "%E4%20%U2603=" + NewValueLine)}),
    paramName<EditCase>);

// Comments and lines by hand stay; only the value changes.
TEST(IniDocument, EditingChangesOnlyTheValue)
{
    IniDocument document("; mine\r\n[settings]\r\nTavrinKey = old ; note\r\nTavrinTime=5\r\n");
    document.setText(u"settings/TavrinKey", u"new");
    EXPECT_EQ(document.data(), "; mine\r\n[settings]\r\nTavrinKey =new; note\r\nTavrinTime=5\r\n");
    document.setText(u"settings/Extra", u"x");
    EXPECT_EQ(document.data(),
              "; mine\r\n[settings]\r\nTavrinKey =new; note\r\nTavrinTime=5\r\nExtra=x\r\n");
}

struct ProblemCase
{
    std::string name;
    std::string data;
    bool usable;
};

class Problems : public testing::TestWithParam<ProblemCase>
{
};

TEST_P(Problems, Usable)
{
    EXPECT_EQ(IniDocument::problem(GetParam().data).empty(), GetParam().usable);
}

INSTANTIATE_TEST_SUITE_P(
    IniDocument, Problems,
    testing::Values(ProblemCase{"empty", "", true},
                    ProblemCase{"bom and comments", "\xef\xbb\xbf; c\n\n[S]\nK=v", true},
                    ProblemCase{"nul", std::string("[S]\nK=\0", 7), false},
                    ProblemCase{"overlong utf-8", "[S]\nK=\xc0\xaf\n", false},
                    ProblemCase{"utf-8 surrogate", "[S]\nK=\xed\xa0\x80\n", false},
                    ProblemCase{"cut utf-8", "[S]\nK=\xe2\x98", false},
                    ProblemCase{"4-byte utf-8", "[S]\nK=\xf0\x9f\x98\x80\n", true},
                    ProblemCase{"unclosed section", "[S\nK=v\n", false},
                    ProblemCase{"semicolon before =", "[S]\na;b=c\n", false},
                    ProblemCase{"escaped = only", "[S]\nK\\=v\n", false}),
    paramName<ProblemCase>);

} // namespace
