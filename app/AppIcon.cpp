#include "app/AppIcon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace kelvora::app {

QImage renderAppIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/kelvora/kelvora-maker.svg"));
    Q_ASSERT_X(renderer.isValid(), "renderAppIcon", "the icon is compiled in");
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

QIcon makeAppIcon() { return QIcon(QPixmap::fromImage(renderAppIcon(32))); }

}  // namespace kelvora::app
