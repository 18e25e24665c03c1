#include <QtTest>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <fstream>
#include <sstream>

#include "GeoTransform.h"
#include "SiteModel.h"
#include "SurveyWriter.h"

// The synthetic survey is only worth its truth: every photo must show the
// control targets exactly where the truth files say, on the surface the site
// file gives back, and the EXIF must carry the flight through PROJ. A second
// survey flies nadir only through a distorting lens: its photos must show the
// targets where the lens model moves them.
class TestSurveyGen : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    SurveyWriter::Settings m_settings, m_lens;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    static std::vector<std::vector<std::string>> rows(const QString& file)
    {
        std::ifstream in(file.toStdString());
        std::vector<std::vector<std::string>> out;
        for (std::string line; std::getline(in, line);) {
            if (line.empty() || line[0] == '#')
                continue;
            std::istringstream fields(line);
            std::vector<std::string> row;
            for (std::string f; fields >> f;)
                row.push_back(f);
            out.push_back(row);
        }
        return out;
    }

    // How far the photo is from point symmetry about (x, y) on a ring inside
    // the checker: zero at the checker's centre, growing with any offset.
    static double asymmetry(const cv::Mat& grey, double x, double y, double radius)
    {
        double sum = 0;
        for (int k = 0; k < 32; ++k) {
            const double a = M_PI * k / 32;
            for (double r = radius * 0.3; r <= radius; r += radius * 0.35) {
                const double dx = r * std::cos(a), dy = r * std::sin(a);
                cv::Mat one, two;
                cv::getRectSubPix(grey, {1, 1}, cv::Point2f(float(x + dx - 0.5), float(y + dy - 0.5)), one, CV_32F);
                cv::getRectSubPix(grey, {1, 1}, cv::Point2f(float(x - dx - 0.5), float(y - dy - 0.5)), two, CV_32F);
                sum += std::abs(one.at<float>(0) - two.at<float>(0));
            }
        }
        return sum;
    }

    // The point of least asymmetry within two pixels of (x, y), to a tenth of a pixel.
    static cv::Point2d checkerCentre(const cv::Mat& grey, double x, double y)
    {
        double bestX = x, bestY = y, best = asymmetry(grey, x, y, 5);
        for (double dy = -2; dy <= 2; dy += 0.1)
            for (double dx = -2; dx <= 2; dx += 0.1) {
                const double a = asymmetry(grey, x + dx, y + dy, 5);
                if (a < best) {
                    best = a;
                    bestX = x + dx;
                    bestY = y + dy;
                }
            }
        return {bestX, bestY};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_settings.flight.photos = 12; // 8 nadir, 4 oblique
        m_settings.flight.width = 800;
        m_settings.flight.height = 600;
        m_settings.flight.altitude = 20;
        m_settings.siteWidth = 30;
        m_settings.siteDepth = 24;
        m_settings.gpsNoise = 0;
        m_settings.seed = m_settings.flight.seed = 3;
        std::ostringstream progress;
        std::string error;
        QVERIFY2(SurveyWriter::write(m_settings, path("survey").toStdString(), progress, &error), error.c_str());

        // Barrel distortion as a consumer drone's lens has it, nadir lines only.
        m_lens = m_settings;
        m_lens.flight.photos = 8;
        m_lens.flight.nadirOnly = true;
        m_lens.flight.k1 = -0.09;
        m_lens.flight.k2 = 0.02;
        QVERIFY2(SurveyWriter::write(m_lens, path("lens").toStdString(), progress, &error), error.c_str());
    }

    void targetsLieWhereTheTruthSeesThem_data()
    {
        QTest::addColumn<QString>("survey");
        QTest::addColumn<QStringList>("seen");
        QTest::newRow("pinhole, oblique ring") << "survey" << QStringList{"IMG_0001.JPG", "IMG_0012.JPG"};
        QTest::newRow("distorting lens") << "lens" << QStringList{"IMG_0001.JPG", "IMG_0008.JPG"};
    }

    void targetsLieWhereTheTruthSeesThem()
    {
        QFETCH(QString, survey);
        QFETCH(QStringList, seen);
        std::ifstream siteFile(path(survey + "/truth/site.txt").toStdString());
        std::stringstream text;
        text << siteFile.rdbuf();
        SiteModel site;
        std::string error;
        QVERIFY2(SiteModel::fromText(text.str(), &site, &error), error.c_str());
        std::map<std::string, std::vector<double>> targets;
        for (const auto& row : rows(path(survey + "/truth/targets.txt"))) {
            const double x = std::stod(row[1]) - m_settings.originEasting,
                         y = std::stod(row[2]) - m_settings.originNorthing,
                         z = std::stod(row[3]) - m_settings.originHeight;
            QVERIFY(std::abs(z - site.heightAt(x, y)) < 1e-9); // on the surface the site file gives back
            targets[row[0]] = {x, y};
        }
        QCOMPARE(int(targets.size()), m_settings.targets);

        const auto observations = rows(path(survey + "/truth/observations.txt"));
        QSet<QString> seeing;
        for (const auto& o : observations) {
            const cv::Mat grey = cv::imread(
                path(survey + "/photos/" + QString::fromStdString(o[0])).toStdString(), cv::IMREAD_GRAYSCALE);
            QVERIFY(!grey.empty());
            const double x = std::stod(o[2]), y = std::stod(o[3]);
            // The checker's centre to a tenth of a pixel around the truth.
            const cv::Point2d centre = checkerCentre(grey, x, y);
            const double bestX = centre.x, bestY = centre.y;
            QVERIFY2(std::hypot(bestX - x, bestY - y) < 0.35,
                     qPrintable(QString("%1 %2: centre found at %3, %4, truth %5, %6")
                                    .arg(o[0].c_str(), o[1].c_str())
                                    .arg(bestX)
                                    .arg(bestY)
                                    .arg(x)
                                    .arg(y)));
            seeing.insert(QString::fromStdString(o[0]));
        }
        // Every part of the flight sees targets (the pinhole survey's last photos are oblique).
        for (const QString& photo : seen)
            QVERIFY2(seeing.contains(photo), qPrintable(photo));
    }

    // The lens moves each target from its pinhole pixel by the radial model
    // the truth states, by many pixels towards the edges (and the photos show
    // the checkers at the moved pixels: targetsLieWhereTheTruthSeesThem).
    void lensMovesTargetsAsTheModelSays()
    {
        std::map<std::string, std::vector<double>> targets;
        for (const auto& row : rows(path("lens/truth/targets.txt")))
            targets[row[0]] = {std::stod(row[1]), std::stod(row[2]), std::stod(row[3])};
        std::map<std::string, std::vector<std::string>> cameras;
        for (const auto& c : rows(path("lens/truth/cameras.txt"))) {
            QCOMPARE(int(c.size()), 21);
            QCOMPARE(std::stod(c[19]), m_lens.flight.k1);
            QCOMPARE(std::stod(c[20]), m_lens.flight.k2);
            QVERIFY2(std::stod(c[18]) < -0.99, c[0].c_str()); // looking straight down: no oblique photos
            cameras[c[0]] = c;
        }
        QCOMPARE(int(cameras.size()), m_lens.flight.photos);
        for (const auto& c : rows(path("survey/truth/cameras.txt"))) // a pinhole lens says so
            QVERIFY(c.size() == 21 && std::stod(c[19]) == 0 && std::stod(c[20]) == 0);

        double farthest = 0;
        for (const auto& o : rows(path("lens/truth/observations.txt"))) {
            const auto& c = cameras.at(o[0]);
            const auto& t = targets.at(o[1]);
            double p[3] = {0, 0, 0};
            for (int r = 0; r < 3; ++r)
                for (int k = 0; k < 3; ++k)
                    p[r] +=
                        std::stod(c[size_t(10 + 3 * r + k)]) * (t[size_t(k)] - std::stod(c[size_t(7 + k)]));
            const double fx = std::stod(c[3]), fy = std::stod(c[4]), cx = std::stod(c[5]),
                         cy = std::stod(c[6]);
            const double u = p[0] / p[2], v = p[1] / p[2], r2 = u * u + v * v;
            const double scale = 1 + m_lens.flight.k1 * r2 + m_lens.flight.k2 * r2 * r2;
            const double x = std::stod(o[2]), y = std::stod(o[3]);
            QVERIFY2(std::abs(fx * u * scale + cx - x) < 1e-6 && std::abs(fy * v * scale + cy - y) < 1e-6,
                     qPrintable(QString("%1 %2").arg(o[0].c_str(), o[1].c_str())));
            const double pinholeX = fx * u + cx, pinholeY = fy * v + cy;
            const double moved = std::hypot(pinholeX - x, pinholeY - y);
            farthest = std::max(farthest, moved);
            // A barrel lens (k1 < 0) draws the photo's edges in.
            QVERIFY(moved < 1e-9 || std::hypot(x - cx, y - cy) < std::hypot(pinholeX - cx, pinholeY - cy));
        }
        QVERIFY2(farthest > 5, qPrintable(QString::number(farthest)));
    }

    void aFoldingLensIsRefused()
    {
        SurveyWriter::Settings folding = m_lens;
        folding.flight.photos = 2;
        folding.flight.k1 = -0.6;
        std::ostringstream progress;
        std::string error;
        QVERIFY(!SurveyWriter::write(folding, path("folding").toStdString(), progress, &error));
        QVERIFY2(error.find("folds") != std::string::npos, error.c_str());
    }

    void exifCarriesTheFlightInWgs84()
    {
        const auto cameras = rows(path("survey/truth/cameras.txt"));
        QCOMPARE(int(cameras.size()), m_settings.flight.photos);
        GeoTransform geo(m_settings.system);
        QVERIFY(geo.valid());
        QProcess exiftool;
        exiftool.start("exiftool", {"-n", "-T", "-FileName", "-GPSLatitude", "-GPSLongitude", "-GPSAltitude",
                                    "-FocalLength", "-FocalLengthIn35mmFormat", "-Make", path("survey/photos")});
        QVERIFY(exiftool.waitForFinished(60000));
        const QStringList lines = QString::fromUtf8(exiftool.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), m_settings.flight.photos);
        for (const auto& c : cameras) {
            const QString name = QString::fromStdString(c[0]);
            const auto line = std::find_if(lines.begin(), lines.end(), [&](const QString& l) { return l.startsWith(name + '\t'); });
            QVERIFY(line != lines.end());
            const QStringList f = line->split('\t');
            double latitude, longitude;
            QVERIFY(geo.toGeographic(std::stod(c[7]), std::stod(c[8]), &latitude, &longitude));
            QVERIFY2(std::abs(f[1].toDouble() - latitude) < 1e-8 && std::abs(f[2].toDouble() - longitude) < 1e-8,
                     qPrintable(*line));
            QVERIFY(std::abs(f[3].toDouble() - std::stod(c[9])) < 2e-3);
            QCOMPARE(f[4].toDouble(), 8.8);
            QCOMPARE(f[5].toInt(), 24);
            QCOMPARE(f[6], QString("DJI"));
        }
    }
};

QTEST_GUILESS_MAIN(TestSurveyGen)
#include "tst_surveygen.moc"
