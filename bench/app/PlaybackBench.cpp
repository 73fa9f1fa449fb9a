// Playing the list in the preview: frames shown and skipped in a few seconds at 25 and 60 a
// second, for a list of ten entries and one of a million (the same files over and over, so
// only the list's length differs), warm, and cold where the page cache can be dropped (root).
//
// Usage: kelvora_playback_bench [WIDTHxHEIGHT] [SECONDS]

#include "app/PreviewPlayer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
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

void play(const platform::CompactTexts& texts, video::StreamRate rate, int seconds, const char* label)
{
    app::PreviewPlayer player(QSize(254, 199));
    player.start(texts, 0, rate);
    QTest::qWait(seconds * 1000);
    player.stop();
    const double due = static_cast<double>(player.shown() + player.skipped());
    std::printf("%-28s %7d entries %4u/s: %6lld shown, %5lld skipped (%.1f %%)\n", label, texts.size(), rate.rate,
                static_cast<long long>(player.shown()), static_cast<long long>(player.skipped()),
                due > 0 ? 100.0 * static_cast<double>(player.skipped()) / due : 0.0);
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
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
    platform::CompactTexts ten;
    platform::CompactTexts million;
    for (int i = 0; i < 10; ++i)
        ten.append(files[i]);
    for (int i = 0; i < 1'000'000; ++i)
        million.append(files[i % files.size()]);
    std::printf("frames of %s, %d s each\n", argv[1] ? argv[1] : "1920x1080", seconds);
    for (const video::DWORD rate : {25u, 60u}) {
        play(ten, {rate, 1}, seconds, "warm");
        play(million, {rate, 1}, seconds, "warm");
        dropCache();
        play(million, {rate, 1}, seconds, "cold (if root)");
    }
    return 0;
}
