#include <QtTest>

#include <QPainter>
#include <QRandomGenerator>

#include "ui/images/FeatureOverlay.h"

// The overlay paints points in runs and wide points as squares: the picture
// must be the one that a drawPoints call per point gives, pixel for pixel.
class TestFeatureOverlay : public QObject
{
    Q_OBJECT
private slots:
    void fastDrawingPaintsTheSamePixels_data()
    {
        QTest::addColumn<int>("width");
        for (int w : {1, 2, 3, 4, 8})
            QTest::newRow(qPrintable(QString("pen %1").arg(w))) << w;
    }
    void fastDrawingPaintsTheSamePixels()
    {
        QFETCH(int, width);
        // Features close together and on the edges, some used: their order decides what shows on top.
        QRandomGenerator random(width);
        QVector<FeatureRecord> features;
        QSet<int> used;
        for (int i = 0; i < 400; ++i) {
            features.append({i, double(random.bounded(-3, 124)), double(random.bounded(-3, 84)), 1, 0});
            if (i % 3 == 0)
                used.insert(i);
        }
        ImageSelection selection;
        ImagePick pick;
        pick.imageName = "p.jpg";
        pick.x = 30;
        pick.y = 31;
        selection.pick(pick, false);
        selection.toggleFeature(pick);
        const FeatureOverlay::Pens pens{QPen(Qt::red, width),  QPen(Qt::white, std::max(1, width / 2)),
                                        QPen(Qt::blue, width), QPen(Qt::green, 1),
                                        QPen(Qt::yellow, 1),   QPen(Qt::black, width)};
        QImage fast(120, 80, QImage::Format_RGB32), slow(120, 80, QImage::Format_RGB32);
        fast.fill(Qt::gray);
        slow.fill(Qt::gray);
        {
            QPainter a(&fast), b(&slow);
            FeatureOverlay::draw(a, features, used, selection, "p.jpg", pens, false);
            FeatureOverlay::draw(b, features, used, selection, "p.jpg", pens, true);
        }
        QCOMPARE(fast, slow);
        QCOMPARE(fast.pixelColor(30, 31), QColor(Qt::black));
    }
};

QTEST_MAIN(TestFeatureOverlay)
#include "tst_featureoverlay.moc"
