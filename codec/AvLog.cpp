#include "codec/AvLog.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace kelvora::codec {

namespace {

struct Captures {
    std::mutex mutex;
    std::unordered_map<const void*, std::string> firstError;
};

Captures& captures()
{
    static Captures instance;
    return instance;
}

void onLogLine(void* object, int level, const char* format, va_list arguments)
{
    // Warnings and below are libavcodec's business ("Cannot allocate worst case packet size"
    // comes with every large FFV1 frame and does no harm).
    if (level > AV_LOG_ERROR || !object)
        return;
    // A camera's EXIF block libavcodec cannot parse is metadata, not the picture: it decodes
    // the picture all the same, as every viewer shows it.
    if (std::strstr(format, "error decoding EXIF") != nullptr)
        return;
    Captures& all = captures();
    const std::lock_guard lock(all.mutex);
    const auto found = all.firstError.find(object);
    // The first line of an error is its cause; libavcodec continues some errors on further
    // lines ("slice CRC mismatch 1A2B!" then "\n" or "at 0.08 seconds").
    if (found == all.firstError.end() || !found->second.empty())
        return;
    char line[512];
    va_list copy;
    va_copy(copy, arguments);
    std::vsnprintf(line, sizeof line, format, copy);
    va_end(copy);
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '!'))
        text.pop_back();
    found->second = std::move(text);
}

}  // namespace

void keepLibraryLogQuiet()
{
    static std::once_flag installed;
    std::call_once(installed, [] { av_log_set_callback(onLogLine); });
}

AvLogCapture::AvLogCapture(const void* object) : m_object(object)
{
    Captures& all = captures();
    const std::lock_guard lock(all.mutex);
    all.firstError[m_object].clear();
}

AvLogCapture::~AvLogCapture()
{
    Captures& all = captures();
    const std::lock_guard lock(all.mutex);
    all.firstError.erase(m_object);
}

std::string AvLogCapture::take()
{
    Captures& all = captures();
    const std::lock_guard lock(all.mutex);
    std::string text;
    text.swap(all.firstError[m_object]);
    return text;
}

}  // namespace kelvora::codec
