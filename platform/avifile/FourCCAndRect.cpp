// The two small helpers the writer takes from the platform's multimedia and window libraries.
#include <cctype>

#include "platform/avifile/AVIFile.h"

namespace kelvora::avifile {

namespace {
constexpr UINT MMIO_TOUPPER = 0x0010;
}

FOURCC mmioStringToFOURCCA(const char* sz, UINT uFlags)
{
    // The first four characters, padded with spaces when the text is shorter.
    FOURCC code = 0;
    bool ended = !sz;
    for (int i = 0; i < 4; ++i) {
        unsigned char c = ' ';
        if (!ended && sz[i] == '\0')
            ended = true;
        if (!ended) {
            c = static_cast<unsigned char>(sz[i]);
            if (uFlags & MMIO_TOUPPER)
                c = static_cast<unsigned char>(std::toupper(c));
        }
        code |= static_cast<FOURCC>(c) << (8 * i);
    }
    return code;
}

BOOL SetRect(RECT* lprc, int xLeft, int yTop, int xRight, int yBottom)
{
    if (!lprc)
        return 0;
    *lprc = {xLeft, yTop, xRight, yBottom};
    return 1;
}

}  // namespace kelvora::avifile
