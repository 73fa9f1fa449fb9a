#include "cli/FidelityCheck.h"

#include "cli/Messages.h"
#include "platform/text/Counts.h"
#include "verify/PsnrCheck.h"

namespace kelvora::cli {

Checked checkFidelity(const std::string& video, const std::vector<std::string>& frames, const Invocation& invocation,
                      int statusIfSame, verify::CheckObserver& observer, const StopSignals& stop,
                      verify::FrameMd5* hashes, const std::optional<photo::Framing>& fitted,
                      const slideshow::ShowLayout* show)
{
    verify::PsnrRequest request{video, frames, invocation.verify, invocation.minPsnr, show};
    request.fitted = fitted;
    const verify::PsnrOutcome outcome = verify::measurePsnr(request, observer, stop.stopRequested(), hashes);
    if (outcome.cancelled)
        return Checked::ended(kExitFailed, true);
    if (!outcome.readable) {
        say((invocation.verify ? "nessuna verifica: " : "nessuna impronta: ") + video + " " + outcome.reason);
        return Checked::ended(kExitFailed);
    }
    Checked checked = Checked::ended(statusIfSame);
    checked.hashed = true;
    checked.damage = {outcome.damaged, outcome.firstDamaged, outcome.damageReason};
    if (!invocation.verify)
        return checked;
    checked.compared = true;
    const verify::FidelityVerdict verdict = verify::judgeFidelity(outcome, frames, invocation.minPsnr);
    if (verdict.kind != verify::Fidelity::Kept) {
        say("verifica fallita per " + video + ": " + verdict.text);
        checked.status = kExitDiffers;
        return checked;
    }
    const std::string worstFile = outcome.worst >= 0 ? frames[static_cast<std::size_t>(outcome.worst)] : std::string();
    const std::string counted =
        show ? platform::countText(outcome.listFrames, "immagine nel suo tempo", "immagini nei loro tempi")
             : platform::framesText(outcome.videoFrames);
    say("verificato " + video + ": " + counted + ", " + verify::psnrText(outcome, worstFile));
    return checked;
}

}  // namespace kelvora::cli
