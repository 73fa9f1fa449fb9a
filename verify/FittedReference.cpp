#include "verify/FittedReference.h"

#include "bitmap/FramePlan.h"
#include "bitmap/cDIB.h"
#include "photo/FittedFrame.h"
#include "photo/SourcePicture.h"
#include "platform/msgbox/MessageBox.h"
#include "verify/PictureCompare.h"

namespace kelvora::verify {

namespace {

class LastMessage final : public platform::MessageBoxService {
public:
    void MsgBox(const std::string& text, int, const std::string&) override { last = text; }
    std::string last;
};

}  // namespace

FittedPicture fittedPicture(const std::string& path, const photo::Framing& framing)
{
    FittedPicture out;
    const photo::SourcePicture::Want want{framing, framing.size};
    photo::SourcePicture::Result made;
    if (std::optional<PictureFile> file = readPictureFile(path)) {
        if (!file->problem.empty()) {
            out.problem = std::move(file->problem);
            return out;
        }
        made = photo::SourcePicture::decode(file->bytes, want);
    } else {
        LastMessage message;
        bitmap::cDIB dib(message);
        if (!dib.CreateFromFile(path)) {
            out.problem =
                "il file non si legge più" + (message.last.empty() ? std::string() : " (" + message.last + ")");
            return out;
        }
        const bitmap::FramePlan plan = bitmap::planFrame(dib);
        if (!plan.accepted()) {
            out.problem = "il file non è più un fotogramma del video (" + plan.reason + ")";
            return out;
        }
        made = photo::SourcePicture::fromBitmap(plan.shape, dib.bits(), plan.palette);
    }
    if (!made.picture) {
        out.problem = "non si decodifica (" + made.error + ")";
        return out;
    }
    const auto width = static_cast<std::size_t>(framing.size.width);
    out.rgb.resize(width * static_cast<std::size_t>(framing.size.height) * 3);
    photo::fitInto(*made.picture, framing,
                   {out.rgb.data(), static_cast<std::ptrdiff_t>(width * 3), framing.size.width, framing.size.height});
    return out;
}

}  // namespace kelvora::verify
