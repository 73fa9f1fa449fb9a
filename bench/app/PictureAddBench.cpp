// Adding a folder of JPEG frames reads their headers only: the adding job (what "Aggiungi BMP"
// with "Tutta la cartella", a drop and the command line run) beside `cat` of the same files
// and a read of every file's first 4 KiB. Each frame carries 16 KiB of camera data (EXIF)
// ahead of its frame header, as cameras write them, so the header is not in the first read.
// Prints the bytes each path read and its time, warm (after an untimed add) and cold (the
// page cache dropped first; needs root). Every path runs in its own child.
//
// Usage: kelvora_picture_add_bench [FRAMES] (10000 by default). The folder is kept in
// $TMPDIR/kelvora-picture-add-bench and reused by the next run.

#include "adding/AddJob.h"
#include "adding/FrameAdder.h"
#include "bench/avifile/ChildRun.h"
#include "platform/msgbox/MessageBox.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace kelvora;

namespace {

struct Figures {
    double seconds = -1;
    long long readBytes = -1;  // bytes the process asked read() for
    int added = 0;
};

Figures* shared()
{
    static auto* figures = static_cast<Figures*>(
        ::mmap(nullptr, sizeof(Figures), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    return figures;
}

long long readChars()
{
    std::ifstream in("/proc/self/io");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("rchar:", 0) == 0)
            return std::atoll(line.c_str() + 6);
    return -1;
}

std::string frameName(int i) { return "shot_" + std::to_string(i) + ".jpg"; }

// A 640x480 JPEG with a 16 KiB APP1 segment after its start marker.
QByteArray cameraJpeg()
{
    QImage picture(640, 480, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    QPainter(&picture).drawEllipse(100, 100, 300, 200);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(90);
    (void)writer.write(picture);
    constexpr int kExif = 16 * 1024;
    QByteArray app1("\xFF\xE1", 2);
    app1.append(static_cast<char>((kExif + 2) >> 8)).append(static_cast<char>((kExif + 2) & 0xFF));
    app1.append("Exif\0\0", 6).append(QByteArray(kExif - 6, '\0'));
    return jpeg.left(2) + app1 + jpeg.mid(2);
}

fs::path framesFor(int frames)
{
    const fs::path dir = fs::temp_directory_path() / "kelvora-picture-add-bench" / std::to_string(frames);
    if (!fs::exists(dir / frameName(frames - 1)) || fs::exists(dir / frameName(frames))) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        std::printf("making %d JPEG frames in %s ...\n", frames, dir.c_str());
        const QByteArray jpeg = cameraJpeg();
        for (int i = 0; i < frames; ++i)
            std::ofstream(dir / frameName(i), std::ios::binary).write(jpeg.constData(), jpeg.size());
    }
    return dir;
}

int timed(const std::function<int(Figures&)>& work)
{
    Figures& out = *shared();
    const long long before = readChars();
    const auto start = std::chrono::steady_clock::now();
    const int status = work(out);
    out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    out.readBytes = readChars() - before;
    return status;
}

// What `cat` of the folder reads: every byte of every file.
int catFiles(const fs::path& dir, int frames)
{
    return timed([&](Figures&) {
        std::vector<char> buffer(1 << 20);
        for (int i = 0; i < frames; ++i) {
            const int in = ::open((dir / frameName(i)).c_str(), O_RDONLY | O_CLOEXEC);
            if (in < 0)
                return 1;
            while (::read(in, buffer.data(), buffer.size()) > 0) {}
            ::close(in);
        }
        return 0;
    });
}

int firstBytes(const fs::path& dir, int frames)
{
    return timed([&](Figures&) {
        char head[4096];
        for (int i = 0; i < frames; ++i) {
            const int in = ::open((dir / frameName(i)).c_str(), O_RDONLY | O_CLOEXEC);
            if (in < 0 || ::read(in, head, sizeof head) <= 0)
                return 1;
            ::close(in);
        }
        return 0;
    });
}

int addFolder(const fs::path& dir, int frames)
{
    return timed([&](Figures& out) {
        QStringList candidates;
        adding::forEachFrameFileOfFolder(QString::fromStdString(dir.string()), std::nullopt,
                                         [&](const QString& path) { candidates << path; });
        adding::AdmittedPaths admitted;
        const std::atomic<bool> cancel{false};
        out.added = adding::AddJob(platform::stderrMessageBox()).run(candidates, {}, admitted, cancel).added;
        return out.added == frames ? 0 : 1;
    });
}

bool dropCaches()
{
    ::sync();
    std::ofstream drop("/proc/sys/vm/drop_caches");
    drop << "3" << std::flush;
    return static_cast<bool>(drop);
}

}  // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const fs::path dir = framesFor(frames);
    const double folderBytes = static_cast<double>(fs::file_size(dir / frameName(0))) * frames;
    const bool canDrop = dropCaches();
    struct Path {
        const char* name;
        std::function<int()> run;
    };
    const Path paths[] = {{"cat of the files", [&] { return catFiles(dir, frames); }},
                          {"first 4 KiB of every file", [&] { return firstBytes(dir, frames); }},
                          {"adding job (headers)", [&] { return addFolder(dir, frames); }}};
    std::printf("\n%d JPEG frames, %.1f MB in %s\n", frames, folderBytes / 1e6, dir.c_str());
    std::printf("  %-27s %-5s %9s %12s %9s %10s\n", "path", "cache", "seconds", "read bytes", "% files", "B/file");
    for (const bool cold : {false, true}) {
        if (cold && !canDrop) {
            std::printf("  (cold runs skipped: the page cache cannot be dropped here, needs root)\n");
            continue;
        }
        for (const Path& p : paths) {
            if (cold)
                (void)dropCaches();
            else
                (void)bench::runInChild([&] { return addFolder(dir, frames); });  // files and folder cached
            *shared() = Figures{};
            const bench::Measure run = bench::runInChild(p.run);
            const Figures& f = *shared();
            std::printf("  %-27s %-5s %9.3f %12lld %9.2f %10.0f%s\n", p.name, cold ? "cold" : "warm", f.seconds,
                        f.readBytes, 100.0 * static_cast<double>(f.readBytes) / folderBytes,
                        static_cast<double>(f.readBytes) / frames, run.ok ? "" : "  FAILED");
        }
    }
    return 0;
}
