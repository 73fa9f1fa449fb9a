#include "video/KeptVideo.h"

namespace kelvora::video {

KeptVideo keptVideo(const SaveOutcome& outcome, bool replacing)
{
    if (outcome.framesWritten <= 0 || outcome.refused)
        return KeptVideo::None;  // a video without a frame is no video
    if (outcome.result == 0 && (outcome.finished || outcome.cancelled))
        return KeptVideo::Whole;
    return outcome.result != 0 && !replacing ? KeptVideo::Partial : KeptVideo::None;
}

}  // namespace kelvora::video
