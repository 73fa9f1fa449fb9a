#pragma once

#include <QFrame>
#include <QImage>

namespace kelvora::platform {

// The image control: shows its picture stretched to its own size (aspect ratio not kept)
// inside a single fixed border.
class ImageBox : public QFrame {
    Q_OBJECT
public:
    explicit ImageBox(QWidget* parent = nullptr);

    // A null image removes the picture: the control shows nothing.
    void setPicture(const QImage& picture);
    [[nodiscard]] const QImage& picture() const { return m_picture; }
    [[nodiscard]] bool hasPicture() const { return !m_picture.isNull(); }
    // The size a picture is drawn at, so loaders need not decode more than is shown.
    [[nodiscard]] QSize pictureArea() const { return contentsRect().size(); }
    void Refresh() { repaint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_picture;
};

}  // namespace kelvora::platform
