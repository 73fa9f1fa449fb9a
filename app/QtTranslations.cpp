#include "app/QtTranslations.h"

#include <QLibraryInfo>
#include <QTranslator>

namespace kelvora::app {

bool installQtTranslations(QCoreApplication& application)
{
    // Owned by the application, so it stays loaded as long as any dialog can open.
    auto* translator = new QTranslator(&application);
    if (!translator->load(QStringLiteral("qtbase_it"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

}  // namespace kelvora::app
