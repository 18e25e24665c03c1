// Image viewer benchmark: a viewer opened on a 12-megapixel photograph, and
// its feature overlay switched on with N features (Lowe key file with 128
// descriptor values each, as the SIFT tools write it).
//
//   imageviewer_bench FOLDER [N] [ROUNDS] [SOURCE_PHOTO]
//
// FOLDER receives the photograph (SOURCE_PHOTO scaled to 4000 x 3000, a
// synthesised picture when absent), its key file and its EXIF file once.
// Reported, as medians: opening the viewer (decode, fit, first paint);
// switching the overlay on as the user does (key file read, overlay drawn on
// the base pixmap in place, shown and painted); and, as the baseline of the
// same run, the straightforward way: a new base pixmap from the image and one
// painter call per point, shown in a label of the same size.

#include "BenchPhotos.h"
#include "BenchSupport.h"
#include "core/images/ExifScript.h"
#include "core/images/FeatureFile.h"
#include "ui/images/FeatureOverlay.h"
#include "ui/images/ImageLabel.h"
#include "ui/images/ImageViewer.h"
#include "ui/images/MyListWidget.h"
#include "scene/view/OsgWidget.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QRandomGenerator>

#include <cstdio>
#include <vector>

using namespace BenchSupport;

namespace
{

// N features spread over the picture, each with 128 descriptor values over
// lines of 20, as Lowe's format has them.
void writeKeyFile(const QString& path, int count)
{
    QByteArray text = QByteArray::number(count) + " 128\n";
    QRandomGenerator random(11);
    for (int i = 0; i < count; ++i) {
        text += QByteArray::number(random.bounded(3000.0), 'f', 2) + ' ' +
                QByteArray::number(random.bounded(4000.0), 'f', 2) + ' ' +
                QByteArray::number(1 + random.bounded(40.0), 'f', 2) + ' ' +
                QByteArray::number(random.bounded(6.28) - 3.14, 'f', 3) + '\n';
        for (int d = 0; d < 128; ++d)
            text += ' ' + QByteArray::number(random.bounded(128)) + ((d % 20 == 19 || d == 127) ? "\n" : "");
    }
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
}

double milliseconds(const Stopwatch& s)
{
    return s.seconds() * 1000.0;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [N] [ROUNDS] [SOURCE_PHOTO]\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int features = argc > 2 ? std::atoi(argv[2]) : 10000;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 7;
    const QString source = argc > 4 ? QString::fromLocal8Bit(argv[4]) : QString();
    QDir().mkpath(folder);
    const QString photo = folder + QStringLiteral("/photo12mp.jpg");
    const QString keys = FeatureFile::pathFor(photo);
    if (!QFile::exists(photo))
        BenchPhotos::twelveMegapixels(source).save(photo, "JPG", 90);
    if (!QFile::exists(keys))
        writeKeyFile(keys, features);
    QFile exif(ExifScript::xmlPath(photo));
    if (!exif.exists() && exif.open(QIODevice::WriteOnly))
        exif.write("<rdf:RDF><rdf:Description><Make>Bench</Make></rdf:Description></rdf:RDF>");
    exif.close();
    warm(photo.toStdString());
    warm(keys.toStdString());

    MyListWidget list;
    list.addImages({photo});
    OsgWidget scene(osgViewer::ViewerBase::SingleThreaded, nullptr);
    auto settle = [] {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    };

    // The viewer's way: open, then switch the overlay on (read the key file,
    // draw on the base pixmap in place, show it, paint the label).
    std::vector<double> open, overlay, paint;
    QImage viewersPicture;
    for (int r = 0; r < rounds; ++r) {
        quiet([&] {
            Stopwatch opening;
            auto* viewer = new ImageViewer(photo, &list, &scene, nullptr, folder);
            settle();
            viewer->imageLabel()->repaint();
            open.push_back(milliseconds(opening));

            Stopwatch switching;
            viewer->toggleSparseOverlay();
            Stopwatch painting;
            viewer->imageLabel()->repaint();
            paint.push_back(milliseconds(painting));
            overlay.push_back(milliseconds(switching));
            if (viewer->features().size() != features)
                std::fprintf(stderr, "read %d features of %d\n", int(viewer->features().size()), features);
            viewersPicture = viewer->basePixmap().toImage();
            delete viewer;
            return 0LL;
        });
    }

    // The straightforward way, in the same run: a new base pixmap from the
    // image for every drawing and one painter call per point, shown in a label
    // of the same size.
    const QImage picture(photo);
    QLabel label;
    label.setScaledContents(true);
    label.resize(760, 570);
    label.show();
    settle();
    const FeatureOverlay::Pens pens{QPen(Qt::red, 4),   QPen(Qt::white, 2),  QPen(Qt::blue, 4),
                                    QPen(Qt::green, 1), QPen(Qt::yellow, 1), QPen(Qt::black, 4)};
    const ImageSelection none;
    std::vector<double> baseline;
    QImage baselinePicture;
    for (int r = 0; r < rounds; ++r) {
        Stopwatch switching;
        QVector<FeatureRecord> records;
        FeatureFile::readFile(keys, records);
        QPixmap base = QPixmap::fromImage(picture);
        {
            QPainter painter(&base);
            FeatureOverlay::draw(painter, records, {}, none, QStringLiteral("photo12mp.jpg"), pens, true);
        }
        label.setPixmap(base);
        label.repaint();
        baseline.push_back(milliseconds(switching));
        baselinePicture = base.toImage();
    }

    const double openMs = median(open), overlayMs = median(overlay), paintMs = median(paint);
    const double baselineMs = median(baseline);
    const bool same = viewersPicture == baselinePicture;
    std::printf("Image viewer, %d x %d photograph, %d features, median of %d rounds\n", picture.width(),
                picture.height(), features, rounds);
    std::printf("  open the viewer (decode, fit, first paint)          %8.1f ms\n", openMs);
    std::printf("  feature overlay on, the viewer's way                %8.1f ms   goal < 100 ms: %s\n",
                overlayMs, overlayMs < 100 ? "met" : "NOT met");
    std::printf("    of which painting the label                       %8.1f ms\n", paintMs);
    std::printf("  feature overlay on, new pixmap and a call per point %8.1f ms (baseline)\n", baselineMs);
    std::printf("  baseline / viewer's way                             %8.2f x\n", baselineMs / overlayMs);
    std::printf("  same picture both ways: %s\n", same ? "yes" : "NO");
    return same ? 0 : 1;
}
