#pragma once

// A file opener whose answer the test scripts: it counts the opens and, unless told
// otherwise, opens through the system. Tests make an open fail with a chosen errno (which a
// test running as root could not provoke through permissions), hand back another file, or
// change the path between the caller's checks and the open.

#include "platform/filesystem/FileOpener.h"

#include <filesystem>
#include <functional>

namespace kelvora::testsupport {

class ScriptedFileOpener final : public platform::FileOpener {
public:
    using Answer = std::function<platform::OpenResult(const std::filesystem::path&, platform::OpenMode)>;

    ScriptedFileOpener() = default;
    explicit ScriptedFileOpener(Answer answer) : m_answer(std::move(answer)) {}

    // Opens nothing and answers every open with `error`.
    [[nodiscard]] static ScriptedFileOpener failingWith(int error)
    {
        return ScriptedFileOpener([error](const std::filesystem::path&, platform::OpenMode) {
            return platform::OpenResult{platform::File{}, error};
        });
    }

    platform::OpenResult open(const std::filesystem::path& path, platform::OpenMode mode) override
    {
        ++opens;
        return m_answer(path, mode);
    }

    int opens = 0;

private:
    Answer m_answer = [](const std::filesystem::path& path, platform::OpenMode mode) {
        return platform::systemFileOpener().open(path, mode);
    };
};

}  // namespace kelvora::testsupport
