#include "mux/SinkFactory.h"

#include "mux/AvFormatSink.h"
#include "video/AviSink.h"

namespace kelvora::mux {

std::unique_ptr<video::VideoSink> sinkFor(video::Container container, video::mAVIDecs& avi,
                                          const std::atomic<bool>& stop)
{
    if (container == video::Container::Avi)
        return std::make_unique<video::AviSink>(avi);
    return std::make_unique<AvFormatSink>(container, stop);
}

}  // namespace kelvora::mux
