#include "verify/PsnrCheck.h"

#include "platform/text/Counts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kelvora::verify {

namespace {

std::string decimal(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    std::string out = text;
    std::replace(out.begin(), out.end(), '.', ',');
    return out;
}

}  // namespace

FidelityVerdict judgeFidelity(const PsnrOutcome& outcome, const std::vector<std::string>& frames, double floorDb)
{
    const auto place = [&](int index) {
        std::string text = (outcome.pictures ? "immagine " : "fotogramma ") + std::to_string(index + 1);
        if (index < outcome.listFrames)
            text += " di " + std::to_string(outcome.listFrames) + ", " + frames[static_cast<std::size_t>(index)];
        return text + ": ";
    };
    const std::string counts = " (fotogrammi nel video: " + std::to_string(outcome.videoFrames) +
                               ", file: " + std::to_string(outcome.listFrames) + ")";
    if (outcome.pictures && outcome.timing.count > 0) {
        // A slideshow's pictures are found by their times, not counted frame for frame.
        const auto picture = static_cast<int>(outcome.timing.picture);
        const std::string more =
            outcome.timing.count > 1
                ? "; " + platform::countText(outcome.timing.count - 1, "altra differenza", "altre differenze")
                : std::string();
        return {Fidelity::Missing, picture, place(picture) + outcome.timing.reason + more};
    }
    if (outcome.videoFrames < outcome.listFrames && !outcome.pictures)
        return {Fidelity::Missing, outcome.videoFrames, place(outcome.videoFrames) + "manca nel video" + counts};
    if (outcome.videoFrames > outcome.listFrames && !outcome.pictures)
        return {Fidelity::Extra, outcome.listFrames, place(outcome.listFrames) + "è in più nel video" + counts};
    if (outcome.damaged > 0)
        return {Fidelity::Damaged, outcome.firstDamaged,
                place(outcome.firstDamaged) + "è danneggiato (" + outcome.damageReason + ")"};
    // A video shown turned is compared as it is shown: the turn may be the whole difference.
    const std::string turned = outcome.turnDegrees == 0 ? std::string()
                                                        : "; il video chiede ai lettori di ruotarlo di " +
                                                              std::to_string(outcome.turnDegrees) + "°";
    if (outcome.unmatched > 0)
        return {Fidelity::Differs, outcome.firstUnmatched,
                place(outcome.firstUnmatched) + "il file non ha più le misure o la profondità del video" + turned};
    if (outcome.picturesDiffer > 0)
        return {Fidelity::Differs, outcome.firstPictureDiffers,
                place(outcome.firstPictureDiffers) + outcome.pictureReason};
    const std::string worstFile = outcome.worst >= 0 ? frames[static_cast<std::size_t>(outcome.worst)] : std::string();
    if (outcome.inexact > 0)
        return {Fidelity::Differs, outcome.worst,
                place(outcome.worst) + "i pixel sono diversi (" + psnrText(outcome, worstFile) + ")"};
    if (outcome.otherPictures > 0)
        return {Fidelity::Differs, outcome.firstOther,
                place(outcome.firstOther) + "mostra un'altra immagine (PSNR " + decimal(outcome.otherDb) +
                    " dB, sotto il minimo di " + decimal(outcome.otherFloorDb) + " dB" +
                    (outcome.otherFloorDb < kNearDb ? ", quanto darebbe il solo colore medio del file)" : ")") +
                    turned};
    if (outcome.belowFloor > 0) {
        char floor[32];
        std::snprintf(floor, sizeof floor, "%g", floorDb);
        return {Fidelity::BelowFloor, outcome.worst,
                platform::countText(outcome.belowFloor, "fotogramma è", "fotogrammi sono") + " sotto " + floor +
                    " dB; " + psnrText(outcome, worstFile)};
    }
    return {};
}

std::string psnrText(const PsnrOutcome& outcome, const std::string& worstFile)
{
    if (outcome.worst < 0 || std::isinf(outcome.worstDb))
        return outcome.pictures ? "ogni immagine uguale al suo file" : "ogni fotogramma uguale al suo file";
    return "PSNR minimo " + decimal(outcome.worstDb) + " dB (" + (outcome.pictures ? "immagine " : "fotogramma ") +
           std::to_string(outcome.worst + 1) + ", " + worstFile + "), medio " + decimal(outcome.meanDb) + " dB";
}

}  // namespace kelvora::verify
