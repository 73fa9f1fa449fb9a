#include "photo/FittedFrame.h"

#include "photo/LinearLight.h"

#include <algorithm>

namespace kelvora::photo {

namespace {

void fillBackground(RgbFrame frame, Rgb colour, int x0, int y0, int x1, int y1)
{
    for (int y = y0; y < y1; ++y) {
        std::uint8_t* p = frame.data + static_cast<std::ptrdiff_t>(y) * frame.stride + 3 * x0;
        for (int x = x0; x < x1; ++x, p += 3) {
            p[0] = colour.red;
            p[1] = colour.green;
            p[2] = colour.blue;
        }
    }
}

// One resampled pixel as the frame shows it.
struct Blend {
    Rgb background;

    void operator()(const Pixel& v, std::uint8_t* out) const
    {
        const float alpha = std::clamp(v[3], 0.0f, 1.0f);
        if (alpha >= 1.0f) {
            out[0] = linearToSrgb8(v[0]);
            out[1] = linearToSrgb8(v[1]);
            out[2] = linearToSrgb8(v[2]);
            return;
        }
        // Straight colours back from premultiplied ones, then a browser's blend of 8-bit values.
        const unsigned a = static_cast<unsigned>(alpha * 255.0f + 0.5f);
        const float inverse = alpha > 0.0f ? 1.0f / alpha : 0.0f;
        const std::uint8_t bg[3] = {background.red, background.green, background.blue};
        for (int c = 0; c < 3; ++c) {
            const unsigned colour = linearToSrgb8(v[c] * inverse);
            out[c] = static_cast<std::uint8_t>((colour * a + bg[c] * (255 - a) + 127) / 255);
        }
    }
};

// An opaque sRGB picture that fills the frame at its own size, as stored: its pixels are the
// frame's (the tables would give them back unchanged, at the cost of the whole way there).
bool copiedWhole(const SourcePicture& picture, const Placement& p, RgbFrame frame)
{
    const bool plain = picture.layout() == Layout::Rgb8 || picture.layout() == Layout::Grey8;
    if (!plain || picture.profiled() || picture.orientation() != Orientation::Upright ||
        picture.width() != picture.fileWidth() || picture.height() != picture.fileHeight() ||
        !p.identity(frame.width, frame.height) || picture.width() != frame.width || picture.height() != frame.height)
        return false;
    for (int y = 0; y < frame.height; ++y) {
        const std::uint8_t* in = picture.samples(y);
        std::uint8_t* out = frame.data + static_cast<std::ptrdiff_t>(y) * frame.stride;
        if (picture.layout() == Layout::Rgb8) {
            std::copy(in, in + 3 * frame.width, out);
        } else {
            for (int x = 0; x < frame.width; ++x)
                out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = in[x];
        }
    }
    return true;
}

}  // namespace

void fitInto(const SourcePicture& picture, const Framing& framing, RgbFrame frame)
{
    const Sides upright = picture.upright();
    const Placement p = place(upright.width, upright.height, {frame.width, frame.height}, framing.fit);
    if (copiedWhole(picture, p, frame))
        return;
    fillBackground(frame, framing.background, 0, 0, frame.width, p.y);
    fillBackground(frame, framing.background, 0, p.y + p.height, frame.width, frame.height);
    fillBackground(frame, framing.background, 0, p.y, p.x, p.y + p.height);
    fillBackground(frame, framing.background, p.x + p.width, p.y, frame.width, p.y + p.height);

    const Orientation o = picture.orientation();
    // The part shown, in the file's stored pixels, then in the decoded ones (a JPEG decoded
    // smaller in its DCT covers the same picture in fewer pixels).
    Window window = storedWindow(o, picture.fileWidth(), picture.fileHeight(),
                                 {p.sourceX, p.sourceY, p.sourceWidth, p.sourceHeight});
    const double sx = static_cast<double>(picture.width()) / picture.fileWidth();
    const double sy = static_cast<double>(picture.height()) / picture.fileHeight();
    window = {window.x * sx, window.y * sy, window.width * sx, window.height * sy};
    // Resampled in the stored picture's own directions, then turned upright as it is placed.
    const int across = swapsSides(o) ? p.height : p.width;
    const int down = swapsSides(o) ? p.width : p.height;
    const PixelMap map = uprightMap(o, across, down);
    const Blend blend{framing.background};
    resample(picture, window, across, down, [&](int j, const Pixel* row) {
        for (int i = 0; i < across; ++i) {
            const int a = map.a0 + map.ai * i + map.aj * j;
            const int b = map.b0 + map.bi * i + map.bj * j;
            blend(row[i], frame.data + static_cast<std::ptrdiff_t>(p.y + b) * frame.stride + 3 * (p.x + a));
        }
    });
}

}  // namespace kelvora::photo
