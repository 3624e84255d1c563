#ifndef TAVRIN_TESTS_FAKESETTINGSSTORE_H
#define TAVRIN_TESTS_FAKESETTINGSSTORE_H

#include "settings/SettingsStore.h"

#include <QMap>
#include <QPair>
#include <QStringList>

// An in-memory settings store that records every save, in order.
class FakeSettingsStore : public SettingsStore
{
public:
    QString read(const QString &section, const QString &name,
                 const QString &defaultValue) const override
    {
        return values.value({section, name}, defaultValue);
    }
    bool save(const QString &section, const QString &name, const QString &value) override
    {
        values[{section, name}] = value;
        saves.append(name + QLatin1Char('=') + value);
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
