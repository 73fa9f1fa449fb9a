#include "cli/SlideshowInputs.h"

#include "cli/Messages.h"
#include "platform/text/Counts.h"
#include "audio/AudioInput.h"
#include "slideshow/ConcatFile.h"

#include <filesystem>

namespace kelvora::cli {

namespace {

// Whether `duration` lasts at least a frame of `rate`: shorter, the picture would vanish.
bool atLeastAFrame(slideshow::Duration duration, video::StreamRate rate)
{
    return __int128{duration.nanoseconds} * rate.rate >= __int128{rate.scale} * 1'000'000'000;
}

}  // namespace

std::optional<SlideshowInputs> readSlideshow(const Invocation& invocation, int& status)
{
    SlideshowInputs inputs;
    inputs.items = invocation.items;
    inputs.show.audio = invocation.audio;
    inputs.show.fitToAudio = invocation.fitToAudio;
    inputs.show.fades = invocation.fades;
    if (invocation.concat.empty())
        return inputs;
    const slideshow::ConcatList list = slideshow::readConcatFile(invocation.concat);
    if (!list.ok()) {
        say("l'elenco " + invocation.concat + ": " + list.error);
        status = kExitFailed;
        return std::nullopt;
    }
    if (list.entries.empty()) {
        say("l'elenco " + invocation.concat + " non nomina nessuna immagine");
        status = kExitFailed;
        return std::nullopt;
    }
    inputs.items.clear();
    for (const slideshow::ConcatEntry& entry : list.entries) {
        std::error_code error;
        if (std::filesystem::is_directory(entry.path, error)) {
            say("l'elenco " + invocation.concat + ": riga " + std::to_string(entry.line) + ": " + entry.path +
                " è una cartella: un elenco nomina le immagini una per una");
            status = kExitFailed;
            return std::nullopt;
        }
        if (entry.duration && !atLeastAFrame(*entry.duration, invocation.rate)) {
            say("l'elenco " + invocation.concat + ": riga " + std::to_string(entry.line) + ": " + entry.path +
                " dura " + slideshow::durationText(*entry.duration) + ", meno di un fotogramma a " +
                video::rateText(invocation.rate) + " al secondo");
            status = kExitFailed;
            return std::nullopt;
        }
        inputs.items.push_back(entry.path);
        inputs.show.durations.push_back(entry.duration);
    }
    return inputs;
}

std::optional<SlideshowCheck> slideshowCheck(const Invocation& invocation, const video::Slideshow& show,
                                             std::size_t pictures, const std::string& video, bool rateGiven)
{
    slideshow::Rate rate{invocation.rate.rate, invocation.rate.scale};
    if (!rateGiven) {
        const std::optional<verify::VideoRate> own = verify::videoRateOf(video);
        if (!own) {
            say("nessuna verifica: " + video + " non dice a quanti fotogrammi al secondo va (indicalo con --fps)");
            return std::nullopt;
        }
        rate = {own->rate, own->scale};
    }
    std::vector<std::optional<slideshow::Duration>> durations = show.durations;
    durations.resize(pictures);
    const std::int64_t fit = show.fitToAudio ? audio::framesForMusic(show.audio, rate.rate, rate.scale) : 0;
    SlideshowCheck check;
    check.layout.emplace(rate, durations, fit, show.fades);
    check.audio = {video, show.audio, rate, check.layout->frames(), check.layout->fades()};
    return check;
}

std::string picturesText(const video::SaveOutcome& outcome, video::StreamRate rate)
{
    if (outcome.slideshowFrames <= 0)
        return platform::framesText(outcome.framesWritten);
    const slideshow::Duration length{slideshow::nanosecondsOf(outcome.slideshowFrames, {rate.rate, rate.scale})};
    return platform::countText(outcome.framesWritten, "immagine", "immagini") + " in " +
           platform::framesText(outcome.slideshowFrames) + " (" + slideshow::durationText(length) + ")";
}

}  // namespace kelvora::cli
