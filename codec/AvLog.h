#pragma once

// libavcodec's log lines kept off the terminal: they would interleave with our own messages
// on standard error, in another language. The lines of errors a codec context of ours logs
// are kept for that context, so that a failure can say libavcodec's reason in our own text.

#include <string>

namespace kelvora::codec {

// Sends every libavcodec (and libavutil, libavformat) log line to our handler, which prints
// none. Idempotent and thread-safe; every encoder and decoder calls it before it is opened.
void keepLibraryLogQuiet();

// The errors libavcodec logs for one object (a codec context, as av_log's first argument)
// while the capture lives, from whatever thread logs them. One capture per object.
class AvLogCapture {
public:
    explicit AvLogCapture(const void* object);
    ~AvLogCapture();
    AvLogCapture(const AvLogCapture&) = delete;
    AvLogCapture& operator=(const AvLogCapture&) = delete;

    // The first error line logged since the last take (without its newline); empty when none.
    [[nodiscard]] std::string take();

private:
    const void* m_object;
};

}  // namespace kelvora::codec
