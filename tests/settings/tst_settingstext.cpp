#include "settings/SettingsText.h"

#include "ParamName.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using SettingsText::value;
using SettingsText::withValue;
using Value = std::optional<std::string>;

const std::string Group = "settings";
const std::string Key = "TavrinKey";
const std::string Time = "TavrinTime";

std::string repeated(const std::string &piece, std::size_t times)
{
    std::string out;
    for (std::size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

// tests/settings/data: files the program wrote before, by its own INI code
// (store-*) and through QSettings (qsettings-*), as {name, bytes}.
const std::map<std::string, std::string> ReferenceFiles = {
#include "ReferenceFiles.inc"
};

struct ReferenceCase
{
    std::string name;
    std::string key; // the values saved into it
    std::string time;
};

const std::string OddKey = "http://dyn.example.org/my key 100%; \"quoted\" Gr\xC3\xBC\xC3\x9F"
                           "e\\path\\";

const std::vector<ReferenceCase> ReferenceCases = {
    {"store-key", OddKey, "5"},
    {"store-blanks", "  http://dyn.example.org/a,b=c #x  ", "1,5"},
    {"store-controls",
     "http://dyn.example.org/tab\there\nline\r\x01"
     "f\x7f",
     "0.05"},
    {"store-marks", "@ByteArray(not bytes)", ";7"},
    {"store-nul",
     std::string("http://dyn.example.org/ab\0"
                 "12cd",
                 30),
     ""},
    {"store-edited", "http://dyn.example.org/new \"one\"", "10"},
    {"store-appended", "http://dyn.example.org/k;", "7"},
    {"qsettings-key", OddKey, "5"},
    {"qsettings-awkward",
     "  http://dyn.example.org/a,b=c\t\x01"
     "f\n@  ",
     "1,5"},
};

class FilesWrittenBefore : public testing::TestWithParam<ReferenceCase>
{
};

TEST_P(FilesWrittenBefore, ReadTheSame)
{
    const ReferenceCase &c = GetParam();
    const auto file = ReferenceFiles.find(c.name + ".ini");
    ASSERT_NE(file, ReferenceFiles.end());
    EXPECT_EQ(SettingsText::problem(file->second), "");
    EXPECT_EQ(value(file->second, Group, Key), c.key);
    EXPECT_EQ(value(file->second, Group, Time), c.time);
}

INSTANTIATE_TEST_SUITE_P(SettingsText, FilesWrittenBefore, testing::ValuesIn(ReferenceCases),
                         paramName<ReferenceCase>);

TEST(SettingsText, EveryFileWrittenBeforeIsChecked)
{
    EXPECT_EQ(ReferenceFiles.size(), ReferenceCases.size());
}

struct WrittenCase
{
    std::string name;
    std::string value;
    std::string line; // what follows "TavrinKey="
};

class ValuesRoundTrip : public testing::TestWithParam<WrittenCase>
{
};

// Written as the line shows, into a new file and over an old value, and read back.
TEST_P(ValuesRoundTrip, Value)
{
    const WrittenCase &c = GetParam();
    const std::string fresh = withValue("", Group, Key, c.value);
    EXPECT_EQ(fresh, "[settings]\nTavrinKey=" + c.line + "\n");
    EXPECT_EQ(value(fresh, Group, Key), c.value);
    const std::string over =
        withValue("[settings]\nTavrinKey=old\nTavrinTime=5\n", Group, Key, c.value);
    EXPECT_EQ(over, "[settings]\nTavrinKey=" + c.line + "\nTavrinTime=5\n");
    EXPECT_EQ(value(over, Group, Key), c.value);
    EXPECT_EQ(value(over, Group, Time), "5");
}

INSTANTIATE_TEST_SUITE_P(
    SettingsText, ValuesRoundTrip,
    testing::Values(WrittenCase{"empty", "", ""},
                    WrittenCase{"url", "http://h/k?x=1&y=2;z,#a=[b]",
                                "http://h/k?x=1&y=2;z,#a=[b]"},
                    WrittenCase{"backslashes", "C:\\dir\\\\share\\", "C:\\\\dir\\\\\\\\share\\\\"},
                    WrittenCase{"quotes", "say \"hi\" \"", "say \"hi\" \""},
                    WrittenCase{"leading quote", "\"quoted\"", "\\\"quoted\""},
                    WrittenCase{"outer spaces", "  padded  ", "\"  padded  \""},
                    WrittenCase{"spaces around quotes", " \"a\" ", "\" \"a\" \""},
                    WrittenCase{"space and backslash", " a\\", "\" a\\\\\""},
                    WrittenCase{"tabs", "\tpadded\t", "\\tpadded\\t"},
                    WrittenCase{"non-ascii",
                                "Gr\xC3\xBC\xC3\x9F"
                                "e \xE2\x98\x83 \xF0\x9F\x98\x80 %U00e9",
                                "Gr\xC3\xBC\xC3\x9F"
                                "e \xE2\x98\x83 \xF0\x9F\x98\x80 %U00e9"},
                    WrittenCase{"controls",
                                "a\nb\r\tc\x01"
                                "d\x7f",
                                "a\\nb\\r\\tc\\x01\\x64\\x7f"},
                    WrittenCase{"nul then digits",
                                std::string("x\0"
                                            "12ab",
                                            6),
                                "x\\x00\\x31\\x32\\x61\\x62"},
                    WrittenCase{"at sign", "@Invalid()", "@@Invalid()"},
                    WrittenCase{"at string", "@String(x)", "@@String(x)"},
                    WrittenCase{"very long", repeated("Wert, mit; allem = \"drin\" \\ ", 5000),
                                "\"" + repeated("Wert, mit; allem = \"drin\" \\\\ ", 5000) + "\""}),
    paramName<WrittenCase>);

TEST(SettingsText, BytesThatAreNotUtf8AreWrittenAsReplacements)
{
    const std::string written = withValue("", Group, Key, "a\xFF\xC3");
    EXPECT_EQ(SettingsText::problem(written), "");
    EXPECT_EQ(value(written, Group, Key), "a\xEF\xBF\xBD\xEF\xBF\xBD");
}

struct HandWrittenCase
{
    std::string name;
    std::string raw; // what follows "K="
    std::string expected;
};

class HandWrittenValues : public testing::TestWithParam<HandWrittenCase>
{
};

TEST_P(HandWrittenValues, Read)
{
    EXPECT_EQ(value("[S]\nK=" + GetParam().raw + "\n", "S", "K"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    SettingsText, HandWrittenValues,
    testing::Values(HandWrittenCase{"spaces around", "   v  w \t ", "v  w"},
                    HandWrittenCase{"quoted spaces", "\"  v  \"  ", "  v  "},
                    HandWrittenCase{"partly quoted", "a \"b;c\" d", "a \"b;c\" d"},
                    HandWrittenCase{"odd quote", "\"odd", "\"odd"},
                    HandWrittenCase{"escaped closing quote", "\"a\\\"", "\"a\""},
                    HandWrittenCase{"comment after", "v ; note", "v ; note"},
                    HandWrittenCase{"list", "a, b", "a, b"},
                    HandWrittenCase{"other backslashes stay", "C:\\dir\\ x\\", "C:\\dir\\ x\\"},
                    HandWrittenCase{"hex escapes", "\\x41\\x263a|\\x110000|\\xd800|\\x",
                                    "A\xE2\x98\xBA|\xEF\xBF\xBD|"
                                    "\xEF\xBF\xBD|\\x"},
                    HandWrittenCase{"old escapes", "\\a\\b\\f\\v\\0", std::string("\a\b\f\v\0", 5)},
                    HandWrittenCase{"double at", "@@at", "@at"},
                    HandWrittenCase{"string marker", "@String(x\\0y)", std::string("x\0y", 3)},
                    HandWrittenCase{"other markers are text", "@Variant(\\0\\x2)",
                                    std::string("@Variant(\0\x02)", 12)}),
    paramName<HandWrittenCase>);

// Hand edits that broke the earlier reader or writer: each reads as shown, and
// saving both values changes their lines only (or adds them), once.
struct HandEditCase
{
    std::string name;
    std::string text;
    Value key;
    Value time;
    std::string saved; // after saving NewKey and "7"
};

const std::string NewKey = "http://h/n;\"e w\"";

class HandEdits : public testing::TestWithParam<HandEditCase>
{
};

TEST_P(HandEdits, SaveAndReadBack)
{
    const HandEditCase &c = GetParam();
    EXPECT_EQ(SettingsText::problem(c.text), "");
    EXPECT_EQ(value(c.text, Group, Key), c.key);
    EXPECT_EQ(value(c.text, Group, Time), c.time);
    const std::string saved = withValue(withValue(c.text, Group, Key, NewKey), Group, Time, "7");
    EXPECT_EQ(saved, c.saved);
    EXPECT_EQ(value(saved, Group, Key), NewKey);
    EXPECT_EQ(value(saved, Group, Time), "7");
    EXPECT_EQ(withValue(withValue(saved, Group, Key, NewKey), Group, Time, "7"), saved);
}

INSTANTIATE_TEST_SUITE_P(
    SettingsText, HandEdits,
    testing::Values(
        HandEditCase{"odd quote in a value", "[settings]\nTavrinKey=http://h/a\"b\nTavrinTime=5\n",
                     "http://h/a\"b", "5", "[settings]\nTavrinKey=" + NewKey + "\nTavrinTime=7\n"},
        HandEditCase{
            "odd quotes elsewhere", "; it's \"odd\n[other]\nk=\"v\n[settings]\nTavrinKey=old\n",
            "old", std::nullopt,
            "; it's \"odd\n[other]\nk=\"v\n[settings]\nTavrinKey=" + NewKey + "\nTavrinTime=7\n"},
        HandEditCase{"backslash ends the file", "[settings]\nTavrinKey=http://h/BS2\\",
                     "http://h/BS2\\", std::nullopt,
                     "[settings]\nTavrinKey=" + NewKey + "\nTavrinTime=7"},
        HandEditCase{"semicolon in a group name",
                     "[set;tings]\nTavrinKey=a\n[settings]\nTavrinTime=3\n", std::nullopt, "3",
                     "[set;tings]\nTavrinKey=a\n[settings]\nTavrinTime=7\nTavrinKey=" + NewKey +
                         "\n"},
        HandEditCase{"only a form feed", "\f", std::nullopt, std::nullopt,
                     "\f\n\n[settings]\nTavrinKey=" + NewKey + "\nTavrinTime=7\n"},
        HandEditCase{"comment and words", "# note\n[settings]\njust words\nTavrinKey=k\n", "k",
                     std::nullopt,
                     "# note\n[settings]\njust words\nTavrinKey=" + NewKey + "\nTavrinTime=7\n"},
        HandEditCase{"windows lines, mark, empty group",
                     "\xEF\xBB\xBF; c\r\n[settings]\r\n\r\n[other]\r\nx=1\r\n", std::nullopt,
                     std::nullopt,
                     "\xEF\xBB\xBF; c\r\n[settings]\r\nTavrinKey=" + NewKey +
                         "\r\nTavrinTime=7\r\n\r\n[other]\r\nx=1\r\n"},
        HandEditCase{
            "group twice, last value counts",
            "[settings]\nTavrinKey=first\n[other]\nTavrinKey=x\n[settings]\nTavrinKey=last\n",
            "last", std::nullopt,
            "[settings]\nTavrinKey=first\n[other]\nTavrinKey=x\n[settings]\nTavrinKey=" + NewKey +
                "\nTavrinTime=7\n"},
        HandEditCase{"blanks around", "[ settings ]\n  TavrinKey = x  \n\tTavrinTime\t=\t\"1,5\"\n",
                     "x", "1,5",
                     "[ settings ]\n  TavrinKey = " + NewKey + "\n\tTavrinTime\t=\t7\n"},
        HandEditCase{
            "not our group", "TavrinKey=top\n[Settings]\nTavrinKey=case\n[settings\nTavrinTime=9",
            std::nullopt, std::nullopt,
            "TavrinKey=top\n[Settings]\nTavrinKey=case\n[settings\nTavrinTime=9\n\n[settings]\n"
            "TavrinKey=" +
                NewKey + "\nTavrinTime=7\n"}),
    paramName<HandEditCase>);

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
    EXPECT_EQ(SettingsText::problem(GetParam().data).empty(), GetParam().usable);
}

INSTANTIATE_TEST_SUITE_P(
    SettingsText, Problems,
    testing::Values(ProblemCase{"empty", "", true},
                    ProblemCase{"lines not understood", "\xef\xbb\xbfwords\n[S\n\"=\n\\", true},
                    ProblemCase{"nul", std::string("[S]\nK=\0", 7), false},
                    ProblemCase{"overlong utf-8", "[S]\nK=\xc0\xaf\n", false},
                    ProblemCase{"utf-8 surrogate", "[S]\nK=\xed\xa0\x80\n", false},
                    ProblemCase{"past U+10FFFF", "[S]\nK=\xf4\x90\x80\x80\n", false},
                    ProblemCase{"cut utf-8", "[S]\nK=\xe2\x98", false},
                    ProblemCase{"lone continuation", "[S]\nK=\x80\n", false},
                    ProblemCase{"4-byte utf-8", "[S]\nK=\xf0\x9f\x98\x80\n", true}),
    paramName<ProblemCase>);

} // namespace
