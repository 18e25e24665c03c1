#include <QtTest>

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Texture2D>
#include <osgViewer/Viewer>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <random>

#include "BundlerFile.h"
#include "CmpmvsRun.h"
#include "ColmapModel.h"
#include "MvsCamera.h"
#include "common/formats/NvmFile.h"
#include "ToolProcess.h"
#include "core/formats/PlyReader.h"

// The dense tools on a scene whose truth is known: a textured box (edge 1)
// on a textured ground, drawn by OpenSceneGraph from twelve cameras around
// it through a lens with barrel distortion. The bundle holds the exact
// cameras and points sampled on the visible surfaces; the tools run as the
// prepare script and pmvs_all.bat run them. A second set of photos is taken
// through a calibrated camera (principal point off the centre, fx != fy) and
// goes the calibrated road: a COLMAP model and its NVM, driver_x64, then the
// same tools.
namespace
{

constexpr int W = 640, H = 480;
constexpr double fovy = 50.0, k1 = -0.04;
constexpr int views = 12;
constexpr double boxSize = 1.0;

osg::ref_ptr<osg::Image> noiseTexture(unsigned seed, int size)
{
    // Blobs of several sizes in every channel: texture at every scale the
    // cameras see it at.
    cv::RNG rng(seed);
    cv::Mat sum(size, size, CV_32FC3, cv::Scalar::all(0));
    for (int cells : {6, 16, 48, 160}) {
        cv::Mat small(cells, cells, CV_32FC3), big;
        rng.fill(small, cv::RNG::UNIFORM, 0.0, 1.0);
        cv::resize(small, big, sum.size(), 0, 0, cv::INTER_CUBIC);
        sum += big;
    }
    cv::Mat bytes;
    sum.convertTo(bytes, CV_8UC3, 255.0 / 4.0);
    osg::ref_ptr<osg::Image> image = new osg::Image;
    image->allocateImage(size, size, 1, GL_RGB, GL_UNSIGNED_BYTE);
    std::memcpy(image->data(), bytes.data, size_t(size) * size_t(size) * 3);
    return image;
}

osg::ref_ptr<osg::Geode> texturedQuad(const osg::Vec3& corner, const osg::Vec3& u, const osg::Vec3& v,
                                      osg::Image* texture)
{
    osg::ref_ptr<osg::Geometry> g = new osg::Geometry;
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    for (const osg::Vec3& p : {corner, corner + u, corner + u + v, corner + v})
        vertices->push_back(p);
    osg::ref_ptr<osg::Vec2Array> coords = new osg::Vec2Array;
    for (const osg::Vec2& t : {osg::Vec2(0, 0), osg::Vec2(1, 0), osg::Vec2(1, 1), osg::Vec2(0, 1)})
        coords->push_back(t);
    g->setVertexArray(vertices);
    g->setTexCoordArray(0, coords);
    osg::ref_ptr<osg::Vec4Array> white = new osg::Vec4Array;
    white->push_back(osg::Vec4(1, 1, 1, 1));
    g->setColorArray(white, osg::Array::BIND_OVERALL);
    g->addPrimitiveSet(new osg::DrawArrays(GL_QUADS, 0, 4));
    osg::ref_ptr<osg::Texture2D> t = new osg::Texture2D(texture);
    t->setFilter(osg::Texture::MIN_FILTER, osg::Texture::LINEAR_MIPMAP_LINEAR);
    t->setFilter(osg::Texture::MAG_FILTER, osg::Texture::LINEAR);
    t->setMaxAnisotropy(8);
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(g);
    geode->getOrCreateStateSet()->setTextureAttributeAndModes(0, t);
    return geode;
}

osg::ref_ptr<osg::Group> boxScene()
{
    osg::ref_ptr<osg::Group> root = new osg::Group;
    root->getOrCreateStateSet()->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    root->addChild(texturedQuad({-3, -3, 0}, {6, 0, 0}, {0, 6, 0}, noiseTexture(1, 1024)));
    const float h = float(boxSize / 2), s = float(boxSize);
    root->addChild(texturedQuad({-h, -h, s}, {s, 0, 0}, {0, s, 0}, noiseTexture(2, 512))); // top
    root->addChild(texturedQuad({-h, -h, 0}, {s, 0, 0}, {0, 0, s}, noiseTexture(3, 512))); // -y
    root->addChild(texturedQuad({h, -h, 0}, {0, s, 0}, {0, 0, s}, noiseTexture(4, 512)));  // +x
    root->addChild(texturedQuad({h, h, 0}, {-s, 0, 0}, {0, 0, s}, noiseTexture(5, 512)));  // +y
    root->addChild(texturedQuad({-h, h, 0}, {0, -s, 0}, {0, 0, s}, noiseTexture(6, 512))); // -x
    return root;
}

osg::Matrixd viewMatrix(int i)
{
    const double a = 2 * M_PI * i / views;
    return osg::Matrixd::lookAt(osg::Vec3d(4.0 * std::cos(a), 4.0 * std::sin(a), 2.8), osg::Vec3d(0, 0, 0.35),
                                osg::Vec3d(0, 0, 1));
}

// OpenSceneGraph's eye frame is Bundler's (looking down -z, y up).
BundlerFile::Camera bundlerCamera(const osg::Matrixd& V)
{
    BundlerFile::Camera c;
    c.focal = (H / 2.0) / std::tan(fovy * M_PI / 360.0);
    c.k1 = k1;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            c.rotation[size_t(3 * i + j)] = V(j, i);
        c.translation[size_t(i)] = V(3, i);
    }
    return c;
}

// The projection of a pinhole camera with pixel centres at whole numbers:
// OpenGL samples pixel column u at window x u + 1/2, and row v (counted
// down) at window y H - v - 1/2. An eye point (x, y, z) must land at
// u = cx + fx x / -z, v = cy - fy y / -z.
osg::Matrixd projectionOf(double fx, double fy, double cx, double cy)
{
    const double n = 0.1, f = 100.0;
    const double ax = 1 - 2 * (cx + 0.5) / W, ay = 1 - 2 * (H - cy - 0.5) / H;
    // OpenSceneGraph multiplies row vectors: this is OpenGL's matrix transposed.
    return osg::Matrixd(2 * fx / W, 0, 0, 0,            //
                        0, 2 * fy / H, 0, 0,            //
                        ax, ay, -(f + n) / (f - n), -1, //
                        0, 0, -2 * f * n / (f - n), 0);
}

// Bundler's centre-origin image coordinates put the principal point at
// ((W - 1) / 2, (H - 1) / 2).
osg::Matrixd projection()
{
    const double f = (H / 2.0) / std::tan(fovy * M_PI / 360.0);
    return projectionOf(f, f, (W - 1) / 2.0, (H - 1) / 2.0);
}

// The calibrated camera of the second set of photos.
constexpr double calibFx = 560, calibFy = 530, calibCx = (W - 1) / 2.0 + 15.25,
                 calibCy = (H - 1) / 2.0 - 9.75;

// The ideal image seen through the lens: each pixel shows the ideal pixel
// whose distorted place it is.
cv::Mat distort(const cv::Mat& ideal, double focal)
{
    cv::Mat mapX(H, W, CV_32F), mapY(H, W, CV_32F);
    for (int v = 0; v < H; ++v)
        for (int u = 0; u < W; ++u) {
            const double qx = (u - (W - 1) / 2.0) / focal, qy = ((H - 1) / 2.0 - v) / focal;
            double px = qx, py = qy;
            for (int k = 0; k < 30; ++k) {
                const double r = 1 + k1 * (px * px + py * py);
                px = qx / r;
                py = qy / r;
            }
            mapX.at<float>(v, u) = float((W - 1) / 2.0 + focal * px);
            mapY.at<float>(v, u) = float((H - 1) / 2.0 - focal * py);
        }
    cv::Mat out;
    cv::remap(ideal, out, mapX, mapY, cv::INTER_CUBIC, cv::BORDER_CONSTANT, cv::Scalar::all(128));
    return out;
}

bool segmentHitsBox(const osg::Vec3d& from, const osg::Vec3d& to)
{
    const double lo[3] = {-boxSize / 2, -boxSize / 2, 0}, hi[3] = {boxSize / 2, boxSize / 2, boxSize};
    double t0 = 0, t1 = 1 - 1e-6;
    for (int k = 0; k < 3; ++k) {
        const double d = to[k] - from[k];
        if (std::abs(d) < 1e-12) {
            if (from[k] < lo[k] || from[k] > hi[k])
                return false;
            continue;
        }
        double a = (lo[k] - from[k]) / d, b = (hi[k] - from[k]) / d;
        if (a > b)
            std::swap(a, b);
        t0 = std::max(t0, a);
        t1 = std::min(t1, b);
        if (t0 > t1)
            return false;
    }
    return true;
}

// Distance to the true surface: the ground plane or the box.
double surfaceDistance(const osg::Vec3d& p)
{
    const double h = boxSize / 2;
    const double dx = std::max(std::abs(p.x()) - h, 0.0), dy = std::max(std::abs(p.y()) - h, 0.0);
    const double dz = std::max({-p.z(), p.z() - boxSize, 0.0});
    double box = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (box == 0) // inside: the nearest face
        box = std::min({h - std::abs(p.x()), h - std::abs(p.y()), p.z(), boxSize - p.z()});
    return std::min(box, std::abs(p.z()));
}

struct Sample {
    osg::Vec3d position, normal;
};

// Points on the five visible faces, on a grid of the given step (face
// interiors), or at random with a seed.
std::vector<Sample> faceSamples(double step)
{
    std::vector<Sample> out;
    const double h = boxSize / 2;
    const int n = int(std::lround(boxSize / step));
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const double a = -h + (i + 0.5) * step, b = -h + (j + 0.5) * step, z = (j + 0.5) * step;
            out.push_back({{a, b, boxSize}, {0, 0, 1}});
            out.push_back({{a, -h, z}, {0, -1, 0}});
            out.push_back({{a, h, z}, {0, 1, 0}});
            out.push_back({{-h, a, z}, {-1, 0, 0}});
            out.push_back({{h, a, z}, {1, 0, 0}});
        }
    return out;
}

} // namespace

class TestDenseBox : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_pmvsOutput; // of the last pmvs_all.bat
    BundlerFile m_bundle;

    QString path(const QString& relative) const { return m_dir.filePath(relative); }

    struct Quality {
        int points = 0;
        double accurate = 0; // share within 1% of the box size
        double covered = 0;  // share of the face grid with a point near
    };

    static Quality judge(const osg::Vec3Array& cloud)
    {
        Quality q;
        q.points = int(cloud.size());
        int good = 0;
        // Points bucketed by 0.05 cells for the coverage search.
        const double cell = 0.05, radius = 0.04;
        std::map<std::tuple<int, int, int>, std::vector<osg::Vec3d>> grid;
        for (const osg::Vec3f& p : cloud) {
            if (surfaceDistance(p) <= 0.01 * boxSize)
                ++good;
            grid[{int(std::floor(p.x() / cell)), int(std::floor(p.y() / cell)),
                  int(std::floor(p.z() / cell))}]
                .push_back(p);
        }
        q.accurate = q.points ? double(good) / q.points : 0;
        const std::vector<Sample> samples = faceSamples(0.05);
        int covered = 0;
        for (const Sample& s : samples) {
            const int cx = int(std::floor(s.position.x() / cell)),
                      cy = int(std::floor(s.position.y() / cell)),
                      cz = int(std::floor(s.position.z() / cell));
            bool near = false;
            for (int i = -1; i <= 1 && !near; ++i)
                for (int j = -1; j <= 1 && !near; ++j)
                    for (int k = -1; k <= 1 && !near; ++k) {
                        const auto it = grid.find({cx + i, cy + j, cz + k});
                        if (it == grid.end())
                            continue;
                        for (const osg::Vec3d& p : it->second)
                            if ((p - s.position).length() <= radius) {
                                near = true;
                                break;
                            }
                    }
            covered += near ? 1 : 0;
        }
        q.covered = double(covered) / samples.size();
        return q;
    }

    static osg::ref_ptr<osg::Vec3Array> readCloud(const QString& file)
    {
        osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
        osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
        QString message;
        if (!PlyReader::readPly(file, *vertices, *colours, &message))
            qWarning("%s", qPrintable(message));
        return vertices;
    }

    // Photos of scene from the given views through the given projection
    // (BGR, rows top-down).
    static bool render(const osg::Matrixd& projection, osg::Node* scene,
                       const std::vector<osg::Matrixd>& views, std::vector<cv::Mat>& shots)
    {
        osg::ref_ptr<osg::GraphicsContext::Traits> traits = new osg::GraphicsContext::Traits;
        traits->width = W;
        traits->height = H;
        traits->pbuffer = true;
        traits->doubleBuffer = false;
        traits->red = traits->green = traits->blue = 8;
        traits->alpha = 8;
        traits->depth = 24;
        traits->readDISPLAY();
        traits->setUndefinedScreenDetailsToDefaultScreen();
        osg::ref_ptr<osg::GraphicsContext> context =
            osg::GraphicsContext::createGraphicsContext(traits.get());
        if (!context.valid())
            return false;
        osgViewer::Viewer viewer;
        viewer.setThreadingModel(osgViewer::ViewerBase::SingleThreaded);
        osg::Camera* camera = viewer.getCamera();
        camera->setGraphicsContext(context.get());
        camera->setViewport(0, 0, W, H);
        camera->setClearColor(osg::Vec4(0.5f, 0.5f, 0.5f, 1));
        camera->setComputeNearFarMode(osg::CullSettings::DO_NOT_COMPUTE_NEAR_FAR);
        camera->setDrawBuffer(GL_FRONT);
        camera->setReadBuffer(GL_FRONT);
        camera->setProjectionMatrix(projection);
        osg::ref_ptr<osg::Image> shot = new osg::Image;
        shot->allocateImage(W, H, 1, GL_RGB, GL_UNSIGNED_BYTE);
        camera->attach(osg::Camera::COLOR_BUFFER, shot.get());
        viewer.setSceneData(scene);
        viewer.realize();
        shots.clear();
        for (const osg::Matrixd& V : views) {
            camera->setViewMatrix(V);
            viewer.frame();
            cv::Mat rgb(H, W, CV_8UC3, shot->data()), bgr;
            cv::flip(rgb, bgr, 0); // OpenGL rows run bottom-up
            cv::cvtColor(bgr, bgr, cv::COLOR_RGB2BGR);
            shots.push_back(bgr);
        }
        return true;
    }

    // The visible surfaces sampled at random: the sparse points.
    static std::vector<Sample> sparseSamples()
    {
        std::mt19937 random(7);
        std::uniform_real_distribution<double> unit(0, 1);
        std::vector<Sample> samples;
        for (int i = 0; i < 200; ++i) {
            const double a = boxSize * (unit(random) - 0.5), b = boxSize * (unit(random) - 0.5);
            const double z = boxSize * unit(random), h = boxSize / 2;
            const Sample faces[5] = {{{a, b, boxSize}, {0, 0, 1}},
                                     {{a, -h, z}, {0, -1, 0}},
                                     {{a, h, z}, {0, 1, 0}},
                                     {{-h, b, z}, {-1, 0, 0}},
                                     {{h, b, z}, {1, 0, 0}}};
            samples.push_back(faces[i % 5]);
        }
        for (int i = 0; i < 300; ++i) {
            const double angle = 2 * M_PI * unit(random), radius = 0.8 + 1.7 * unit(random);
            samples.push_back({{radius * std::cos(angle), radius * std::sin(angle), 0}, {0, 0, 1}});
        }
        return samples;
    }

    // Whether camera c (its pose as a Bundler camera) sees s unoccluded.
    static bool sees(const BundlerFile::Camera& c, const Sample& s)
    {
        const auto centre = c.centre();
        const osg::Vec3d C(centre[0], centre[1], centre[2]);
        return (C - s.position) * s.normal > 0 && !(s.position.z() == 0 && segmentHitsBox(C, s.position));
    }

    // The PMVS road as the prepare script and pmvs_all.bat run it, from a
    // list and a Bundler file into folder (relative); the cloud of all
    // clusters.
    osg::ref_ptr<osg::Vec3Array> runPmvsRoad(const QString& folder, const QString& listFile,
                                             const QString& bundleFile, int clusters)
    {
        osg::ref_ptr<osg::Vec3Array> cloud = new osg::Vec3Array;
        const QString pmvs = ToolProcess::windows(path(folder + "/"));
        const QString list = ToolProcess::windows(path(listFile)),
                      bundle = ToolProcess::windows(path(bundleFile));
        for (const char* sub : {"/txt", "/visualize", "/models"})
            if (!QDir().mkpath(path(folder + sub)))
                return cloud;
        const QString bundler = "SfM/BundleAdjustment/Bundler/", pmvs2 = "SfM/DenseReconstruction/PMVS2/";
        const struct {
            QString tool;
            QStringList arguments;
        } steps[] = {
            {bundler + "Bundle2PMVS", {list, bundle, pmvs}},
            {bundler + "RadialUndistort", {list, bundle, pmvs}},
            {bundler + "Bundle2Vis", {pmvs + "bundle.rd.out", pmvs + "vis.dat"}},
            {pmvs2 + "cmvs", {pmvs, "10", "2"}},
            {pmvs2 + "genOption", {pmvs, "1", "2", "0.7", "7", "3", "2"}},
        };
        for (const auto& step : steps) {
            const ToolProcess run = ToolProcess::run(step.tool, step.arguments);
            if (run.exitCode != 0) {
                qWarning("%s", qPrintable(step.tool + ": " + run.err));
                return cloud;
            }
        }
        const ToolProcess all = ToolProcess::run("orvcmd", {"/c", pmvs + "pmvs_all.bat"});
        if (all.exitCode != 0)
            qWarning("%s", qPrintable(all.out + all.err));
        m_pmvsOutput = all.out;
        for (int k = 0; k < clusters; ++k) {
            const auto part =
                readCloud(path(folder + QString("/models/option-%1.patch").arg(k, 4, 10, QChar('0'))));
            cloud->insert(cloud->end(), part->begin(), part->end());
        }
        return cloud;
    }

    static QString quaternionText(const std::array<double, 9>& R)
    {
        // R is a rotation: its trace decides the stable branch.
        double w, x, y, z;
        const double t = R[0] + R[4] + R[8];
        if (t > 0) {
            const double r = std::sqrt(1 + t), q = 0.5 / r;
            w = 0.5 * r, x = (R[7] - R[5]) * q, y = (R[2] - R[6]) * q, z = (R[3] - R[1]) * q;
        } else if (R[0] >= R[4] && R[0] >= R[8]) {
            const double r = std::sqrt(1 + R[0] - R[4] - R[8]), q = 0.5 / r;
            w = (R[7] - R[5]) * q, x = 0.5 * r, y = (R[1] + R[3]) * q, z = (R[2] + R[6]) * q;
        } else if (R[4] >= R[8]) {
            const double r = std::sqrt(1 + R[4] - R[0] - R[8]), q = 0.5 / r;
            w = (R[2] - R[6]) * q, x = (R[1] + R[3]) * q, y = 0.5 * r, z = (R[5] + R[7]) * q;
        } else {
            const double r = std::sqrt(1 + R[8] - R[0] - R[4]), q = 0.5 / r;
            w = (R[3] - R[1]) * q, x = (R[2] + R[6]) * q, y = (R[5] + R[7]) * q, z = 0.5 * r;
        }
        return QString("%1 %2 %3 %4")
            .arg(w, 0, 'g', 17)
            .arg(x, 0, 'g', 17)
            .arg(y, 0, 'g', 17)
            .arg(z, 0, 'g', 17);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        std::vector<osg::Matrixd> V;
        for (int i = 0; i < views; ++i)
            V.push_back(viewMatrix(i));
        std::vector<cv::Mat> shots;
        QVERIFY2(render(projection(), boxScene(), V, shots), "no OpenGL pbuffer (run under xvfb-run)");

        QVERIFY(QDir().mkpath(path("images")));
        QFile list(path("list.txt"));
        QVERIFY(list.open(QIODevice::WriteOnly));
        for (int i = 0; i < views; ++i) {
            m_bundle.cameras.push_back(bundlerCamera(V[size_t(i)]));
            const QString name = path(QString("images/view%1.jpg").arg(i, 2, 10, QChar('0')));
            QVERIFY(cv::imwrite(name.toStdString(), distort(shots[size_t(i)], m_bundle.cameras.back().focal),
                                {cv::IMWRITE_JPEG_QUALITY, 95}));
            list.write((ToolProcess::windows(name) + " 0 " +
                        QString::number(m_bundle.cameras.back().focal, 'g', 17) + "\n")
                           .toUtf8());
        }
        list.close();

        // The sparse points, each with the views that see it unoccluded.
        for (const Sample& s : sparseSamples()) {
            BundlerFile::Point point;
            point.position = {s.position.x(), s.position.y(), s.position.z()};
            point.colour = {128, 128, 128};
            for (int c = 0; c < views; ++c) {
                const auto& cam = m_bundle.cameras[size_t(c)];
                double x, y;
                if (!sees(cam, s) || !cam.project(point.position, x, y) || std::abs(x) > W / 2.0 - 8 ||
                    std::abs(y) > H / 2.0 - 8)
                    continue;
                point.views.push_back({c, int(m_bundle.points.size()), x, y});
            }
            if (point.views.size() >= 2)
                m_bundle.points.push_back(point);
        }
        QVERIFY(m_bundle.writeFile(path("bundle.out").toStdString()));
    }

    void pmvsRoadReconstructsTheBox()
    {
        // Twelve views, clusters of at most ten: two matcher runs.
        const osg::ref_ptr<osg::Vec3Array> cloud = runPmvsRoad("pmvs", "list.txt", "bundle.out", 2);
        QVERIFY(QFile::exists(path("pmvs/option-0001")));
        // The second cluster reads the maps the first swept of its helping
        // views rather than sweeping them again, and none is left behind.
        const QRegularExpression handed("(\\d+) helping views' depth maps read from earlier clusters, (\\d+) views swept");
        const QRegularExpressionMatch m = handed.match(m_pmvsOutput);
        QVERIFY2(m.hasMatch() && m.captured(1).toInt() > 0, qPrintable(m_pmvsOutput.right(3000)));
        QVERIFY(QDir(path("pmvs/depthmaps")).entryList({"*.dmap"}, QDir::Files).isEmpty());
        const Quality q = judge(*cloud);
        const QByteArray figures = QString("%1 points, %2% within 1%, %3% of the faces covered")
                                       .arg(q.points)
                                       .arg(100 * q.accurate, 0, 'f', 1)
                                       .arg(100 * q.covered, 0, 'f', 1)
                                       .toUtf8();
        qInfo("%s", figures.constData());
        QVERIFY2(q.points > 5000, figures.constData());
        QVERIFY2(q.accurate >= 0.95, figures.constData());
        QVERIFY2(q.covered >= 0.80, figures.constData());
    }

    // Photos through a camera whose principal point is off the centre and
    // whose pixels are not square, placed by a COLMAP model (as the sparse
    // run keeps it beside its NVM): the dense cameras must be the true ones.
    void calibratedRoadKeepsThePrincipalPoint()
    {
        std::vector<osg::Matrixd> V;
        for (int i = 0; i < views; ++i)
            V.push_back(viewMatrix(i));
        std::vector<cv::Mat> shots;
        const osg::Matrixd calibrated = projectionOf(calibFx, calibFy, calibCx, calibCy);
        QVERIFY(render(calibrated, boxScene(), V, shots));
        QVERIFY(QDir().mkpath(path("calib/images")) && QDir().mkpath(path("calib/sparse_colmap/text/0")));
        for (int i = 0; i < views; ++i)
            QVERIFY(
                cv::imwrite(path(QString("calib/images/view%1.jpg").arg(i, 2, 10, QChar('0'))).toStdString(),
                            shots[size_t(i)], {cv::IMWRITE_JPEG_QUALITY, 95}));

        // COLMAP's model: its camera looks down +z with y down, its pixel
        // frame starts at the corner of the first pixel.
        std::vector<BundlerFile::Camera> poses;
        for (const osg::Matrixd& m : V)
            poses.push_back(bundlerCamera(m));
        const auto colmapPixel = [](const BundlerFile::Camera& c, const osg::Vec3d& X, double& u, double& v) {
            double P[3];
            for (int r = 0; r < 3; ++r)
                P[r] = c.rotation[size_t(3 * r)] * X.x() + c.rotation[size_t(3 * r + 1)] * X.y() +
                       c.rotation[size_t(3 * r + 2)] * X.z() + c.translation[size_t(r)];
            if (!(P[2] < 0))
                return false;
            u = calibCx + 0.5 + calibFx * P[0] / -P[2];
            v = calibCy + 0.5 - calibFy * P[1] / -P[2];
            return u > 8 && u < W - 8 && v > 8 && v < H - 8;
        };
        QString points, observations[views];
        int observationCount[views] = {};
        long long id = 0;
        for (const Sample& s : sparseSamples()) {
            QString track;
            QList<std::pair<int, QString>> seen;
            for (int c = 0; c < views; ++c) {
                double u, v;
                if (sees(poses[size_t(c)], s) && colmapPixel(poses[size_t(c)], s.position, u, v))
                    seen.append({c, QString("%1 %2 ").arg(u, 0, 'g', 17).arg(v, 0, 'g', 17)});
            }
            if (seen.size() < 2)
                continue;
            ++id;
            for (const auto& [c, xy] : seen) {
                observations[c] += xy + QString::number(id) + ' ';
                track += QString(" %1 %2").arg(c + 1).arg(observationCount[c]++);
            }
            points += QString("%1 %2 %3 %4 128 128 128 0.5%5\n")
                          .arg(id)
                          .arg(s.position.x(), 0, 'g', 17)
                          .arg(s.position.y(), 0, 'g', 17)
                          .arg(s.position.z(), 0, 'g', 17)
                          .arg(track);
        }
        QString images;
        for (int c = 0; c < views; ++c) {
            const auto& R = poses[size_t(c)].rotation;
            const auto& t = poses[size_t(c)].translation;
            const std::array<double, 9> colmapR{R[0], R[1], R[2], -R[3], -R[4], -R[5], -R[6], -R[7], -R[8]};
            images += QString("%1 %2 %3 %4 %5 1 view%6.jpg\n%7\n")
                          .arg(c + 1)
                          .arg(quaternionText(colmapR))
                          .arg(t[0], 0, 'g', 17)
                          .arg(-t[1], 0, 'g', 17)
                          .arg(-t[2], 0, 'g', 17)
                          .arg(c, 2, 10, QChar('0'))
                          .arg(observations[c].trimmed());
        }
        const QString text = path("calib/sparse_colmap/text/0/");
        const std::pair<QString, QString> files[] = {{"cameras.txt", QString("1 PINHOLE %1 %2 %3 %4 %5 %6\n")
                                                                         .arg(W)
                                                                         .arg(H)
                                                                         .arg(calibFx, 0, 'g', 17)
                                                                         .arg(calibFy, 0, 'g', 17)
                                                                         .arg(calibCx + 0.5, 0, 'g', 17)
                                                                         .arg(calibCy + 0.5, 0, 'g', 17)},
                                                     {"images.txt", images},
                                                     {"points3D.txt", points}};
        for (const auto& [name, content] : files) {
            QFile f(text + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content.toUtf8());
        }
        // The NVM the sparse run writes from that model.
        ColmapModel model;
        std::string error;
        QVERIFY2(model.readFolder(text.toStdString(), &error), error.c_str());
        NvmFile nvm;
        nvm.models.push_back(model.toNvm([](const std::string& name) { return "images/" + name; }));
        QVERIFY(nvm.writeFile(path("calib/sparse.nvm").toStdString(), &error));

        const ToolProcess convert =
            ToolProcess::run("SfM/BundleAdjustment/PBA/driver_x64",
                             {ToolProcess::windows(path("calib/sparse.nvm")), "--convert_to_bout"});
        QVERIFY2(convert.exitCode == 0, qPrintable(convert.err));
        QVERIFY2(convert.out.contains("intrinsics"), qPrintable(convert.out));

        const osg::ref_ptr<osg::Vec3Array> cloud =
            runPmvsRoad("calib/pmvs", "calib/sparse-converted-list.txt", "calib/sparse-converted.out", 2);
        const Quality q = judge(*cloud);
        const QByteArray figures = QString("%1 points, %2% within 1%, %3% of the faces covered")
                                       .arg(q.points)
                                       .arg(100 * q.accurate, 0, 'f', 1)
                                       .arg(100 * q.covered, 0, 'f', 1)
                                       .toUtf8();
        qInfo("calibrated road: %s", figures.constData());
        QVERIFY2(q.points > 5000 && q.accurate >= 0.95, figures.constData());

        // A white disc facing the first camera, drawn through the same
        // projection: its centre lands where the dense camera puts it, to a
        // small part of a pixel (half a pixel is the convention's mistake).
        MvsCamera dense;
        QVERIFY2(dense.readContourFile(path("calib/pmvs/txt/00000000.txt").toStdString(), &error),
                 error.c_str());
        const osg::Matrixd eyeToWorld = osg::Matrixd::inverse(V[0]);
        const osg::Vec3d centre = osg::Vec3d(-0.9, 0.55, -3.5) * eyeToWorld;
        const osg::Vec3d right = osg::Vec3d(1, 0, 0) * eyeToWorld - osg::Vec3d(0, 0, 0) * eyeToWorld,
                         up = osg::Vec3d(0, 1, 0) * eyeToWorld - osg::Vec3d(0, 0, 0) * eyeToWorld;
        const double radius = 25 * 3.5 / calibFx;
        osg::ref_ptr<osg::Geometry> disc = new osg::Geometry;
        osg::ref_ptr<osg::Vec3Array> rim = new osg::Vec3Array;
        for (int k = 0; k < 96; ++k) {
            const double a = 2 * M_PI * k / 96;
            rim->push_back(centre + right * (radius * std::cos(a)) + up * (radius * std::sin(a)));
        }
        disc->setVertexArray(rim);
        osg::ref_ptr<osg::Vec4Array> white = new osg::Vec4Array;
        white->push_back(osg::Vec4(1, 1, 1, 1));
        disc->setColorArray(white, osg::Array::BIND_OVERALL);
        disc->addPrimitiveSet(new osg::DrawArrays(GL_POLYGON, 0, 96));
        osg::ref_ptr<osg::Geode> marker = new osg::Geode;
        marker->addDrawable(disc);
        marker->getOrCreateStateSet()->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
        QVERIFY(render(calibrated, marker, {V[0]}, shots));
        cv::Mat grey;
        cv::cvtColor(shots[0], grey, cv::COLOR_BGR2GRAY);
        const cv::Moments m = cv::moments(grey > 200, true);
        QVERIFY(m.m00 > 1000);
        double u, v, depth;
        QVERIFY(dense.project({centre.x(), centre.y(), centre.z()}, u, v, depth));
        const QByteArray where = QString("disc drawn at (%1, %2), dense camera puts it at (%3, %4)")
                                     .arg(m.m10 / m.m00)
                                     .arg(m.m01 / m.m00)
                                     .arg(u)
                                     .arg(v)
                                     .toUtf8();
        qInfo("%s", where.constData());
        QVERIFY2(std::abs(m.m10 / m.m00 - u) < 0.15 && std::abs(m.m01 / m.m00 - v) < 0.15, where.constData());
    }

    // The CMPMVS road with the workbench's fixed mvs.ini (which claims three
    // cameras of 6000 x 4000): the cloud comes from the data folder's views.
    void cmpmvsRoadIgnoresTheFixedIniValues()
    {
        const QString cmp = ToolProcess::windows(path("cmpmvs/"));
        const QString list = ToolProcess::windows(path("list.txt")),
                      bundle = ToolProcess::windows(path("bundle.out"));
        for (const char* folder : {"cmpmvs/_tmp", "cmpmvs/data"})
            QVERIFY(QDir().mkpath(path(folder)));
        const QString bundler = "SfM/BundleAdjustment/Bundler/";
        for (const QString& tool : {bundler + "bundle2cmpmvs", bundler + "RadialUndistortCMP"}) {
            const ToolProcess run = ToolProcess::run(tool, {list, bundle, cmp});
            QVERIFY2(run.exitCode == 0, qPrintable(tool + ": " + run.err));
        }
        QVERIFY(QFile::exists(path("cmpmvs/data/00012_P.txt")));
        QFile ini(path("cmpmvs/mvs.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(("[global]\ndirName='" + cmp +
                   "data\\'\nprefix=''\nimgExt='jpg'\nncams=3\nwidth=6000\n"
                   "height=4000\nscale=2\nworkDirName='_tmp'\n[filter]\nminNumOfConsistentCams=2\n\n#EOF\n")
                      .toUtf8());
        ini.close();
        // A budget that holds six of these views at a time: the road splits
        // the twelve into clusters and still covers the box.
        qputenv("ORVALIS_DENSE_MEMORY_MB", "285");
        const ToolProcess run =
            ToolProcess::run("SfM/DenseReconstruction/CMPMVS/CMPMVS", {ToolProcess::windows(ini.fileName())});
        qunsetenv("ORVALIS_DENSE_MEMORY_MB");
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QVERIFY(run.out.contains("ncams=3"));
        QVERIFY2(run.out.contains(QRegularExpression("fit; [3-9] cluster")), qPrintable(run.out));
        QVERIFY2(run.out.contains("read from an earlier cluster"), qPrintable(run.out));
        QVERIFY(QDir(path("cmpmvs/depthmaps")).entryList({"*.dmap"}, QDir::Files).isEmpty());
        const Quality q =
            judge(*readCloud(QString::fromStdString(CmpmvsRun::outputFile(path("cmpmvs").toStdString()))));
        const QByteArray figures =
            QString("%1 points, %2% within 1%").arg(q.points).arg(100 * q.accurate, 0, 'f', 1).toUtf8();
        qInfo("CMPMVS road in clusters: %s", figures.constData());
        QVERIFY2(q.points > 5000 && q.accurate >= 0.95, figures.constData());
    }
};

QTEST_GUILESS_MAIN(TestDenseBox)
#include "tst_densebox.moc"
