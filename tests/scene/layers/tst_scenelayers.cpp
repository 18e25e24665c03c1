#include "core/log/LogSink.h"
#include "scene/layers/SceneLayers.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <utility>
#include <vector>

class TestSceneLayers : public QObject
{
    Q_OBJECT
private slots:
    // The layers' messages reach whoever listens on the log channel, as
    // written: no list widget has to be handed down for them.
    void sceneOriginIsSaidOnTheLogChannel()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("survey.ply");
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("ply\nformat ascii 1.0\nelement vertex 1\nproperty double x\nproperty double y\n"
                  "property double z\nend_header\n712345.674 4123456.781 101.752\n");
        out.close();

        std::vector<std::pair<LogLevel, QString>> received;
        QObject subscriber;
        LogSink::subscribe(&subscriber,
                           [&](LogLevel level, const QString& line) { received.emplace_back(level, line); });
        osg::ref_ptr<osg::Group> root = new osg::Group;
        SceneLayers::Hooks hooks;
        hooks.frameWanted = hooks.firstLayerAdded = hooks.archiveLoaded = hooks.archivesGone = [] {};
        hooks.originChanged = [](const osg::Vec3d&) {};
        hooks.bundlePlaced = [](const SparseBundle&, const GeoReference*) {};
        SceneLayers layers(hooks, root.get());
        QString error;
        QVERIFY2(layers.loadPointCloud(file, true, &error), qPrintable(error));
        QCoreApplication::processEvents();

        const QString said = "Scene origin 712000, 4123000, 0, taken from " + file +
                             ": its large coordinates are kept relative to it, and every position is still "
                             "shown and written in full.";
        const auto line =
            std::find_if(received.begin(), received.end(), [&](const auto& r) { return r.second == said; });
        QVERIFY2(line != received.end(), qPrintable(said));
        QCOMPARE(line->first, LogLevel::Info);
    }
};

QTEST_MAIN(TestSceneLayers)
#include "tst_scenelayers.moc"
