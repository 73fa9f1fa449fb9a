#include "video/FramePipeline.h"

#include "codec/PictureDecoder.h"
#include "platform/system/Cores.h"
#include "video/FrameFitter.h"

#include "video/SaveJob.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <optional>

namespace kelvora::video {

namespace {

constexpr std::size_t kMostSlots = 256;
// Uncompressed frames from this size on stay in their files until written, and are copied
// from there to the video: a block of megabytes read into memory and written out again costs
// two copies through memory the caches do not hold, and was the larger part of a cold save.
constexpr std::size_t kLeftInFileFrom = std::size_t{1} << 20;
// How long the writer waits for a batch of small frames to fill before writing what it has.
constexpr std::chrono::milliseconds kGatherWait{20};
// How often a writer waiting for a frame looks whether the save was cancelled.
constexpr std::chrono::milliseconds kCancelPoll{50};

// Each encoder has a frame in hand and one waiting, and the writer one more.
std::size_t framesWanted(std::size_t encoders) { return encoders == 0 ? kMostSlots : 2 * encoders + 1; }

std::size_t slotCount(std::size_t frameBytes, std::size_t encoders)
{
    const std::size_t byBytes = kPixelsAheadBytes / std::max<std::size_t>(frameBytes, 1);
    return std::clamp<std::size_t>(byBytes, 2, framesWanted(encoders));
}

const char* const kOutOfMemory = "Memoria insufficiente per preparare il fotogramma.";

}  // namespace

FramePipeline::FramePipeline(PipelineFrames frames, PreparedFrame first, platform::MessageBoxService& messages,
                             SaveObserver& observer, PipelineEncoding encoding, std::size_t frameBytes,
                             const std::atomic<bool>& cancel, const ThreadStart& start)
    : m_frames(frames), m_messages(messages), m_observer(observer), m_cancel(cancel), m_codec(encoding.codec),
      m_shape(encoding.shape), m_threadsEach(encoding.plan.threadsEach), m_pictureFormat(encoding.pictureFormat),
      m_fitted(encoding.fitted), m_background(encoding.background), m_keepPictures(encoding.keepPictures),
      m_first(std::move(first)),
      m_pixelsLeftInFile(m_codec == codec::Codec::Raw && !encoding.fitted && frameBytes >= kLeftInFileFrom),
      m_frameBytes(frameBytes)
{
    // Fitted frames of an uncompressed video are still decoded and resampled, on every core.
    const std::size_t encoders = m_codec != codec::Codec::Raw ? static_cast<std::size_t>(encoding.plan.encoders)
                                 : m_fitted                   ? static_cast<std::size_t>(platform::usableCores())
                                                              : 0;
    m_slots.resize(slotCount(frameBytes, encoders));
    // Where the bytes allow fewer frames than the encoders could use, each slot holding its
    // pixels to the end would hold them while they serve nothing: at 3840 x 2160 two slots
    // and the writer's last frame were 75 MB beside the encoder's 33 MB picture. Smaller
    // frames keep their blocks, read into again in place with no new pages to fault in.
    m_releasePixels = encoders > 0 && frameBytes * framesWanted(encoders) > kPixelsAheadBytes;
    for (Slot& slot : m_slots)
        slot.frame.dib = std::make_unique<bitmap::cDIB>(m_messages);
    // The encoders first: the loader must not fill slots no encoder will ever empty.
    auto firstEncoder = std::make_shared<std::unique_ptr<codec::LosslessEncoder>>(std::move(encoding.first));
    std::size_t started = 0;
    for (std::size_t i = 0; i < encoders; ++i) {
        // An encoder whose thread did not start leaves the first codec object to the next.
        const bool takesFirst = started == 0;
        if (startOne(start, [this, firstEncoder, takesFirst] {
                encode(takesFirst ? std::move(*firstEncoder) : std::unique_ptr<codec::LosslessEncoder>{});
            }))
            ++started;
    }
    const bool loading = encoders == 0 || started > 0 ? startOne(start, [this] { load(); }) : false;
    if (loading)
        m_loader = m_threads.size() - 1;
    if (!loading) {
        const std::lock_guard lock(m_mutex);
        m_threadsMissing = true;
        m_broken = true;
        m_stop = true;
        m_loadingEnded = true;
    }
}

bool FramePipeline::startOne(const ThreadStart& start, std::function<void()> body)
{
    try {
        m_threads.push_back(start(std::move(body)));
        return true;
    } catch (const std::exception&) {  // no thread to be had (EAGAIN), or no memory for one
        return false;
    }
}

std::jthread startThread(std::function<void()> body) { return std::jthread(std::move(body)); }

FramePipeline::~FramePipeline()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_slotFreed.notify_all();
    m_loaded.notify_all();
    m_ready.notify_all();
    m_threads.clear();  // joins
}

void FramePipeline::stopLoading()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_slotFreed.notify_all();
    m_loaded.notify_all();
    m_ready.notify_all();
    if (m_loader < m_threads.size() && m_threads[m_loader].joinable())
        m_threads[m_loader].join();
}

void abandon(std::unique_ptr<FramePipeline> pipeline)
{
    pipeline->stopLoading();
    try {
        std::thread([gone = std::move(pipeline)]() mutable { gone.reset(); }).detach();
    } catch (const std::exception&) {
        // No thread to be had: the encoders are waited for here, as before.
    }
}

bool FramePipeline::stopping() const { return m_stop || m_cancel.load(std::memory_order_relaxed); }

void FramePipeline::load()
{
    try {
        loadAll();
    } catch (const std::exception&) {  // out of memory outside a frame's own work
        breakDown();
    }
    {
        const std::lock_guard lock(m_mutex);
        m_loadingEnded = true;
    }
    m_ready.notify_all();
}

// A thread could not go on: the writer is told at once, and every thread stops.
void FramePipeline::breakDown()
{
    {
        const std::lock_guard lock(m_mutex);
        m_broken = true;
        m_stop = true;
    }
    m_slotFreed.notify_all();
    m_loaded.notify_all();
    m_ready.notify_all();
}

bool FramePipeline::broken()
{
    const std::lock_guard lock(m_mutex);
    return m_broken;
}

std::string FramePipeline::brokenReason()
{
    const std::lock_guard lock(m_mutex);
    return m_threadsMissing ? "Il sistema non ha potuto avviare i thread che preparano i fotogrammi."
                            : "Memoria insufficiente per preparare i fotogrammi.";
}

void FramePipeline::loadAll()
{
    for (std::size_t index = 0;; ++index) {
        std::unique_lock lock(m_mutex);
        Slot& slot = slotOf(index);
        m_slotFreed.wait(lock, [&] { return stopping() || (slot.state == State::Free && roomForPixels()); });
        if (stopping())
            return;
        slot.state = State::Loading;
        lock.unlock();

        PreparedFrame& frame = slot.frame;
        frame.index = index;
        frame.failure.clear();
        frame.packet.clear();
        bool filled = true;
        try {
            filled = fill(frame, index);
        } catch (const std::exception&) {  // out of memory: the writer stops the save
            frame.failure = kOutOfMemory;
        }

        lock.lock();
        if (!filled) {
            slot.state = State::Free;  // the source has ended (or the save is stopping)
            return;
        }
        countPixels(slot);
        if ((m_codec != codec::Codec::Raw || m_fitted) && frame.failure.empty() && !frame.isTarget) {
            slot.state = State::Loaded;
            m_toEncode.push_back(index);
            lock.unlock();
            m_loaded.notify_one();
        } else {
            markReady(slot, lock);
        }
    }
}

// Frame `index` of the video: the entries read until one is admitted. False when the source
// ends first.
bool FramePipeline::fill(PreparedFrame& frame, std::size_t index)
{
    if (index == 0) {
        std::swap(frame.dib, m_first.dib);
        std::swap(frame.picture, m_first.picture);
        frame.path = m_first.path;
        frame.loaded = true;
        frame.isTarget = false;
        frame.plan = m_first.plan;
        return true;
    }
    while (!stopping()) {
        if (!readEntry(frame))
            return false;
        if (frame.isTarget || !m_frames.admission ||
            m_frames.admission->admit(m_frames.nextEntry - 1, frame.loaded, *frame.dib, *frame.picture, frame.plan))
            return true;
    }
    return false;
}

// The source's next entry, loaded into the frame; false when the source has ended.
bool FramePipeline::readEntry(PreparedFrame& frame)
{
    std::optional<std::string> path = m_frames.source.next();
    if (!path)
        return false;
    m_observer.frameLoading(static_cast<int>(m_frames.nextEntry++));
    frame.path = std::move(*path);
    loadFrameFile(frame, {m_codec, m_pixelsLeftInFile, m_fitted.has_value()}, m_messages);
    // The file the video is to replace (by any of its names) must not be lost under it.
    frame.isTarget = frame.loaded && m_frames.target.known() && frame.identity() == m_frames.target;
    return true;
}

void loadFrameFile(PreparedFrame& frame, FrameReading reading, platform::MessageBoxService& messages)
{
    PictureFrame& picture = *frame.picture;
    picture.type.reset();
    const bool decoded = reading.codec != codec::Codec::Raw || reading.fitted;
    // A fitted frame is decoded, as an MP4's are, whatever the video stores.
    const codec::Codec judgedAs =
        reading.fitted && reading.codec == codec::Codec::Raw ? codec::Codec::H264 : reading.codec;
    switch (loadPicture(frame.path, judgedAs, decoded, picture, frame.plan, messages)) {
    case FileKind::Picture:
        frame.loaded = true;
        if (!decoded)  // the disk reads it while the frames before this one are written
            picture.file.willNeed(0, static_cast<std::size_t>(picture.size));
        return;
    case FileKind::Unreadable:
        picture.type.reset();
        frame.loaded = false;
        return;
    case FileKind::Bitmap:
        break;
    }
    bitmap::cDIB& dib = *frame.dib;
    frame.loaded =
        reading.pixelsLeftInFile ? dib.CreateLeavingPixelsInFile(frame.path) : dib.CreateFromFile(frame.path);
    if (!frame.loaded)
        return;
    frame.plan = bitmap::planFrame(dib);
    // The disk reads the pixels while the frames before this one are written.
    if (platform::File* pixels = dib.pixelFile())
        pixels->willNeed(dib.BitOffset(), dib.storedBits());
}

// With the lock held: whether the next frame's pixels may be loaded. A frame alone may always
// be: a larger one is then the only one held.
bool FramePipeline::roomForPixels() const
{
    return m_heldPixelBytes == 0 || m_heldPixelBytes + m_frameBytes <= kPixelsAheadBytes;
}

// With the lock held: the slot's frame, just loaded, holds its pixels.
void FramePipeline::countPixels(Slot& slot)
{
    slot.pixelBytes = slot.frame.heldPixelBytes();
    m_heldPixelBytes += slot.pixelBytes;
    m_mostPixelBytes = std::max(m_mostPixelBytes, m_heldPixelBytes);
}

// The slot's frame no longer needs its pixels (an encoder has read them): where frames let
// them go, the loader may read the next.
void FramePipeline::releasePixels(Slot& slot)
{
    if (!m_releasePixels)
        return;
    slot.frame.releasePixels();
    {
        const std::lock_guard lock(m_mutex);
        m_heldPixelBytes -= slot.pixelBytes;
        slot.pixelBytes = 0;
    }
    m_slotFreed.notify_one();
}

std::size_t FramePipeline::mostPixelBytesHeld()
{
    const std::lock_guard lock(m_mutex);
    return m_mostPixelBytes;
}

// With the lock held: the frame is ready; the writer is woken only for the frame it waits for.
void FramePipeline::markReady(Slot& slot, std::unique_lock<std::mutex>& lock)
{
    slot.state = State::Ready;
    const bool wanted = slot.frame.index >= m_writerWaitsFor;
    lock.unlock();
    if (wanted)
        m_ready.notify_one();
}

void FramePipeline::encode(std::unique_ptr<codec::LosslessEncoder> encoder)
{
    try {
        encodeAll(std::move(encoder));
    } catch (const std::exception&) {
        breakDown();
    }
}

// An encoder's picture decoder, opened at its first picture file.
struct FramePipeline::Decoding {
    std::unique_ptr<codec::PictureDecoder> decoder;
    std::optional<bitmap::PictureType> type;
    std::vector<std::uint8_t> rgb;

    // The frame's picture decoded; null, with the frame's failure set, when it is not.
    const AVFrame* decode(PreparedFrame& frame)
    {
        const PictureFrame& picture = *frame.picture;
        const platform::Status ready = readyFor(*picture.type);
        const platform::Status decoded = ready ? decoder->decode(picture.bytes) : ready;
        if (decoded)
            return &decoder->picture();
        frame.failure = "Il fotogramma " + std::to_string(frame.index + 1) + " (" + frame.path +
                        ") non si decodifica (" + decoded.error() + ").";
        return nullptr;
    }

    // A decoder for `wanted` open, the one before kept while the type stays.
    platform::Status readyFor(bitmap::PictureType wanted)
    {
        if (decoder && type == wanted)
            return {};
        auto opened = codec::PictureDecoder::open(wanted);
        type = wanted;
        decoder = opened ? std::move(opened).value() : nullptr;
        return opened.status();
    }
};

void FramePipeline::encodeAll(std::unique_ptr<codec::LosslessEncoder> encoder)
{
    Decoding decoding;
    std::string openFailure;
    // H.264 is encoded in order by the writer's side: here its frames only change colours.
    std::optional<codec::Yuv420Converter> converter;
    std::optional<FrameFitter> fitter;
    if (m_fitted)
        fitter.emplace(*m_fitted);
    if (m_codec == codec::Codec::H264 && !m_fitted)
        converter.emplace(m_shape, m_background);
    else if (!encoder && m_codec != codec::Codec::Raw && m_codec != codec::Codec::H264) {
        auto opened = m_pictureFormat != AV_PIX_FMT_NONE
                          ? codec::LosslessEncoder::openForPictures(m_codec, m_shape, m_pictureFormat, m_threadsEach,
                                                                    m_background)
                          : codec::LosslessEncoder::open(m_codec, m_shape, m_threadsEach);
        if (opened)
            encoder = std::move(opened).value();
        else
            openFailure = opened.error();
    }
    while (true) {
        std::unique_lock lock(m_mutex);
        m_loaded.wait(lock, [&] { return m_stop || !m_toEncode.empty(); });
        if (m_stop)
            return;
        const std::size_t index = m_toEncode.front();
        m_toEncode.pop_front();
        Slot& slot = slotOf(index);
        slot.state = State::Encoding;
        lock.unlock();

        PreparedFrame& frame = slot.frame;
        if (fitter)
            fit(slot, *fitter, encoder.get());
        else if (converter)
            convert(frame, *converter, decoding);
        else if (!encoder)
            frame.failure = openFailure;
        else
            prepare(slot, encoder.get(), decoding);
        if (slot.pixelBytes > 0)  // not let go while it was encoded
            releasePixels(slot);

        lock.lock();
        markReady(slot, lock);
    }
}

void FramePipeline::prepare(Slot& slot, codec::LosslessEncoder* encoder, Decoding& decoding)
{
    PreparedFrame& frame = slot.frame;
    // A frame that does not fit the stream is the writer's to report; it is not encoded.
    if (!frame.loaded || !frame.plan.accepted() || frame.plan.shape != m_shape)
        return;
    try {
        platform::Status encoded;
        if (!frame.isPicture()) {
            encoded =
                encoder->encode(frame.dib->bits(), frame.plan.palette, frame.packet, [&] { releasePixels(slot); });
        } else if (const AVFrame* picture = decoding.decode(frame)) {
            encoded = encoder->encodePicture(*picture, frame.packet);
        } else {
            return;
        }
        if (!encoded)
            frame.failure = "La compressione del fotogramma " + std::to_string(frame.index + 1) + " (" + frame.path +
                            ") non è riuscita (" + encoded.error() + ").";
    } catch (const std::exception&) {
        frame.failure = kOutOfMemory;
    }
}

void FramePipeline::convert(PreparedFrame& frame, codec::Yuv420Converter& converter, Decoding& decoding)
{
    if (!frame.loaded || !frame.plan.accepted() || frame.plan.shape != m_shape)
        return;
    try {
        if (!frame.isPicture()) {
            converter.convert(frame.dib->bits(), frame.plan.palette, frame.packet);
        } else if (const AVFrame* picture = decoding.decode(frame)) {
            if (const auto converted = converter.convertPicture(*picture, frame.packet); !converted)
                frame.failure = "La compressione del fotogramma " + std::to_string(frame.index + 1) + " (" +
                                frame.path + ") non è riuscita (" + converted.error() + ").";
        }
    } catch (const std::exception&) {
        frame.failure = kOutOfMemory;
    }
}

// A frame of any shape fitted into the video's, then in its codec's form: FFV1's or PNG's
// frame, H.264's planes (encoded in order by the writer), or an uncompressed bitmap's rows.
void FramePipeline::fit(Slot& slot, FrameFitter& fitter, codec::LosslessEncoder* encoder)
{
    PreparedFrame& frame = slot.frame;
    // A frame that does not load is the writer's to report (it repeats the one before).
    if (!frame.loaded)
        return;
    try {
        if (const std::string error = fitter.fit(frame); !error.empty()) {
            frame.failure = "Il fotogramma " + std::to_string(frame.index + 1) + " (" + frame.path +
                            ") non si decodifica (" + error + ").";
            return;
        }
        releasePixels(slot);
        const AVFrame& picture = fitter.picture();
        if (m_keepPictures)
            frame.rgb.assign(picture.data[0], picture.data[0] + std::size_t{3} *
                                                                    static_cast<std::size_t>(picture.width) *
                                                                    static_cast<std::size_t>(picture.height));
        if (m_codec == codec::Codec::Raw) {
            fitter.bitmapRows(frame.packet);
        } else if (m_codec == codec::Codec::H264) {
            const codec::EvenSize even = codec::evenSize(m_shape);
            frame.packet.resize(even.planeBytes());
            codec::rgbToYuv420(picture.data[0], picture.linesize[0], picture.width, picture.height, even, frame.packet);
        } else if (const auto encoded = encoder ? encoder->encodePicture(picture, frame.packet)
                                                : platform::Status{platform::Failure{"nessun codificatore"}};
                   !encoded) {
            frame.failure = "La compressione del fotogramma " + std::to_string(frame.index + 1) + " (" + frame.path +
                            ") non è riuscita (" + encoded.error() + ").";
        }
    } catch (const std::exception&) {
        frame.failure = kOutOfMemory;
    }
}

bool FramePipeline::isReady(std::size_t index)
{
    const Slot& slot = slotOf(index);
    return slot.state == State::Ready && slot.frame.index == index;
}

PreparedFrame* FramePipeline::take(std::size_t index)
{
    std::unique_lock lock(m_mutex);
    Slot& slot = slotOf(index);
    m_writerWaitsFor = index;
    // Loading ends early only when the save is cancelled. A cancel is not waited out: a
    // full-size frame can keep its encoder for seconds, and the user asked to stop now.
    const auto arrived = [&] { return isReady(index) || m_broken || (m_loadingEnded && slot.state == State::Free); };
    while (!m_ready.wait_for(lock, kCancelPoll, arrived))
        if (m_cancel.load(std::memory_order_relaxed))
            break;
    m_writerWaitsFor = kNotWaiting;
    return isReady(index) && !m_broken ? &slot.frame : nullptr;
}

void FramePipeline::takeFollowing(std::size_t from, std::size_t most, std::int64_t smallerThan,
                                  std::vector<PreparedFrame*>& batch)
{
    most = std::min(most, m_slots.size() / 2);
    std::unique_lock lock(m_mutex);
    // Waits a moment for the batch to fill, woken when its last frame is ready; frames finished
    // out of order or a slow disk just make a shorter batch.
    if (most > 0 && !isReady(from + most - 1) && !m_loadingEnded) {
        m_writerWaitsFor = from + most - 1;
        m_ready.wait_for(lock, kGatherWait, [&] { return isReady(from + most - 1) || m_loadingEnded || m_stop; });
        m_writerWaitsFor = kNotWaiting;
    }
    for (std::size_t i = from; i < from + most && isReady(i); ++i) {
        PreparedFrame& frame = slotOf(i).frame;
        if (frame.storedBytes() >= smallerThan)
            break;
        batch.push_back(&frame);
    }
}

void FramePipeline::giveBack(std::span<PreparedFrame* const> frames)
{
    {
        const std::lock_guard lock(m_mutex);
        for (PreparedFrame* frame : frames) {
            Slot& slot = slotOf(frame->index);
            slot.state = State::Free;
            // Its storage is reused in place by the next load (or was let go when encoded).
            m_heldPixelBytes -= slot.pixelBytes;
            slot.pixelBytes = 0;
        }
    }
    m_slotFreed.notify_one();
}

}  // namespace kelvora::video
