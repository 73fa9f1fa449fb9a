#pragma once

// PNG and JPEG files of every kind the tests name, made once a test program by the tools
// people make them with (tests/support/pictures/make-pictures.py: Pillow, OpenCV, ImageMagick).

#include "tests/support/fs/TempDir.h"

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

}  // namespace kelvora::testsupport
