#ifndef TAVRIN_QT_APP_XDGAUTOSTARTENTRY_H
#define TAVRIN_QT_APP_XDGAUTOSTARTENTRY_H

#include "app/StartAtLogin.h"

#include <QString>

// The user's autostart entry on freedesktop desktops:
// $XDG_CONFIG_HOME/autostart/<program name>.desktop (~/.config when unset).
class XdgAutostartEntry : public LoginEntryPlace
{
public:
    // programPath: the path the program was started by (argv[0]), which the
    // entry starts and whose name it carries.
    explicit XdgAutostartEntry(const QString &programPath);

    State state() const override;
    bool create(std::string &reason) override;
    std::string where() const override;

    QString filePath() const;

private:
    QString m_programPath;
};

#endif
