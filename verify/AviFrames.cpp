#include "verify/AviFrames.h"

#include "platform/avifile/PaletteChange.h"
#include "platform/binary/ByteReader.h"
#include "platform/filesystem/FileOpener.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kelvora::verify {

namespace {

using platform::FourCC;

constexpr FourCC kRiff("RIFF");
constexpr FourCC kList("LIST");
constexpr FourCC kAvi("AVI ");
constexpr FourCC kStrh("strh");
constexpr FourCC kStrf("strf");
constexpr FourCC kMovi("movi");
constexpr FourCC kVids("vids");
constexpr FourCC kJunk("JUNK");
constexpr FourCC kIdx1("idx1");

// A stream's format block is a header and at most a colour table or a codec's configuration;
// one far larger is no format a reader would take.
constexpr std::uint32_t kMaxFormat = 1024 * 1024;
// ffmpeg takes an unknown header chunk this large for the start of the frames, the header
// having gone wrong somewhere.
constexpr std::uint32_t kMaxUnknownHeaderChunk = 1000000;
// AVIPALCHANGE with all 256 entries.
constexpr std::uint32_t kMaxPaletteChange = 4 + 4 * 256;
constexpr std::size_t kWindow = 64 * 1024;

struct ChunkHead {
    FourCC id;
    std::uint32_t size = 0;
};

ChunkHead readHead(std::span<const std::uint8_t> bytes)
{
    binary::ByteReader in(bytes);
    ChunkHead head;
    head.id = in.fourCC();
    head.size = in.u32();
    return head;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The stream a chunk belongs to by its first two characters ("01wb": 1); -1 for none.
int streamOf(char tens, char ones) { return isDigit(tens) && isDigit(ones) ? (tens - '0') * 10 + (ones - '0') : -1; }

// Header chunks ffmpeg knows and skips by their size, however large.
bool knownHeaderChunk(FourCC id)
{
    static constexpr FourCC known[] = {FourCC("avih"), FourCC("amvh"), FourCC("strh"), FourCC("strf"), FourCC("strd"),
                                       FourCC("strn"), FourCC("indx"), FourCC("vprp"), FourCC("dmlh"), FourCC("IDIT")};
    return std::ranges::find(known, id) != std::end(known);
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

platform::Result<std::unique_ptr<AviFrames>> AviFrames::open(const std::filesystem::path& path, bool& unreadable)
{
    unreadable = false;
    platform::OpenResult opened = platform::systemFileOpener().open(path, platform::OpenMode::Read);
    if (!opened.file.isOpen()) {
        unreadable = true;
        return platform::Failure{opened.notRegular ? "non è un file normale" : openFailure(opened.error)};
    }
    std::unique_ptr<AviFrames> frames(new AviFrames);
    frames->m_file = std::move(opened.file);
    frames->m_length = std::max<std::int64_t>(opened.length, 0);
    if (auto headers = frames->readHeaders(); !headers) {
        unreadable = !frames->m_problem.empty();
        return headers.failure();
    }
    return frames;
}

// The header's chunks are read one after the other as ffmpeg reads them, lists entered and
// the RIFF's own size not trusted (a writer cut short leaves it 0), up to the first 'movi'.
platform::Status AviFrames::readHeaders()
{
    std::array<std::uint8_t, 12> bytes{};
    if (m_length < 12 || m_file.readExactlyAt(bytes, 0) != platform::ReadOutcome::Complete ||
        readHead(bytes).id != kRiff ||
        FourCC::fromValue(binary::ByteReader(std::span(bytes).subspan(8)).u32()) != kAvi) {
        return platform::Failure{"non è un video AVI"};
    }
    std::int64_t movi = -1;
    std::vector<std::uint8_t> body;
    for (std::int64_t at = 12; at + 8 <= m_length;) {
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(12, m_length - at));
        if (const auto read = m_file.readExactlyAt(std::span(bytes).first(want), at);
            read != platform::ReadOutcome::Complete) {
            readFailure(read);
            return platform::Failure{m_problem};
        }
        const ChunkHead head = readHead(bytes);
        if (head.id == kList) {
            if (want < 12)
                break;
            if (FourCC::fromValue(binary::ByteReader(std::span(bytes).subspan(8)).u32()) == kMovi) {
                movi = at + 12;
                break;
            }
            at += 12;  // its chunks are read as if they stood alone
            continue;
        }
        const std::int64_t end = at + 8 + std::int64_t{head.size};
        if ((head.id == kStrh || head.id == kStrf) && end <= m_length && head.size <= kMaxFormat) {
            if (!readBody(at + 8, head.size, body))
                return platform::Failure{m_problem};
            if (head.id == kStrh)
                readStreamHeader(body);
            else
                readStreamFormat(body);
        } else if (head.id == kStrh) {
            ++m_streams;  // a stream all the same, if one no reader can use
        } else if (!knownHeaderChunk(head.id) && head.size > kMaxUnknownHeaderChunk) {
            movi = at + 8;
            break;
        }
        at = end + (head.size & 1);
    }
    if (m_streamNumber < 0 || !m_formatRead || m_streamNumber > 99)
        return platform::Failure{movi < 0 && m_streams == 0 ? "non è un video AVI"
                                                            : "non ha un flusso video leggibile"};
    m_at = movi < 0 ? m_length : movi;
    return {};
}

void AviFrames::readStreamHeader(std::span<const std::uint8_t> body)
{
    const int number = m_streams++;
    if (m_streamNumber >= 0 || body.size() < 28)
        return;
    binary::ByteReader in(body);
    if (in.fourCC() != kVids)
        return;
    m_stream.handler = in.fourCC();
    in.skip(12);  // dwFlags, wPriority, wLanguage, dwInitialFrames
    m_stream.scale = in.u32();
    m_stream.rate = in.u32();
    m_streamNumber = number;
}

void AviFrames::readStreamFormat(std::span<const std::uint8_t> body)
{
    // The format of the stream whose header came last.
    if (m_streamNumber < 0 || m_streamNumber != m_streams - 1 || m_formatRead || body.size() < binary::kInfoHeaderSize)
        return;
    m_stream.format.assign(body.begin(), body.end());
    m_stream.header = binary::readInfoHeader(body.first<binary::kInfoHeaderSize>());
    m_formatRead = true;
    if (const auto table = avifile::colourTableOf(m_stream.format)) {
        for (std::size_t i = 0; i < std::min<std::size_t>(table->size() / 4, m_palette.size()); ++i)
            m_palette[i] = 0xFF000000u | std::uint32_t{(*table)[4 * i + 2]} << 16 |
                           std::uint32_t{(*table)[4 * i + 1]} << 8 | (*table)[4 * i];
    }
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

bool AviFrames::headAt(std::int64_t at, std::array<std::uint8_t, 8>& head, std::size_t& got)
{
    got = static_cast<std::size_t>(std::min<std::int64_t>(8, m_length - at));
    const std::int64_t windowEnd = m_windowAt + static_cast<std::int64_t>(m_window.size());
    if (at < m_windowAt || at + static_cast<std::int64_t>(got) > windowEnd) {
        m_window.resize(static_cast<std::size_t>(std::min<std::int64_t>(kWindow, m_length - at)));
        m_windowAt = at;
        if (const auto read = m_file.readExactlyAt(m_window, at); read != platform::ReadOutcome::Complete) {
            readFailure(read);
            return false;
        }
    }
    head.fill(0);
    std::memcpy(head.data(), m_window.data() + (at - m_windowAt), got);
    return true;
}

bool AviFrames::readBody(std::int64_t at, std::uint32_t size, std::vector<std::uint8_t>& data)
{
    data.resize(size);
    // What the scan's window holds already is not read again: small frames come from it whole.
    std::size_t held = 0;
    const std::int64_t windowEnd = m_windowAt + static_cast<std::int64_t>(m_window.size());
    if (at >= m_windowAt && at < windowEnd) {
        held = static_cast<std::size_t>(std::min<std::int64_t>(size, windowEnd - at));
        if (held > 0)  // an empty frame's buffer may be no buffer at all
            std::memcpy(data.data(), m_window.data() + (at - m_windowAt), held);
    }
    if (held == data.size())
        return true;
    const platform::ReadOutcome read = m_file.readExactlyAt(std::span(data).subspan(held), at + std::int64_t(held));
    if (read == platform::ReadOutcome::Complete)
        return true;
    readFailure(read);
    return false;
}

void AviFrames::readFailure(platform::ReadOutcome outcome)
{
    // A file that shrank since it was opened cannot be read as it was either.
    m_problem = outcome == platform::ReadOutcome::Failed ? "errore di lettura (" + systemText(errno) + ")"
                                                         : "il file si è accorciato durante la lettura";
    m_readFailed = true;
}

bool AviFrames::next(std::vector<std::uint8_t>& data)
{
    const char tens = static_cast<char>('0' + m_streamNumber / 10);
    const char ones = static_cast<char>('0' + m_streamNumber % 10);
    const auto ourFrame = [&](FourCC id) {
        return id.at(0) == tens && id.at(1) == ones && id.at(2) == 'd' && (id.at(3) == 'b' || id.at(3) == 'c');
    };
    std::array<std::uint8_t, 8> bytes{};
    while (m_problem.empty() && m_at < m_length) {
        std::size_t got = 0;
        if (!headAt(m_at, bytes, got))
            return false;
        const ChunkHead head = readHead(bytes);
        if (got < 8) {
            // The last bytes are the start of a chunk header: of a frame, when they say so.
            if (got >= 3 && head.id.at(0) == tens && head.id.at(1) == ones && head.id.at(2) == 'd')
                m_cutFrame = m_at;
            break;
        }
        const std::int64_t end = m_at + 8 + std::int64_t{head.size};
        if (end > m_length || bytes[0] > 127) {
            // No whole chunk starts here: ffmpeg looks for one a byte further on.
            if (ourFrame(head.id))
                m_cutFrame = m_at;
            ++m_at;
            continue;
        }
        if (head.id == kList || head.id == kRiff) {
            m_at += 12;  // lists of any kind and depth, and each OpenDML continuation, are entered
            continue;
        }
        const int owner = streamOf(head.id.at(0), head.id.at(1));
        const bool index =
            head.id == kJunk || head.id == kIdx1 ||
            (head.id.at(0) == 'i' && head.id.at(1) == 'x' && streamOf(head.id.at(2), head.id.at(3)) >= 0 &&
             streamOf(head.id.at(2), head.id.at(3)) < m_streams) ||
            (owner >= 0 && owner < m_streams && head.id.at(2) == 'i' && head.id.at(3) == 'x');
        if (!index && (owner < 0 || owner >= m_streams)) {
            ++m_at;
            continue;
        }
        const std::int64_t at = m_at;
        m_at = end;  // a pad byte after the body is stepped over as no chunk
        if (owner != m_streamNumber || index)
            continue;
        if (ourFrame(head.id)) {
            if (!readBody(at + 8, head.size, data))
                return false;
            m_cutFrame = -1;
            return true;
        }
        if (head.id.at(2) == 'p' && head.id.at(3) == 'c' && head.size <= kMaxPaletteChange) {
            if (!readBody(at + 8, head.size, data))
                return false;
            applyPaletteChange(data);
        }
    }
    if (m_problem.empty() && m_cutFrame >= 0)
        m_problem = "il file finisce a metà di un fotogramma";
    return false;
}

}  // namespace kelvora::verify
