#include "verify/AviFrames.h"

#include "platform/avifile/PaletteChange.h"
#include "platform/binary/ByteReader.h"
#include "platform/filesystem/FileOpener.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <span>

namespace kelvora::verify {

namespace {

using platform::FourCC;

constexpr FourCC kRiff("RIFF");
constexpr FourCC kList("LIST");
constexpr FourCC kAvi("AVI ");
constexpr FourCC kAvix("AVIX");
constexpr FourCC kHdrl("hdrl");
constexpr FourCC kStrl("strl");
constexpr FourCC kStrh("strh");
constexpr FourCC kStrf("strf");
constexpr FourCC kMovi("movi");
constexpr FourCC kRec("rec ");
constexpr FourCC kVids("vids");

// The header list of any sound file is a few kilobytes (ours reserves 16 KiB for its super
// index); one far larger is no header a reader would take.
constexpr std::int64_t kMaxHeaderList = 16 * 1024 * 1024;
constexpr std::size_t kMaxFormat = 1024 * 1024;
constexpr std::size_t kMaxListDepth = 8;

struct ChunkHead {
    FourCC id;
    std::uint32_t size = 0;
    FourCC type;  // of a RIFF or LIST
};

ChunkHead readHead(std::span<const std::uint8_t> bytes)
{
    binary::ByteReader in(bytes);
    ChunkHead head;
    head.id = in.fourCC();
    head.size = in.u32();
    head.type = in.fourCC();
    return head;
}

// Each chunk of a list held in memory, with its body; stops at the first that does not fit.
template <typename Visit> void forEachChunk(std::span<const std::uint8_t> list, Visit&& visit)
{
    for (std::size_t at = 0; at + 8 <= list.size();) {
        const ChunkHead head = readHead(list.subspan(at, std::min<std::size_t>(12, list.size() - at)));
        if (head.size > list.size() - at - 8)
            return;
        visit(head, list.subspan(at + 8, head.size));
        at += 8 + head.size + (head.size & 1);
    }
}

std::string systemText(int error) { return std::strerror(error); }

// Why the video cannot be opened, in the words the batch mode uses for its inputs.
std::string openFailure(int error)
{
    switch (error) {
    case ENOENT:
        return "non esiste";
    case EACCES:
    case EPERM:
        return "non si legge: permesso negato";
    case ELOOP:
        return "non si legge: troppi collegamenti simbolici";
    default:
        return "non si legge (" + systemText(error) + ")";
    }
}

}  // namespace

std::unique_ptr<AviFrames> AviFrames::open(const std::filesystem::path& path, std::string& error, bool& unreadable)
{
    unreadable = false;
    platform::OpenResult opened = platform::systemFileOpener().open(path, platform::OpenMode::Read);
    if (!opened.file.isOpen()) {
        unreadable = true;
        error = opened.notRegular ? "non è un file normale" : openFailure(opened.error);
        return nullptr;
    }
    std::unique_ptr<AviFrames> frames(new AviFrames);
    frames->m_file = std::move(opened.file);
    frames->m_length = opened.length;
    if (!frames->readHeaders(error))
        return nullptr;
    return frames;
}

bool AviFrames::readHeaders(std::string& error)
{
    bool haveHeader = false;
    int streams = 0;
    std::array<std::uint8_t, 12> bytes{};
    for (std::int64_t riff = 0; riff + 12 <= m_length;) {
        if (m_file.readExactlyAt(bytes, riff) != platform::ReadOutcome::Complete)
            break;
        const ChunkHead head = readHead(bytes);
        if (head.id != kRiff || head.type != (riff == 0 ? kAvi : kAvix))
            break;
        // A RIFF being written says it runs to the end of the file, and so may its 'movi'.
        const std::int64_t riffEnd = std::min<std::int64_t>(riff + 8 + head.size, m_length);
        for (std::int64_t at = riff + 12; at + 8 <= riffEnd;) {
            if (m_file.readExactlyAt(bytes, at) != platform::ReadOutcome::Complete)
                break;
            const ChunkHead chunk = readHead(bytes);
            const std::int64_t chunkEnd = at + 8 + chunk.size;
            const bool list = chunk.id == kList && chunk.size >= 4;
            if (chunk.id == kList && chunk.type == kMovi) {
                const bool open = chunk.size < 4 || chunkEnd > riffEnd;
                m_movi.push_back({at + 12, open ? riffEnd : chunkEnd});
                if (open)
                    break;
            } else if (list && chunk.type == kHdrl && riff == 0 && !haveHeader) {
                const std::int64_t size = std::min(chunkEnd, riffEnd) - (at + 12);
                if (size > kMaxHeaderList)
                    break;
                std::vector<std::uint8_t> hdrl(static_cast<std::size_t>(size));
                if (m_file.readExactlyAt(hdrl, at + 12) != platform::ReadOutcome::Complete)
                    break;
                forEachChunk(hdrl, [&](const ChunkHead& inner, std::span<const std::uint8_t> body) {
                    if (inner.id != kList || inner.type != kStrl || body.size() < 4)
                        return;
                    if (!haveHeader && readStreamList(body.subspan(4), streams))
                        haveHeader = true;
                    ++streams;
                });
            }
            if (chunkEnd > riffEnd)
                break;
            at = chunkEnd + (chunk.size & 1);
        }
        if (riff + 8 + std::int64_t{head.size} >= m_length)
            break;
        riff += 8 + std::int64_t{head.size} + (head.size & 1);
    }
    if (m_movi.empty() && !haveHeader) {
        error = "non è un video AVI";
        return false;
    }
    if (!haveHeader) {
        error = "non ha un flusso video leggibile";
        return false;
    }
    return true;
}

bool AviFrames::readStreamList(std::span<const std::uint8_t> list, int streamNumber)
{
    bool video = false;
    bool format = false;
    VideoStream stream;
    forEachChunk(list, [&](const ChunkHead& chunk, std::span<const std::uint8_t> body) {
        binary::ByteReader in(body);
        if (chunk.id == kStrh && body.size() >= 28) {
            video = in.fourCC() == kVids;
            stream.handler = in.fourCC();
            in.skip(12);  // dwFlags, wPriority, wLanguage, dwInitialFrames
            stream.scale = in.u32();
            stream.rate = in.u32();
        } else if (chunk.id == kStrf && body.size() >= binary::kInfoHeaderSize && body.size() <= kMaxFormat) {
            stream.format.assign(body.begin(), body.end());
            stream.header = binary::readInfoHeader(body.first<binary::kInfoHeaderSize>());
            format = true;
        }
    });
    if (!video || !format || streamNumber > 99)
        return false;
    m_stream = std::move(stream);
    m_streamNumber = streamNumber;
    if (const auto table = avifile::colourTableOf(m_stream.format)) {
        for (std::size_t i = 0; i < table->size() / 4; ++i)
            m_palette[i] = 0xFF000000u | std::uint32_t{(*table)[4 * i + 2]} << 16 |
                           std::uint32_t{(*table)[4 * i + 1]} << 8 | (*table)[4 * i];
    }
    return true;
}

void AviFrames::applyPaletteChange(std::span<const std::uint8_t> change)
{
    // AVIPALCHANGE: first entry, entry count (0 for 256), flags, then red, green, blue, flags.
    binary::ByteReader in(change);
    const std::size_t first = in.u8();
    std::size_t count = in.u8();
    in.skip(2);
    if (count == 0)
        count = 256;
    for (std::size_t i = first; i < std::min<std::size_t>(first + count, 256) && in.remaining() >= 4; ++i) {
        const std::uint32_t red = in.u8();
        const std::uint32_t green = in.u8();
        const std::uint32_t blue = in.u8();
        in.skip(1);
        m_palette[i] = 0xFF000000u | red << 16 | green << 8 | blue;
    }
}

bool AviFrames::next(std::vector<std::uint8_t>& data)
{
    const char tens = static_cast<char>('0' + m_streamNumber / 10);
    const char ones = static_cast<char>('0' + m_streamNumber % 10);
    std::array<std::uint8_t, 12> bytes{};
    for (;;) {
        if (m_open.empty()) {
            if (m_nextMovi == m_movi.size())
                return false;
            m_open.push_back(m_movi[m_nextMovi++]);
        }
        Span& list = m_open.back();
        if (list.begin + 8 > list.end) {
            m_open.pop_back();
            continue;
        }
        const std::int64_t at = list.begin;
        const platform::ReadOutcome read = m_file.readExactlyAt(std::span(bytes).first(8), at);
        const ChunkHead chunk = readHead(bytes);
        const bool ours = chunk.id.at(0) == tens && chunk.id.at(1) == ones;
        const bool frame = ours && ((chunk.id.at(2) == 'd' && chunk.id.at(3) == 'b') ||
                                    (chunk.id.at(2) == 'd' && chunk.id.at(3) == 'c'));
        const std::int64_t chunkEnd = at + 8 + chunk.size;
        if (read != platform::ReadOutcome::Complete || chunkEnd > list.end) {
            // What is left of the list is no whole chunk. A frame cut short ends the video.
            if (read == platform::ReadOutcome::Failed)
                m_problem = "errore di lettura (" + systemText(errno) + ")";
            else if (frame)
                m_problem = "il file finisce a metà di un fotogramma";
            if (!m_problem.empty()) {
                m_open.clear();
                m_nextMovi = m_movi.size();
                return false;
            }
            m_open.pop_back();
            continue;
        }
        list.begin = chunkEnd + (chunk.size & 1);
        if (chunk.id == kList && chunk.size >= 4) {
            // 'rec ' lists group a frame's chunks; they are not nested, so a file that nests
            // them deeply is read no deeper than this.
            if (m_open.size() < kMaxListDepth &&
                m_file.readExactlyAt(std::span(bytes).subspan(8, 4), at + 8) == platform::ReadOutcome::Complete &&
                readHead(bytes).type == kRec)
                m_open.push_back({at + 12, chunkEnd});
            continue;
        }
        const bool paletteChange = ours && chunk.id.at(2) == 'p' && chunk.id.at(3) == 'c';
        if (!frame && !(paletteChange && chunk.size <= 4 + 4 * 256))
            continue;
        data.resize(chunk.size);
        if (const auto outcome = m_file.readExactlyAt(data, at + 8); outcome != platform::ReadOutcome::Complete) {
            m_problem = outcome == platform::ReadOutcome::Failed ? "errore di lettura (" + systemText(errno) + ")"
                                                                 : "il file finisce a metà di un fotogramma";
            m_open.clear();
            m_nextMovi = m_movi.size();
            return false;
        }
        if (frame)
            return true;
        applyPaletteChange(data);
    }
}

}  // namespace kelvora::verify
