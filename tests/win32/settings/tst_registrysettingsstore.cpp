#include "win32/settings/RegistrySettingsStore.h"

#include "ParamName.h"
#include "app/CommandLine.h"
#include "base/CoreLog.h"
#include "win32/WideText.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

std::vector<std::string> g_logLines;

void recordLine(CoreLog::Area area, CoreLog::Level, const std::string &message)
{
    g_logLines.push_back((area == CoreLog::Area::Settings ? "settings: " : "other: ") + message);
}

Bytes utf16Bytes(const std::wstring &text, bool withNul = true)
{
    const size_t units = text.size() + (withNul ? 1 : 0);
    Bytes bytes(units * sizeof(wchar_t));
    std::memcpy(bytes.data(), text.c_str(), bytes.size());
    return bytes;
}

struct RawValue
{
    LSTATUS status = ERROR_FILE_NOT_FOUND;
    DWORD type = REG_NONE;
    Bytes data;
};

// Every case has a key of its own, removed before and after it.
class RegistryStoreTest : public testing::Test
{
protected:
    void SetUp() override
    {
        const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
        std::string name =
            std::string("TavrinTest.") + info->test_suite_name() + "." + info->name();
        std::replace(name.begin(), name.end(), '/', '.');
        app = name;
        appKey =
            L"Software\\VB and VBA Program Settings\\" + std::wstring(name.begin(), name.end());
        RegDeleteTreeW(HKEY_CURRENT_USER, appKey.c_str());
        g_logLines.clear();
        CoreLog::setSink(&recordLine);
    }
    void TearDown() override
    {
        CoreLog::setSink(nullptr);
        RegDeleteTreeW(HKEY_CURRENT_USER, appKey.c_str());
        HKEY left = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, appKey.c_str(), 0, KEY_READ, &left),
                  ERROR_FILE_NOT_FOUND)
            << "the case's key is gone";
        if (left)
            RegCloseKey(left);
    }

    std::wstring sectionKey(const std::wstring &section) const { return appKey + L"\\" + section; }

    void writeRaw(const std::wstring &section, const std::wstring &name, DWORD type,
                  const Bytes &data) const
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, sectionKey(section).c_str(), 0, nullptr, 0,
                                  KEY_SET_VALUE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        // RegSetValueExW counts a NUL that follows a string's data in; a
        // non-NUL unit after the data keeps the bytes exactly as given.
        Bytes padded = data;
        padded.insert(padded.end(), {0xFF, 0xFF, 0xFF, 0xFF});
        const LSTATUS rc = RegSetValueExW(key, name.c_str(), 0, type, padded.data(),
                                          static_cast<DWORD>(data.size()));
        RegCloseKey(key);
        ASSERT_EQ(rc, ERROR_SUCCESS);
    }

    // The value's exact bytes, as the registry holds them (RegGetValueW would
    // add a missing NUL).
    RawValue readRaw(const std::wstring &section, const std::wstring &name) const
    {
        RawValue value;
        HKEY key = nullptr;
        value.status =
            RegOpenKeyExW(HKEY_CURRENT_USER, sectionKey(section).c_str(), 0, KEY_QUERY_VALUE, &key);
        if (value.status != ERROR_SUCCESS)
            return value;
        DWORD size = 0;
        value.status = RegQueryValueExW(key, name.c_str(), nullptr, &value.type, nullptr, &size);
        if (value.status == ERROR_SUCCESS) {
            value.data.resize(size + 2);
            size = static_cast<DWORD>(value.data.size());
            value.status =
                RegQueryValueExW(key, name.c_str(), nullptr, &value.type, value.data.data(), &size);
            value.data.resize(size);
        }
        RegCloseKey(key);
        return value;
    }

    std::string app;
    std::wstring appKey;
};

// ---- Round trip ----

struct TextCase
{
    const char *name;
    std::string utf8;
    std::wstring utf16;
};

class RegistryRoundTrip : public RegistryStoreTest, public testing::WithParamInterface<TextCase>
{
};

TEST_P(RegistryRoundTrip, SavesOneRegSzUnderTheSectionKeyAndReadsItBack)
{
    const TextCase &row = GetParam();
    RegistrySettingsStore store(app);
    ASSERT_TRUE(store.save("settings", "TavrinKey", row.utf8));
    EXPECT_EQ(store.read("settings", "TavrinKey", "default"), row.utf8);
    EXPECT_EQ(RegistrySettingsStore(app).read("settings", "TavrinKey", "default"), row.utf8);

    // The classic place, read with nothing of the store.
    const std::wstring path = L"Software\\VB and VBA Program Settings\\" +
                              std::wstring(app.begin(), app.end()) + L"\\settings";
    DWORD type = REG_NONE;
    std::vector<wchar_t> text(row.utf16.size() + 16, L'#');
    DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, path.c_str(), L"TavrinKey", RRF_RT_REG_SZ, &type,
                           text.data(), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(size, (row.utf16.size() + 1) * sizeof(wchar_t)) << "stored with one terminating NUL";
    EXPECT_EQ(std::wstring(text.data()), row.utf16);
    EXPECT_EQ(store.keyPath("settings"), path);
    EXPECT_TRUE(g_logLines.empty());
}

INSTANTIATE_TEST_SUITE_P(Texts, RegistryRoundTrip,
                         testing::Values(TextCase{"interval", "5", L"5"},
                                         TextCase{"url", "http://dyn.example.org/a%20b?x=1",
                                                  L"http://dyn.example.org/a%20b?x=1"},
                                         TextCase{"empty", "", L""},
                                         TextCase{"german", u8"Grüße aus Köln, Straße",
                                                  L"Gr\u00fc\u00dfe aus K\u00f6ln, Stra\u00dfe"},
                                         TextCase{"cyrillic_and_cjk", u8"Ключ 鍵 キー",
                                                  L"\u041a\u043b\u044e\u0447 \u9375 \u30ad\u30fc"},
                                         TextCase{"beyond_bmp", u8"key 🔑", L"key \U0001F511"}),
                         paramName<TextCase>);

TEST_F(RegistryStoreTest, SaveReplacesTheValueAndKeepsItsNeighbours)
{
    RegistrySettingsStore store(app);
    ASSERT_TRUE(store.save("settings", "TavrinTime", "5"));
    ASSERT_TRUE(store.save("settings", "TavrinKey", "http://h/k"));
    ASSERT_TRUE(store.save("settings", "TavrinTime", "15"));
    EXPECT_EQ(store.read("settings", "TavrinTime", "5"), "15");
    EXPECT_EQ(store.read("settings", "TavrinKey", ""), "http://h/k");
    EXPECT_EQ(store.read("other", "TavrinTime", "none"), "none");
}

// Another program may rewrite the value between the store's size query and
// its read: every read gives one whole text or the other.
TEST_F(RegistryStoreTest, ValueThatChangesSizeWhileReadIsReadWhole)
{
    const std::string shortText = "5";
    const std::string longText(64 * 1024, 'L');
    RegistrySettingsStore store(app);
    ASSERT_TRUE(store.save("settings", "TavrinTime", shortText));
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        RegistrySettingsStore other(app);
        for (int i = 0; !stop; ++i)
            other.save("settings", "TavrinTime", i % 2 ? longText : shortText);
    });
    int shortReads = 0;
    int longReads = 0;
    for (int i = 0; i < 300; ++i) {
        const std::string text = store.read("settings", "TavrinTime", "default");
        if (text == shortText)
            ++shortReads;
        else if (text == longText)
            ++longReads;
        else
            ADD_FAILURE() << "read " << text.size() << " bytes of neither text";
    }
    stop = true;
    writer.join();
    EXPECT_EQ(shortReads + longReads, 300);
    EXPECT_TRUE(g_logLines.empty());
}

// ---- Absent values ----

struct AbsentCase
{
    const char *name;
    bool makeSection; // the section key exists, without the value
    bool otherValue;  // a value of another name is there
};

class RegistryAbsent : public RegistryStoreTest, public testing::WithParamInterface<AbsentCase>
{
};

TEST_P(RegistryAbsent, GivesTheDefaultSilently)
{
    const AbsentCase &row = GetParam();
    if (row.makeSection)
        writeRaw(L"settings", L"Unrelated", REG_SZ, utf16Bytes(L"x"));
    if (row.otherValue)
        writeRaw(L"other", L"TavrinTime", REG_SZ, utf16Bytes(L"9"));
    const RegistrySettingsStore store(app);
    EXPECT_EQ(store.read("settings", "TavrinTime", "5"), "5");
    EXPECT_EQ(store.read("settings", "TavrinKey", ""), "");
    EXPECT_TRUE(g_logLines.empty());
}

INSTANTIATE_TEST_SUITE_P(Places, RegistryAbsent,
                         testing::Values(AbsentCase{"no_key", false, false},
                                         AbsentCase{"section_without_value", true, false},
                                         AbsentCase{"value_in_another_section", false, true}),
                         paramName<AbsentCase>);

// ---- Values written by others ----

struct StoredCase
{
    const char *name;
    DWORD type;
    Bytes data;
    std::string expected;
};

class RegistryStoredText : public RegistryStoreTest, public testing::WithParamInterface<StoredCase>
{
};

TEST_P(RegistryStoredText, ReadsAsText)
{
    const StoredCase &row = GetParam();
    writeRaw(L"settings", L"TavrinKey", row.type, row.data);
    const RegistrySettingsStore store(app);
    EXPECT_EQ(store.read("settings", "TavrinKey", "default"), row.expected);
    EXPECT_TRUE(g_logLines.empty());
}

Bytes exactlyOneMiB()
{
    // 1 MiB with the NUL: the largest value that is read.
    return utf16Bytes(std::wstring(RegistrySettingsStore::MaxValueBytes / 2 - 1, L'k'));
}

INSTANTIATE_TEST_SUITE_P(
    Values, RegistryStoredText,
    testing::Values(StoredCase{"terminated", REG_SZ, utf16Bytes(L"http://h/k"), "http://h/k"},
                    StoredCase{"no_terminating_nul", REG_SZ, utf16Bytes(L"12", false), "12"},
                    StoredCase{"no_data", REG_SZ, Bytes(), ""},
                    StoredCase{"ends_at_first_nul", REG_SZ, utf16Bytes(std::wstring(L"7\0junk", 6)),
                               "7"},
                    StoredCase{"expandable_kept_unexpanded", REG_EXPAND_SZ,
                               utf16Bytes(L"%TEMP%\\a%20b"), "%TEMP%\\a%20b"},
                    StoredCase{"exactly_one_mib", REG_SZ, exactlyOneMiB(),
                               std::string(RegistrySettingsStore::MaxValueBytes / 2 - 1, 'k')}),
    paramName<StoredCase>);

// ---- Bad values ----

struct BadCase
{
    const char *name;
    DWORD type;
    Bytes data;
};

class RegistryBadValue : public RegistryStoreTest, public testing::WithParamInterface<BadCase>
{
protected:
    void SetUp() override
    {
        RegistryStoreTest::SetUp();
        writeRaw(L"settings", L"TavrinTime", GetParam().type, GetParam().data);
    }
    void expectUntouched() const
    {
        const RawValue now = readRaw(L"settings", L"TavrinTime");
        ASSERT_EQ(now.status, ERROR_SUCCESS);
        EXPECT_EQ(now.type, GetParam().type);
        EXPECT_TRUE(now.data == GetParam().data) << "the stored bytes changed";
    }
    static void expectNoContentLogged()
    {
        for (const std::string &line : g_logLines)
            EXPECT_EQ(line.find("s3cr"), std::string::npos) << line;
    }
};

TEST_P(RegistryBadValue, ReadsAsTheDefaultWithOneLogLine)
{
    const RegistrySettingsStore store(app);
    EXPECT_EQ(store.read("settings", "TavrinTime", "5"), "5");
    EXPECT_EQ(store.read("settings", "TavrinTime", "5"), "5");
    ASSERT_EQ(g_logLines.size(), 1u);
    EXPECT_EQ(g_logLines[0].rfind("settings: ", 0), 0u) << g_logLines[0];
    EXPECT_NE(g_logLines[0].find("TavrinTime"), std::string::npos) << g_logLines[0];
    expectNoContentLogged();
}

TEST_P(RegistryBadValue, SavingTheDefaultBackLeavesIt)
{
    RegistrySettingsStore store(app);
    const std::string loaded = store.read("settings", "TavrinTime", "5");
    EXPECT_TRUE(store.save("settings", "TavrinTime", loaded));
    EXPECT_TRUE(store.save("settings", "TavrinTime", loaded));
    expectUntouched();
    EXPECT_EQ(g_logLines.size(), 2u) << "one line for the read, one for the kept value";
    expectNoContentLogged();
}

TEST_P(RegistryBadValue, SavingOtherTextReplacesIt)
{
    RegistrySettingsStore store(app);
    EXPECT_EQ(store.read("settings", "TavrinTime", "5"), "5");
    EXPECT_TRUE(store.save("settings", "TavrinTime", "10"));
    const RawValue now = readRaw(L"settings", L"TavrinTime");
    EXPECT_EQ(now.type, DWORD(REG_SZ));
    EXPECT_TRUE(now.data == utf16Bytes(L"10"));
    EXPECT_EQ(store.read("settings", "TavrinTime", "5"), "10");
    // Good again: the default is an ordinary save once more.
    EXPECT_TRUE(store.save("settings", "TavrinTime", "5"));
    EXPECT_EQ(store.read("settings", "TavrinTime", "5"), "5");
    EXPECT_EQ(g_logLines.size(), 1u);
}

Bytes ascii(const char *text)
{
    return Bytes(text, text + std::strlen(text));
}

Bytes overOneMiB()
{
    return utf16Bytes(L"s3cr" + std::wstring(RegistrySettingsStore::MaxValueBytes / 2, L'x'));
}

Bytes oddLength()
{
    Bytes data = utf16Bytes(L"s3cret", false);
    data.push_back(0);
    return data;
}

INSTANTIATE_TEST_SUITE_P(
    Values, RegistryBadValue,
    testing::Values(BadCase{"dword", REG_DWORD, Bytes{7, 0, 0, 0}},
                    BadCase{"qword", REG_QWORD, Bytes{7, 0, 0, 0, 0, 0, 0, 0}},
                    BadCase{"binary", REG_BINARY, ascii("s3cret")},
                    BadCase{"multi_string", REG_MULTI_SZ, utf16Bytes(std::wstring(L"s3cret\0", 7))},
                    BadCase{"no_type", REG_NONE, ascii("s3cret")},
                    BadCase{"odd_byte_count", REG_SZ, oddLength()},
                    BadCase{"over_one_mib", REG_SZ, overOneMiB()},
                    BadCase{"lone_high_surrogate", REG_SZ, utf16Bytes(L"s3cr\xD83D")},
                    BadCase{"lone_low_surrogate", REG_SZ, utf16Bytes(L"s3cr\xDD11x")}),
    paramName<BadCase>);

// ---- Failed saves ----

TEST_F(RegistryStoreTest, TextThatIsNotUtf8IsNotSaved)
{
    RegistrySettingsStore store(app);
    EXPECT_FALSE(store.save("settings", "TavrinKey", "http://h/s3cr\xff"));
    EXPECT_EQ(readRaw(L"settings", L"TavrinKey").status, ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(g_logLines.size(), 1u);
    EXPECT_EQ(g_logLines[0].find("s3cr"), std::string::npos) << g_logLines[0];
}

// A key that only lasts the session cannot hold one that lasts.
TEST_F(RegistryStoreTest, FailedSaveReturnsFalseAndLogsTheReasonNotTheValue)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, appKey.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    RegistrySettingsStore store(app);
    EXPECT_FALSE(store.save("settings", "TavrinKey", "http://h/s3cret"));
    ASSERT_EQ(g_logLines.size(), 1u);
    EXPECT_NE(g_logLines[0].find("TavrinKey"), std::string::npos) << g_logLines[0];
    EXPECT_NE(g_logLines[0].find("error 1021"), std::string::npos) << g_logLines[0];
    EXPECT_EQ(g_logLines[0].find("s3cr"), std::string::npos) << g_logLines[0];
}

// ---- Application names: the program's own path names its settings ----

struct NameCase
{
    const char *name;
    std::wstring path;
    std::string expected;
};

class ApplicationName : public testing::TestWithParam<NameCase>
{
};

TEST_P(ApplicationName, IsTheFileNameWithoutExe)
{
    EXPECT_EQ(CommandLine::programName(WideText::toUtf8(GetParam().path)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ApplicationName,
    testing::Values(
        NameCase{"program_files", L"C:\\Program Files\\Tavrin\\Tavrin Connector.exe",
                 "Tavrin Connector"},
        NameCase{"upper_case", L"C:\\APPS\\TAVRIN.EXE", "TAVRIN"},
        NameCase{"mixed_case", L"C:\\apps\\tavrin.ExE", "tavrin"},
        NameCase{"forward_slashes", L"C:/tools/tavrin.exe", "tavrin"},
        NameCase{"long_path_prefix", L"\\\\?\\C:\\a\\b\\tavrin.exe", "tavrin"},
        NameCase{"unc", L"\\\\server\\share\\tavrin.exe", "tavrin"},
        NameCase{"dots", L"C:\\my.apps\\tavrin.connector.exe", "tavrin.connector"},
        NameCase{"no_extension", L"C:\\my.apps\\tavrin", "tavrin"},
        NameCase{"other_extension", L"C:\\apps\\tavrin.com", "tavrin.com"},
        NameCase{"exe_twice", L"C:\\apps\\tavrin.exe.exe", "tavrin.exe"},
        NameCase{"bare_name", L"tavrin.exe", "tavrin"},
        NameCase{"german", L"C:\\Programme\\Gr\u00f6\u00dfenpr\u00fcfer.exe", u8"Größenprüfer"},
        NameCase{"cyrillic", L"D:\\\u041f\u0440\u043e\u0433\\\u041a\u043b\u044e\u0447.exe",
                 u8"Ключ"},
        NameCase{"only_extension", L"C:\\apps\\.exe", "tavrin-connector"},
        NameCase{"directory_only", L"C:\\apps\\", "tavrin-connector"},
        NameCase{"empty", L"", "tavrin-connector"}),
    paramName<NameCase>);

TEST_F(RegistryStoreTest, TheRunningTestsNameIsItsExecutablesName)
{
    wchar_t path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
    EXPECT_EQ(CommandLine::programName(WideText::toUtf8(path)), "tst_registrysettingsstore");
}

} // namespace
