#ifndef TAVRIN_QT_CORETYPES_H
#define TAVRIN_QT_CORETYPES_H

#include "update/NumberFormat.h"

#include <QLocale>
#include <QString>

#include <string>

// The core speaks UTF-8 std::string; Qt callers convert at the edge with these.
inline std::string toStd(const QString &text)
{
    return text.toStdString();
}

inline QString toQt(const std::string &text)
{
    return QString::fromStdString(text);
}

// How the given locale writes the interval: its decimal separator and zero digit.
inline NumberFormat numberFormat(const QLocale &locale)
{
    return {locale.decimalPoint().toStdString(), locale.zeroDigit().toStdString()};
}

#endif
