#include "qt/app/Translations.h"

#include "qt/Log.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool Translations::installQtTranslations(const QLocale &locale)
{
    auto *translator = new QTranslator(QCoreApplication::instance());
    const QString directory = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), directory)) {
        qCDebug(lcApp) << "no Qt translation for" << locale.name() << "in" << directory;
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}
