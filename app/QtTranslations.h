#pragma once

#include <QCoreApplication>

namespace kelvora::app {

// Qt's own dialogs and prompts (the file dialog, its "replace the file?" question, standard
// button texts) in Italian, the window's language, whatever the user's locale: loads Qt's
// translation into the application. False when Qt's Italian translation is not installed;
// those texts then stay in English.
[[nodiscard]] bool installQtTranslations(QCoreApplication& application);

}  // namespace kelvora::app
