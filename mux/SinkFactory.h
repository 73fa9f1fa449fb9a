#pragma once

// The sink for each container, above both the save (video/) and libavformat's writers: the
// window, the batch mode, the tests and the benchmarks hand it to the save, which knows no
// writer of its own.

#include "video/VideoSink.h"

#include <atomic>
#include <memory>

namespace kelvora::mux {

// The sink for `container`: our AVI library through `avi`, or libavformat's writer, which
// leaves its last step undone once `stop` is set. A video::SinkFactory.
[[nodiscard]] std::unique_ptr<video::VideoSink> sinkFor(video::Container container, video::mAVIDecs& avi,
                                                        const std::atomic<bool>& stop);

}  // namespace kelvora::mux
