#pragma once

#include <QString>

class QCoreApplication;

// Every text of the program is Japanese; Qt's own texts (standard buttons, the edit fields'
// context menus) are made Japanese too, from the translations Qt ships.
namespace zim {
// Call once the application object exists. Returns false when Qt's Japanese translation is not
// installed; the program then runs with Qt's English texts.
bool load_qt_translations(QCoreApplication* app);
QString qt_translations_missing_note();
} // namespace zim
