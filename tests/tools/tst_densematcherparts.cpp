// The dense matcher's parts on a small synthetic scene that needs no display
// and no files: a textured level ground 10 m below three or four cameras
// looking straight down. The sweep must find the ground's depth where there
// is texture and nothing where there is none; fusion must keep what the views
// agree on and drop what they do not; the view selector must rank
// neighbours by what they share and give a depth range around the ground;
// a map handed to a later cluster must come back bit for bit, or not at all.
#include <QtTest>

#include <opencv2/core.hpp>

#include <cmath>

#include "DepthFusion.h"
#include "DepthMapStore.h"
#include "MvsScene.h"
#include "PlaneSweep.h"
#include "ViewSelector.h"

namespace
{

constexpr int width = 160, height = 120;
constexpr double focal = 150, altitude = 10;

// A camera at (x, y, altitude) looking down: image right is east, image down
// is south.
MvsCamera downCamera(double x, double y)
{
    const double cx = (width - 1) / 2.0, cy = (height - 1) / 2.0;
    // R rows: (1, 0, 0), (0, -1, 0), (0, 0, -1); t = -R C.
    const double t[3] = {-x, y, altitude};
    MvsCamera::Matrix34 p = {focal, 0, -cx, focal * t[0] + cx * t[2],
                             0, -focal, -cy, focal * t[1] + cy * t[2],
                             0, 0, -1, t[2]};
    MvsCamera c;
    c.setProjection(p);
    c.width = width;
    c.height = height;
    return c;
}

// The ground's brightness at (x, y): smooth, aperiodic texture.
float texture(double x, double y)
{
    return float(0.5 + 0.2 * std::sin(7.1 * x + 1.3 * std::sin(3.7 * y)) + 0.15 * std::sin(5.3 * y + 2.9 * x * x) +
                 0.1 * std::cos(11.7 * (x + y)));
}

cv::Mat photo(const MvsCamera& c, bool textured = true)
{
    cv::Mat image(height, width, CV_32F);
    for (int v = 0; v < height; ++v)
        for (int u = 0; u < width; ++u) {
            const MvsCamera::Vec3 ray = c.ray(u, v);
            const double s = -c.centre()[2] / ray[2];
            image.at<float>(v, u) =
                textured ? texture(c.centre()[0] + s * ray[0], c.centre()[1] + s * ray[1]) : 0.5f;
        }
    return image;
}

// The exact depth map of the ground as a view sees it, offset by shift metres.
DepthMap groundMap(const MvsCamera& c, double shift = 0)
{
    DepthMap map;
    map.camera = c;
    map.depth = cv::Mat(height, width, CV_32F, cv::Scalar(altitude + shift));
    map.score = cv::Mat(height, width, CV_32F, cv::Scalar(1));
    map.normal = cv::Mat(height, width, CV_32FC3, cv::Scalar(0, 0, 1));
    return map;
}

} // namespace

class TestDenseMatcherParts : public QObject
{
    Q_OBJECT

private slots:
    void sweepFindsTexturedGroundAndNothingOnBlank()
    {
        const MvsCamera ref = downCamera(0, 0), left = downCamera(-1.2, 0), right = downCamera(1.2, 0);
        const cv::Mat g0 = photo(ref), g1 = photo(left), g2 = photo(right);
        PlaneSweep::Settings settings;
        const DepthMap map = PlaneSweep::run(g0, ref, {{&g1, &left}, {&g2, &right}}, 7, 14, settings);
        QVERIFY(!map.empty());
        QVERIFY(map.planes > 0);
        // Most pixels found, and found at the ground.
        const int inside = (width - 2 * settings.window) * (height - 2 * settings.window);
        QVERIFY2(map.validCount() > inside / 2, qPrintable(QString::number(map.validCount())));
        int wrong = 0;
        for (int v = 0; v < height; ++v)
            for (int u = 0; u < width; ++u) {
                const float d = map.depth.at<float>(v, u);
                if (d > 0 && std::abs(d - altitude) > 0.02 * altitude)
                    ++wrong;
            }
        QVERIFY2(wrong < map.validCount() / 50, qPrintable(QString("%1 of %2").arg(wrong).arg(map.validCount())));

        DepthMap withNormals = map;
        PlaneSweep::computeNormals(withNormals);
        const cv::Vec3f n = withNormals.normal.at<cv::Vec3f>(height / 2, width / 2);
        QVERIFY2(n[2] > 0.95f, qPrintable(QString("%1 %2 %3").arg(n[0]).arg(n[1]).arg(n[2])));

        // A blank ground matches everywhere equally: no depth is invented.
        const cv::Mat b0 = photo(ref, false), b1 = photo(left, false), b2 = photo(right, false);
        const DepthMap blank = PlaneSweep::run(b0, ref, {{&b1, &left}, {&b2, &right}}, 7, 14, settings);
        QCOMPARE(blank.validCount(), 0);
    }

    void fusionKeepsWhatViewsAgreeOn()
    {
        const std::vector<MvsCamera> cameras = {downCamera(-1, 0), downCamera(0, 0), downCamera(1, 0)};
        std::vector<DepthMap> maps;
        std::vector<cv::Mat> colours;
        for (const MvsCamera& c : cameras) {
            maps.push_back(groundMap(c));
            colours.emplace_back(height, width, CV_8UC3, cv::Scalar(10, 20, 30));
        }
        DepthFusion::Settings settings;
        const DenseCloud cloud = DepthFusion::fuse(maps, colours, {0, 1, 2}, settings);
        QVERIFY(!cloud.points.empty());
        for (const DenseCloud::Point& p : cloud.points) {
            QVERIFY2(std::abs(p.position[2]) < 1e-3, qPrintable(QString::number(p.position[2])));
            QVERIFY(p.views >= settings.minViews);
            // The views' colours are OpenCV's blue, green, red; the cloud's red, green, blue.
            QCOMPARE(int(p.colour[0]), 30);
            QCOMPARE(int(p.colour[2]), 10);
        }
        // A surface seen by three views appears once: no more points than
        // the ground the three together see has cells.
        QVERIFY(cloud.points.size() < size_t(2 * width * height / (settings.csize * settings.csize)));
        QCOMPARE(DepthFusion::agreeingViews(maps, {0.2, 0.1, 0}, settings.depthTolerance), 3);

        // One view puts the ground 30 cm lower: three agreeing views cannot be had.
        maps[2] = groundMap(cameras[2], 0.3);
        QVERIFY(DepthFusion::fuse(maps, colours, {0, 1, 2}, settings).points.empty());
        settings.minViews = 2;
        const DenseCloud two = DepthFusion::fuse(maps, colours, {0, 1, 2}, settings);
        QVERIFY(!two.points.empty());
        for (const DenseCloud::Point& p : two.points)
            QVERIFY(std::abs(p.position[2]) < 1e-3);
    }

    void selectorRanksByWhatViewsShare()
    {
        MvsScene scene;
        // Views 1 and 2 beside the reference 0; view 3 at its very place
        // (no parallax); view 4 sees none of its points.
        scene.cameras = {downCamera(0, 0), downCamera(1, 0), downCamera(3, 0), downCamera(0, 0), downCamera(40, 0)};
        for (int i = 0; i < 40; ++i) {
            MvsScene::Point p;
            p.position = {-2 + 0.1 * i, 0.05 * (i % 7), 0};
            p.views = {0, 1, 3};
            if (i % 4 == 0)
                p.views.push_back(2);
            scene.points.push_back(p);
        }
        scene.points.push_back({{40, 0, 0}, {4}});
        const ViewSelector::Choice choice = ViewSelector::choose(scene, scene.cameras, 0, {1, 2, 3, 4}, 4);
        QVERIFY(choice.usable());
        QCOMPARE(choice.neighbours, std::vector<int>({1, 2}));
        QVERIFY(choice.nearDepth < altitude && choice.farDepth > altitude);
        QVERIFY(choice.nearDepth > altitude / 2 && choice.farDepth < altitude * 2);
        // Fewer allowed than wanted: the best within the limit.
        QCOMPARE(ViewSelector::choose(scene, scene.cameras, 0, {1, 2, 3, 4}, 1).neighbours, std::vector<int>({1}));
        // The partners file narrows the candidates.
        scene.partners = {{2}, {}, {}, {}, {}};
        QCOMPARE(ViewSelector::choose(scene, scene.cameras, 0, {1, 2, 3, 4}, 4).neighbours, std::vector<int>({2}));
    }

    void storeHandsOnTheSameMapOrNone()
    {
        QTemporaryDir dir;
        const DepthMapStore store(dir.path().toStdString() + "/depthmaps/");
        const MvsCamera camera = downCamera(1, 2);
        DepthMap map = groundMap(camera, 0.25);
        cv::randu(map.score, 0.f, 1.f);
        map.depth.at<float>(7, 9) = 0;
        map.planes = 96;
        map.swept = 41.5;
        const std::string key = "level 1 window 7";
        QVERIFY(store.save(3, key, map));

        DepthMap back;
        QVERIFY(store.load(3, key, camera, back));
        QCOMPARE(cv::norm(back.depth, map.depth, cv::NORM_INF), 0.0);
        QCOMPARE(cv::norm(back.score, map.score, cv::NORM_INF), 0.0);
        QCOMPARE(cv::norm(back.normal, map.normal, cv::NORM_INF), 0.0);
        QCOMPARE(back.planes, 96);
        QCOMPARE(back.swept, 41.5);

        // Other settings, another camera, another view, or a damaged file:
        // the view is swept again.
        DepthMap none;
        QVERIFY(!store.load(3, "level 2 window 7", camera, none));
        QVERIFY(!store.load(3, key, downCamera(1, 2.001), none));
        QVERIFY(!store.load(4, key, camera, none));
        QFile file(QString::fromStdString(store.path(3)));
        QVERIFY(file.resize(file.size() - 1));
        QVERIFY(!store.load(3, key, camera, none));
        QVERIFY(none.empty());
    }
};

QTEST_GUILESS_MAIN(TestDenseMatcherParts)
#include "tst_densematcherparts.moc"
