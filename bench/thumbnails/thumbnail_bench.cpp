// Thumbnail view benchmark: the image list's "Thumbnail" view over N
// photographs of 12 megapixels, built first with an empty cache (every
// photograph decoded, every thumbnail written) and then again from the cache.
//
//   thumbnail_bench FOLDER [N] [ROUNDS] [SOURCE_PHOTO]
//
// FOLDER receives the photographs once (SOURCE_PHOTO scaled to 4000 x 3000,
// each with its number drawn on it; a synthesised picture when absent).
// Reported: median wall time of both builds and their ratio; the longest the
// GUI thread went between two ticks of a 10 ms timer during the first build,
// against the time one photograph takes to decode in full, which is what the
// GUI thread would stand still for per image if it decoded them itself.

#include "BenchPhotos.h"
#include "BenchSupport.h"
#include "ui/images/MyListWidget.h"
#include "ui/images/ThumbnailLoader.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace BenchSupport;

namespace
{

QStringList makePhotos(const QString& folder, int count, const QString& source)
{
    QDir().mkpath(folder);
    QStringList paths;
    QImage picture;
    for (int i = 0; i < count; ++i) {
        const QString path = QString("%1/photo_%2.jpg").arg(folder).arg(i, 3, 10, QChar('0'));
        paths << path;
        if (QFileInfo::exists(path))
            continue;
        if (picture.isNull()) {
            std::printf("making %d photographs of 4000 x 3000 in %s (once)\n", count, qPrintable(folder));
            std::fflush(stdout);
            picture = BenchPhotos::twelveMegapixels(source);
        }
        QImage photo = picture;
        QPainter painter(&photo);
        painter.setPen(Qt::white);
        painter.setFont(QFont("Sans", 200));
        painter.drawText(photo.rect(), Qt::AlignCenter, QString::number(i));
        painter.end();
        photo.save(path, "JPG", 90);
    }
    return paths;
}

struct Build {
    double seconds = 0;
    double longestGap = 0; // seconds without an event loop turn
};

Build buildThumbnails(MyListWidget& list)
{
    Build build;
    QEventLoop loop;
    QObject::connect(&list, &MyListWidget::thumbnailsFinished, &loop, &QEventLoop::quit);
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        build.longestGap = std::max(build.longestGap, sinceTick.nsecsElapsed() * 1e-9);
        sinceTick.restart();
    });
    Stopwatch clock;
    sinceTick.start();
    ticker.start();
    quiet([&] {
        list.getThumbnailImage(); // the rows are placed here, on the GUI thread
        build.longestGap = std::max(build.longestGap, sinceTick.nsecsElapsed() * 1e-9);
        sinceTick.restart();
        loop.exec();
        return 0LL;
    });
    build.seconds = clock.seconds();
    return build;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: thumbnail_bench FOLDER [N] [ROUNDS] [SOURCE_PHOTO]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int count = argc > 2 ? std::max(1, std::atoi(argv[2])) : 100;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    const QString source = argc > 4 ? QString::fromLocal8Bit(argv[4]) : QString();
    const QStringList photos = makePhotos(folder, count, source);

    std::vector<double> fullDecode;
    for (int i = 0; i < 3; ++i) {
        Stopwatch clock;
        const QImage decoded(photos[i]);
        fullDecode.push_back(clock.seconds());
        if (decoded.isNull())
            return 1;
    }

    MyListWidget list;
    list.addImages(photos);
    std::vector<double> first, second, gap;
    for (int r = 0; r < rounds; ++r) {
        QDir(folder + "/thumbnail").removeRecursively();
        const Build cold = buildThumbnails(list);
        if (list.thumbnailLoader()->savedCount() != count)
            return 1;
        const Build warm = buildThumbnails(list);
        if (list.thumbnailLoader()->cachedCount() != count)
            return 1;
        first.push_back(cold.seconds);
        second.push_back(warm.seconds);
        gap.push_back(cold.longestGap);
    }

    const double f = median(first), s = median(second), g = median(gap), d = median(fullDecode);
    std::printf("thumbnail view of %d photographs of 4000 x 3000, median of %d rounds, %d decoding threads\n",
                count, rounds, QThreadPool::globalInstance()->maxThreadCount());
    std::printf("  first build (decode and cache)   %8.3f s\n", f);
    std::printf("  second build (from the cache)    %8.3f s\n", s);
    std::printf("  first / second                   %8.1f x\n", f / s);
    std::printf("  longest GUI stall in first build %8.1f ms\n", g * 1e3);
    std::printf("  one full decode on the GUI thread%8.1f ms (stall / decode %.2f)\n", d * 1e3, g / d);
    return 0;
}
