#ifndef TAVRIN_QT_APP_TRANSLATIONS_H
#define TAVRIN_QT_APP_TRANSLATIONS_H

class QLocale;

namespace Translations {
// Loads Qt's own translations of its standard texts (context menus of text boxes,
// standard buttons) for the given locale, so that nothing in the German window
// turns English on a German system. Returns whether a translation was installed.
bool installQtTranslations(const QLocale &locale);
} // namespace Translations

#endif
