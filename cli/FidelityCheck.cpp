#include "cli/FidelityCheck.h"

#include "cli/Messages.h"
#include "platform/text/Counts.h"
#include "verify/PsnrCheck.h"

#include <csignal>
#include <cstdio>

namespace kelvora::cli {

int checkFidelity(const std::string& video, const std::vector<std::string>& frames, const Invocation& invocation,
                  int statusIfSame, const StopSignals& stop)
{
    const verify::PsnrOutcome outcome = verify::measurePsnr(video, frames, invocation.minPsnr, stop.stopRequested());
    if (outcome.cancelled) {
        say("interrotto: " + video + " non è stato verificato fino in fondo");
        return statusForSignal(stop.signal() != 0 ? stop.signal() : SIGINT);
    }
    if (!outcome.readable) {
        say("nessuna verifica: " + video + " " + outcome.reason);
        return kExitFailed;
    }
    const std::string counted = platform::countText(outcome.videoFrames, "fotogramma", "fotogrammi");
    if (outcome.videoFrames != outcome.listFrames) {
        say("verifica fallita per " + video + ": contiene " + counted + ", i file sono " +
            std::to_string(outcome.listFrames));
        return kExitDiffers;
    }
    if (outcome.unmatched > 0 || outcome.inexact > 0) {
        const int first = outcome.unmatched > 0 ? outcome.firstUnmatched : outcome.worst;
        say("verifica fallita per " + video + ": fotogramma " + std::to_string(first + 1) + ", " +
            frames[static_cast<std::size_t>(first)] +
            (outcome.unmatched > 0 ? ": il file non ha più le misure o la profondità del video"
                                   : ": i pixel sono diversi (" + verify::psnrText(outcome, frames) + ")"));
        return kExitDiffers;
    }
    if (outcome.belowFloor > 0) {
        char floor[32];
        std::snprintf(floor, sizeof floor, "%g", invocation.minPsnr);
        say("verifica fallita per " + video + ": " +
            platform::countText(outcome.belowFloor, "fotogramma è", "fotogrammi sono") + " sotto " + floor + " dB; " +
            verify::psnrText(outcome, frames));
        return kExitDiffers;
    }
    say("verificato " + video + ": " + counted + ", " + verify::psnrText(outcome, frames));
    return statusIfSame;
}

}  // namespace kelvora::cli
