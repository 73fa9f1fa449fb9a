#pragma once

// PNG and JPEG files of every kind the tests name, made once a test program by the tools
// people make them with (tests/support/pictures/make-pictures.py: Pillow, OpenCV, ImageMagick).

#include "tests/support/fs/TempDir.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace kelvora::testsupport {

// The folder holding them; a kind no tool here makes is missing from it.
inline const std::filesystem::path& madePictures()
{
    static const TempDir folder;
    static const bool made = [] {
        const std::string command = "/usr/bin/python3 '" KELVORA_SOURCE_DIR
                                    "/tests/support/pictures/make-pictures.py' '" +
                                    folder.path().string() + "'";
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("make-pictures.py failed");
        return true;
    }();
    (void)made;
    return folder.path();
}

// JPEGs of noise named WxH-FORM.jpg in `folder`, for each size ("9x7") in each of `forms`
// (tests/support/pictures/make-jpegs.py: "444", "422", "420", "411", "440", "410", "grey",
// "rgb" by cjpeg, "cmyk" by Pillow, "ycck" by ImageMagick).
inline void makeJpegs(const std::filesystem::path& folder, const std::string& forms, const std::string& sizes)
{
    const std::string command = "/usr/bin/python3 '" KELVORA_SOURCE_DIR "/tests/support/pictures/make-jpegs.py' '" +
                                folder.string() + "' --forms " + forms + " " + sizes;
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("make-jpegs.py failed");
}

// A test's name from the file it reads: its letters and digits ("rgb8-opencv.png" gives
// "rgb8opencvpng"), for a parameterised suite's name generator.
inline std::string pictureCaseName(std::string file)
{
    std::erase_if(file, [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); });
    return file;
}

}  // namespace kelvora::testsupport
