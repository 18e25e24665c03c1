#include <QtTest>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <random>
#include <sstream>

#include "common/formats/NvmFile.h"
#include "common/geometry/Rotation.h"
#include "OrthoPhoto.h"
#include "SiteModel.h"
#include "SurveyWriter.h"
#include "ToolProcess.h"
#include "core/products/ProductRecord.h"
#include "core/products/ProductStatus.h"

namespace fs = std::filesystem;

// OrthoDsm on a synthetic survey whose truth is known: the true cameras
// carried into a model frame by a similarity (so the companion file has to
// be applied), a dense cloud sampled from the true surface with noise, stray
// points and two holes, and the rasters read back through GDAL's own tools
// as a GIS would.
class TestOrthoDsm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    SurveyWriter::Settings m_settings;
    SiteModel m_site;
    double m_targetSize = 0;
    std::vector<std::vector<std::string>> m_cameras, m_targets;
    double m_minE = 1e300, m_maxE = -1e300, m_minN = 1e300, m_maxN = -1e300; // the cloud's extent
    double m_smallHole[2], m_bigHole[2];                                     // local centres
    // The model frame: survey = T + s R model.
    double m_rotation[9], m_scale = 0.5;

    QString path(const QString& name) const { return m_dir.filePath(name); }
    double gapNorth() const { return m_settings.siteDepth * 0.37 + 0.012; }

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

    static QString program(const QString& name, const QStringList& arguments)
    {
        QProcess p;
        p.start(name, arguments);
        if (!p.waitForFinished(120000) || p.exitCode() != 0)
            return QString();
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    void toModel(const double survey[3], double model[3]) const
    {
        const double d[3] = {survey[0] - m_settings.originEasting, survey[1] - m_settings.originNorthing,
                             survey[2] - m_settings.originHeight};
        for (int r = 0; r < 3; ++r)
            model[r] =
                (m_rotation[0 * 3 + r] * d[0] + m_rotation[1 * 3 + r] * d[1] + m_rotation[2 * 3 + r] * d[2]) /
                m_scale;
    }

    // A pipeline folder: the photos linked in from the survey (or given),
    // the reconstruction, its companion file and the dense cloud, as the
    // stages would leave them.
    enum Part { Photos = 1, Companion = 2, Epsg = 4, Dense = 8, All = 15 };
    void makePipeline(const QString& folder, int parts, const QString& skipPhoto = QString())
    {
        const fs::path dir = path(folder).toStdString();
        fs::create_directories(dir / "pmvs/models");
        NvmFile nvm;
        nvm.models.emplace_back();
        for (const auto& c : m_cameras) {
            NvmFile::Camera cam;
            cam.name = c[0];
            cam.focal = std::stod(c[3]);
            const double survey[3] = {std::stod(c[7]), std::stod(c[8]), std::stod(c[9])};
            double model[3];
            toModel(survey, model);
            cam.centre = {model[0], model[1], model[2]};
            // x_cam = Rc (X - C) = s Rc R (p - p_c): the model rotation is Rc R.
            std::array<double, 9> rotation{};
            for (int r = 0; r < 3; ++r)
                for (int k = 0; k < 3; ++k)
                    for (int j = 0; j < 3; ++j)
                        rotation[size_t(r * 3 + k)] +=
                            std::stod(c[size_t(10 + r * 3 + j)]) * m_rotation[j * 3 + k];
            cam.quaternion = Rotation::quaternionOf(rotation);
            nvm.models.front().cameras.push_back(cam);
            if ((parts & Photos) && QString::fromStdString(c[0]) != skipPhoto)
                fs::create_symlink(path("survey/photos/" + QString::fromStdString(c[0])).toStdString(),
                                   dir / c[0]);
        }
        std::string error;
        QVERIFY2(nvm.writeFile((dir / "sparse.nvm").string(), &error), error.c_str());
        if (parts & Companion) {
            std::ofstream geo(dir / "sparse.txt");
            geo << std::setprecision(17);
            for (int r = 0; r < 3; ++r)
                geo << m_rotation[r * 3] << ' ' << m_rotation[r * 3 + 1] << ' ' << m_rotation[r * 3 + 2]
                    << '\n';
            geo << m_settings.originEasting << ' ' << m_settings.originNorthing << ' '
                << m_settings.originHeight << '\n'
                << m_scale << ' ' << m_scale << ' ' << m_scale << '\n';
            if (parts & Epsg)
                geo << "EPSG:32633\n";
        }
        if (parts & Dense)
            fs::copy_file(path("cloud.ply").toStdString(), dir / "pmvs/models/option-0000.ply");
    }

    ToolProcess orthoDsm(const QString& folder, QStringList more = {})
    {
        return ToolProcess::run("OrthoDsm", QStringList{path(folder)} << "--max-hole"
                                                                      << "1"
                                                                      << "--tile"
                                                                      << "128"
                                                                      << "--threads"
                                                                      << "2" << more);
    }

    // How far the image is from point symmetry about (x, y) in a ring inside
    // a checker: its correlation with itself turned half way round, lowest at
    // the checker's centre.
    static double asymmetry(const cv::Mat& grey, double x, double y, double radius)
    {
        double sum = 0;
        for (int k = 0; k < 32; ++k) {
            const double a = M_PI * k / 32;
            for (double r = radius * 0.3; r <= radius; r += radius * 0.35) {
                const double dx = r * std::cos(a), dy = r * std::sin(a);
                cv::Mat one, two;
                cv::getRectSubPix(grey, {1, 1}, cv::Point2f(float(x + dx - 0.5), float(y + dy - 0.5)), one,
                                  CV_32F);
                cv::getRectSubPix(grey, {1, 1}, cv::Point2f(float(x - dx - 0.5), float(y - dy - 0.5)), two,
                                  CV_32F);
                sum += std::abs(one.at<float>(0) - two.at<float>(0));
            }
        }
        return sum;
    }

    struct Raster {
        QJsonObject info;
        std::vector<double> transform;
        int width = 0, height = 0;
    };
    static Raster gdalinfo(const QString& file)
    {
        Raster r;
        r.info = QJsonDocument::fromJson(program("gdalinfo", {"-json", "-stats", file}).toUtf8()).object();
        for (const auto v : r.info["geoTransform"].toArray())
            r.transform.push_back(v.toDouble());
        r.width = r.info["size"].toArray()[0].toInt();
        r.height = r.info["size"].toArray()[1].toInt();
        return r;
    }

    // The orthophoto as 8-bit BGRA through GDAL's own conversion.
    cv::Mat orthophoto(const QString& tif)
    {
        const QString png = tif + ".png";
        program("gdal_translate", {"-q", "-of", "PNG", tif, png});
        return cv::imread(png.toStdString(), cv::IMREAD_UNCHANGED);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_settings.flight.photos = 12;
        m_settings.flight.width = 800;
        m_settings.flight.height = 600;
        m_settings.flight.altitude = 20;
        m_settings.siteWidth = 30;
        m_settings.siteDepth = 24;
        m_settings.gpsNoise = 0;
        m_settings.targets = 6;
        m_settings.seed = m_settings.flight.seed = 5;
        std::ostringstream progress;
        std::string error;
        QVERIFY2(SurveyWriter::write(m_settings, path("survey").toStdString(), progress, &error),
                 error.c_str());
        std::ifstream siteFile(path("survey/truth/site.txt").toStdString());
        std::stringstream text;
        text << siteFile.rdbuf();
        QVERIFY2(SiteModel::fromText(text.str(), &m_site, &error), error.c_str());
        m_cameras = rows(path("survey/truth/cameras.txt"));
        m_targets = rows(path("survey/truth/targets.txt"));
        {
            std::ifstream t(path("survey/truth/targets.txt").toStdString());
            std::string head;
            std::getline(t, head); // "... (centre of the checker, 0.9 m across)"
            m_targetSize = std::stod(head.substr(head.find(", ") + 2));
        }

        const double a = 0.5; // radians about the vertical, and a tilt about east
        const double rz[9] = {std::cos(a), -std::sin(a), 0, std::sin(a), std::cos(a), 0, 0, 0, 1};
        const double b = 0.05;
        const double rx[9] = {1, 0, 0, 0, std::cos(b), -std::sin(b), 0, std::sin(b), std::cos(b)};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                m_rotation[r * 3 + c] = 0;
                for (int k = 0; k < 3; ++k)
                    m_rotation[r * 3 + c] += rz[r * 3 + k] * rx[k * 3 + c];
            }

        // Two holes on level ground away from the targets: a small one to be
        // filled from its rim, a wide one to stay empty.
        auto clearOfTargets = [&](double x, double y, double distance) {
            for (const auto& t : m_targets)
                if (std::hypot(std::stod(t[1]) - m_settings.originEasting - x,
                               std::stod(t[2]) - m_settings.originNorthing - y) < distance)
                    return false;
            return true;
        };
        std::vector<std::array<double, 2>> spots;
        for (double y = 4; y < m_settings.siteDepth - 4; y += 1)
            for (double x = 4; x < m_settings.siteWidth - 4; x += 1)
                if (clearOfTargets(x, y, 4) &&
                    std::abs(m_site.heightAt(x + 2, y) - m_site.heightAt(x - 2, y)) < 0.1 &&
                    std::abs(m_site.heightAt(x, y + 2) - m_site.heightAt(x, y - 2)) < 0.1)
                    spots.push_back({x, y});
        QVERIFY(spots.size() > 2);
        m_bigHole[0] = spots.front()[0];
        m_bigHole[1] = spots.front()[1];
        m_smallHole[0] = spots.back()[0];
        m_smallHole[1] = spots.back()[1];

        // The cloud, 5 cm apart, 1 cm of noise, one point in a hundred a stray up to 3 m above.
        std::mt19937_64 random(7);
        std::normal_distribution<double> noise(0, 0.01);
        std::uniform_real_distribution<double> unit(0, 1);
        std::vector<float> xyz;
        for (double y = -3; y <= m_settings.siteDepth + 3; y += 0.05)
            for (double x = -3; x <= m_settings.siteWidth + 3; x += 0.05) {
                // A thin gap right across the cloud, which has a rim on both sides only across it.
                if (std::abs(y - gapNorth()) < 0.06 || std::hypot(x - m_smallHole[0], y - m_smallHole[1]) < 0.25 ||
                    (std::abs(x - m_bigHole[0]) < 1.5 && std::abs(y - m_bigHole[1]) < 1.5))
                    continue;
                double z = m_site.heightAt(x, y) + noise(random);
                if (unit(random) < 0.01)
                    z += 0.5 + 2.5 * unit(random);
                const double survey[3] = {x + m_settings.originEasting, y + m_settings.originNorthing,
                                          z + m_settings.originHeight};
                m_minE = std::min(m_minE, survey[0]);
                m_maxE = std::max(m_maxE, survey[0]);
                m_minN = std::min(m_minN, survey[1]);
                m_maxN = std::max(m_maxN, survey[1]);
                double model[3];
                toModel(survey, model);
                xyz.insert(xyz.end(), {float(model[0]), float(model[1]), float(model[2])});
            }
        std::ofstream ply(path("cloud.ply").toStdString(), std::ios::binary);
        ply << "ply\nformat binary_little_endian 1.0\nelement vertex " << xyz.size() / 3
            << "\nproperty float x\nproperty float y\nproperty float z\nend_header\n";
        ply.write(reinterpret_cast<const char*>(xyz.data()), std::streamsize(xyz.size() * sizeof(float)));
        ply.close();

        makePipeline("run", All);
        const ToolProcess run = orthoDsm("run");
        QVERIFY2(run.exitCode == 0, qPrintable(run.err + run.out));
        // Each raster counts its tiles to the end.
        QVERIFY2(run.out.contains(QRegularExpression("^progress: DSM (\\d+) of \\1 tiles$",
                                                     QRegularExpression::MultilineOption)),
                 qPrintable(run.out));
        QVERIFY2(run.out.contains(QRegularExpression("^progress: orthophoto (\\d+) of \\1 tiles$",
                                                     QRegularExpression::MultilineOption)),
                 qPrintable(run.out));
        QCOMPARE(QDir(path("run/ortho")).entryList({"*.part*"}, QDir::Files), QStringList());
    }

    void gdalReadsTheGridAndReferenceSystem()
    {
        const Raster dsm = gdalinfo(path("run/ortho/dsm.tif"));
        const Raster ortho = gdalinfo(path("run/ortho/orthophoto.tif"));
        for (const Raster* r : {&dsm, &ortho}) {
            QVERIFY(r->info["coordinateSystem"].toObject()["wkt"].toString().endsWith("ID[\"EPSG\",32633]]"));
            QCOMPARE(int(r->transform.size()), 6);
            QCOMPARE(r->transform[2], 0.0);
            QCOMPARE(r->transform[4], 0.0);
            QCOMPARE(r->transform[5], -r->transform[1]);
            const double cell = r->transform[1];
            const double left = r->transform[0], top = r->transform[3];
            const double right = left + r->width * cell, bottom = top - r->height * cell;
            // The cloud's extent, widened to whole cells, both grids' corner on the
            // elevation model's (the tool keeps points in single precision: a
            // millimetre either way).
            const double mm = 1e-3, corner = dsm.transform[1];
            QVERIFY2(left <= m_minE + mm && left > m_minE - corner - mm, qPrintable(QString::number(left, 'f', 4)));
            QVERIFY2(top >= m_maxN - mm && top < m_maxN + corner + mm, qPrintable(QString::number(top, 'f', 4)));
            QVERIFY(right >= m_maxE - mm && right < m_maxE + cell + mm);
            QVERIFY(bottom <= m_minN + mm && bottom > m_minN - cell - mm);
            const QJsonArray bands = r->info["bands"].toArray();
            QCOMPARE(bands[0].toObject()["block"].toArray()[0].toInt(), 128);
            QVERIFY(!bands[0].toObject()["overviews"].toArray().isEmpty());
        }
        // The photos' ground sample: flight height over the ground over the focal length.
        std::vector<double> samples;
        for (const auto& c : m_cameras)
            samples.push_back((std::stod(c[9]) - m_settings.originHeight -
                               m_site.heightAt(m_settings.siteWidth / 2, m_settings.siteDepth / 2)) /
                              std::stod(c[3]));
        std::nth_element(samples.begin(), samples.begin() + long(samples.size() / 2), samples.end());
        QVERIFY(std::abs(ortho.transform[1] / samples[samples.size() / 2] - 1) < 0.03);
        QVERIFY(std::abs(dsm.transform[1] - 2 * ortho.transform[1]) < 1e-12);

        const QJsonObject height = dsm.info["bands"].toArray()[0].toObject();
        QCOMPARE(height["type"].toString(), QString("Float32"));
        QCOMPARE(height["noDataValue"].toDouble(), -9999.0);
        const QJsonArray colour = ortho.info["bands"].toArray();
        QCOMPARE(colour.size(), 4);
        QCOMPARE(colour[0].toObject()["type"].toString(), QString("Byte"));
        QCOMPARE(colour[3].toObject()["colorInterpretation"].toString(), QString("Alpha"));
        // The strays above the ground are gone: the heights stay within the site's.
        const double low = height["minimum"].toDouble(), high = height["maximum"].toDouble();
        QVERIFY2(low > m_settings.originHeight - 3 && high < m_settings.originHeight + 3 && high > low,
                 qPrintable(QString("%1 .. %2").arg(low).arg(high)));
    }

    void dsmFollowsTheTrueSurface()
    {
        const QString asc = path("run/dsm.asc");
        program("gdal_translate", {"-q", "-of", "AAIGrid", path("run/ortho/dsm.tif"), asc});
        std::ifstream in(asc.toStdString());
        std::map<std::string, double> head;
        for (int i = 0; i < 6; ++i) {
            std::string key;
            double value;
            in >> key >> value;
            head[key] = value;
        }
        QVERIFY(head.count("ncols") && head.count("cellsize") && head.count("NODATA_value"));
        const int columns = int(head["ncols"]), lines = int(head["nrows"]);
        const double cell = head["cellsize"];
        long long covered = 0, close = 0, inside = 0;
        for (int r = 0; r < lines; ++r)
            for (int c = 0; c < columns; ++c) {
                double z;
                QVERIFY(in >> z);
                const double x = head["xllcorner"] + (c + 0.5) * cell - m_settings.originEasting;
                const double y = head["yllcorner"] + (lines - r - 0.5) * cell - m_settings.originNorthing;
                const bool site = x > 0 && y > 0 && x < m_settings.siteWidth && y < m_settings.siteDepth;
                inside += site;
                if (z == head["NODATA_value"])
                    continue;
                ++covered;
                close += std::abs(z - m_settings.originHeight - m_site.heightAt(x, y)) < 0.1;
            }
        qInfo("DSM: %lld of %lld covered cells within 10 cm of the truth", close, covered);
        QVERIFY2(close >= 0.95 * double(covered), qPrintable(QString("%1 of %2").arg(close).arg(covered)));
        QVERIFY(covered >= inside);

        // gdallocationinfo at the holes: the small one filled, the wide one left empty.
        auto at = [&](const double local[2]) {
            return program("gdallocationinfo",
                           {"-valonly", "-geoloc", path("run/ortho/dsm.tif"),
                            QString::number(local[0] + m_settings.originEasting, 'f', 3),
                            QString::number(local[1] + m_settings.originNorthing, 'f', 3)})
                .trimmed();
        };
        QCOMPARE(at(m_bigHole), QString("-9999"));
        for (double east : {2.0, m_settings.siteWidth / 2, m_settings.siteWidth - 2}) {
            const double gap[2] = {east, gapNorth()};
            QVERIFY2(std::abs(at(gap).toDouble() - m_settings.originHeight - m_site.heightAt(gap[0], gap[1])) < 0.1,
                     qPrintable(at(gap)));
        }
        const double filled = at(m_smallHole).toDouble() - m_settings.originHeight;
        QVERIFY2(std::abs(filled - m_site.heightAt(m_smallHole[0], m_smallHole[1])) < 0.1,
                 qPrintable(at(m_smallHole)));
    }

    void targetsSitOnTheirCoordinates()
    {
        const Raster r = gdalinfo(path("run/ortho/orthophoto.tif"));
        const cv::Mat bgra = orthophoto(path("run/ortho/orthophoto.tif"));
        QCOMPARE(bgra.type(), CV_8UC4);
        cv::Mat grey;
        cv::cvtColor(bgra, grey, cv::COLOR_BGRA2GRAY);
        const double cell = r.transform[1], radius = 0.4 * m_targetSize / cell;
        int seen = 0;
        for (const auto& t : m_targets) {
            const double u = (std::stod(t[1]) - r.transform[0]) / cell,
                         v = (r.transform[3] - std::stod(t[2])) / cell;
            // gdallocationinfo as a GIS user would check a target: opaque there.
            const QString alpha = program("gdallocationinfo",
                                          {"-valonly", "-b", "4", "-geoloc", path("run/ortho/orthophoto.tif"),
                                           QString::fromStdString(t[1]), QString::fromStdString(t[2])});
            if (alpha.trimmed() != "255")
                continue;
            ++seen;
            double bestU = u, bestV = v, best = asymmetry(grey, u, v, radius);
            for (double dv = -3; dv <= 3; dv += 0.1)
                for (double du = -3; du <= 3; du += 0.1) {
                    const double a = asymmetry(grey, u + du, v + dv, radius);
                    if (a < best) {
                        best = a;
                        bestU = u + du;
                        bestV = v + dv;
                    }
                }
            qInfo("%s: %.2f px from its coordinates", t[0].c_str(), std::hypot(bestU - u, bestV - v));
            QVERIFY2(std::hypot(bestU - u, bestV - v) < 2,
                     qPrintable(QString("%1 found at %2, %3, truth %4, %5")
                                    .arg(t[0].c_str())
                                    .arg(bestU)
                                    .arg(bestV)
                                    .arg(u)
                                    .arg(v)));
        }
        QVERIFY(seen >= int(m_targets.size()) - 1);
    }

    // One photo brighter than the others by 16 grey levels: where the
    // orthophoto passes from it to its neighbours the difference to the
    // plain run must ramp, not step.
    void photoBordersLeaveNoSeam()
    {
        const QString bright = QString::fromStdString(m_cameras[2][0]);
        makePipeline("bright", All, bright);
        cv::Mat photo = cv::imread(path("survey/photos/" + bright).toStdString(), cv::IMREAD_COLOR);
        photo += cv::Scalar(16, 16, 16);
        // Stored losslessly (the readers go by content, not by name) so the
        // difference is the brightening alone.
        std::vector<uchar> bytes;
        QVERIFY(cv::imencode(".png", photo, bytes));
        std::ofstream(path("bright/" + bright).toStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        const ToolProcess run = orthoDsm("bright");
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));

        const Raster r = gdalinfo(path("run/ortho/orthophoto.tif"));
        cv::Mat plain = orthophoto(path("run/ortho/orthophoto.tif")),
                brighter = orthophoto(path("bright/ortho/orthophoto.tif"));
        QCOMPARE(plain.size(), brighter.size());
        cv::Mat a, b, difference;
        cv::cvtColor(plain, a, cv::COLOR_BGRA2GRAY);
        cv::cvtColor(brighter, b, cv::COLOR_BGRA2GRAY);
        cv::subtract(b, a, difference, cv::noArray(), CV_32F);
        double largest = 0, step = 0;
        const double cell = r.transform[1];
        for (int y = 1; y + 1 < difference.rows; ++y)
            for (int x = 1; x + 1 < difference.cols; ++x) {
                // Level open ground only: where the surface hides one photo's view
                // the photo has to change at once.
                const double e = r.transform[0] + (x + 0.5) * cell - m_settings.originEasting;
                const double n = r.transform[3] - (y + 0.5) * cell - m_settings.originNorthing;
                bool level = true;
                const double h = m_site.heightAt(e, n);
                for (double d : {-1.0, 1.0})
                    level = level && std::abs(m_site.heightAt(e + d, n) - h) < 0.05 &&
                            std::abs(m_site.heightAt(e, n + d) - h) < 0.05;
                if (!level || plain.at<cv::Vec4b>(y, x)[3] != 255 ||
                    plain.at<cv::Vec4b>(y + 1, x + 1)[3] != 255 ||
                    plain.at<cv::Vec4b>(y - 1, x - 1)[3] != 255 || a.at<uchar>(y, x) > 230)
                    continue;
                const float d = difference.at<float>(y, x);
                largest = std::max(largest, double(d));
                step = std::max({step, std::abs(double(difference.at<float>(y, x + 1) - d)),
                                 std::abs(double(difference.at<float>(y + 1, x) - d))});
            }
        qInfo("brighter photo: %.1f grey levels at most, %.2f the largest step between neighbours", largest,
              step);
        QVERIFY2(largest >= 14, qPrintable(QString::number(largest))); // the brighter photo is used
        // A hard switch steps by 16; the two runs' rounding alone can make 2.
        QVERIFY2(step <= 5, qPrintable(QString::number(step)));
    }

    // Two photos straight down from 30 m, a red one at x = -4 and a green one
    // at x = 14, over level ground with a 6 m tower at x = 1 to 1.5: up to
    // x = 2.9 east of the tower the red photo is the nearer to nadir but the
    // tower hides the ground from it, so the green one must colour it.
    void hiddenGroundTakesTheOtherPhoto()
    {
        const fs::path dir = path("tower").toStdString();
        fs::create_directories(dir / "pmvs/models");
        std::ofstream(dir / "sparse.nvm") << "NVM_V3\n\n2\nred.png 300 0 1 0 0 -4 0 30 0 0\n"
                                             "green.png 300 0 1 0 0 14 0 30 0 0\n\n0\n\n0\n";
        std::ofstream(dir / "sparse.txt") << "1 0 0\n0 1 0\n0 0 1\n500000 4000000 100\n1 1 1\nEPSG:32633\n";
        QVERIFY(cv::imwrite((dir / "red.png").string(), cv::Mat(240, 320, CV_8UC3, cv::Scalar(0, 0, 200))));
        QVERIFY(cv::imwrite((dir / "green.png").string(), cv::Mat(240, 320, CV_8UC3, cv::Scalar(0, 200, 0))));
        std::ofstream ply(dir / "pmvs/models/option-0000.ply");
        std::ostringstream points;
        int count = 0;
        for (int j = -120; j <= 120; ++j)
            for (int i = -200; i <= 200; ++i, ++count)
                points << i * 0.05 << ' ' << j * 0.05 << ' ' << (i >= 20 && i <= 30 && std::abs(j) <= 40 ? 6 : 0)
                       << '\n';
        ply << "ply\nformat ascii 1.0\nelement vertex " << count
            << "\nproperty float x\nproperty float y\nproperty float z\nend_header\n"
            << points.str();
        ply.close();
        const ToolProcess run = ToolProcess::run("OrthoDsm", {path("tower")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        auto colourAt = [&](double x) {
            return program("gdallocationinfo", {"-valonly", "-geoloc", path("tower/ortho/orthophoto.tif"),
                                                QString::number(500000 + x, 'f', 3), "4000000"})
                .split('\n', Qt::SkipEmptyParts);
        };
        QCOMPARE(colourAt(-6), (QStringList{"200", "0", "0", "255"})); // west of the tower: red sees it
        QCOMPARE(colourAt(1.9), (QStringList{"0", "200", "0", "255"})); // behind it: green
        QCOMPARE(colourAt(2.4), (QStringList{"0", "200", "0", "255"}));
        const QStringList again = colourAt(3.6); // in the red photo's sight again, the green one blended in a little
        QVERIFY2(again.size() == 4 && again[0].toInt() > 150 && again[1].toInt() < 50, qPrintable(again.join(' ')));
    }

    void badInputLeavesNothing_data()
    {
        QTest::addColumn<int>("parts");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("message");
        QTest::newRow("not georeferenced") << int(All & ~Companion) << ""
                                           << "georeference first";
        QTest::newRow("no reference system") << int(All & ~Epsg) << ""
                                             << "give --epsg";
        QTest::newRow("no dense cloud") << int(All & ~Dense) << ""
                                        << "run the dense stage first";
        QTest::newRow("photo of another size") << int(All) << "smaller"
                                               << "not the 800 x 600";
    }

    void badInputLeavesNothing()
    {
        QFETCH(int, parts);
        QFETCH(QString, change);
        QFETCH(QString, message);
        const QString folder = QString("bad-%1").arg(QTest::currentDataTag()).replace(' ', '-');
        const QString photo = QString::fromStdString(m_cameras[5][0]);
        makePipeline(folder, parts, change.isEmpty() ? QString() : photo);
        if (change == "smaller") {
            cv::Mat small;
            cv::resize(cv::imread(path("survey/photos/" + photo).toStdString()), small, {400, 300});
            QVERIFY(cv::imwrite(path(folder + "/" + photo).toStdString(), small));
        }
        const ToolProcess run = orthoDsm(folder);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QCOMPARE(run.err.trimmed().count('\n'), 0);
        QVERIFY(QDir(path(folder + "/ortho")).entryList(QDir::Files).isEmpty());
    }

    // A photo gone from the folder since the reconstruction leaves a gap the
    // others fill, and is named.
    void aMissingPhotoIsLeftOutAndNamed()
    {
        const QString photo = QString::fromStdString(m_cameras[5][0]);
        makePipeline("missing", All, photo);
        const ToolProcess run = orthoDsm("missing");
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QVERIFY2(run.out.contains(photo + " of the reconstruction is missing: left out"),
                 qPrintable(run.out));
        QVERIFY(QFile::exists(path("missing/ortho/orthophoto.tif")));
    }

    // Dense clouds made from an earlier reconstruction are refused: by the
    // dense run's record, or without one by being older than sparse.nvm.
    void denseCloudsOfAnEarlierReconstructionAreRefused()
    {
        makePipeline("stale", All);
        const QString folder = path("stale");
        ProductRecord dense = ProductRecord::make(folder, ProductRecord::dense, {"sparse.nvm"},
                                                  {"pmvs/models/option-0000.ply"});
        dense.inputs[0].fingerprint = "12:0123456789abcdef";
        QVERIFY(dense.write(folder));
        ToolProcess run = orthoDsm("stale");
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(
            run.err.contains("the dense clouds were made from an earlier sparse.nvm: run Dense again first"),
            qPrintable(run.err));

        QVERIFY(QFile::remove(ProductRecord::fileOf(folder, ProductRecord::dense)));
        const fs::path cloud = (folder + "/pmvs/models/option-0000.ply").toStdString();
        fs::last_write_time(cloud, fs::last_write_time((folder + "/sparse.nvm").toStdString()) -
                                       std::chrono::hours(1));
        run = orthoDsm("stale");
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("so it was made from an earlier reconstruction"), qPrintable(run.err));
        QVERIFY(QDir(folder + "/ortho").entryList(QDir::Files).isEmpty());
    }

    // A cloud exported beside the dense results is in survey coordinates
    // already: it is not read as one of them. The rasters record what they
    // were made from, and a new georeference makes them stale.
    void rastersAreMadeFromTheDenseStagesOwnCloudsAndSaySo()
    {
        makePipeline("export", All);
        const QString folder = path("export");
        QVERIFY(
            ProductRecord::make(folder, ProductRecord::dense, {"sparse.nvm"}, {"pmvs/models/option-0000.ply"})
                .write(folder));
        QFile exported(folder + "/pmvs/models/option-0000_export.ply");
        QVERIFY(exported.open(QIODevice::WriteOnly));
        exported.write("ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\n"
                       "property float z\nend_header\n712010 4123010 95\n");
        exported.close();
        const ToolProcess run = orthoDsm("export");
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QVERIFY2(run.out.contains(", 1 dense cloud(s)"), qPrintable(run.out));
        QVERIFY(!run.out.contains("option-0000_export.ply"));

        const QString dsm = folder + "/ortho/dsm.tif";
        ProductStatus status = ProductStatus::of(dsm);
        QVERIFY(status.known);
        QVERIFY(!status.stale);
        QFile companion(folder + "/sparse.txt");
        QVERIFY(companion.open(QIODevice::Append));
        companion.write("\n");
        companion.close();
        status = ProductStatus::of(dsm);
        QVERIFY(status.stale);
        QCOMPARE(status.changed, QStringList{"sparse.txt"});
    }

    // The photos' own distortion: the pixel the tool samples must undistort,
    // by NVM's rule, to the pinhole projection.
    void projectionAppliesTheDistortion()
    {
        OrthoPhoto p;
        p.width = 800;
        p.height = 600;
        p.focal = 700;
        p.centre[2] = 30;
        const double down[9] = {1, 0, 0, 0, -1, 0, 0, 0, -1};
        std::copy(down, down + 9, p.toCamera);
        for (double radial : {-0.08, 0.0, 0.12})
            for (const auto& g : std::vector<std::array<double, 2>>{{0, 0}, {7, -3}, {-11, 8}, {14, 10}}) {
                p.radial = radial;
                const double point[3] = {g[0], g[1], 0};
                double x, y;
                QVERIFY(p.project(point, x, y));
                const double mx = x - 400, my = y - 300, r2 = (mx * mx + my * my) / (700.0 * 700.0);
                const double ux = mx * (1 + radial * r2), uy = my * (1 + radial * r2);
                QVERIFY(std::abs(ux - 700 * g[0] / 30) < 1e-6 && std::abs(uy + 700 * g[1] / 30) < 1e-6);
            }
        // The adjusted lens, where given, replaces the NVM's term: the pixel
        // is the two-term lens's own, its principal point off the centre.
        p.hasLens = true;
        p.lens.width = 800;
        p.lens.height = 600;
        p.lens.fx = p.lens.fy = 701.5;
        p.lens.cx = 402.25;
        p.lens.cy = 297.75;
        p.lens.k1 = -0.1;
        p.lens.k2 = 0.05;
        const double point[3] = {14, 10, 0};
        double x, y;
        QVERIFY(p.project(point, x, y));
        const double ix = 14 / 30.0, iy = -10 / 30.0, n2 = ix * ix + iy * iy;
        const double r = 1 - 0.1 * n2 + 0.05 * n2 * n2;
        QVERIFY(std::abs(x - (402.75 + 701.5 * ix * r)) < 1e-9 &&
                std::abs(y - (298.25 + 701.5 * iy * r)) < 1e-9);
    }
};

QTEST_GUILESS_MAIN(TestOrthoDsm)
#include "tst_orthodsm.moc"
