#include "win32/app/RunKeyEntry.h"

#include "ParamName.h"
#include "win32/WideText.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>

// The Run value and the Startup-apps switch in the Wine prefix's registry, under
// a value name of each case's own.
namespace {

using State = LoginEntryPlace::State;

const std::wstring Exe = L"C:\\Program Files\\Tavrin Connector\\tavrin-connector.exe";

std::string valueName(const std::string &caseName)
{
    return "tavrin-test-" + caseName + "-" + std::to_string(GetCurrentProcessId());
}

void setValue(const wchar_t *key, const std::string &name, DWORD type, const void *data, DWORD size)
{
    ASSERT_EQ(
        RegSetKeyValueW(HKEY_CURRENT_USER, key, WideText::fromUtf8(name).c_str(), type, data, size),
        ERROR_SUCCESS);
}

std::optional<std::wstring> runValue(const std::string &name)
{
    wchar_t data[512];
    DWORD size = sizeof data;
    if (RegGetValueW(HKEY_CURRENT_USER, RunKeyEntry::RunKey, WideText::fromUtf8(name).c_str(),
                     RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(data);
}

void removeValues(const std::string &name)
{
    const std::wstring wide = WideText::fromUtf8(name);
    RegDeleteKeyValueW(HKEY_CURRENT_USER, RunKeyEntry::RunKey, wide.c_str());
    RegDeleteKeyValueW(HKEY_CURRENT_USER, RunKeyEntry::ApprovedKey, wide.c_str());
}

struct StateCase
{
    std::string name;
    bool run;
    std::optional<std::string> approved; // the Startup-apps value's bytes
    State expected;
};

class RunKeyState : public ::testing::TestWithParam<StateCase>
{
};

// The switch counts even without the Run value: the user said no.
TEST_P(RunKeyState, ReadsTheValueAndTheSwitch)
{
    const StateCase &c = GetParam();
    const std::string name = valueName(c.name);
    const std::wstring other = L"\"C:\\elsewhere.exe\"";
    if (c.run)
        setValue(RunKeyEntry::RunKey, name, REG_SZ, other.c_str(),
                 DWORD((other.size() + 1) * sizeof(wchar_t)));
    if (c.approved)
        setValue(RunKeyEntry::ApprovedKey, name, REG_BINARY, c.approved->data(),
                 DWORD(c.approved->size()));
    EXPECT_EQ(RunKeyEntry(name, Exe).state(), c.expected);
    removeValues(name);
}

const std::string On(std::string("\x06\0\0\0\0\0\0\0\0\0\0\0", 12));
const std::string Off(std::string("\x03\0\0\0\xd4\x0d\x43\x8d\xc8\x3b\xd9\x01", 12));

INSTANTIATE_TEST_SUITE_P(Values, RunKeyState,
                         ::testing::Values(StateCase{"none", false, std::nullopt, State::Missing},
                                           StateCase{"run", true, std::nullopt, State::Present},
                                           StateCase{"runOn", true, On, State::Present},
                                           StateCase{"runOff", true, Off, State::SwitchedOff},
                                           StateCase{"offAlone", false, Off, State::SwitchedOff},
                                           StateCase{"onAlone", false, On, State::Missing}),
                         paramName<StateCase>);

// Made once as the quoted path and /a; a value that is there is never replaced.
TEST(RunKeyEntry, CreateWritesQuotedPathWithAOnce)
{
    const std::string name = valueName("create");
    RunKeyEntry entry(name, Exe);
    std::string reason;
    ASSERT_TRUE(entry.create(reason)) << reason;
    EXPECT_EQ(runValue(name), L"\"" + Exe + L"\" /a");
    EXPECT_EQ(entry.state(), State::Present);

    const std::wstring changed = L"\"C:\\mine.exe\" /a";
    setValue(RunKeyEntry::RunKey, name, REG_SZ, changed.c_str(),
             DWORD((changed.size() + 1) * sizeof(wchar_t)));
    EXPECT_FALSE(entry.create(reason));
    EXPECT_EQ(runValue(name), changed);
    EXPECT_NE(entry.where().find("CurrentVersion\\Run\\" + name), std::string::npos);
    removeValues(name);
}

} // namespace
