#include "app/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool installFrenchTranslations(QCoreApplication *app)
{
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    bool base = false;
    for (const char *name : {"qtbase_fr", "qscintilla_fr"}) {
        auto *translator = new QTranslator(app);
        if (translator->load(QLatin1String(name), folder)) {
            app->installTranslator(translator);
            base = base || QLatin1String(name) == QLatin1String("qtbase_fr");
        } else {
            delete translator;
        }
    }
    return base;
}
