// Peak memory of adding every file of the BMP test corpus at once ("Tutta la cartella"),
// next to the largest real frame among them. The corpus holds headers that claim pixel
// blocks of about 2 GB from files of a few kilobytes; adding them must not cost that much.
//
// Usage: kelvora_addcorpus_memory_bench [CORPUS_FOLDER]

#include "bench/app/BenchWindow.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

long peakKiB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv)
{
    const fs::path corpus = argc > 1 ? fs::path(argv[1]) : fs::path(KELVORA_CORPUS_DIR) / "bmpsuite";
    const fs::path folder = fs::temp_directory_path() / ("kelvora-corpus-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::uintmax_t largest = 0;
    int files = 0;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(corpus, error)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".bmp")
            continue;
        const std::string flat = fs::relative(entry.path(), corpus).string();
        fs::path target = folder / flat;
        target = folder / (target.parent_path().filename().string() + "_" + target.filename().string());
        fs::copy_file(entry.path(), target, fs::copy_options::overwrite_existing);
        largest = std::max(largest, entry.file_size());
        ++files;
    }
    kelvora::bench::BenchWindow window;
    const long before = peakKiB();
    const int entries = window.addFolder(folder / "g_rgb24.bmp");
    const long after = peakKiB();
    std::printf("corpus files added together: %d, entries: %d, messages: %zu\n", files, entries,
                window.messagesShown());
    std::printf("largest real frame file: %ju bytes\n", largest);
    std::printf("peak resident before adding: %ld KiB, after: %ld KiB, growth: %ld KiB\n", before, after,
                after - before);
    fs::remove_all(folder, error);
    return 0;
}
