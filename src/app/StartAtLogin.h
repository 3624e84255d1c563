#ifndef TAVRIN_APP_STARTATLOGIN_H
#define TAVRIN_APP_STARTATLOGIN_H

#include <optional>
#include <string>
#include <string_view>

// Where a platform keeps the user's own entry that starts this program at
// login: the front end reads and writes it, the rule below decides.
class LoginEntryPlace
{
public:
    enum class State
    {
        Missing,
        // There, as made or as the user changed it.
        Present,
        // There (or remembered by the system) and switched off by the user.
        SwitchedOff,
    };

    virtual ~LoginEntryPlace() = default;
    virtual State state() const = 0;
    // Makes the entry that starts this program with /a, never over an existing
    // one; false with an English reason for the log when it could not.
    virtual bool create(std::string &reason) = 0;
    // The entry's name in the log: a path or a registry value, never the key.
    virtual std::string where() const = 0;
};

// Starting at login for the user who applied a key: the first OK makes the
// entry once; an entry that is there, changed or switched off stays as it is.
class StartAtLogin
{
public:
    enum class Outcome
    {
        Created,
        Kept,
        SwitchedOff,
        Failed,
    };

    // Called when a key was applied; logs what it did.
    static Outcome keyApplied(LoginEntryPlace &place);

    // The shipped autostart entry (dist/), the one place its tray hints live.
    static std::string_view desktopEntryTemplate();
    // The text of the user's autostart entry on freedesktop desktops: the
    // shipped template with its Exec line starting programPath with /a.
    // Nothing for a path that is not absolute, not UTF-8 or holds control
    // characters: such an entry could start something else.
    static std::optional<std::string> desktopEntry(const std::string &programPath);
    // True when a desktop entry is switched off for this user (Hidden=true or
    // X-GNOME-Autostart-enabled=false in its main group).
    static bool desktopEntrySwitchedOff(const std::string &text);
    // True when the first byte of the Windows Startup-apps value marks the
    // program as switched off (odd: 03 off, 02 and 06 on).
    static bool startupApprovedSwitchedOff(const std::string &bytes);
};

#endif
