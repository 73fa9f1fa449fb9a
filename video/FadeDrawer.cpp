#include "video/FadeDrawer.h"

#include "codec/Yuv420.h"
#include "slideshow/Blend.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace kelvora::video {

FadeDrawer::FadeDrawer(slideshow::ShowSequence& sequence, const Slideshow& show, codec::Codec codec,
                       photo::OutputSize size, std::unique_ptr<codec::LosslessEncoder> encoder)
    : m_sequence(sequence), m_show(show), m_codec(codec), m_size(size), m_encoder(std::move(encoder))
{
}

std::size_t FadeDrawer::pictureOf(std::size_t item) const
{
    const std::vector<slideshow::Shown>& shown = m_sequence.shown();
    return item < shown.size() ? shown[item].picture : m_sequence.pictures();
}

std::vector<std::uint8_t>& FadeDrawer::nextFrame()
{
    if (m_count == m_frames.size())
        m_frames.emplace_back();
    return m_frames[m_count++];
}

platform::Status FadeDrawer::add(std::span<const std::uint8_t> rgb, std::span<const std::uint8_t> frame)
{
    m_count = 0;
    const std::size_t first = m_sequence.shown().size();
    const bool isFirst = m_sequence.pictures() == 0;
    m_sequence.add(m_show.durationOf(m_sequence.pictures()));
    m_nextRgb.assign(rgb.begin(), rgb.end());
    if (isFirst)
        m_pendingRgb = m_nextRgb;  // a fade in draws from the picture itself
    platform::Status drawn = drawFrom(first);
    std::swap(m_pendingRgb, m_nextRgb);
    m_pendingFrame.assign(frame.begin(), frame.end());
    return drawn;
}

platform::Status FadeDrawer::end()
{
    m_count = 0;
    const std::size_t first = m_sequence.shown().size();
    m_sequence.end();
    return drawFrom(first);
}

// The sequence's frames from `first` on: the pending picture's own, or drawn.
platform::Status FadeDrawer::drawFrom(std::size_t first)
{
    const std::vector<slideshow::Shown>& shown = m_sequence.shown();
    const std::ptrdiff_t stride = std::ptrdiff_t{m_size.width} * 3;
    m_drawn.resize(m_pendingRgb.size());
    for (std::size_t i = first; i < shown.size(); ++i) {
        std::vector<std::uint8_t>& out = nextFrame();
        if (shown[i].kind == slideshow::Shown::Kind::Held) {
            out = m_pendingFrame;
            continue;
        }
        slideshow::drawFade(shown[i], {m_pendingRgb.data(), stride, m_size.width, m_size.height},
                            {m_nextRgb.data(), stride, m_size.width, m_size.height},
                            {m_drawn.data(), stride, m_size.width, m_size.height});
        if (auto encoded = encode(out); !encoded)
            return encoded;
    }
    return {};
}

platform::Status FadeDrawer::encode(std::vector<std::uint8_t>& out)
{
    if (m_codec == codec::Codec::H264) {
        const codec::EvenSize even = codec::evenSize({m_size.width, -m_size.height, 24, 0, 0});
        out.resize(even.planeBytes());
        codec::rgbToYuv420(m_drawn.data(), std::ptrdiff_t{m_size.width} * 3, m_size.width, m_size.height, even, out);
        return {};
    }
    if (!m_encoder)
        return platform::Failure{"nessun codificatore"};
    AVFrame view{};
    view.format = AV_PIX_FMT_RGB24;
    view.width = m_size.width;
    view.height = m_size.height;
    view.data[0] = m_drawn.data();
    view.linesize[0] = m_size.width * 3;
    return m_encoder->encodePicture(view, out);
}

}  // namespace kelvora::video
