#include "verify/PictureLimits.h"

namespace kelvora::verify {

std::string pictureRefusal(std::int64_t width, std::int64_t height, std::int64_t fileLength)
{
    if (height < 0)
        height = -height;
    const std::string size = std::to_string(width) + "×" + std::to_string(height) + " pixel";
    if (width <= 0 || height <= 0)
        return "dichiara fotogrammi di " + size + ", che non sono un'immagine";
    if (width > kMaxPictureSide || height > kMaxPictureSide || width * height * 4 > kMaxPictureBytes)
        return "dichiara fotogrammi di " + size + ", troppo grandi per essere decodificati";
    const std::int64_t bytes = width * height * 4;
    if (bytes > kPictureBytesAnyFile && bytes / kPictureBytesPerFileByte > fileLength)
        return "dichiara fotogrammi di " + size + ", troppo grandi per un file di " + std::to_string(fileLength) +
               " byte";
    return {};
}

std::string decodedPictureRefusal(std::int64_t width, std::int64_t height, std::int64_t fileLength)
{
    if (std::string refusal = pictureRefusal(width, height, fileLength); !refusal.empty())
        return refusal;
    const std::int64_t bytes = width * (height < 0 ? -height : height) * 4;
    if (bytes > kPictureBytesAnyFile && bytes / kDecodedBytesPerFileByte > fileLength)
        return "dichiara fotogrammi di " + std::to_string(width) + "×" + std::to_string(height < 0 ? -height : height) +
               " pixel, troppo grandi per un file di " + std::to_string(fileLength) + " byte";
    return {};
}

std::string rawRefusal(const binary::BITMAPINFOHEADER& header, std::int64_t fileLength)
{
    const std::int32_t bits = header.biBitCount;
    const std::int32_t compression = header.biCompression;
    const bool rle8 = compression == binary::BI_RLE8;
    const bool rle4 = compression == binary::BI_RLE4;
    if ((rle8 && bits != 8) || (rle4 && bits != 4))
        return "ha fotogrammi RLE di " + std::to_string(bits) + " bit per pixel, che nessun lettore decodifica";
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return "ha fotogrammi di " + std::to_string(bits) + " bit per pixel, che nessun lettore decodifica";
    return pictureRefusal(header.biWidth, header.biHeight, fileLength);
}

}  // namespace kelvora::verify
