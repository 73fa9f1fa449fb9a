#include "verify/DisplayTurn.h"

extern "C" {
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

#include <cmath>
#include <cstring>

namespace kelvora::verify {

namespace {

// Element (x, y) of a turned plane of `width` x `height` comes from this place of the plane
// before the turn (whose sides are swapped for a quarter turn).
struct Source {
    int x;
    int y;
};

Source sourceOf(int x, int y, int width, int height, int quarters)
{
    switch (quarters) {
    case 1:  // clockwise: the left column, bottom up, becomes the top row
        return {y, width - 1 - x};
    case 2:
        return {width - 1 - x, height - 1 - y};
    case 3:
        return {height - 1 - y, x};
    default:
        return {x, y};
    }
}

void turnPlane(const std::uint8_t* in, int inStride, std::uint8_t* out, int outStride, int width, int height,
               int element, int quarters, bool mirrored = false)
{
    const int inWidth = quarters % 2 == 1 ? height : width;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            Source from = sourceOf(x, y, width, height, quarters);
            if (mirrored)
                from.x = inWidth - 1 - from.x;
            std::memcpy(out + static_cast<std::ptrdiff_t>(y) * outStride + static_cast<std::ptrdiff_t>(x) * element,
                        in + static_cast<std::ptrdiff_t>(from.y) * inStride +
                            static_cast<std::ptrdiff_t>(from.x) * element,
                        static_cast<std::size_t>(element));
        }
}

}  // namespace

DisplayTurn displayTurnOf(const AVStream& stream)
{
    DisplayTurn turn;
    const auto* matrix =
        reinterpret_cast<const std::int32_t*>(av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    if (!matrix)
        return turn;
    // ffmpeg's reading of the matrix: the angle it turns by, clockwise, within a degree.
    double theta = -av_display_rotation_get(matrix);
    if (std::isnan(theta))
        return turn;
    theta -= 360 * std::floor(theta / 360 + 0.9 / 360);
    for (int quarters = 1; quarters <= 3; ++quarters)
        if (std::fabs(theta - 90.0 * quarters) < 1.0)
            turn.quarters = quarters;
    if (turn.quarters == 0 && std::fabs(theta) > 1.0)
        turn.refusal = "chiede ai lettori di ruotarlo di " + std::to_string(std::lround(theta)) +
                       "°, che ffmpeg fa interpolando: i suoi fotogrammi non si riproducono qui";
    return turn;
}

OrientationTurn turnOfOrientation(photo::Orientation orientation)
{
    switch (orientation) {
    case photo::Orientation::Mirrored:
        return {0, true};
    case photo::Orientation::HalfTurn:
        return {2, false};
    default:
        break;
    }
    // 4: mirrored top to bottom, a mirror and a half turn; 5 (rows for columns), a mirror and
    // three quarters; 6, a quarter; 7, a mirror and a quarter; 8, three quarters.
    switch (static_cast<int>(orientation)) {
    case 4:
        return {2, true};
    case 5:
        return {3, true};
    case 6:
        return {1, false};
    case 7:
        return {1, true};
    case 8:
        return {3, false};
    default:
        return {};
    }
}

bool turnFrame(const AVFrame& in, int quarters, AVFrame& out, bool mirrored)
{
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(in.format));
    if (!desc || (desc->flags & (AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_PAL)) != 0)
        return false;
    const bool subsampled = desc->log2_chroma_w != 0 || desc->log2_chroma_h != 0;
    if (quarters % 2 == 1 && desc->log2_chroma_w != desc->log2_chroma_h)
        return false;
    // Each plane's sample size; luma and subsampled chroma in one plane (4:2:2 packed) cannot turn.
    int element[4] = {0, 0, 0, 0};
    bool chroma[4] = {false, false, false, false};
    for (int c = 0; c < desc->nb_components; ++c) {
        const AVComponentDescriptor& comp = desc->comp[c];
        const bool isChroma = (desc->flags & AV_PIX_FMT_FLAG_RGB) == 0 && (c == 1 || c == 2) && desc->nb_components > 2;
        if (element[comp.plane] != 0 && (element[comp.plane] != comp.step || chroma[comp.plane] != isChroma) &&
            subsampled)
            return false;
        element[comp.plane] = std::max(element[comp.plane], comp.step);
        chroma[comp.plane] = chroma[comp.plane] || isChroma;
    }
    out.format = in.format;
    out.width = quarters % 2 == 1 ? in.height : in.width;
    out.height = quarters % 2 == 1 ? in.width : in.height;
    if (av_frame_get_buffer(&out, 0) < 0)
        return false;
    (void)av_frame_copy_props(&out, &in);
    if (quarters % 2 == 1 && in.sample_aspect_ratio.num > 0)
        out.sample_aspect_ratio = av_inv_q(in.sample_aspect_ratio);
    for (int plane = 0; plane < 4 && element[plane] > 0; ++plane) {
        const int shiftW = chroma[plane] ? desc->log2_chroma_w : 0;
        const int shiftH = chroma[plane] ? desc->log2_chroma_h : 0;
        const int width = -((-out.width) >> (quarters % 2 == 1 ? shiftH : shiftW));
        const int height = -((-out.height) >> (quarters % 2 == 1 ? shiftW : shiftH));
        turnPlane(in.data[plane], in.linesize[plane], out.data[plane], out.linesize[plane], width, height,
                  element[plane], quarters, mirrored);
    }
    return true;
}

void turnRgb(std::span<const std::uint8_t> rgb, int width, int height, int quarters, std::vector<std::uint8_t>& out)
{
    const int outWidth = quarters % 2 == 1 ? height : width;
    const int outHeight = quarters % 2 == 1 ? width : height;
    out.resize(rgb.size());
    turnPlane(rgb.data(), width * 3, out.data(), outWidth * 3, outWidth, outHeight, 3, quarters);
}

}  // namespace kelvora::verify
