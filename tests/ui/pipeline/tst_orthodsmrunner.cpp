#include <QtTest>

#include <QImage>
#include <QRandomGenerator>

#include <osg/ComputeBoundsVisitor>
#include <osg/Geode>
#include <osg/MatrixTransform>
#include <osg/Texture2D>

#include "core/formats/LayerType.h"
#include "scene/layers/SceneLayers.h"
#include "ui/pipeline/OrthoDsmRunner.h"

// "&Orthophoto and DSM" with the build's OrthoDsm on a tiny flight (two
// photos straight down over level ground), and its rasters opened as a layer
// the way "Add Data" opens them.
class TestOrthoDsmRunner : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    const double m_east = 500000, m_north = 4000000, m_height = 100;

    // A pipeline folder as the stages leave it: photos, sparse.nvm in a model
    // frame 2 m below the survey's heights, and the dense cloud.
    void makeFolder(const QString& name, bool georeferenced)
    {
        QDir dir(m_dir.path());
        QVERIFY(dir.mkpath(name + "/pmvs/models"));
        QFile nvm(m_dir.filePath(name + "/sparse.nvm"));
        QVERIFY(nvm.open(QIODevice::WriteOnly));
        // Looking down: camera x east, y south, z down is the quaternion (0, 1, 0, 0).
        nvm.write("NVM_V3\n\n2\nA.JPG 300 0 1 0 0 -4 0 30 0 0\nB.JPG 300 0 1 0 0 4 0 30 0 0\n\n0\n\n0\n");
        nvm.close();
        for (const char* photo : {"A.JPG", "B.JPG"}) {
            QImage image(320, 240, QImage::Format_RGB32);
            for (int y = 0; y < 240; ++y)
                for (int x = 0; x < 320; ++x)
                    image.setPixel(x, y, qRgb((x * 7) % 256, (y * 5) % 256, 128));
            QVERIFY(image.save(m_dir.filePath(name + "/" + photo), "JPG"));
        }
        if (georeferenced) {
            QFile geo(m_dir.filePath(name + "/sparse.txt"));
            QVERIFY(geo.open(QIODevice::WriteOnly));
            geo.write(QString("1 0 0\n0 1 0\n0 0 1\n%1 %2 %3\n1 1 1\nEPSG:32633\n")
                          .arg(m_east, 0, 'f', 3)
                          .arg(m_north, 0, 'f', 3)
                          .arg(m_height - 2, 0, 'f', 3)
                          .toUtf8());
        }
        QFile ply(m_dir.filePath(name + "/pmvs/models/option-0000.ply"));
        QVERIFY(ply.open(QIODevice::WriteOnly));
        QByteArray points;
        int count = 0;
        for (double y = -8; y <= 8; y += 0.1)
            for (double x = -12; x <= 12; x += 0.1, ++count)
                points += QByteArray::number(x, 'f', 2) + ' ' + QByteArray::number(y, 'f', 2) + " 2\n";
        ply.write("ply\nformat ascii 1.0\nelement vertex " + QByteArray::number(count) +
                  "\nproperty float x\nproperty float y\nproperty float z\nend_header\n" + points);
    }

    static bool run(OrthoDsmRunner& runner, const QString& folder, QStringList& log, QString& message)
    {
        QSignalSpy finished(&runner, &OrthoDsmRunner::finished);
        QObject::connect(&runner, &OrthoDsmRunner::logLine, [&](const QString& line) { log << line; });
        QString refusal;
        if (!runner.start(folder, &refusal) || !finished.wait(120000))
            return false;
        message = finished.first().at(1).toString();
        return finished.first().at(0).toBool();
    }

private slots:
    void refusalsAndRunEndInTheLog()
    {
        makeFolder("plain", false);
        OrthoDsmRunner runner(ORVALIS_APP_DIR);
        QStringList log;
        QString message;
        QVERIFY(!run(runner, m_dir.filePath("plain"), log, message));
        QVERIFY2(message.startsWith("Orthophoto and DSM not built: ") &&
                     message.contains("georeference first"),
                 qPrintable(message));
        QCOMPARE(log.last(), message);

        makeFolder("site", true);
        log.clear();
        QVERIFY2(run(runner, m_dir.filePath("site"), log, message), qPrintable(message + log.join('\n')));
        QVERIFY(log.contains("progress: DSM 1 of 1 tiles"));
        QVERIFY(!log.filter(QRegularExpression("^Orthophoto and DSM took \\d+\\.\\d s$")).isEmpty());
        QVERIFY(QFileInfo(OrthoDsmRunner::dsmPath(m_dir.filePath("site"))).isFile());
        QVERIFY(QFileInfo(OrthoDsmRunner::orthophotoPath(m_dir.filePath("site"))).isFile());
    }

    // Either raster of the pair opens the same layer: the DSM at its survey
    // coordinates, wearing the orthophoto.
    void rastersOpenAsDrapedTerrain_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("dsm") << "site/ortho/dsm.tif";
        QTest::newRow("orthophoto") << "site/ortho/orthophoto.tif";
    }
    void rastersOpenAsDrapedTerrain()
    {
        QFETCH(QString, file);
        const QString path = m_dir.filePath(file);
        QCOMPARE(LayerType::typeOfFile(path), LayerType::Terrain);
        osg::ref_ptr<osg::Group> root = new osg::Group;
        SceneLayers::Hooks hooks;
        hooks.frameWanted = hooks.firstLayerAdded = hooks.archiveLoaded = hooks.archivesGone = [] {};
        hooks.originChanged = [](const osg::Vec3d&) {};
        hooks.bundlePlaced = [](const SparseBundle&, const GeoReference*) {};
        SceneLayers layers(hooks, root.get());
        QString error;
        QVERIFY2(layers.loadLayer(1, LayerType::Terrain, path, true, &error), qPrintable(error));
        osg::Node* node = layers.layerNode(1);
        QVERIFY(node);
        // Kept relative to the scene origin under a transform to it, in double precision.
        auto* placed = dynamic_cast<osg::MatrixTransform*>(node);
        QVERIFY(placed && placed->getNumChildren() == 1);
        const osg::Vec3d origin = placed->getMatrix().getTrans();
        osg::ComputeBoundsVisitor bounds;
        placed->getChild(0)->accept(bounds);
        const osg::BoundingBox box = bounds.getBoundingBox();
        // The cloud spans 24 x 16 m around the two photos, 100 m up.
        QVERIFY(std::abs(origin.x() + box.xMin() - (m_east - 12)) < 0.5);
        QVERIFY(std::abs(origin.x() + box.xMax() - (m_east + 12)) < 0.5);
        QVERIFY(std::abs(origin.y() + box.yMin() - (m_north - 8)) < 0.5);
        QVERIFY(std::abs(origin.z() + box.zMax() - m_height) < 0.05);
        bool textured = false;
        struct Find : osg::NodeVisitor {
            bool* found;
            explicit Find(bool* f) : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN), found(f) {}
            void apply(osg::Geode& g) override
            {
                if (g.getStateSet() && g.getStateSet()->getTextureAttribute(0, osg::StateAttribute::TEXTURE))
                    *found = true;
            }
        } find(&textured);
        node->accept(find);
        QVERIFY(textured);
        layers.setLayerVisible(1, false);
        QCOMPARE(node->getNodeMask(), 0u);
    }
};

QTEST_MAIN(TestOrthoDsmRunner)
#include "tst_orthodsmrunner.moc"
