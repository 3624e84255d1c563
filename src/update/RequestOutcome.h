#ifndef TAVRIN_UPDATE_REQUESTOUTCOME_H
#define TAVRIN_UPDATE_REQUESTOUTCOME_H

#include <string>

// How one update request ended. reason is fit for the log: it never holds the key.
struct RequestOutcome
{
    bool succeeded = false;
    int httpStatus = 0;
    std::string reason;
};

#endif
