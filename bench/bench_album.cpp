// The album's costs that a user feels: one drag tick (100 a second), stepping to a large photo,
// stamping a heart, saving a photo as a bitmap.
#include "store/album/album.h"
#include "ui/album/fmphoto.h"
#include "ui/app/app.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

QImage photo(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, width, height);
    sky.setColorAt(0, QColor(90, 150, 220));
    sky.setColorAt(1, QColor(60, 130, 70));
    p.fillRect(image.rect(), sky);
    for (int i = 0; i < 40; ++i)
        p.fillRect(QRect((i * 97) % width, (i * 53) % height, 40, 30),
                   QColor::fromHsv(i * 9, 160, 200));
    return image;
}

// An album over a folder holding one 3000 x 2000 photo, shown.
struct Album {
    QTemporaryDir dir;
    App app{dir.path()};
    fmPhoto *window = nullptr;
    QPoint cursor;

    Album() {
        QDir(dir.path()).mkdir(QStringLiteral("Images"));
        photo(3000, 2000).save(dir.path() + QStringLiteral("/Images/photo.jpg"), "JPEG", 90);
        app.settings().oPicSavePath = dir.path() + QStringLiteral("/save/");
        window = app.photo();
        window->setCursorSource([this] { return cursor; });
        window->show();
        QApplication::processEvents(); // exposed, so that repaints really paint
    }
};

void BM_DragTick(benchmark::State &state) {
    Album album;
    album.window->onLoad();
    album.window->onPicLoadMouseDown(1, 300, 300);
    int step = 0;
    for (auto _ : state) {
        // Back and forth within the limits, and paint what moved.
        album.cursor += QPoint(step % 200 < 100 ? 3 : -3, step % 200 < 100 ? 2 : -2);
        ++step;
        album.window->onMoveTimer();
        album.window->repaint();
    }
    album.window->onPicLoadMouseUp(1, 300, 300);
}
BENCHMARK(BM_DragTick)->Unit(benchmark::kMicrosecond);

void BM_NextLargePhoto(benchmark::State &state) {
    Album album;
    for (auto _ : state)
        album.window->onLoad(); // one photo: always shown afresh
}
BENCHMARK(BM_NextLargePhoto)->Unit(benchmark::kMillisecond);

void BM_StampHeart(benchmark::State &state) {
    Album album;
    album.window->onLoad();
    album.window->onPicLoadMouseDown(2, 0, 0);
    for (auto _ : state) {
        album.window->onPicLoadMouseDown(1, 4500, 3000);
        album.window->onPicLoadMouseUp(1, 4500, 3000);
    }
}
BENCHMARK(BM_StampHeart)->Unit(benchmark::kMicrosecond);

void BM_SaveLargePhoto(benchmark::State &state) {
    QTemporaryDir dir;
    const QImage image = photo(3000, 2000);
    qint64 k = 0;
    for (auto _ : state) {
        QString file;
        benchmark::DoNotOptimize(album::saveBitmap(
            image, dir.path(), [&] { return k++; }, &file));
    }
}
BENCHMARK(BM_SaveLargePhoto)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
