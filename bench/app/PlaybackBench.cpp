// Playing the list in the real window's preview ("Riproduci"): frames shown and skipped in a
// few seconds at 25 and 30 a second (the rate bar's top), for a list of ten entries and one of a million (the same
// files over and over, so only the list's length differs), warm, and cold where the page cache
// can be dropped (root). Run by playback.sh on Xvfb with a window manager, so the window pays
// for painting each frame over xcb as users' windows do.
//
// Usage: kelvora_playback_bench [WIDTHxHEIGHT] [SECONDS]

#include "app/PreviewPlayer.h"
#include "bench/app/BenchWindow.h"
#include "platform/toolkit/ListBox.h"

#include <QDir>
#include <QImage>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <fstream>

using namespace kelvora;

namespace {

void dropCache()
{
    std::ofstream drop("/proc/sys/vm/drop_caches");
    if (drop)
        drop << "3\n";
}

void play(app::fMain& window, int rate, int seconds, const char* label)
{
    window.HScroll->setValue(rate);
    window.Riproduci_Click();
    QTest::qWait(seconds * 1000);
    const app::PreviewPlayer* player = window.player();
    const long long shown = player ? player->shown() : 0;
    const long long skipped = player ? player->skipped() : 0;
    window.Riproduci_Click();  // stops
    const double due = static_cast<double>(shown + skipped);
    std::printf("%-16s %9d entries %3d/s: %6lld shown, %5lld skipped (%.1f %%)\n", label,
                window.lstDIBList->ListCount(), rate, shown, skipped, due > 0 ? 100.0 * skipped / due : 0.0);
}

}  // namespace

int main(int argc, char** argv)
{
    bench::BenchWindow bench;
    const QStringList size = QString(argc > 1 ? argv[1] : "1920x1080").split('x');
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 3;
    QTemporaryDir dir;
    QStringList files;
    for (int i = 0; i < 100; ++i) {
        QImage frame(size.value(0).toInt(), size.value(1).toInt(), QImage::Format_RGB888);
        frame.fill(QColor::fromHsv(i * 3, 200, 200));
        files << dir.filePath(QStringLiteral("f%1.bmp").arg(i, 3, 10, QChar('0')));
        frame.save(files.back());
    }
    if (!bench.showOnScreen()) {
        std::fprintf(stderr, "the window was not painted on the display\n");
        return 1;
    }
    app::fMain& window = bench.window();
    std::printf("frames of %s, %d s each, the window on %s\n", argc > 1 ? argv[1] : "1920x1080", seconds,
                qgetenv("QT_QPA_PLATFORM").constData());
    for (const int entries : {10, 1'000'000}) {
        window.addFramesFrom([&files, entries](const std::function<void(const QString&)>& add) {
            for (int i = 0; i < entries; ++i)
                add(files[i % files.size()]);
        });
        while (window.busy())
            QTest::qWait(50);
        for (const int rate : {25, 30}) {
            play(window, rate, seconds, "warm");
            dropCache();
            play(window, rate, seconds, "cold (if root)");
        }
        window.Command1_Click();  // "Cancella tutti i fotogrammi dalla lista"
    }
    return 0;
}
