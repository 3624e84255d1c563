#ifndef TAVRIN_WIN32_APP_RUNKEYENTRY_H
#define TAVRIN_WIN32_APP_RUNKEYENTRY_H

#include "app/StartAtLogin.h"

#include <string>

// The user's start-at-login entry on Windows: a value named after the program
// under HKCU\...\CurrentVersion\Run holding "<exe path>" /a. The Startup-apps
// switch (Task Manager, Settings) keeps its state in a value of the same name
// under ...\Explorer\StartupApproved\Run.
class RunKeyEntry : public LoginEntryPlace
{
public:
    static const wchar_t RunKey[];
    static const wchar_t ApprovedKey[];

    // programName names the value; exePath is the program the value starts.
    RunKeyEntry(const std::string &programName, const std::wstring &exePath);

    State state() const override;
    bool create(std::string &reason) override;
    std::string where() const override;

    // The value's data: the quoted path and /a.
    std::wstring command() const { return L"\"" + m_exePath + L"\" /a"; }

private:
    std::wstring m_name;
    std::wstring m_exePath;
};

#endif
