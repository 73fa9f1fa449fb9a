#pragma once

// Adding frames without a window: the checks "Aggiungi BMP" makes on each candidate, shared
// by every road a frame can come in by. QtCore only.

#include "adding/NumberGaps.h"
#include "bitmap/FramePlan.h"
#include "bitmap/PictureHeader.h"
#include "bitmap/PicturePlan.h"
#include "platform/dirsearch/DirectorySearch.h"
#include "platform/msgbox/MessageBox.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

namespace kelvora::adding {

// What every frame of the list shares; set by the first frame accepted. For bitmaps the
// width, height (with its sign: bottom-up or top-down), bit depth and compression (as the
// video writes it); for PNG and JPEG frames `picture` holds their shape (type, sides, PNG
// colour type and depth, JPEG components and sampling) and width and height repeat its sides.
struct FrameFormat {
    bool set = false;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bitCount = 0;
    std::int32_t compression = 0;
    std::optional<bitmap::PictureShape> picture = std::nullopt;
};

// Frames left out because they are of another type than the list's (PNG offered to a list of
// BMP frames, say), whatever their size: which types were offered.
struct TypeMismatches {
    int count = 0;
    unsigned offered = 0;  // bit (1 << PictureType) for each type offered
};

enum class Admission {
    Added,     // the frame belongs to the list (it may have set the format)
    Refused,   // could not be read as a bitmap (or not whole); the user was told why in a message box
    Unusable,  // a bitmap players cannot use as it is stored; the user was told why
    Mismatch,  // a sound frame of another format, left out without a message
};

// One adding: one click of "Aggiungi BMP", one drop, one command line.
class FrameAdder {
public:
    FrameAdder(FrameFormat& format, platform::MessageBoxService& messages);

    // Reads the file at path (a bitmap with the bitmap object; a file named .png, .jpg or
    // .jpeg by its headers only), checks that players can decode it as it is, then sets the
    // format (when none is held) or compares the frame with it.
    [[nodiscard]] Admission admit(const QString& path);
    // The same for a file already loaded (`file` its path, `plan` what it makes), so that a
    // caller that needs its pixels reads it only once.
    [[nodiscard]] Admission judge(const std::string& file, const bitmap::FramePlan& plan);
    // The same for a PNG or JPEG file whose headers were read (any outcome: a refusal is told).
    [[nodiscard]] Admission judgePicture(const std::string& file, const bitmap::PictureHeader& header);
    // A picture file no video of the run can hold as it is (`reason` says why, to follow
    // "Motivo: "): the user is told, and it is Unusable.
    [[nodiscard]] Admission refusePicture(const std::string& file, const std::string& reason);
    // Candidates left out for their format so far.
    [[nodiscard]] int mismatched() const { return m_mismatched; }
    // Frames of any format are taken (a video that fits each into its size), those of another
    // format than the first only counted.
    void takeAnyFormat() { m_anyFormat = true; }
    [[nodiscard]] int differing() const { return m_differing; }
    // Of those, the ones of another type.
    [[nodiscard]] const TypeMismatches& mismatchedByType() const { return m_byType; }

private:
    [[nodiscard]] Admission admitPicture(const std::string& file, bitmap::PictureType named);
    [[nodiscard]] Admission compare(const FrameFormat& frame);

    FrameFormat& m_format;
    platform::MessageBoxService& m_messages;
    int m_mismatched = 0;
    int m_differing = 0;
    bool m_anyFormat = false;
    TypeMismatches m_byType;
};

// The names (no folder) of a folder's frame files of one type as "Tutta la cartella" takes
// them: every *.bmp, *.png, or *.jpg and *.jpeg (any case), regular files only, in natural
// order. Without a type (a folder dropped or named on the command line), the type most of its
// picture files have (BMP, then PNG, then JPEG where as many). `folder` as the file system
// names it, empty for the current one; `gaps`, when given, learns the names.
[[nodiscard]] platform::DirectorySearch frameNamesOfFolder(const std::string& folder,
                                                           std::optional<bitmap::PictureType> type,
                                                           NumberGaps* gaps = nullptr);
// Every picture file of a folder (BMP, PNG, JPEG), in natural order, for a save that fits
// frames of any format into one size.
[[nodiscard]] platform::DirectorySearch pictureNamesOfFolder(const std::string& folder, NumberGaps* gaps = nullptr);
// The same as full paths, each handed to `take` in turn.
void forEachFrameFileOfFolder(const QString& folder, std::optional<bitmap::PictureType> type,
                              const std::function<void(const QString&)>& take, NumberGaps* gaps = nullptr);
// Every picture file of a folder as full paths, as pictureNamesOfFolder gives them.
void forEachPictureFileOfFolder(const QString& folder, const std::function<void(const QString&)>& take,
                                NumberGaps* gaps = nullptr);
// The type "Tutta la cartella" takes for a chosen file: its name's (BMP for any other name).
[[nodiscard]] bitmap::PictureType folderTypeForChosen(const QString& chosen);

// The BMP files of a folder, as frameNamesOfFolder gives them.
[[nodiscard]] platform::DirectorySearch bmpNamesOfFolder(const std::string& folder, NumberGaps* gaps = nullptr);
// The same as full paths.
[[nodiscard]] QStringList bmpFilesOfFolder(const QString& folder);
// The same, each path handed to `take` in turn, so a folder of a million frames is never a
// list of a million strings; `gaps`, when given, also learns the folder's names.
void forEachBmpFileOfFolder(const QString& folder, const std::function<void(const QString&)>& take,
                            NumberGaps* gaps = nullptr);

// One line for the status after an adding that left frames out for their format: how many,
// and the format they had to match ("3 esclusi: diversi da 320×240, 24 bit", "diversi da PNG
// 320×240, RGBA a 8 bit"); empty when none was.
// Frames of another type are said as such ("25 esclusi: file PNG in una lista di BMP"), apart
// from those of the list's type but another format.
[[nodiscard]] QString skippedSummary(int mismatched, const FrameFormat& format, const TypeMismatches& byType = {});
// The type of the frames of a format: BMP for bitmaps.
[[nodiscard]] bitmap::PictureType typeOfFormat(const FrameFormat& format);

}  // namespace kelvora::adding
