#include "app/qttranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace zim {

bool load_qt_translations(QCoreApplication* app)
{
    auto* translator = new QTranslator(app);
    if (!translator->load(QStringLiteral("qtbase_ja"),
                          QLibraryInfo::location(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    app->installTranslator(translator);
    return true;
}

QString qt_translations_missing_note()
{
    return QStringLiteral("Qt's Japanese translation not found in ") +
           QLibraryInfo::location(QLibraryInfo::TranslationsPath) +
           QStringLiteral(" (package qttranslations5-l10n); standard buttons stay in English");
}

} // namespace zim
