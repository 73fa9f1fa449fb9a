#include "platform/toolkit/ImageBox.h"

#include <QPainter>

namespace kelvora::platform {

ImageBox::ImageBox(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
}

void ImageBox::setPicture(const QImage& picture)
{
    m_picture = picture;
    update();
}

void ImageBox::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(contentsRect(), m_picture);
}

}  // namespace kelvora::platform
