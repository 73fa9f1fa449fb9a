// Fitting a camera photo into a video frame: the time and fidelity of our way (libjpeg-turbo's
// DCT scaling, then Lanczos-3 in linear light) beside the libraries one could call instead.
// Fidelity is the PSNR against Lanczos-3 in linear light from the full-size decode.
//
//   kelvora_fit_bench PHOTO.jpg [WIDTH HEIGHT] [RUNS]
//
// The size is the largest of the photo's proportions within WIDTH x HEIGHT (1920 x 1080 by
// default), so that no candidate adds bars; each is timed decode and resample together, one
// thread, the least of RUNS (5).

#include "photo/FittedFrame.h"

extern "C" {
#include <libswscale/swscale.h>
}
#include <turbojpeg.h>
#ifdef KELVORA_BENCH_VIPS
#include <vips/vips.h>
#endif
#ifdef KELVORA_BENCH_ZIMG
#include <zimg.h>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

namespace {

using namespace kelvora::photo;
using Bytes = std::vector<std::uint8_t>;

struct Image {
    int w = 0, h = 0;
    Bytes rgb;
};

Image fullDecode(const Bytes& file)
{
    tjhandle t = tjInitDecompress();
    Image out;
    int sub = 0, space = 0;
    tjDecompressHeader3(t, file.data(), file.size(), &out.w, &out.h, &sub, &space);
    out.rgb.resize(static_cast<std::size_t>(out.w) * out.h * 3);
    tjDecompress2(t, file.data(), file.size(), out.rgb.data(), out.w, 0, out.h, TJPF_RGB, 0);
    tjDestroy(t);
    return out;
}

// Ours: the decode at the scale a frame of `want` calls for, then the fit into w x h.
Image ours(const Bytes& file, int w, int h, OutputSize want)
{
    const Framing framing{{w, h}, Fit::Letterbox, {}};
    auto decoded = SourcePicture::decode(file, {framing, want});
    Image out{w, h, Bytes(static_cast<std::size_t>(w) * h * 3)};
    if (decoded.picture)
        fitInto(*decoded.picture, framing, {out.rgb.data(), w * 3, w, h});
    return out;
}

Image swscaleLanczos(const Bytes& file, int w, int h)
{
    const Image in = fullDecode(file);
    SwsContext* s =
        sws_getContext(in.w, in.h, AV_PIX_FMT_RGB24, w, h, AV_PIX_FMT_RGB24, SWS_LANCZOS, nullptr, nullptr, nullptr);
    // libswscale writes whole vectors: a row of room more.
    Image out{w, h, Bytes(static_cast<std::size_t>(w) * (h + 1) * 3 + 64)};
    const std::uint8_t* src[4] = {in.rgb.data()};
    const int srcStride[4] = {in.w * 3};
    std::uint8_t* dst[4] = {out.rgb.data()};
    const int dstStride[4] = {w * 3};
    sws_scale(s, src, srcStride, 0, in.h, dst, dstStride);
    sws_freeContext(s);
    out.rgb.resize(static_cast<std::size_t>(w) * h * 3);
    return out;
}

#ifdef KELVORA_BENCH_ZIMG
// A plane as zimg wants it: its start and its rows 64-byte aligned.
struct Plane {
    std::vector<std::uint8_t> storage;
    std::uint8_t* data = nullptr;
    std::ptrdiff_t stride = 0;
    Plane(int w, int h, int bytes) : stride((w * bytes + 63) / 64 * 64)
    {
        storage.resize(static_cast<std::size_t>(stride) * static_cast<std::size_t>(h) + 64);
        data = storage.data() + (64 - reinterpret_cast<std::uintptr_t>(storage.data()) % 64) % 64;
    }
    Plane(const Plane&) = delete;
    Plane(Plane&&) = default;
};

std::vector<Plane> planes3(int w, int h, int bytes)
{
    std::vector<Plane> out;
    for (int c = 0; c < 3; ++c)
        out.emplace_back(w, h, bytes);
    return out;
}

zimg_image_format planar(int w, int h, zimg_pixel_type_e type, zimg_transfer_characteristics_e transfer)
{
    zimg_image_format f;
    zimg_image_format_default(&f, ZIMG_API_VERSION);
    f.width = static_cast<unsigned>(w);
    f.height = static_cast<unsigned>(h);
    f.pixel_type = type;
    f.color_family = ZIMG_COLOR_RGB;
    f.matrix_coefficients = ZIMG_MATRIX_RGB;
    f.transfer_characteristics = transfer;
    f.color_primaries = ZIMG_PRIMARIES_709;
    return f;
}

void runGraph(const zimg_image_format& from, const zimg_image_format& to, std::vector<Plane>& src,
              std::vector<Plane>& dst)
{
    zimg_graph_builder_params p;
    zimg_graph_builder_params_default(&p, ZIMG_API_VERSION);
    p.resample_filter = ZIMG_RESIZE_LANCZOS;
    p.filter_param_a = 3;
    zimg_filter_graph* g = zimg_filter_graph_build(&from, &to, &p);
    size_t tmp = 0;
    zimg_filter_graph_get_tmp_size(g, &tmp);
    Plane scratch(static_cast<int>(tmp), 1, 1);
    zimg_image_buffer_const s{};
    zimg_image_buffer d{};
    s.version = d.version = ZIMG_API_VERSION;
    for (int c = 0; c < 3; ++c) {
        s.plane[c].data = src[static_cast<std::size_t>(c)].data;
        s.plane[c].stride = src[static_cast<std::size_t>(c)].stride;
        s.plane[c].mask = ZIMG_BUFFER_MAX;
        d.plane[c].data = dst[static_cast<std::size_t>(c)].data;
        d.plane[c].stride = dst[static_cast<std::size_t>(c)].stride;
        d.plane[c].mask = ZIMG_BUFFER_MAX;
    }
    zimg_filter_graph_process(g, &s, &d, scratch.data, nullptr, nullptr, nullptr, nullptr);
    zimg_filter_graph_free(g);
}

// zimg: sRGB to linear float at full size, then Lanczos-3 and back to sRGB.
Image zimgLinear(const Bytes& file, int w, int h)
{
    const Image in = fullDecode(file);
    std::vector<Plane> planes = planes3(in.w, in.h, 1);
    for (int y = 0; y < in.h; ++y)
        for (int x = 0; x < in.w; ++x)
            for (std::size_t c = 0; c < 3; ++c)
                planes[c].data[y * planes[c].stride + x] = in.rgb[(static_cast<std::size_t>(y) * in.w + x) * 3 + c];
    std::vector<Plane> linear = planes3(in.w, in.h, 4);
    runGraph(planar(in.w, in.h, ZIMG_PIXEL_BYTE, ZIMG_TRANSFER_IEC_61966_2_1),
             planar(in.w, in.h, ZIMG_PIXEL_FLOAT, ZIMG_TRANSFER_LINEAR), planes, linear);
    std::vector<Plane> small = planes3(w, h, 1);
    runGraph(planar(in.w, in.h, ZIMG_PIXEL_FLOAT, ZIMG_TRANSFER_LINEAR),
             planar(w, h, ZIMG_PIXEL_BYTE, ZIMG_TRANSFER_IEC_61966_2_1), linear, small);
    Image out{w, h, Bytes(static_cast<std::size_t>(w) * h * 3)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (std::size_t c = 0; c < 3; ++c)
                out.rgb[(static_cast<std::size_t>(y) * w + x) * 3 + c] = small[c].data[y * small[c].stride + x];
    return out;
}
#endif

#ifdef KELVORA_BENCH_VIPS
// libvips's thumbnail: shrink-on-load and Lanczos-3, in gamma-encoded values or, with
// `linear`, in linear light (which turns its shrink-on-load off).
Image vipsThumbnail(const Bytes& file, int w, int h, bool linear)
{
    VipsImage* t = nullptr;
    vips_thumbnail_buffer(const_cast<std::uint8_t*>(file.data()), file.size(), &t, w, "height", h, "size",
                          VIPS_SIZE_FORCE, "linear", linear ? TRUE : FALSE, nullptr);
    Image out{w, h, {}};
    if (t) {
        size_t size = 0;
        void* memory = vips_image_write_to_memory(t, &size);
        out.rgb.assign(static_cast<std::uint8_t*>(memory), static_cast<std::uint8_t*>(memory) + size);
        g_free(memory);
        g_object_unref(t);
    }
    return out;
}
#endif

double psnr(const Image& a, const Image& b)
{
    if (a.rgb.size() != b.rgb.size() || a.rgb.empty())
        return std::numeric_limits<double>::quiet_NaN();
    double sum = 0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i) {
        const double d = static_cast<double>(a.rgb[i]) - static_cast<double>(b.rgb[i]);
        sum += d * d;
    }
    const double mse = sum / static_cast<double>(a.rgb.size());
    return mse == 0 ? std::numeric_limits<double>::infinity() : 10 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PHOTO.jpg [WIDTH HEIGHT] [RUNS]\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const int boundW = argc > 3 ? std::atoi(argv[2]) : 1920;
    const int boundH = argc > 3 ? std::atoi(argv[3]) : 1080;
    const int runs = argc > 4 ? std::atoi(argv[4]) : 5;
    const Image probe = fullDecode(file);
    const OutputSize size = fitWithin(probe.w, probe.h, {boundW, boundH});
    const int w = size.width, h = size.height;
#ifdef KELVORA_BENCH_VIPS
    if (VIPS_INIT(argv[0]) != 0)
        return 1;
    vips_concurrency_set(1);
    vips_cache_set_max(0);
#endif
    const Image reference = ours(file, w, h, {});
    struct Candidate {
        const char* name;
        std::function<Image()> run;
    };
    std::vector<Candidate> candidates = {
        {"ours: DCT-scaled decode, Lanczos-3 in linear light",
         [&] {
             return ours(file, w, h, {w, h});
         }},
        {"ours, the DCT scale for twice the size",
         [&] {
             return ours(file, w, h, {2 * w, 2 * h});
         }},
        {"ours, full-size decode (the reference)", [&] { return ours(file, w, h, {}); }},
        {"libswscale Lanczos, gamma-encoded (ffmpeg's scale)", [&] { return swscaleLanczos(file, w, h); }},
#ifdef KELVORA_BENCH_ZIMG
        {"zimg Lanczos-3 in linear light, full-size decode", [&] { return zimgLinear(file, w, h); }},
#endif
#ifdef KELVORA_BENCH_VIPS
        {"libvips thumbnail (shrink-on-load, gamma-encoded)", [&] { return vipsThumbnail(file, w, h, false); }},
        {"libvips thumbnail, linear light", [&] { return vipsThumbnail(file, w, h, true); }},
#endif
    };
    std::printf("%s: %d x %d into %d x %d, %d runs, one thread\n\n", argv[1], probe.w, probe.h, w, h, runs);
    std::printf("| Way | Time, ms (least) | PSNR against the reference, dB |\n|---|---|---|\n");
    for (const Candidate& c : candidates) {
        double best = std::numeric_limits<double>::infinity();
        Image made;
        for (int r = 0; r < runs; ++r) {
            const auto start = std::chrono::steady_clock::now();
            made = c.run();
            best = std::min(
                best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
        std::printf("| %s | %.0f | %.2f |\n", c.name, best, psnr(made, reference));
    }
    return 0;
}
