#ifndef TAVRIN_QT_CORELOGBRIDGE_H
#define TAVRIN_QT_CORELOGBRIDGE_H

// Sends the core's log lines to the tavrin.update and tavrin.tray categories,
// where QT_LOGGING_RULES filters them like any other line.
class CoreLogBridge
{
public:
    static void install();
};

#endif
