#ifndef TAVRIN_UPDATE_SYNCINTERVAL_H
#define TAVRIN_UPDATE_SYNCINTERVAL_H

#include <QLocale>
#include <QString>

#include <optional>

// Reads the interval box: a number of minutes as the user typed it.
//
// The text is read in the given locale first ("1,5" under German) and, where
// that fails, in the plain C form ("1.5"). Group separators are refused in both,
// so a German "1.5" means one and a half, never fifteen. Leading and trailing
// blanks are ignored. A usable interval is finite, above zero and short enough
// that its length in seconds stays far inside qint64.
class SyncInterval
{
public:
    // Minutes typed in the interval box; nullopt when the text is not a usable interval.
    static std::optional<double> minutes(const QString &text, const QLocale &locale);
    // Seconds until a sync is due: minutes × 60 rounded up; nullopt when unusable.
    static std::optional<qint64> targetSeconds(const QString &text, const QLocale &locale);
};

#endif
