#include "app/AppIcon.h"

#include <QPainter>
#include <QPixmap>

namespace kelvora::app {

QIcon makeAppIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.fillRect(2, 4, 28, 24, QColor(40, 40, 48));
    // Sprocket holes along both edges.
    for (int x = 4; x < 30; x += 6) {
        painter.fillRect(x, 6, 3, 3, QColor(230, 230, 230));
        painter.fillRect(x, 23, 3, 3, QColor(230, 230, 230));
    }
    // Two frames with a sun and a sky, the second a step further on.
    painter.fillRect(4, 11, 11, 10, QColor(90, 160, 230));
    painter.fillRect(17, 11, 11, 10, QColor(90, 160, 230));
    painter.setBrush(QColor(250, 200, 40));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(6, 13, 5, 5);
    painter.drawEllipse(21, 13, 5, 5);
    return QIcon(pixmap);
}

}  // namespace kelvora::app
