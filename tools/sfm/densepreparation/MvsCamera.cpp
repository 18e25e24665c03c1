#include "MvsCamera.h"

#include <cmath>
#include <iomanip>
#include <limits>
#include <sstream>

#include "TextFile.h"

namespace
{

double determinant(const MvsCamera::Matrix33& m)
{
    return m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
           m[2] * (m[3] * m[7] - m[4] * m[6]);
}

bool invert(const MvsCamera::Matrix33& m, MvsCamera::Matrix33& out)
{
    const double det = determinant(m);
    if (!std::isfinite(det) || std::abs(det) < 1e-300)
        return false;
    const double s = 1.0 / det;
    out = {(m[4] * m[8] - m[5] * m[7]) * s, (m[2] * m[7] - m[1] * m[8]) * s, (m[1] * m[5] - m[2] * m[4]) * s,
           (m[5] * m[6] - m[3] * m[8]) * s, (m[0] * m[8] - m[2] * m[6]) * s, (m[2] * m[3] - m[0] * m[5]) * s,
           (m[3] * m[7] - m[4] * m[6]) * s, (m[1] * m[6] - m[0] * m[7]) * s, (m[0] * m[4] - m[1] * m[3]) * s};
    return true;
}

} // namespace

bool MvsCamera::setProjection(const Matrix34& projection)
{
    Matrix34 p = projection;
    const double rowNorm = std::sqrt(p[8] * p[8] + p[9] * p[9] + p[10] * p[10]);
    if (!std::isfinite(rowNorm) || rowNorm == 0)
        return false;
    Matrix33 block = {p[0], p[1], p[2], p[4], p[5], p[6], p[8], p[9], p[10]};
    // Bundler's own conversion writes matrices whose block has a negative
    // determinant (its cameras look down -z); both give the same pixels.
    const double scale = (determinant(block) < 0 ? -1.0 : 1.0) / rowNorm;
    for (double& v : p)
        v *= scale;
    block = {p[0], p[1], p[2], p[4], p[5], p[6], p[8], p[9], p[10]};
    Matrix33 inverse;
    if (!invert(block, inverse))
        return false;
    m_projection = p;
    m_block = block;
    m_inverse = inverse;
    const auto& M = m_inverse;
    m_centre = {-(M[0] * p[3] + M[1] * p[7] + M[2] * p[11]), -(M[3] * p[3] + M[4] * p[7] + M[5] * p[11]),
                -(M[6] * p[3] + M[7] * p[7] + M[8] * p[11])};
    return true;
}

bool MvsCamera::fromBundler(const BundlerFile::Camera& c, const CameraIntrinsics::Camera& lens, MvsCamera& out)
{
    // Bundler's camera looks down -z with y up; flipping y and z gives the
    // pixel frame (y down), then the inner camera's focal lengths and
    // principal point (pixel centres at whole numbers).
    const auto& R = c.rotation;
    const auto& t = c.translation;
    const double rows[3][4] = {
        {R[0], R[1], R[2], t[0]}, {-R[3], -R[4], -R[5], -t[1]}, {-R[6], -R[7], -R[8], -t[2]}};
    Matrix34 p{};
    for (int c4 = 0; c4 < 4; ++c4) {
        p[c4] = lens.fx * rows[0][c4] + lens.cx * rows[2][c4];
        p[4 + c4] = lens.fy * rows[1][c4] + lens.cy * rows[2][c4];
        p[8 + c4] = rows[2][c4];
    }
    MvsCamera camera;
    if (!camera.setProjection(p))
        return false;
    camera.width = lens.width;
    camera.height = lens.height;
    out = camera;
    return true;
}

bool MvsCamera::readContour(std::istream& in, std::string* error)
{
    in.imbue(std::locale::classic());
    std::string tag;
    if (!(in >> tag) || tag != "CONTOUR") {
        if (error)
            *error = "not a camera file: it does not start with CONTOUR";
        return false;
    }
    Matrix34 p{};
    for (double& v : p) {
        if (!(in >> v) || !std::isfinite(v)) {
            if (error)
                *error = "the camera matrix needs twelve numbers";
            return false;
        }
    }
    if (!setProjection(p)) {
        if (error)
            *error = "the camera matrix is singular";
        return false;
    }
    return true;
}

bool MvsCamera::readContourFile(const std::string& path, std::string* error)
{
    return TextFile::parse(path, error,
                           [this](std::istream& in, std::string* e) { return readContour(in, e); });
}

std::string MvsCamera::contourText() const
{
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::setprecision(std::numeric_limits<double>::max_digits10) << "CONTOUR\n";
    for (int r = 0; r < 3; ++r)
        out << m_projection[4 * r] << ' ' << m_projection[4 * r + 1] << ' ' << m_projection[4 * r + 2] << ' '
            << m_projection[4 * r + 3] << '\n';
    return out.str();
}

MvsCamera MvsCamera::atLevel(int level) const
{
    // u' = (u + 0.5) s - 0.5: the centre of a reduced pixel is the mean of
    // the centres it was averaged from.
    const double s = std::ldexp(1.0, -level), o = (s - 1.0) / 2.0;
    Matrix34 p = m_projection;
    for (int c = 0; c < 4; ++c) {
        p[c] = s * p[c] + o * p[8 + c];
        p[4 + c] = s * p[4 + c] + o * p[8 + c];
    }
    MvsCamera out;
    out.setProjection(p);
    out.width = width >> level;
    out.height = height >> level;
    return out;
}

bool MvsCamera::project(const Vec3& X, double& u, double& v, double& depth) const
{
    const auto& p = m_projection;
    const double x = p[0] * X[0] + p[1] * X[1] + p[2] * X[2] + p[3];
    const double y = p[4] * X[0] + p[5] * X[1] + p[6] * X[2] + p[7];
    const double z = p[8] * X[0] + p[9] * X[1] + p[10] * X[2] + p[11];
    if (!(z > 0))
        return false;
    u = x / z;
    v = y / z;
    depth = z;
    return true;
}

MvsCamera::Vec3 MvsCamera::backProject(double u, double v, double depth) const
{
    const auto& M = m_inverse;
    return {m_centre[0] + depth * (M[0] * u + M[1] * v + M[2]),
            m_centre[1] + depth * (M[3] * u + M[4] * v + M[5]),
            m_centre[2] + depth * (M[6] * u + M[7] * v + M[8])};
}

MvsCamera::Vec3 MvsCamera::ray(double u, double v) const
{
    const auto& M = m_inverse;
    Vec3 d = {M[0] * u + M[1] * v + M[2], M[3] * u + M[4] * v + M[5], M[6] * u + M[7] * v + M[8]};
    const double n = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    for (double& x : d)
        x /= n;
    return d;
}
