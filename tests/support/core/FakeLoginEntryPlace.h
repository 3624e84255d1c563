#ifndef TAVRIN_TESTS_CORE_FAKELOGINENTRYPLACE_H
#define TAVRIN_TESTS_CORE_FAKELOGINENTRYPLACE_H

#include "app/StartAtLogin.h"

#include <string>

// A start-at-login place in memory: made entries count and are then present.
class FakeLoginEntryPlace : public LoginEntryPlace
{
public:
    State state() const override { return current; }
    bool create(std::string &reason) override
    {
        if (!creatable) {
            reason = "disk full";
            return false;
        }
        ++creations;
        current = State::Present;
        return true;
    }
    std::string where() const override { return "/home/u/.config/autostart/t.desktop"; }

    State current = State::Missing;
    bool creatable = true;
    int creations = 0;
};

#endif
