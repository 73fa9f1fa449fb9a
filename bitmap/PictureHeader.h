#pragma once

// What a picture file is, read from its headers only: its type by content (BMP, PNG or JPEG),
// its sides, and what decides whether a video can hold it as it is (a PNG's colour type, bit
// depth, interlacing and animation; a JPEG's coding process, entropy coding, components and
// their sampling). A file is read a few small pieces at a time wherever it is large (a JPEG's
// frame header may follow 64 KiB of camera data): segment by segment or chunk by chunk, and
// its last bytes, so that a file that ends early is caught without reading it through.
// Standard library only.

#include "platform/filesystem/File.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace kelvora::bitmap {

enum class PictureType { Bmp, Png, Jpeg };

// The type a file's name says it is, by its extension in any case: .bmp, .png, .jpg or .jpeg;
// nothing for any other name.
[[nodiscard]] std::optional<PictureType> pictureTypeOfName(const std::filesystem::path& path);
// "BMP", "PNG" or "JPEG".
[[nodiscard]] const char* pictureTypeName(PictureType type);

// PNG colour types.
enum class PngColour : std::uint8_t { Grey = 0, Rgb = 2, Palette = 3, GreyAlpha = 4, Rgba = 6 };

struct PngFacts {
    PngColour colour = PngColour::Rgb;
    std::uint8_t bitDepth = 0;    // bits per sample (per index for a palette)
    bool interlaced = false;      // Adam7
    bool animated = false;        // an acTL chunk before the first IDAT (APNG)
    bool transparentKey = false;  // a tRNS chunk: a colour or palette entries shown transparent
};

// The JPEG frame header's coding process (SOF0 baseline; SOF1, SOF5, SOF9, SOF13 extended
// sequential; SOF2, SOF6, SOF10, SOF14 progressive; SOF3, SOF7, SOF11, SOF15 lossless).
enum class JpegProcess { Baseline, Extended, Progressive, Lossless };

struct JpegComponent {
    std::uint8_t id = 0;
    std::uint8_t horizontal = 0;  // sampling factors, 1 to 4
    std::uint8_t vertical = 0;
    bool operator==(const JpegComponent&) const = default;
};

struct JpegFacts {
    JpegProcess process = JpegProcess::Baseline;
    bool arithmetic = false;     // arithmetic entropy coding (SOF9 and above) instead of Huffman
    bool hierarchical = false;   // a differential frame (SOF5-7, SOF13-15)
    std::uint8_t precision = 0;  // bits per sample
    std::uint8_t componentCount = 0;
    std::array<JpegComponent, 4> components = {};
    bool adobe = false;               // an APP14 "Adobe" segment
    std::uint8_t adobeTransform = 0;  // its colour transform: 0 none (RGB, CMYK), 1 YCbCr, 2 YCCK
    // Where the first scan's entropy-coded data starts.
    std::int64_t firstScan = 0;
    // The end marker lies among the file's last bytes: the file is the picture. Otherwise
    // other data may follow the picture (a phone's motion photo: the picture, then a video),
    // or the file is cut short: which is found when the file is read (findPictureEnd).
    bool endInTail = true;
    // The EXIF block's Orientation (1 to 8; 1 where none): how viewers turn the picture.
    std::uint8_t orientation = 1;
    // Four components are CMYK (or YCCK): inks, not a picture players show.
    [[nodiscard]] bool cmyk() const { return componentCount == 4; }
    // The chroma subsampling of a three-component picture ("4:2:0", "4:2:2", "4:4:4", ...);
    // "scala di grigi" for one component; the factors themselves for other layouts.
    [[nodiscard]] std::string samplingText() const;
};

struct PictureHeader {
    enum class Outcome {
        Read,        // the headers describe a picture of this type; the facts below hold
        Refused,     // not a picture of its type, a header that lies, a size no video takes
        Incomplete,  // the file ends before the picture does
        ReadError,   // the platform failed a read (error holds errno)
    };
    Outcome outcome = Outcome::Refused;
    // Why it is not Read, in Italian, to follow "Motivo: "; empty when Read.
    std::string reason;
    int error = 0;
    PictureType type = PictureType::Bmp;
    // The picture's sides; for a BMP the information header's, the height negative for rows
    // stored top-down (the bitmap object then judges the rest).
    std::int32_t width = 0;
    std::int32_t height = 0;
    PngFacts png;    // for PNG only
    JpegFacts jpeg;  // for JPEG only
    // The file declares its colours as other than plain sRGB, as browsers read it: an ICC
    // profile (a JPEG's APP2, a PNG's iCCP), or a PNG's gAMA without its sRGB chunk.
    bool profiled = false;
    // How many bytes of the file were read to decide.
    std::int64_t bytesRead = 0;

    [[nodiscard]] bool read() const { return outcome == Outcome::Read; }
};

// Reads the headers of `file`, `fileLength` bytes long. With `named`, a file whose content is
// another type than its name says is refused (a JPEG named .png, a bitmap named .png). Every
// length a header gives is checked against the file's before it is followed; sides beyond what
// an AVI stream holds (32767), sides out of all proportion to the file's length and pictures
// too large for libavcodec to decode are refused.
[[nodiscard]] PictureHeader readPictureHeader(platform::File& file, std::int64_t fileLength,
                                              std::optional<PictureType> named);

// The type a file's first bytes say it is: "BM", PNG's signature or JPEG's start; nothing else.
[[nodiscard]] std::optional<PictureType> pictureTypeOfContent(std::span<const std::uint8_t> start);
// What a file's first bytes are where they are no picture of ours but are recognisably
// something: a PNG whose signature a text-mode (or 7-bit) transfer has damaged, an OS/2 bitmap
// array or icon. Empty otherwise.
[[nodiscard]] std::string recognisedContent(std::span<const std::uint8_t> start);

// Where a picture's own bytes end in its file, the frame a video stores: the whole file,
// except for a JPEG whose end marker is not among its last bytes, whose segments and scans are
// walked to its end marker (the data after it is no part of the picture). Used by the save and
// by the check alike, so that both take the same bytes for the frame.
struct PictureEnd {
    enum class Outcome {
        Found,       // the picture is the file's first `end` bytes
        Incomplete,  // the file ends before the picture does, or its data breaks off
        ReadError,   // the platform failed a read (error holds errno)
    };
    Outcome outcome = Outcome::Found;
    std::int64_t end = 0;
    std::string reason;  // why not Found, in Italian, to follow "Motivo: "
    int error = 0;
};
// For a file whose headers were read (`header.read()`), PNG or JPEG, `fileLength` bytes long.
[[nodiscard]] PictureEnd findPictureEnd(platform::File& file, std::int64_t fileLength, const PictureHeader& header);

}  // namespace kelvora::bitmap
