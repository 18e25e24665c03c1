#include "TriangulationCamera.h"

#include <opencv2/calib3d.hpp>

#include <cmath>

#include "common/geometry/Rotation.h"

TriangulationCamera TriangulationCamera::fromBundler(const BundlerFile::Camera& camera, int width, int height)
{
    TriangulationCamera c;
    c.focal = camera.focal;
    c.k1 = camera.k1;
    c.k2 = camera.k2;
    c.distortion = Distortion::Bundler;
    // diag(1, -1, -1) turns Bundler's camera frame (looking down -z, y up)
    // into ours; the radial model is symmetric, so it holds in either frame.
    for (int col = 0; col < 3; ++col) {
        c.rotation[col] = camera.rotation[col];
        c.rotation[3 + col] = -camera.rotation[3 + col];
        c.rotation[6 + col] = -camera.rotation[6 + col];
    }
    c.translation = {camera.translation[0], -camera.translation[1], -camera.translation[2]};
    c.principalColumn = 0.5 * (width - 1);
    c.principalRow = 0.5 * (height - 1);
    return c;
}

TriangulationCamera TriangulationCamera::fromNvm(double focal, const std::array<double, 4>& q,
                                                 const std::array<double, 3>& centre, double radial,
                                                 int width, int height)
{
    TriangulationCamera c;
    c.focal = focal;
    c.k1 = radial;
    c.distortion = Distortion::Nvm;
    c.rotation = Rotation::matrixOf(q);
    // The file gives the centre C; t = -R C.
    for (int r = 0; r < 3; ++r)
        c.translation[r] = -(c.rotation[3 * r] * centre[0] + c.rotation[3 * r + 1] * centre[1] +
                             c.rotation[3 * r + 2] * centre[2]);
    c.principalColumn = 0.5 * width;
    c.principalRow = 0.5 * height;
    return c;
}

std::array<double, 2> TriangulationCamera::undistortedPoint(double column, double row) const
{
    const double x = (column - principalColumn) / focal;
    const double y = (row - principalRow) / focal;
    if (distortion == Distortion::Nvm) {
        const double factor = 1 + k1 * (x * x + y * y);
        return {x * factor, y * factor};
    }
    if (k1 == 0 && k2 == 0)
        return {x, y};
    // OpenCV's radial model on normalised points is Bundler's; its iterative
    // inverse is run to convergence rather than its default five steps.
    const cv::Matx33d identity = cv::Matx33d::eye();
    const cv::Vec4d coefficients(k1, k2, 0, 0);
    std::vector<cv::Point2d> in{cv::Point2d(x, y)}, out;
    cv::undistortPoints(in, out, identity, coefficients, cv::noArray(), cv::noArray(),
                        cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 100, 1e-14));
    return {out[0].x, out[0].y};
}

std::array<double, 12> TriangulationCamera::pose() const
{
    const auto& R = rotation;
    const auto& t = translation;
    return {R[0], R[1], R[2], t[0], R[3], R[4], R[5], t[1], R[6], R[7], R[8], t[2]};
}

double TriangulationCamera::depth(const std::array<double, 3>& X) const
{
    return rotation[6] * X[0] + rotation[7] * X[1] + rotation[8] * X[2] + translation[2];
}
