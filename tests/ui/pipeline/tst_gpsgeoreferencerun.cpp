#include <QtTest>

#include <QAction>
#include <QListWidget>
#include <QMainWindow>
#include <QStatusBar>
#include <QTableWidget>

#include <set>
#include <sstream>

#include "SurveyWriter.h"
#include "core/formats/NvmReader.h"
#include "core/formats/SparseBundle.h"
#include "core/georef/GeoReference.h"
#include "core/georef/GpsGeoreference.h"
#include "core/project/ScanSettings.h"
#include "ui/annotation/GeoRef.h"
#include "ui/annotation/GroundControl.h"
#include "ui/images/MyListWidget.h"
#include "ui/log/LogView.h"
#include "ui/pipeline/ReconstructionRunner.h"

// "&Run Sparse" on a synthetic drone survey whose photos carry consumer GPS:
// the reconstruction comes out in UTM without any further step, its cameras
// within a few metres of where the survey flew them. Then the survey's
// control targets, five fitted and five checked, put it there to the
// centimetre.
class TestGpsGeoreferenceRun : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QMainWindow m_window;
    QListWidget* m_log = nullptr;
    MyListWidget* m_images = nullptr;
    ReconstructionRunner::Actions m_actions;
    ReconstructionRunner* m_runner = nullptr;
    QProcess m_exif;
    double m_groundSample = 0; // metres per pixel

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

    void readModel(SparseBundle* bundle, NvmReader::VertexArrays* points = nullptr) const
    {
        NvmReader::VertexArrays vertices;
        NvmReader::ColourArrays colours;
        std::string folder;
        QVERIFY(NvmReader::readNvm(m_dir.filePath("photos/sparse.nvm").toStdString(), vertices, colours, *bundle,
                                   folder));
        if (points)
            *points = vertices;
    }

    // How far the georeference puts the registered cameras from where the survey flew them.
    struct CameraErrors {
        double worst = 1e30;      // metres, at worst
        double across = 1e30;     // horizontally, at worst
        double heightLeft = 1e30; // in height, less what the camera's own focal length error explains, at worst
        QString text;
    };
    CameraErrors cameraErrors(const SparseBundle& bundle) const
    {
        CameraErrors out;
        GeoReference geo;
        if (!GeoReference::read(m_dir.filePath("photos/sparse.txt"), geo))
            return out;
        std::map<std::string, QStringList> truth;
        for (const QStringList& f : truthLines("cameras.txt"))
            truth[f[0].toStdString()] = f;
        double ground = 0;
        const QVector<QStringList> targets = truthLines("targets.txt");
        for (const QStringList& t : targets)
            ground += t[3].toDouble() / targets.size();
        out.worst = out.across = out.heightLeft = 0;
        osg::Vec3d mean;
        double focalRatio = 0;
        const auto& cameras = bundle.bundleCameras.front();
        for (const auto& c : cameras) {
            const QStringList& t = truth.at(c->name);
            const osg::Vec3d d = geo.apply(c->centre) - osg::Vec3d(t[7].toDouble(), t[8].toDouble(), t[9].toDouble());
            // A photo whose focal length came out k times too long sees the
            // same ground from k times as high.
            const double k = c->focalLength / t[3].toDouble();
            out.worst = std::max(out.worst, d.length());
            out.across = std::max(out.across, std::hypot(d.x(), d.y()));
            out.heightLeft = std::max(out.heightLeft, std::abs(d.z() - (k - 1) * (t[9].toDouble() - ground)));
            mean += d / cameras.size();
            focalRatio += k / cameras.size();
        }
        out.text = QString::asprintf("cameras off by %.3f %.3f %.3f m on average, %.3f m at worst, %.3f m across; "
                                     "focal lengths %.4f of the truth on average, heights within %.3f m of what "
                                     "each camera's focal length explains",
                                     mean.x(), mean.y(), mean.z(), out.worst, out.across, focalRatio, out.heightLeft);
        return out;
    }

    QString logText() const
    {
        QCoreApplication::sendPostedEvents(); // the log channel's lines still on their way
        QStringList lines;
        for (int i = 0; i < m_log->count(); ++i)
            lines << m_log->item(i)->text();
        return lines.join('\n');
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        SurveyWriter::Settings survey;
        survey.flight.photos = 16;
        survey.gpsNoise = 3;
        survey.seed = survey.flight.seed = 5;
        std::ostringstream progress;
        std::string error;
        QVERIFY2(SurveyWriter::write(survey, m_dir.path().toStdString(), progress, &error), error.c_str());
        const QRegularExpressionMatch sample =
            QRegularExpression("at about ([0-9.]+) cm per pixel").match(QString::fromStdString(progress.str()));
        QVERIFY(sample.hasMatch());
        m_groundSample = sample.captured(1).toDouble() / 100;

        ScanSettings::global() = ScanSettings();
        m_log = new QListWidget(&m_window);
        m_images = new MyListWidget(&m_window);
        for (auto* a : {&m_actions.runSparse, &m_actions.reRun, &m_actions.runDense, &m_actions.scanSettings,
                        &m_actions.abort})
            *a = new QAction(&m_window);
        // The list and the status bar take the log channel as the window's do.
        LogView::follow(m_log, m_window.statusBar());
        m_runner = new ReconstructionRunner(&m_window, m_images, ORVALIS_APP_DIR, m_actions);
        for (const QString& name : QDir(m_dir.filePath("photos")).entryList({"*.JPG"}, QDir::Files, QDir::Name))
            m_images->addImage(m_dir.filePath("photos/" + name), name);
        // exiftool's XML beside each photo, as the window's extraction leaves it.
        m_runner->setExifExtraction([this] {
            m_exif.start("exiftool", {"-X", "-w", "%d%f.xml", m_dir.filePath("photos")});
            m_exif.waitForStarted();
            return &m_exif;
        });
    }

    void runSparseLandsInUtm()
    {
        m_runner->runSparse();
        QVERIFY(QTest::qWaitFor([this] { return !m_runner->isRunning(); }, 800000));
        QCoreApplication::sendPostedEvents();
        QVERIFY2(m_window.statusBar()->currentMessage() == "Sparse Reconstruction is done!", qPrintable(logText()));
        QVERIFY2(logText().contains(QRegularExpression("Georeferenced from the photos' GPS in EPSG:32633: \\d+ of "
                                                       "\\d+ photos used, residual [0-9.]+ m")),
                 qPrintable(logText()));

        SparseBundle bundle;
        readModel(&bundle);
        const auto& registered = bundle.bundleCameras.front();
        QVERIFY2(registered.size() >= 14, qPrintable(QString::number(registered.size())));
        const double worst = cameraErrors(bundle).worst;
        qInfo("%zu cameras georeferenced from GPS of 3 m noise: worst camera %.2f m from the truth",
              registered.size(), worst);
        QVERIFY(worst < 5);
    }

    // The control file made from the truth for the photos of the
    // reconstruction, every second target a check point: the check points
    // come out within two ground samples, the cameras within 5 cm.
    void groundControlToTheCentimetre()
    {
        SparseBundle bundle;
        readModel(&bundle);
        std::set<QString> registered;
        for (const auto& c : bundle.bundleCameras.front())
            registered.insert(QString::fromStdString(c->name));
        std::map<QString, QStringList> targets;
        for (const QStringList& f : truthLines("targets.txt"))
            targets[f[0]] = f.mid(1, 3);
        QFile gcp(m_dir.filePath("gcp_from_truth.txt"));
        QVERIFY(gcp.open(QIODevice::WriteOnly | QIODevice::Text));
        gcp.write("WGS84 UTM 33N\n");
        for (const QStringList& o : truthLines("observations.txt"))
            if (registered.count(o[0]))
                gcp.write(QStringList({targets.at(o[1]).join(' '), o[2], o[3], o[0], o[1]}).join(' ').toUtf8() + '\n');
        gcp.close();

        GeoRef dock;
        GroundControl control(&dock, nullptr, &m_window);
        connect(&control, &GroundControl::logLine, m_log, [this](const QString& line) { m_log->addItem(line); });
        const QString nvm = m_dir.filePath("photos/sparse.nvm");
        QVERIFY2(control.importFile(gcp.fileName(), nvm), qPrintable(logText()));
        QVector<int> rows;
        const QVector<ControlPoint> points = dock.controlPoints(&rows);
        QCOMPARE(points.size(), 10);
        for (int i = 1; i < rows.size(); i += 2)
            dock.table()->item(rows[i], GeoRef::Check)->setCheckState(Qt::Checked);
        // A refusal says why at the end of the log.
        QVERIFY2(control.fit(nvm), qPrintable(logText().right(400)));
        // The adjustment wrote the reconstruction again, in survey coordinates less an origin.
        bundle = SparseBundle();
        readModel(&bundle);

        double worstCheck = 0;
        for (int i = 0; i < rows.size(); ++i) {
            const QString shown = dock.table()->item(rows[i], GeoRef::Residual)->text();
            QVERIFY2(shown.endsWith(" m"), qPrintable(points[i].name + ": " + shown));
            if (i % 2)
                worstCheck = std::max(worstCheck, shown.section(' ', 0, 0).toDouble());
        }
        const CameraErrors cameras = cameraErrors(bundle);
        qInfo("5 used and 5 check points, ground sample %.3f m: check points within %.3f m; %s", m_groundSample,
              worstCheck, qPrintable(cameras.text));
        QVERIFY2(worstCheck < 2 * m_groundSample, qPrintable(logText()));
        // The photos of one camera share one calibration, so the fit puts
        // every camera where the survey flew it, in height too.
        QVERIFY2(cameras.worst < 0.05, qPrintable(cameras.text));

        // A find at a check point's survey coordinates lies on the model's
        // surface there: the median height of the reconstruction's points
        // within a metre around it, in survey coordinates.
        GeoReference geo;
        QVERIFY(GeoReference::read(m_dir.filePath("photos/sparse.txt"), geo));
        NvmReader::VertexArrays model;
        SparseBundle again;
        readModel(&again, &model);
        double worstSurface = 0;
        for (int i = 1; i < points.size(); i += 2) {
            std::vector<double> heights;
            for (const osg::Vec3f& v : *model.front()) {
                const osg::Vec3d p = geo.apply(osg::Vec3d(v));
                if (std::hypot(p.x() - points[i].survey.x(), p.y() - points[i].survey.y()) < 1)
                    heights.push_back(p.z());
            }
            QVERIFY2(heights.size() >= 3, qPrintable(points[i].name));
            std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
            worstSurface = std::max(worstSurface, std::abs(heights[heights.size() / 2] - points[i].survey.z()));
        }
        qInfo("check points within %.3f m of the model's surface", worstSurface);
        QVERIFY(worstSurface < 0.05);

        // The surveyed points carried into their photos land on their picks.
        const QVector<ControlPoint> fitted = dock.controlPoints();
        double worstPixels = 0;
        for (const ControlPoint& p : fitted)
            worstPixels = std::max(worstPixels, p.pixels);
        qInfo("surveyed points within %.2f px of their picks", worstPixels);
        QVERIFY(worstPixels < 3);

        // A sparse run writes the GPS georeference again; the runner then
        // asks the dock to fit the new model, which puts it back on the control.
        QVERIFY(GpsGeoreference::run(nvm).written);
        QVERIFY(cameraErrors(bundle).worst > 0.05);
        QVERIFY2(control.refitAfterRun(nvm), qPrintable(logText()));
        bundle = SparseBundle();
        readModel(&bundle);
        QVERIFY2(cameraErrors(bundle).worst < 0.05, qPrintable(cameraErrors(bundle).text));
    }
};

QTEST_MAIN(TestGpsGeoreferenceRun)
#include "tst_gpsgeoreferencerun.moc"
