// Writes the application icon as hicolor PNGs, from the same drawing the window uses:
//   render-app-icon <hicolor-folder> <size>...
// Each size lands in <hicolor-folder>/<size>x<size>/apps/kelvora-maker.png.

#include "app/AppIcon.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: render-app-icon <hicolor-folder> <size>...\n");
        return 2;
    }
    const QDir root(arguments[1]);
    for (const QString& text : arguments.mid(2)) {
        bool ok = false;
        const int size = text.toInt(&ok);
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        if (!ok || size <= 0 || !root.mkpath(folder) ||
            !kelvora::app::renderAppIcon(size).save(root.filePath(folder + QStringLiteral("/kelvora-maker.png")))) {
            std::fprintf(stderr, "render-app-icon: cannot write the %s pixel icon\n", qPrintable(text));
            return 1;
        }
    }
    return 0;
}
