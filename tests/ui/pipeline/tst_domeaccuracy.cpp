#include <QtTest>

#include <QAction>
#include <QImageReader>
#include <QListWidget>
#include <QMainWindow>
#include <QStatusBar>
#include <QTableWidget>

#include <set>
#include <sstream>

#include "SurveyWriter.h"
#include "common/geometry/RadialDistortion.h"
#include "core/formats/NvmReader.h"
#include "core/formats/SparseBundle.h"
#include "core/georef/AccuracyStatistics.h"
#include "core/georef/ControlPointAdjustment.h"
#include "core/georef/ControlPointFit.h"
#include "core/georef/GeoReference.h"
#include "core/project/ScanSettings.h"
#include "ui/annotation/GeoRef.h"
#include "ui/annotation/GroundControl.h"
#include "ui/images/MyListWidget.h"
#include "ui/log/LogView.h"
#include "ui/pipeline/ReconstructionRunner.h"

// The dome: nadir photos in parallel lines through a lens whose distortion
// the EXIF does not tell and the mapper's one-term model (SIMPLE_RADIAL)
// cannot hold: barrel distortion with a second radial term, as wide drone
// lenses have. Its self-calibration trades the distortion against the focal
// length (with parallel nadir lines nothing tells them apart) and bends the
// block, which the similarity to control points cannot straighten: the check
// points between the control points come out many ground samples low.
// "Fit to Control Points" adjusts cameras, points and the two-term
// calibration against the control points; the check points come out within
// a ground sample. The figures go to the test's output.
class TestDomeAccuracy : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QMainWindow m_window;
    QListWidget* m_log = nullptr;
    MyListWidget* m_images = nullptr;
    ReconstructionRunner::Actions m_actions;
    ReconstructionRunner* m_runner = nullptr;
    QProcess m_exif;
    SurveyWriter::Settings m_survey;
    double m_groundSample = 0; // metres per pixel

    QString nvm() const { return m_dir.filePath("photos/sparse.nvm"); }

    // Every line of a truth file that is no comment, split at blanks.
    QVector<QStringList> truthLines(const QString& name) const
    {
        QVector<QStringList> lines;
        QFile file(m_dir.filePath("truth/" + name));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return lines;
        for (const QString& line : QString::fromUtf8(file.readAll()).split('\n'))
            if (!line.isEmpty() && !line.startsWith('#'))
                lines << line.split(' ', Qt::SkipEmptyParts);
        return lines;
    }

    static bool readModel(const QString& file, SparseBundle* bundle)
    {
        NvmReader::VertexArrays vertices;
        NvmReader::ColourArrays colours;
        std::string folder;
        return NvmReader::readNvm(file.toStdString(), vertices, colours, *bundle, folder) &&
               !bundle->bundleCameras.empty();
    }

    QString logText() const
    {
        QCoreApplication::sendPostedEvents(); // the log channel's lines still on their way
        QStringList lines;
        for (int i = 0; i < m_log->count(); ++i)
            lines << m_log->item(i)->text();
        return lines.join('\n');
    }

    // The check points' figures in ground samples: RMSE across and in height.
    struct Figures {
        double horizontal = 1e30, vertical = 1e30;
        QString text;
    };
    Figures checkFigures(const QVector<ControlPoint>& points) const
    {
        std::vector<osg::Vec3d> residuals;
        QStringList each;
        for (const ControlPoint& p : points)
            if (p.check && p.hasFit()) {
                residuals.push_back(p.offset);
                each << QString::asprintf("%s %.2f %.2f %.2f", qPrintable(p.name),
                                          p.offset.x() / m_groundSample, p.offset.y() / m_groundSample,
                                          p.offset.z() / m_groundSample);
            }
        Figures out;
        if (residuals.size() != 5)
            return out;
        const AccuracyStatistics s = AccuracyStatistics::of(residuals);
        out.horizontal = s.rmseHorizontal / m_groundSample;
        out.vertical = s.rmseVertical / m_groundSample;
        out.text = QString::asprintf("check RMSE %.2f GSD across, %.2f GSD in height (dX dY dZ in GSD: %s)",
                                     out.horizontal, out.vertical, qPrintable(each.join(", ")));
        return out;
    }

    // The registered cameras' calibration against the lens: focal length
    // over the truth's, and the distortion as COLMAP's k1 k2.
    QString calibrationText(const SparseBundle& bundle) const
    {
        const BundleCamera& c = *bundle.bundleCameras.front().front();
        const double fx = truthLines("cameras.txt").front()[3].toDouble();
        double k1 = 0, k2 = 0;
        RadialDistortion::projectionFromNvm(
            c.radial, RadialDistortion::maxRadius(m_survey.flight.width, m_survey.flight.height, c.focalLength), k1,
            k2);
        return QString::asprintf("focal %.4f of the truth, k1 %.4f k2 %.4f as the NVM file's one term gives "
                                 "them (lens k1 %.4f k2 %.4f)",
                                 c.focalLength / fx, k1, k2, m_survey.flight.k1, m_survey.flight.k2);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Five lines of five nadir photos over the site from 25 m: 3 cm per
        // pixel, the photos overlapping by about two thirds along and across.
        m_survey.flight.photos = 25;
        m_survey.flight.nadirOnly = true;
        m_survey.flight.width = 1200;
        m_survey.flight.height = 900;
        m_survey.flight.altitude = 25;
        m_survey.flight.k1 = -0.10;
        m_survey.flight.k2 = 0.05;
        m_survey.gpsNoise = 2;
        m_survey.seed = m_survey.flight.seed = 7;
        m_groundSample =
            m_survey.flight.altitude / (m_survey.flight.focalMillimetres /
                                        m_survey.flight.sensorWidthMillimetres * m_survey.flight.width);
        std::ostringstream progress;
        std::string error;
        QVERIFY2(SurveyWriter::write(m_survey, m_dir.path().toStdString(), progress, &error), error.c_str());

        ScanSettings::global() = ScanSettings();
        m_log = new QListWidget(&m_window);
        m_images = new MyListWidget(&m_window);
        for (auto* a : {&m_actions.runSparse, &m_actions.reRun, &m_actions.runDense, &m_actions.scanSettings,
                        &m_actions.abort})
            *a = new QAction(&m_window);
        // The list and the status bar take the log channel as the window's do.
        LogView::follow(m_log, m_window.statusBar());
        m_runner = new ReconstructionRunner(&m_window, m_images, ORVALIS_APP_DIR, m_actions);
        for (const QString& name :
             QDir(m_dir.filePath("photos")).entryList({"*.JPG"}, QDir::Files, QDir::Name))
            m_images->addImage(m_dir.filePath("photos/" + name), name);
        // exiftool's XML beside each photo, as the window's extraction leaves it.
        m_runner->setExifExtraction([this] {
            m_exif.start("exiftool", {"-X", "-w", "%d%f.xml", m_dir.filePath("photos")});
            m_exif.waitForStarted();
            return &m_exif;
        });
    }

    // "&Run Sparse" georeferences from the photos' GPS alone: the cameras
    // lie within the GPS's noise of where they flew, dome or not.
    void runSparseLandsWithinTheGpsNoise()
    {
        m_runner->runSparse();
        QVERIFY(QTest::qWaitFor([this] { return !m_runner->isRunning(); }, 1700000));
        QCoreApplication::sendPostedEvents();
        QVERIFY2(m_window.statusBar()->currentMessage() == "Sparse Reconstruction is done!",
                 qPrintable(logText()));

        SparseBundle bundle;
        QVERIFY(readModel(nvm(), &bundle));
        GeoReference geo;
        QVERIFY(GeoReference::read(m_dir.filePath("photos/sparse.txt"), geo));
        std::map<std::string, osg::Vec3d> truth;
        for (const QStringList& f : truthLines("cameras.txt"))
            truth[f[0].toStdString()] = osg::Vec3d(f[7].toDouble(), f[8].toDouble(), f[9].toDouble());
        const auto& cameras = bundle.bundleCameras.front();
        QVERIFY2(int(cameras.size()) >= m_survey.flight.photos - 2,
                 qPrintable(QString::number(cameras.size())));
        double across = 0, height = 0;
        for (const auto& c : cameras) {
            const osg::Vec3d d = geo.apply(c->centre) - truth.at(c->name);
            across = std::max(across, std::hypot(d.x(), d.y()));
            height = std::max(height, std::abs(d.z()));
        }
        qInfo("%zu cameras from the photos' GPS (%.1f m noise): within %.2f m across and %.2f m in height of "
              "the "
              "truth at worst; %s",
              cameras.size(), m_survey.gpsNoise, across, height, qPrintable(calibrationText(bundle)));
        QVERIFY(across < m_survey.gpsNoise);
        QVERIFY(height < 1.5 * m_survey.gpsNoise);
    }

    // Five control points and five check points picked where the photos
    // show the targets: the similarity leaves the dome in the check points,
    // the adjustment takes it out.
    void adjustmentTakesTheDomeOut()
    {
        SparseBundle bundle;
        QVERIFY(readModel(nvm(), &bundle));
        std::set<QString> registered;
        for (const auto& c : bundle.bundleCameras.front())
            registered.insert(QString::fromStdString(c->name));
        std::map<QString, QStringList> targets;
        for (const QStringList& f : truthLines("targets.txt"))
            targets[f[0]] = f.mid(1, 3);
        QFile gcp(m_dir.filePath("gcp_picked.txt"));
        QVERIFY(gcp.open(QIODevice::WriteOnly | QIODevice::Text));
        gcp.write("WGS84 UTM 33N\n");
        for (const QStringList& o : truthLines("observations.txt"))
            if (registered.count(o[0]))
                gcp.write(
                    QStringList({targets.at(o[1]).join(' '), o[2], o[3], o[0], o[1]}).join(' ').toUtf8() +
                    '\n');
        gcp.close();

        GeoRef dock;
        GroundControl control(&dock, nullptr, &m_window);
        connect(&control, &GroundControl::logLine, m_log,
                [this](const QString& line) { m_log->addItem(line); });
        QVERIFY2(control.importFile(gcp.fileName(), nvm()), qPrintable(logText()));
        QVector<int> rows;
        QCOMPARE(dock.controlPoints(&rows).size(), 10);
        for (int i = 1; i < rows.size(); i += 2)
            dock.table()->item(rows[i], GeoRef::Check)->setCheckState(Qt::Checked);

        // The similarity alone, as the adjustment's first guess, not written.
        QVector<ControlPoint> similar = dock.controlPoints();
        const ControlPointFit::Outcome guess = ControlPointFit::run(
            bundle, m_dir.filePath("photos/"), m_dir.filePath("photos/sparse.txt"), similar,
            [](const QString& path) { return QImageReader(path).size(); }, 32633, false);
        QVERIFY2(guess.fitted, qPrintable(guess.message));
        const Figures similarity = checkFigures(similar);

        QVERIFY2(control.fit(nvm()), qPrintable(logText().right(600)));
        const Figures adjusted = checkFigures(dock.controlPoints());
        SparseBundle after;
        QVERIFY(readModel(nvm(), &after));
        qInfo("ground sample %.2f cm; similarity: %s", 100 * m_groundSample, qPrintable(similarity.text));
        qInfo("adjustment: %s; %s", qPrintable(adjusted.text), qPrintable(calibrationText(after)));

        QVERIFY2(adjusted.horizontal <= 1 && adjusted.vertical <= 1.5, qPrintable(logText().right(1500)));
        // The dome: the similarity's check points are many ground samples off in height.
        QVERIFY2(similarity.vertical > 3 && std::hypot(similarity.horizontal, similarity.vertical) >
                                                4 * std::hypot(adjusted.horizontal, adjusted.vertical),
                 qPrintable(similarity.text));
    }
};

QTEST_MAIN(TestDomeAccuracy)
#include "tst_domeaccuracy.moc"
