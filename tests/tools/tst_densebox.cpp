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
#include "core/formats/PlyReader.h"
#include "ToolProcess.h"

// The dense tools on a scene whose truth is known: a textured box (edge 1)
// on a textured ground, drawn by OpenSceneGraph from twelve cameras around
// it through a lens with barrel distortion. The bundle holds the exact
// cameras and points sampled on the visible surfaces; the tools run as the
// prepare script and pmvs_all.bat run them.
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

// OpenSceneGraph's eye frame is Bundler's (looking down -z, y up). The
// frustum is shifted by half a pixel so that the principal point lies on a
// pixel centre, where Bundler's image coordinates put it.
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

osg::Matrixd projection()
{
    const double n = 0.1, c = n * std::tan(fovy * M_PI / 360.0), a = c * W / H;
    // The axis lands at -(r + l) / (r - l) in normalised x (and likewise in
    // y): a shift of a/W puts it at window x W/2 + 1/2, pixel centre W/2;
    // in y, with rows counted down, at pixel centre H/2.
    return osg::Matrixd::frustum(-a - a / W, a - a / W, -c + c / H, c + c / H, n, 100.0);
}

// The ideal image seen through the lens: each pixel shows the ideal pixel
// whose distorted place it is.
cv::Mat distort(const cv::Mat& ideal, double focal)
{
    cv::Mat mapX(H, W, CV_32F), mapY(H, W, CV_32F);
    for (int v = 0; v < H; ++v)
        for (int u = 0; u < W; ++u) {
            const double qx = (u - W / 2.0) / focal, qy = (H / 2.0 - v) / focal;
            double px = qx, py = qy;
            for (int k = 0; k < 30; ++k) {
                const double r = 1 + k1 * (px * px + py * py);
                px = qx / r;
                py = qy / r;
            }
            mapX.at<float>(v, u) = float(W / 2.0 + focal * px);
            mapY.at<float>(v, u) = float(H / 2.0 - focal * py);
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

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
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
        QVERIFY2(context.valid(), "no OpenGL pbuffer (run under xvfb-run)");

        osgViewer::Viewer viewer;
        viewer.setThreadingModel(osgViewer::ViewerBase::SingleThreaded);
        osg::Camera* camera = viewer.getCamera();
        camera->setGraphicsContext(context.get());
        camera->setViewport(0, 0, W, H);
        camera->setClearColor(osg::Vec4(0.5f, 0.5f, 0.5f, 1));
        camera->setComputeNearFarMode(osg::CullSettings::DO_NOT_COMPUTE_NEAR_FAR);
        camera->setDrawBuffer(GL_FRONT);
        camera->setReadBuffer(GL_FRONT);
        camera->setProjectionMatrix(projection());
        osg::ref_ptr<osg::Image> shot = new osg::Image;
        shot->allocateImage(W, H, 1, GL_RGB, GL_UNSIGNED_BYTE);
        camera->attach(osg::Camera::COLOR_BUFFER, shot.get());
        viewer.setSceneData(boxScene());
        viewer.realize();

        QVERIFY(QDir().mkpath(path("images")));
        QFile list(path("list.txt"));
        QVERIFY(list.open(QIODevice::WriteOnly));
        for (int i = 0; i < views; ++i) {
            const osg::Matrixd V = viewMatrix(i);
            camera->setViewMatrix(V);
            viewer.frame();
            cv::Mat rgb(H, W, CV_8UC3, shot->data()), bgr;
            cv::flip(rgb, bgr, 0); // OpenGL rows run bottom-up
            cv::cvtColor(bgr, bgr, cv::COLOR_RGB2BGR);
            m_bundle.cameras.push_back(bundlerCamera(V));
            const QString name = path(QString("images/view%1.jpg").arg(i, 2, 10, QChar('0')));
            QVERIFY(cv::imwrite(name.toStdString(), distort(bgr, m_bundle.cameras.back().focal),
                                {cv::IMWRITE_JPEG_QUALITY, 95}));
            list.write((ToolProcess::windows(name) + " 0 " +
                        QString::number(m_bundle.cameras.back().focal, 'g', 17) + "\n")
                           .toUtf8());
        }
        list.close();

        // The sparse points: the visible surfaces sampled at random, each
        // with the views that see it unoccluded.
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
        for (const Sample& s : samples) {
            BundlerFile::Point point;
            point.position = {s.position.x(), s.position.y(), s.position.z()};
            point.colour = {128, 128, 128};
            for (int c = 0; c < views; ++c) {
                const auto& cam = m_bundle.cameras[size_t(c)];
                const auto centre = cam.centre();
                const osg::Vec3d C(centre[0], centre[1], centre[2]);
                double x, y;
                if ((C - s.position) * s.normal <= 0 || !cam.project(point.position, x, y) ||
                    std::abs(x) > W / 2.0 - 8 || std::abs(y) > H / 2.0 - 8)
                    continue;
                if (s.position.z() == 0 && segmentHitsBox(C, s.position))
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
        const QString pmvs = ToolProcess::windows(path("pmvs/"));
        const QString list = ToolProcess::windows(path("list.txt")),
                      bundle = ToolProcess::windows(path("bundle.out"));
        for (const char* folder : {"pmvs/txt", "pmvs/visualize", "pmvs/models"})
            QVERIFY(QDir().mkpath(path(folder)));
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
            QVERIFY2(run.exitCode == 0, qPrintable(step.tool + ": " + run.err));
        }
        // Twelve views, clusters of at most ten: two matcher runs.
        QVERIFY(QFile::exists(path("pmvs/option-0001")));
        const ToolProcess all =
            ToolProcess::run("orvcmd", {"/c", ToolProcess::windows(path("pmvs/pmvs_all.bat"))});
        QVERIFY2(all.exitCode == 0, qPrintable(all.out + all.err));

        osg::ref_ptr<osg::Vec3Array> cloud = new osg::Vec3Array;
        for (const char* model : {"pmvs/models/option-0000.patch", "pmvs/models/option-0001.patch"}) {
            const osg::ref_ptr<osg::Vec3Array> part = readCloud(path(model));
            cloud->insert(cloud->end(), part->begin(), part->end());
        }
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
        const ToolProcess run =
            ToolProcess::run("SfM/DenseReconstruction/CMPMVS/CMPMVS", {ToolProcess::windows(ini.fileName())});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QVERIFY(run.out.contains("ncams=3"));
        const Quality q =
            judge(*readCloud(QString::fromStdString(CmpmvsRun::outputFile(path("cmpmvs").toStdString()))));
        const QByteArray figures =
            QString("%1 points, %2% within 1%").arg(q.points).arg(100 * q.accurate, 0, 'f', 1).toUtf8();
        QVERIFY2(q.points > 5000 && q.accurate >= 0.95, figures.constData());
    }
};

QTEST_GUILESS_MAIN(TestDenseBox)
#include "tst_densebox.moc"
