#ifndef TAVRIN_UPDATE_REQUESTCHANNEL_H
#define TAVRIN_UPDATE_REQUESTCHANNEL_H

#include "update/RequestOutcome.h"

#include <functional>
#include <string>

// Sends the update request. One fetch at a time: navigate() abandons the one in
// progress, and an abandoned fetch reports no outcome.
class RequestChannel
{
public:
    using FinishedHandler = std::function<void(const RequestOutcome &outcome)>;

    virtual ~RequestChannel() = default;
    // Starts a GET of url (UTF-8) and returns at once.
    virtual void navigate(const std::string &url) = 0;
    virtual void stop() = 0;
    // True while a fetch is in progress.
    virtual bool busy() const = 0;
    // Kept for the window's start-up; it changes nothing in how requests are made.
    virtual void setTheaterMode(bool on) = 0;
    // Called with every finished fetch's outcome; set once by the engine.
    virtual void setFinishedHandler(FinishedHandler handler) = 0;
};

#endif
