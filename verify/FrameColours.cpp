#include "verify/FrameColours.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <array>
#include <cmath>

namespace kelvora::verify {

namespace {

// The luma weights of red and blue for the frame's matrix.
struct Weights {
    double red;
    double blue;
};

Weights weightsOf(AVColorSpace space)
{
    switch (space) {
    case AVCOL_SPC_BT709:
        return {0.2126, 0.0722};
    case AVCOL_SPC_FCC:
        return {0.30, 0.11};
    case AVCOL_SPC_SMPTE240M:
        return {0.212, 0.087};
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return {0.2627, 0.0593};
    default:
        return {0.299, 0.114};  // BT.601, what ffmpeg takes an untagged frame for
    }
}

bool fullRange(const AVFrame& frame, const AVPixFmtDescriptor& desc)
{
    if (frame.color_range == AVCOL_RANGE_JPEG)
        return true;
    const std::string name = desc.name;
    // The JPEG formats are full range by name; grey is, as libswscale takes it, unless tagged.
    return name.starts_with("yuvj") || (desc.nb_components <= 2 && frame.color_range != AVCOL_RANGE_MPEG);
}

std::uint8_t eight(double value) { return static_cast<std::uint8_t>(std::clamp(std::round(value * 255), 0.0, 255.0)); }

// One component's row `y` (in that component's plane) into `out`.
void readComponent(const AVFrame& frame, const AVPixFmtDescriptor& desc, int component, int y, int width,
                   std::vector<std::uint32_t>& out)
{
    out.resize(static_cast<std::size_t>(width));
    const std::uint8_t* data[4] = {frame.data[0], frame.data[1], frame.data[2], frame.data[3]};
    av_read_image_line2(out.data(), data, frame.linesize, &desc, 0, y, component, width, 0, 4);
}

}  // namespace

std::string coloursRefusal(const AVFrame& frame)
{
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    if (!desc)
        return "il fotogramma decodificato non ha un formato di pixel noto";
    const std::string name = desc->name;
    if ((desc->flags & (AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_FLOAT | AV_PIX_FMT_FLAG_BAYER)) != 0 ||
        name.starts_with("xyz") || desc->nb_components == 0)
        return "il fotogramma è decodificato in " + name + ", un formato di pixel che la verifica non legge";
    for (int c = 0; c < desc->nb_components; ++c)
        if (desc->comp[c].depth > 16)
            return "il fotogramma è decodificato in " + name + ", un formato di pixel che la verifica non legge";
    return {};
}

void frameRgb(const AVFrame& frame, std::vector<std::uint8_t>& rgb)
{
    const AVPixFmtDescriptor& desc = *av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    const int width = frame.width;
    rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(std::max(frame.height, 0)) * 3);
    std::array<std::vector<std::uint32_t>, 3> rows;
    const bool palette = (desc.flags & AV_PIX_FMT_FLAG_PAL) != 0;
    const bool isRgb = (desc.flags & AV_PIX_FMT_FLAG_RGB) != 0;
    const bool grey = !palette && !isRgb && desc.nb_components <= 2;
    const bool full = fullRange(frame, desc);
    const bool whiteIsZero = frame.format == AV_PIX_FMT_MONOWHITE;
    const Weights k = weightsOf(frame.colorspace);
    const int chromaWidth = -((-width) >> desc.log2_chroma_w);
    for (int y = 0; y < frame.height; ++y) {
        std::uint8_t* out = rgb.data() + static_cast<std::size_t>(y) * width * 3;
        if (palette) {
            readComponent(frame, desc, 0, y, width, rows[0]);
            const auto* table = reinterpret_cast<const std::uint32_t*>(frame.data[1]);
            for (int x = 0; x < width; ++x) {
                const std::uint32_t entry = table[rows[0][static_cast<std::size_t>(x)] & 0xFF];
                out[3 * x] = static_cast<std::uint8_t>(entry >> 16);
                out[3 * x + 1] = static_cast<std::uint8_t>(entry >> 8);
                out[3 * x + 2] = static_cast<std::uint8_t>(entry);
            }
            continue;
        }
        const int components = grey ? 1 : 3;
        for (int c = 0; c < components; ++c)
            readComponent(frame, desc, c, c == 0 || isRgb ? y : y >> desc.log2_chroma_h,
                          c == 0 || isRgb ? width : chromaWidth, rows[static_cast<std::size_t>(c)]);
        if (isRgb) {
            for (int c = 0; c < 3; ++c) {
                const double top = static_cast<double>((std::uint64_t{1} << desc.comp[c].depth) - 1);
                for (int x = 0; x < width; ++x)
                    out[3 * x + c] = eight(rows[static_cast<std::size_t>(c)][static_cast<std::size_t>(x)] / top);
            }
            continue;
        }
        // Y'CbCr (or grey) at its depth: limited range puts black at 16 and white at 235 for
        // 8 bits, scaled for more; chroma is centred on half the range.
        const int depth = desc.comp[0].depth;
        const double scale = static_cast<double>(std::uint64_t{1} << depth) / 256.0;
        const double top = static_cast<double>((std::uint64_t{1} << depth) - 1);
        const double lumaBlack = full ? 0 : 16 * scale;
        const double lumaSpan = full ? top : 219 * scale;
        const double chromaZero = static_cast<double>(std::uint64_t{1} << (depth - 1));
        const double chromaSpan = full ? top : 224 * scale;
        for (int x = 0; x < width; ++x) {
            const double sample = rows[0][static_cast<std::size_t>(x)];
            double luma = (sample - lumaBlack) / lumaSpan;
            if (grey) {
                if (depth == 1)
                    luma = whiteIsZero ? 1 - sample : sample;
                out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = eight(luma);
                continue;
            }
            const auto at = static_cast<std::size_t>(x >> desc.log2_chroma_w);
            const double cb = (rows[1][at] - chromaZero) / chromaSpan;
            const double cr = (rows[2][at] - chromaZero) / chromaSpan;
            const double red = luma + 2 * (1 - k.red) * cr;
            const double blue = luma + 2 * (1 - k.blue) * cb;
            const double green = (luma - k.red * red - k.blue * blue) / (1 - k.red - k.blue);
            out[3 * x] = eight(red);
            out[3 * x + 1] = eight(green);
            out[3 * x + 2] = eight(blue);
        }
    }
}

}  // namespace kelvora::verify
