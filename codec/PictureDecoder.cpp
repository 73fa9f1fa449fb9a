#include "codec/PictureDecoder.h"

#include "codec/AvLog.h"
#include "codec/AvObjects.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <vector>

namespace kelvora::codec {

using detail::avError;

namespace {

// A JPEG's full-range planes and the same planes as the encoders name them.
AVPixelFormat planesOfJpeg(int format)
{
    switch (format) {
    case AV_PIX_FMT_YUVJ420P:
        return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
        return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
        return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
        return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P:
        return AV_PIX_FMT_YUV411P;
    default:
        return AV_PIX_FMT_NONE;
    }
}

bool paletteHasAlpha(const AVFrame& picture)
{
    const auto* entries = reinterpret_cast<const std::uint32_t*>(picture.data[1]);
    for (int i = 0; entries && i < 256; ++i)
        if (entries[i] >> 24 != 0xFF)
            return true;
    return false;
}

AVPixelFormat ffv1FormatFor(const AVFrame& decoded)
{
    switch (decoded.format) {
    case AV_PIX_FMT_RGB24:
        return AV_PIX_FMT_BGR0;
    case AV_PIX_FMT_RGBA:
        return AV_PIX_FMT_BGRA;
    case AV_PIX_FMT_PAL8:
        return paletteHasAlpha(decoded) ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR0;
    case AV_PIX_FMT_GRAY8:
    case AV_PIX_FMT_MONOBLACK:
        return AV_PIX_FMT_GRAY8;
    case AV_PIX_FMT_YA8:  // GStreamer's FFV1 decoder has no grey with alpha
        return AV_PIX_FMT_BGRA;
    case AV_PIX_FMT_RGB48BE:
        return AV_PIX_FMT_GBRP16LE;
    case AV_PIX_FMT_RGBA64BE:
    case AV_PIX_FMT_YA16BE:  // FFV1 has no grey with alpha at 16 bits
        return AV_PIX_FMT_GBRAP16LE;
    case AV_PIX_FMT_GRAY16BE:
        return AV_PIX_FMT_GRAY16LE;
    default:
        return planesOfJpeg(decoded.format);
    }
}

bool pngTakes(int format)
{
    switch (format) {
    case AV_PIX_FMT_RGB24:
    case AV_PIX_FMT_RGBA:
    case AV_PIX_FMT_PAL8:
    case AV_PIX_FMT_GRAY8:
    case AV_PIX_FMT_MONOBLACK:
    case AV_PIX_FMT_YA8:
    case AV_PIX_FMT_RGB48BE:
    case AV_PIX_FMT_RGBA64BE:
    case AV_PIX_FMT_GRAY16BE:
    case AV_PIX_FMT_YA16BE:
        return true;
    default:
        return false;
    }
}

// A pixel at 16 bits a sample; 8-bit samples widened by repeating their byte (x * 257).
struct Sample {
    std::uint16_t red = 0;
    std::uint16_t green = 0;
    std::uint16_t blue = 0;
    std::uint16_t alpha = 0xFFFF;
};

constexpr std::uint16_t wide(std::uint8_t v) { return static_cast<std::uint16_t>(v * 257); }
constexpr std::uint16_t bigEndian(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
// Rounded to the nearest 8-bit value: x * 257 comes back as x.
constexpr std::uint8_t narrow(std::uint16_t v) { return static_cast<std::uint8_t>((v * 255u + 32767u) / 65535u); }
void putLittle(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

Sample grey(std::uint16_t v, std::uint16_t alpha = 0xFFFF) { return {v, v, v, alpha}; }

// Row `y` of a decoded PNG picture; false for a format no PNG decodes to.
bool readRow(const AVFrame& f, int y, std::vector<Sample>& row)
{
    const std::uint8_t* p = f.data[0] + static_cast<std::ptrdiff_t>(y) * f.linesize[0];
    const auto* palette = reinterpret_cast<const std::uint32_t*>(f.data[1]);
    for (int x = 0; x < f.width; ++x) {
        Sample& s = row[static_cast<std::size_t>(x)];
        switch (f.format) {
        case AV_PIX_FMT_RGB24:
            s = {wide(p[3 * x]), wide(p[3 * x + 1]), wide(p[3 * x + 2])};
            break;
        case AV_PIX_FMT_RGBA:
            s = {wide(p[4 * x]), wide(p[4 * x + 1]), wide(p[4 * x + 2]), wide(p[4 * x + 3])};
            break;
        case AV_PIX_FMT_PAL8: {
            const std::uint32_t c = palette[p[x]];
            s = {wide(static_cast<std::uint8_t>(c >> 16)), wide(static_cast<std::uint8_t>(c >> 8)),
                 wide(static_cast<std::uint8_t>(c)), wide(static_cast<std::uint8_t>(c >> 24))};
            break;
        }
        case AV_PIX_FMT_GRAY8:
            s = grey(wide(p[x]));
            break;
        case AV_PIX_FMT_MONOBLACK:
            s = grey((p[x / 8] >> (7 - x % 8) & 1) ? 0xFFFF : 0);
            break;
        case AV_PIX_FMT_YA8:
            s = grey(wide(p[2 * x]), wide(p[2 * x + 1]));
            break;
        case AV_PIX_FMT_RGB48BE:
            s = {bigEndian(p + 6 * x), bigEndian(p + 6 * x + 2), bigEndian(p + 6 * x + 4)};
            break;
        case AV_PIX_FMT_RGBA64BE:
            s = {bigEndian(p + 8 * x), bigEndian(p + 8 * x + 2), bigEndian(p + 8 * x + 4), bigEndian(p + 8 * x + 6)};
            break;
        case AV_PIX_FMT_GRAY16BE:
            s = grey(bigEndian(p + 2 * x));
            break;
        case AV_PIX_FMT_YA16BE:
            s = grey(bigEndian(p + 4 * x), bigEndian(p + 4 * x + 2));
            break;
        default:
            return false;
        }
    }
    return true;
}

bool hasAlpha(int format)
{
    return format == AV_PIX_FMT_BGRA || format == AV_PIX_FMT_YA8 || format == AV_PIX_FMT_GBRAP16LE;
}
bool isGrey(int format)
{
    return format == AV_PIX_FMT_GRAY8 || format == AV_PIX_FMT_YA8 || format == AV_PIX_FMT_GRAY16LE;
}

// Row `y` of `t` from the samples.
void writeRow(AVFrame& t, int y, const std::vector<Sample>& row)
{
    auto at = [&](int plane) { return t.data[plane] + static_cast<std::ptrdiff_t>(y) * t.linesize[plane]; };
    std::uint8_t* p = at(0);
    for (int x = 0; x < t.width; ++x) {
        const Sample& s = row[static_cast<std::size_t>(x)];
        switch (t.format) {
        case AV_PIX_FMT_BGR0:
        case AV_PIX_FMT_BGRA:
            p[4 * x] = narrow(s.blue);
            p[4 * x + 1] = narrow(s.green);
            p[4 * x + 2] = narrow(s.red);
            p[4 * x + 3] = t.format == AV_PIX_FMT_BGRA ? narrow(s.alpha) : 0;
            break;
        case AV_PIX_FMT_RGB24:
            p[3 * x] = narrow(s.red);
            p[3 * x + 1] = narrow(s.green);
            p[3 * x + 2] = narrow(s.blue);
            break;
        case AV_PIX_FMT_GRAY8:
            p[x] = narrow(s.red);
            break;
        case AV_PIX_FMT_YA8:
            p[2 * x] = narrow(s.red);
            p[2 * x + 1] = narrow(s.alpha);
            break;
        case AV_PIX_FMT_GRAY16LE:
            putLittle(p + 2 * x, s.red);
            break;
        default:  // GBRP16LE, GBRAP16LE: green, blue, red[, alpha] planes
            putLittle(at(0) + 2 * x, s.green);
            putLittle(at(1) + 2 * x, s.blue);
            putLittle(at(2) + 2 * x, s.red);
            if (t.format == AV_PIX_FMT_GBRAP16LE)
                putLittle(at(3) + 2 * x, s.alpha);
            break;
        }
    }
}

// What the target would lose of the row: said when the codec promises every pixel.
std::string lossIn(const std::vector<Sample>& row, int target, int y)
{
    for (std::size_t x = 0; x < row.size(); ++x) {
        const Sample& s = row[x];
        const char* what = nullptr;
        if (!hasAlpha(target) && s.alpha != 0xFFFF)
            what = "ha pixel trasparenti, che il primo fotogramma non ha";
        else if (isGrey(target) && (s.red != s.green || s.green != s.blue))
            what = "ha colori, mentre il primo fotogramma è in scala di grigi";
        if (what)
            return std::string(what) + " (colonna " + std::to_string(x + 1) + ", riga " + std::to_string(y + 1) + ")";
    }
    return {};
}

struct FreeScaler {
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};

// A JPEG's YCbCr in RGB, as ffmpeg converts it when it shows or re-encodes the picture (its
// scaler's default, bicubic: chroma interpolated to full size).
bool jpegToRgb(const AVFrame& decoded, AVFrame& target, std::string& error)
{
    const std::unique_ptr<SwsContext, FreeScaler> scaler(
        sws_getContext(decoded.width, decoded.height, static_cast<AVPixelFormat>(decoded.format), target.width,
                       target.height, AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!scaler) {
        error = "i colori dell'immagine non si convertono";
        return false;
    }
    sws_scale(scaler.get(), decoded.data, decoded.linesize, 0, decoded.height, target.data, target.linesize);
    return true;
}

}  // namespace

platform::FourCC pictureFourCC(bitmap::PictureType type)
{
    return type == bitmap::PictureType::Png ? platform::FourCC("MPNG") : platform::FourCC("MJPG");
}

AVPixelFormat pictureStreamFormat(Codec codec, const AVFrame& decoded)
{
    const bool fromJpeg = planesOfJpeg(decoded.format) != AV_PIX_FMT_NONE;
    switch (codec) {
    case Codec::Ffv1:
        return ffv1FormatFor(decoded);
    case Codec::Png:
        if (fromJpeg)
            return AV_PIX_FMT_RGB24;
        return pngTakes(decoded.format) ? static_cast<AVPixelFormat>(decoded.format) : AV_PIX_FMT_NONE;
    case Codec::H264:
        return fromJpeg || pngTakes(decoded.format) ? AV_PIX_FMT_RGB24 : AV_PIX_FMT_NONE;
    case Codec::Raw:
        break;
    }
    return AV_PIX_FMT_NONE;
}

bool convertPicture(const AVFrame& decoded, Codec codec, AVFrame& target, std::string& error)
{
    if (decoded.width != target.width || decoded.height != target.height) {
        error = "l'immagine misura " + std::to_string(decoded.width) + " x " + std::to_string(decoded.height) +
                ", il primo fotogramma " + std::to_string(target.width) + " x " + std::to_string(target.height);
        return false;
    }
    const int asStored =
        planesOfJpeg(decoded.format) != AV_PIX_FMT_NONE ? planesOfJpeg(decoded.format) : decoded.format;
    if (asStored == target.format) {
        // The same samples in the same planes: PNG into PNG, a JPEG's planes into FFV1.
        av_image_copy(target.data, target.linesize, const_cast<const std::uint8_t**>(decoded.data), decoded.linesize,
                      static_cast<AVPixelFormat>(target.format), target.width, target.height);
        return true;
    }
    if (planesOfJpeg(decoded.format) != AV_PIX_FMT_NONE && target.format == AV_PIX_FMT_RGB24)
        return jpegToRgb(decoded, target, error);
    std::vector<Sample> row(static_cast<std::size_t>(decoded.width));
    const bool keepsAll = codec != Codec::H264;
    for (int y = 0; y < decoded.height; ++y) {
        if (!readRow(decoded, y, row)) {
            error = "l'immagine è decodificata in una forma che questo tipo di video non prende";
            return false;
        }
        if (keepsAll) {
            error = lossIn(row, target.format, y);
            if (!error.empty())
                return false;
        }
        writeRow(target, y, row);
    }
    return true;
}

struct PictureDecoder::Context : detail::AvObjects {
    std::unique_ptr<AvLogCapture> log;
    std::vector<std::uint8_t> input;
};

PictureDecoder::PictureDecoder(std::unique_ptr<Context> context) : m_context(std::move(context)) {}

PictureDecoder::~PictureDecoder() = default;

std::unique_ptr<PictureDecoder> PictureDecoder::open(bitmap::PictureType type, std::string& error)
{
    keepLibraryLogQuiet();
    const AVCodec* decoder =
        avcodec_find_decoder(type == bitmap::PictureType::Png ? AV_CODEC_ID_PNG : AV_CODEC_ID_MJPEG);
    if (!decoder) {
        error = std::string("la libreria libavcodec non ha il decodificatore ") +
                (type == bitmap::PictureType::Png ? "PNG" : "JPEG");
        return nullptr;
    }
    auto context = std::make_unique<Context>();
    if (!context->allocate(decoder)) {
        error = "memoria insufficiente per il decodificatore";
        return nullptr;
    }
    AVCodecContext& c = *context->codec;
    context->log = std::make_unique<AvLogCapture>(&c);
    c.thread_count = 1;  // a save decodes on several threads, one picture each
    if (const int result = avcodec_open2(&c, decoder, nullptr); result < 0) {
        error = "il decodificatore non si apre (" + avError(result) + ")";
        return nullptr;
    }
    return std::unique_ptr<PictureDecoder>(new PictureDecoder(std::move(context)));
}

bool PictureDecoder::decode(std::span<const std::uint8_t> file, std::string& error)
{
    Context& x = *m_context;
    (void)x.log->take();
    const int result = detail::decodeKeyFrame(x, x.input, file, nullptr);
    const std::string logged = x.log->take();
    if (result < 0 || !logged.empty()) {
        error = result < 0 ? (result == AVERROR(EAGAIN) ? std::string("nessuna immagine") : avError(result)) : logged;
        if (result >= 0 && !logged.empty())
            error = "l'immagine è danneggiata (" + logged + ")";
        return false;
    }
    return true;
}

const AVFrame& PictureDecoder::picture() const { return *m_context->frame; }

}  // namespace kelvora::codec
