#include "codec/PictureDecoder.h"

#include "codec/AvLog.h"
#include "codec/AvObjects.h"
#include "codec/PngGreyKey.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <vector>

namespace kelvora::codec {

using detail::avError;

namespace {

// The grey sample of pixel `x` of a row libavcodec decoded from a grey PNG of `bitDepth`
// bits: 1-bit rows packed, deeper ones widened to 8 bits (alone or beside an alpha byte).
int greySample(const AVFrame& f, const std::uint8_t* row, int x, int bitDepth)
{
    if (f.format == AV_PIX_FMT_MONOBLACK)
        return row[x / 8] >> (7 - x % 8) & 1;
    const int step = f.format == AV_PIX_FMT_YA8 ? 2 : 1;
    return row[step * x] / (255 / ((1 << bitDepth) - 1));
}

// Why a picture did not decode, from libavcodec's result and the error it logged.
std::string decodeFailure(int result, const std::string& logged)
{
    const std::string words = logged.empty() ? avError(result) : logged;
    // Its decoders check a picture's sides against what they can hold before anything else.
    if (logged.starts_with("Invalid image size") || logged.starts_with("Picture size"))
        return "l'immagine è troppo grande perché libavcodec la decodifichi (" + words + ")";
    if (result == AVERROR(ENOMEM))
        return "memoria insufficiente per decodificare l'immagine";
    if (result == AVERROR(EAGAIN))
        return "l'immagine è danneggiata (libavcodec non ne ricava nessuna immagine)";
    // A logged error beside a picture is damage concealed; zlib's errors come as external ones.
    if (result >= 0 || result == AVERROR_INVALIDDATA || result == AVERROR_EXTERNAL)
        return "l'immagine è danneggiata (" + words + ")";
    return logged.empty() ? words : avError(result) + ": " + logged;
}

}  // namespace

std::string decodingRefusal(const bitmap::JpegFacts& jpeg)
{
    if (jpeg.componentCount != 3)
        return {};
    const auto& c = jpeg.components;
    const bool rgb = (jpeg.adobe && jpeg.adobeTransform == 0) || (c[0].id == 'R' && c[1].id == 'G' && c[2].id == 'B');
    const bool subsampled = std::any_of(c.begin(), c.begin() + 3, [](const bitmap::JpegComponent& component) {
        return component.horizontal != 1 || component.vertical != 1;
    });
    if (rgb && subsampled)
        return "è un JPEG a componenti RGB sottocampionate, che libavcodec decodifica come Y'CbCr, con altri colori";
    return {};
}

platform::FourCC pictureFourCC(bitmap::PictureType type)
{
    return type == bitmap::PictureType::Png ? platform::FourCC("MPNG") : platform::FourCC("MJPG");
}

struct PictureDecoder::Context : detail::AvObjects {
    bitmap::PictureType type = bitmap::PictureType::Png;
    std::unique_ptr<AvLogCapture> log;
    std::vector<std::uint8_t> input;
    // A low-depth grey PNG with its transparent grey applied, when picture() is this.
    std::unique_ptr<AVFrame, detail::FreeFrame> keyed{av_frame_alloc()};
    bool keyedShown = false;

    // The decoded frame again as grey with alpha, the key's pixels transparent.
    [[nodiscard]] bool applyGreyKey(PngGreyKey key)
    {
        const AVFrame& f = *frame;
        if (f.format != AV_PIX_FMT_MONOBLACK && f.format != AV_PIX_FMT_GRAY8 && f.format != AV_PIX_FMT_YA8)
            return true;  // not a form this fix is for: the picture as libavcodec gives it
        AVFrame& out = *keyed;
        av_frame_unref(&out);
        out.format = AV_PIX_FMT_YA8;
        out.width = f.width;
        out.height = f.height;
        if (av_frame_get_buffer(&out, 0) < 0)
            return false;
        const int widen = 255 / ((1 << key.bitDepth) - 1);
        for (int y = 0; y < f.height; ++y) {
            const std::uint8_t* in = f.data[0] + static_cast<std::ptrdiff_t>(y) * f.linesize[0];
            std::uint8_t* to = out.data[0] + static_cast<std::ptrdiff_t>(y) * out.linesize[0];
            for (int x = 0; x < f.width; ++x) {
                const int sample = greySample(f, in, x, key.bitDepth);
                to[2 * x] = static_cast<std::uint8_t>(sample * widen);
                to[2 * x + 1] = sample == key.key ? 0 : 0xFF;
            }
        }
        keyedShown = true;
        return true;
    }
};

PictureDecoder::PictureDecoder(std::unique_ptr<Context> context) : m_context(std::move(context)) {}

PictureDecoder::~PictureDecoder() = default;

platform::Result<std::unique_ptr<PictureDecoder>> PictureDecoder::open(bitmap::PictureType type)
{
    keepLibraryLogQuiet();
    const AVCodec* decoder =
        avcodec_find_decoder(type == bitmap::PictureType::Png ? AV_CODEC_ID_PNG : AV_CODEC_ID_MJPEG);
    if (!decoder)
        return platform::Failure{std::string("la libreria libavcodec non ha il decodificatore ") +
                                 (type == bitmap::PictureType::Png ? "PNG" : "JPEG")};
    auto context = std::make_unique<Context>();
    if (!context->allocate(decoder) || !context->keyed)
        return platform::Failure{"memoria insufficiente per il decodificatore"};
    context->type = type;
    AVCodecContext& c = *context->codec;
    context->log = std::make_unique<AvLogCapture>(&c);
    c.thread_count = 1;  // a save decodes on several threads, one picture each
    if (const int result = avcodec_open2(&c, decoder, nullptr); result < 0)
        return platform::Failure{"il decodificatore non si apre (" + avError(result) + ")"};
    return std::unique_ptr<PictureDecoder>(new PictureDecoder(std::move(context)));
}

platform::Result<std::unique_ptr<PictureDecoder>> PictureDecoder::decodeOne(bitmap::PictureType type,
                                                                            std::span<const std::uint8_t> file)
{
    auto decoder = open(type);
    if (!decoder)
        return decoder;
    if (auto decoded = decoder.value()->decode(file); !decoded)
        return decoded.failure();
    return decoder;
}

platform::Status PictureDecoder::decode(std::span<const std::uint8_t> file)
{
    Context& x = *m_context;
    x.keyedShown = false;
    (void)x.log->take();
    const int result = detail::decodeKeyFrame(x, x.input, file, nullptr);
    const std::string logged = x.log->take();
    if (result < 0 || !logged.empty())
        return platform::Failure{decodeFailure(result, logged)};
    if (x.type == bitmap::PictureType::Png)
        if (const std::optional<PngGreyKey> key = lowDepthGreyKey(file); key && !x.applyGreyKey(*key))
            return platform::Failure{"memoria insufficiente per il decodificatore"};
    return {};
}

const AVFrame& PictureDecoder::picture() const { return m_context->keyedShown ? *m_context->keyed : *m_context->frame; }

}  // namespace kelvora::codec
