#include "tests/support/avi/AviReader.h"

#include "platform/binary/ByteReader.h"

#include <algorithm>
#include <fstream>

namespace kelvora::testsupport {

namespace {

class Reader {
public:
    explicit Reader(const std::filesystem::path& file) : m_in(file, std::ios::binary)
    {
        std::error_code ec;
        m_size = std::filesystem::file_size(file, ec);
    }
    bool ok() const { return static_cast<bool>(m_in); }
    std::uint64_t size() const { return m_size; }
    std::vector<std::uint8_t> bytes(std::uint64_t at, std::size_t n)
    {
        std::vector<std::uint8_t> out(n);
        m_in.clear();
        m_in.seekg(static_cast<std::streamoff>(at));
        m_in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(n));
        out.resize(static_cast<std::size_t>(std::max<std::streamsize>(m_in.gcount(), 0)));
        return out;
    }

private:
    std::ifstream m_in;
    std::uint64_t m_size = 0;
};

void parseAvih(const std::vector<std::uint8_t>& b, AviMainHeader& h)
{
    binary::ByteReader f(b);
    h.dwMicroSecPerFrame = f.u32(), h.dwMaxBytesPerSec = f.u32(), h.dwPaddingGranularity = f.u32();
    h.dwFlags = f.u32(), h.dwTotalFrames = f.u32(), h.dwInitialFrames = f.u32(), h.dwStreams = f.u32();
    h.dwSuggestedBufferSize = f.u32(), h.dwWidth = f.u32(), h.dwHeight = f.u32();
}

void parseStrh(const std::vector<std::uint8_t>& b, AviStreamHeader& h)
{
    binary::ByteReader f(b);
    h.fccType = f.fourCC(), h.fccHandler = f.fourCC();
    h.dwFlags = f.u32(), h.wPriority = f.u16(), h.wLanguage = f.u16();
    h.dwInitialFrames = f.u32(), h.dwScale = f.u32(), h.dwRate = f.u32(), h.dwStart = f.u32(), h.dwLength = f.u32();
    h.dwSuggestedBufferSize = f.u32(), h.dwQuality = f.u32(), h.dwSampleSize = f.u32();
    h.left = static_cast<std::int16_t>(f.u16()), h.top = static_cast<std::int16_t>(f.u16());
    h.right = static_cast<std::int16_t>(f.u16()), h.bottom = static_cast<std::int16_t>(f.u16());
}

void parseIndx(const std::vector<std::uint8_t>& b, AviInfo& info)
{
    binary::ByteReader f(b);
    f.skip(4);  // wLongsPerEntry, bIndexSubType, bIndexType
    info.hasIndx = true;
    info.indxEntriesInUse = f.u32();
    info.indxChunkId = f.fourCC();
    f.skip(12);  // dwReserved
    info.indxCapacity = b.size() < 24 ? 0 : (b.size() - 24) / 16;
    for (std::uint32_t i = 0; i < info.indxEntriesInUse && i < info.indxCapacity; ++i) {
        AviSuperIndexEntry e;
        e.offset = f.u64(), e.size = f.u32(), e.duration = f.u32();
        info.indx.push_back(e);
    }
}

AviStdIndex parseIx(std::uint64_t at, const std::vector<std::uint8_t>& b)
{
    binary::ByteReader f(b);
    AviStdIndex ix;
    ix.chunkOffset = at;
    f.skip(4);  // wLongsPerEntry, bIndexSubType, bIndexType
    const std::uint32_t n = f.u32();
    ix.chunkId = f.fourCC();
    ix.baseOffset = f.u64();
    f.skip(4);  // dwReserved
    for (std::uint32_t i = 0; i < n && 24 + 8 * (i + 1) <= b.size(); ++i) {
        const std::uint32_t off = f.u32();
        ix.entries.emplace_back(off, f.u32());
    }
    return ix;
}

struct Walker {
    Reader& in;
    AviInfo& info;

    // Visits the chunks in [begin, end); returns false when one runs past the file's end.
    void walk(std::uint64_t begin, std::uint64_t end, bool inMovi)
    {
        std::uint64_t pos = begin;
        while (pos + 8 <= end) {
            auto h = in.bytes(pos, 12);
            if (h.size() < 8) {
                info.truncated = true;
                return;
            }
            binary::ByteReader f(h);
            const FourCC id = f.fourCC();
            const std::uint32_t size = f.u32();
            const std::uint64_t bodyEnd = pos + 8 + size;
            if (id == FourCC("LIST")) {
                const FourCC type = f.fourCC();
                const std::uint64_t listEnd = size == 0 && type == FourCC("movi") ? end : std::min(bodyEnd, end);
                if (type == FourCC("movi") && !info.riffs.empty()) {
                    info.riffs.back().moviFourCC = pos + 8;
                    info.riffs.back().moviSize = size;
                }
                if (listEnd > in.size())
                    info.truncated = true;
                walk(pos + 12, std::min(listEnd, in.size()), type == FourCC("movi"));
                pos = listEnd + (size & 1);
                continue;
            }
            if (bodyEnd > in.size()) {
                info.truncated = true;
                return;
            }
            chunk(pos, id, size, inMovi);
            pos = bodyEnd + (size & 1);
        }
    }

    void chunk(std::uint64_t pos, FourCC id, std::uint32_t size, bool inMovi)
    {
        if (inMovi && id == FourCC("00pc")) {
            info.paletteChanges.push_back({pos, size, info.riffs.size() - 1});
            return;
        }
        if (inMovi && id.at(0) == '0' && id.at(1) == '0') {
            info.frames.push_back({pos, size, info.riffs.size() - 1});
            return;
        }
        if (inMovi && id == FourCC("01wb")) {
            info.audioChunks.push_back({pos, size, info.riffs.size() - 1});
            return;
        }
        if (id == FourCC("JUNK") || (inMovi && id != FourCC("ix00") && id != FourCC("ix01")))
            return;
        const auto body = in.bytes(pos + 8, size);
        if (id == FourCC("avih"))
            parseAvih(body, info.avih);
        else if (id == FourCC("strh") && info.hasStream)
            info.hasAudio = true, parseStrh(body, info.audioStrh);
        else if (id == FourCC("strh"))
            info.hasStream = true, parseStrh(body, info.strh);
        else if (id == FourCC("strf") && info.hasAudio)
            info.audioStrf = body;
        else if (id == FourCC("strf"))
            info.strf = body;
        else if (id == FourCC("strn"))
            info.strn.assign(body.begin(), std::find(body.begin(), body.end(), 0));
        else if (id == FourCC("indx") && info.hasAudio) {
            AviInfo audio;
            parseIndx(body, audio);
            info.audioIndx = audio.indx;
        } else if (id == FourCC("indx"))
            parseIndx(body, info);
        else if (id == FourCC("dmlh"))
            info.hasOdml = true, info.dmlhTotalFrames = binary::ByteReader(body).u32();
        else if (id == FourCC("ix00"))
            info.ix00.push_back(parseIx(pos, body));
        else if (id == FourCC("ix01"))
            info.ix01.push_back(parseIx(pos, body));
        else if (id == FourCC("idx1")) {
            info.hasIdx1 = true;
            binary::ByteReader f(body);
            for (std::size_t i = 0; i + 16 <= body.size(); i += 16) {
                AviIdx1Entry e;
                e.chunkId = f.fourCC(), e.flags = f.u32(), e.offset = f.u32(), e.size = f.u32();
                info.idx1.push_back(e);
            }
        }
    }
};

}  // namespace

AviInfo inspectAvi(const std::filesystem::path& file)
{
    AviInfo info;
    Reader in(file);
    if (!in.ok()) {
        info.error = "cannot open " + file.string();
        return info;
    }
    info.fileSize = in.size();
    Walker walker{in, info};
    std::uint64_t pos = 0;
    while (pos + 12 <= in.size()) {
        auto h = in.bytes(pos, 12);
        binary::ByteReader f(h);
        const FourCC id = f.fourCC();
        const std::uint32_t size = f.u32();
        const FourCC type = f.fourCC();
        if (id != FourCC("RIFF")) {
            info.error = "no RIFF at offset " + std::to_string(pos);
            return info;
        }
        info.riffs.push_back({type, pos, size, 0, 0});
        const std::uint64_t end = std::min<std::uint64_t>(pos + 8 + size, in.size());
        if (pos + 8 + size > in.size())
            info.truncated = true;
        walker.walk(pos + 12, end, false);
        pos = pos + 8 + size + (size & 1);
    }
    if (info.riffs.empty())
        info.error = "no RIFF";
    return info;
}

std::vector<std::uint8_t> readFrameBytes(const std::filesystem::path& file, const AviFrame& frame)
{
    Reader in(file);
    return in.bytes(frame.chunkOffset + 8, frame.size);
}

}  // namespace kelvora::testsupport
