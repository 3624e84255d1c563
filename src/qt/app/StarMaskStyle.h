#ifndef TAVRIN_QT_APP_STARMASKSTYLE_H
#define TAVRIN_QT_APP_STARMASKSTYLE_H

#include <QProxyStyle>

// Masks password boxes with "*" for every character instead of the platform's bullet.
class StarMaskStyle : public QProxyStyle
{
    Q_OBJECT
public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption *option = nullptr,
                  const QWidget *widget = nullptr,
                  QStyleHintReturn *returnData = nullptr) const override;
};

#endif
