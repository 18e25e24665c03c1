#include <QtTest>

#include <QAction>
#include <QListWidget>
#include <QMainWindow>
#include <QStatusBar>

#include <fstream>
#include <sstream>

#include "SurveyWriter.h"
#include "core/formats/NvmReader.h"
#include "core/formats/SparseBundle.h"
#include "core/georef/GeoReference.h"
#include "core/project/ScanSettings.h"
#include "ui/images/MyListWidget.h"
#include "ui/pipeline/ReconstructionRunner.h"

// "&Run Sparse" on a synthetic drone survey whose photos carry consumer GPS:
// the reconstruction comes out in UTM without any further step, its cameras
// within a few metres of where the survey flew them.
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

    QString logText() const
    {
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

        ScanSettings::global() = ScanSettings();
        m_log = new QListWidget(&m_window);
        m_images = new MyListWidget(&m_window);
        for (auto* a : {&m_actions.runSparse, &m_actions.reRun, &m_actions.runDense, &m_actions.scanSettings,
                        &m_actions.abort})
            *a = new QAction(&m_window);
        m_runner = new ReconstructionRunner(&m_window, m_log, m_images, ORVALIS_APP_DIR, m_actions);
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
        QVERIFY2(m_window.statusBar()->currentMessage() == "Sparse Reconstruction is done!", qPrintable(logText()));
        QVERIFY2(logText().contains(QRegularExpression("Georeferenced from the photos' GPS in EPSG:32633: \\d+ of "
                                                       "\\d+ photos used, residual [0-9.]+ m")),
                 qPrintable(logText()));

        GeoReference geo;
        QVERIFY(GeoReference::read(m_dir.filePath("photos/sparse.txt"), geo));
        NvmReader::VertexArrays vertices;
        NvmReader::ColourArrays colours;
        SparseBundle bundle;
        std::string folder;
        QVERIFY(NvmReader::readNvm(m_dir.filePath("photos/sparse.nvm").toStdString(), vertices, colours, bundle,
                                   folder));
        std::map<std::string, osg::Vec3d> truth;
        std::ifstream cameras(m_dir.filePath("truth/cameras.txt").toStdString());
        for (std::string line; std::getline(cameras, line);) {
            if (line.empty() || line[0] == '#')
                continue;
            std::istringstream f(line);
            std::string name;
            double skip, e, n, h;
            f >> name >> skip >> skip >> skip >> skip >> skip >> skip >> e >> n >> h;
            truth[name] = {e, n, h};
        }
        const auto& registered = bundle.bundleCameras.front();
        QVERIFY2(registered.size() >= 14, qPrintable(QString::number(registered.size())));
        double worst = 0;
        for (const auto& c : registered)
            worst = std::max(worst, (geo.apply(c->centre) - truth.at(c->name)).length());
        qInfo("%zu cameras georeferenced from GPS of 3 m noise: worst camera %.2f m from the truth",
              registered.size(), worst);
        QVERIFY(worst < 5);
    }
};

QTEST_MAIN(TestGpsGeoreferenceRun)
#include "tst_gpsgeoreferencerun.moc"
