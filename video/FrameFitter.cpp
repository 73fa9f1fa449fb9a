#include "video/FrameFitter.h"

#include "photo/FittedFrame.h"
#include "video/FramePipeline.h"

namespace kelvora::video {

FrameFitter::FrameFitter(const photo::Framing& framing)
    : m_framing(framing),
      m_rgb(static_cast<std::size_t>(framing.size.width) * static_cast<std::size_t>(framing.size.height) * 3)
{
    m_view.format = AV_PIX_FMT_RGB24;
    m_view.width = framing.size.width;
    m_view.height = framing.size.height;
    m_view.data[0] = m_rgb.data();
    m_view.linesize[0] = framing.size.width * 3;
}

std::string FrameFitter::fit(const PreparedFrame& frame)
{
    photo::SourcePicture::Result made =
        frame.isPicture()
            ? photo::SourcePicture::decode(frame.picture->bytes, {m_framing, m_framing.size}, std::move(m_decoded))
            : photo::SourcePicture::fromBitmap(frame.plan.shape, frame.dib->bits(), frame.plan.palette,
                                               std::move(m_decoded));
    if (!made.picture)
        return made.error;
    photo::fitInto(*made.picture, m_framing, {m_rgb.data(), m_view.linesize[0], m_view.width, m_view.height});
    m_decoded = made.picture->takeStorage();
    return {};
}

std::size_t fittedBitmapBytes(photo::OutputSize size)
{
    const std::size_t row = (static_cast<std::size_t>(size.width) * 3 + 3) / 4 * 4;
    return row * static_cast<std::size_t>(size.height);
}

void FrameFitter::bitmapRows(std::vector<std::uint8_t>& out) const
{
    const auto width = static_cast<std::size_t>(m_view.width);
    const std::size_t row = (width * 3 + 3) / 4 * 4;
    out.assign(row * static_cast<std::size_t>(m_view.height), 0);
    for (int y = 0; y < m_view.height; ++y) {
        const std::uint8_t* in = m_rgb.data() + static_cast<std::size_t>(y) * width * 3;
        std::uint8_t* to = out.data() + static_cast<std::size_t>(m_view.height - 1 - y) * row;
        for (std::size_t x = 0; x < width; ++x) {
            to[3 * x] = in[3 * x + 2];
            to[3 * x + 1] = in[3 * x + 1];
            to[3 * x + 2] = in[3 * x];
        }
    }
}

}  // namespace kelvora::video
