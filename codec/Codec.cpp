#include "codec/Codec.h"

namespace kelvora::codec {

std::optional<Codec> codecFromName(std::string_view name)
{
    if (name == "raw")
        return Codec::Raw;
    if (name == "ffv1")
        return Codec::Ffv1;
    if (name == "png")
        return Codec::Png;
    if (name == "h264")
        return Codec::H264;
    return std::nullopt;
}

std::string_view codecName(Codec codec)
{
    switch (codec) {
    case Codec::Ffv1:
        return "ffv1";
    case Codec::Png:
        return "png";
    case Codec::H264:
        return "h264";
    case Codec::Raw:
        break;
    }
    return "raw";
}

std::string_view codecLabel(Codec codec)
{
    switch (codec) {
    case Codec::Ffv1:
        return "FFV1";
    case Codec::Png:
        return "PNG";
    case Codec::H264:
        return "H.264";
    case Codec::Raw:
        break;
    }
    return "non compresso";
}

platform::FourCC codecFourCC(Codec codec)
{
    switch (codec) {
    case Codec::Ffv1:
        return platform::FourCC("FFV1");
    case Codec::Png:
        return platform::FourCC("MPNG");
    case Codec::H264:
        return platform::FourCC("H264");
    case Codec::Raw:
        break;
    }
    return platform::FourCC::fromValue(0);
}

}  // namespace kelvora::codec
