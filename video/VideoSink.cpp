#include "video/VideoSink.h"

#include "platform/text/NoCase.h"

#include <algorithm>
#include <cctype>

namespace kelvora::video {

using platform::endsWithNoCase;

Container containerForPath(std::string_view path)
{
    if (endsWithNoCase(path, ".mkv"))
        return Container::Matroska;
    if (endsWithNoCase(path, ".mp4"))
        return Container::Mp4;
    return Container::Avi;
}

codec::Codec defaultCodecFor(Container container, codec::Codec asked)
{
    if (asked != codec::Codec::Raw)
        return asked;
    switch (container) {
    case Container::Matroska:
        return codec::Codec::Ffv1;
    case Container::Mp4:
        return codec::Codec::H264;
    case Container::Avi:
        break;
    }
    return asked;
}

bool containerHolds(Container container, codec::Codec codec)
{
    switch (container) {
    case Container::Matroska:
        return codec == codec::Codec::Ffv1;
    case Container::Mp4:
        return codec == codec::Codec::H264;
    case Container::Avi:
        break;
    }
    return codec != codec::Codec::H264;
}

SinkResult VideoSink::writeHeld(std::int64_t start, const SinkFrame& frame, std::int64_t frames)
{
    // Empty chunks after the frame: ffmpeg, GStreamer and MediaInfo all take one as the frame
    // before it shown on (ffmpeg writes them so), at 8 bytes and an index entry each.
    std::vector<SinkFrame> held(static_cast<std::size_t>(std::max<std::int64_t>(frames, 1)));
    held.front() = frame;
    return writeFrames(start, held);
}

}  // namespace kelvora::video
