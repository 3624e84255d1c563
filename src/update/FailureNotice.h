#ifndef TAVRIN_UPDATE_FAILURENOTICE_H
#define TAVRIN_UPDATE_FAILURENOTICE_H

#include <string>

class UpdateStatus;

// Decides when the tray tells the user that updating stopped or works again:
// once when FailuresBeforeNotice attempts in a row failed after it worked, and
// once when an attempt works again after that; never once per retry.
class FailureNotice
{
public:
    static constexpr int FailuresBeforeNotice = 2;

    enum class Notice
    {
        None,
        Failing,      // updating stopped working
        WorkingAgain, // it works again after a Failing notice
    };

    // One attempt ended; what the tray is to say, if anything.
    Notice attempt(bool failed);

    // The notice's title and text in German (UTF-8); they never hold the URL.
    static std::string title(Notice notice);
    static std::string text(Notice notice, const UpdateStatus &status);
    // Failing warns; WorkingAgain informs.
    static bool warns(Notice notice) { return notice == Notice::Failing; }

private:
    int m_failuresInARow = 0;
    bool m_failingNoticeGiven = false;
};

#endif
