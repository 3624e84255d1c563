#ifndef TAVRIN_TESTS_FAKESETTINGSSTORE_H
#define TAVRIN_TESTS_FAKESETTINGSSTORE_H

#include "settings/SettingsStore.h"

#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

// An in-memory settings store that records every save, in order. It keeps the
// values as QString, so tests can compare them with Qt text.
class FakeSettingsStore : public SettingsStore
{
public:
    std::string read(const std::string &section, const std::string &name,
                     const std::string &defaultValue) const override
    {
        const auto it =
            values.constFind({QString::fromStdString(section), QString::fromStdString(name)});
        return it == values.cend() ? defaultValue : it->toStdString();
    }
    bool save(const std::string &section, const std::string &name,
              const std::string &value) override
    {
        const QString qtName = QString::fromStdString(name);
        const QString qtValue = QString::fromStdString(value);
        values[{QString::fromStdString(section), qtName}] = qtValue;
        saves.append(qtName + QLatin1Char('=') + qtValue);
        return true;
    }
    bool has(const QString &name) const
    {
        return values.contains({QStringLiteral("settings"), name});
    }
    QString value(const QString &name) const
    {
        return values.value({QStringLiteral("settings"), name});
    }

    QMap<QPair<QString, QString>, QString> values;
    QStringList saves;
};

#endif
