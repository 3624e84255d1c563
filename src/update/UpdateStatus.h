#ifndef TAVRIN_UPDATE_UPDATESTATUS_H
#define TAVRIN_UPDATE_UPDATESTATUS_H

#include "update/RequestOutcome.h"
#include "update/UpdateListener.h"

#include <string>

// Whether the record is being kept up to date and, when not, why. The reasons
// are checked in this order: without a usable URL nothing is sent at all, with
// an unusable interval nothing is sent on schedule, and a failed request is
// tried again.
class UpdateStatus
{
public:
    enum class Reason
    {
        Working,        // the last request succeeded, or none has finished yet
        NoKey,          // no update URL stored
        UrlRefused,     // the stored URL is no http or https URL the channel sends
        IntervalPaused, // the interval text is unusable: detail holds it
        RequestFailed,  // the last request failed: failure() says why
    };

    UpdateStatus() = default;
    explicit UpdateStatus(Reason reason, std::string detail = {});
    explicit UpdateStatus(RequestOutcome failure);

    Reason reason() const { return m_reason; }
    const std::string &detail() const { return m_detail; }
    const RequestOutcome &failure() const { return m_failure; }
    UpdateHealth health() const
    {
        return m_reason == Reason::Working ? UpdateHealth::Good : UpdateHealth::Failing;
    }
    // Why nothing is updated, in German for the answer area (UTF-8); empty while
    // working. It never holds the URL.
    std::string message() const;

    bool operator==(const UpdateStatus &other) const
    {
        return m_reason == other.m_reason && m_detail == other.m_detail &&
               m_failure == other.m_failure;
    }
    bool operator!=(const UpdateStatus &other) const { return !(*this == other); }

private:
    Reason m_reason = Reason::Working;
    std::string m_detail;
    RequestOutcome m_failure;
};

#endif
