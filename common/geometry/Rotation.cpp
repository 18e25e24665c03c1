#include "common/geometry/Rotation.h"

#include "common/geometry/SymmetricEigen.h"

#include <cmath>

Rotation::Matrix Rotation::matrixOf(const Quaternion& q)
{
    double w = q[0], x = q[1], y = q[2], z = q[3];
    const double n = std::sqrt(w * w + x * x + y * y + z * z);
    if (!(n > 0) || !std::isfinite(n))
        return {1, 0, 0, 0, 1, 0, 0, 0, 1};
    w /= n;
    x /= n;
    y /= n;
    z /= n;
    return {1 - 2 * (y * y + z * z), 2 * (x * y - w * z),     2 * (x * z + w * y),
            2 * (x * y + w * z),     1 - 2 * (x * x + z * z), 2 * (y * z - w * x),
            2 * (x * z - w * y),     2 * (y * z + w * x),     1 - 2 * (x * x + y * y)};
}

Rotation::Quaternion Rotation::quaternionOf(const Matrix& R)
{
    const double trace = R[0] + R[4] + R[8];
    Quaternion q;
    if (trace > 0) {
        const double s = 2 * std::sqrt(trace + 1);
        q = {s / 4, (R[7] - R[5]) / s, (R[2] - R[6]) / s, (R[3] - R[1]) / s};
    } else if (R[0] > R[4] && R[0] > R[8]) {
        const double s = 2 * std::sqrt(1 + R[0] - R[4] - R[8]);
        q = {(R[7] - R[5]) / s, s / 4, (R[1] + R[3]) / s, (R[2] + R[6]) / s};
    } else if (R[4] > R[8]) {
        const double s = 2 * std::sqrt(1 + R[4] - R[0] - R[8]);
        q = {(R[2] - R[6]) / s, (R[1] + R[3]) / s, s / 4, (R[5] + R[7]) / s};
    } else {
        const double s = 2 * std::sqrt(1 + R[8] - R[0] - R[4]);
        q = {(R[3] - R[1]) / s, (R[2] + R[6]) / s, (R[5] + R[7]) / s, s / 4};
    }
    if (q[0] < 0)
        for (double& v : q)
            v = -v;
    return q;
}

Rotation::Matrix Rotation::bestFit(const Matrix& S)
{
    const double sxx = S[0], sxy = S[1], sxz = S[2], syx = S[3], syy = S[4], syz = S[5], szx = S[6], szy = S[7],
                 szz = S[8];
    const SymmetricEigen<4> eigen({{{sxx + syy + szz, syz - szy, szx - sxz, sxy - syx},
                                    {syz - szy, sxx - syy - szz, sxy + syx, szx + sxz},
                                    {szx - sxz, sxy + syx, -sxx + syy - szz, syz + szy},
                                    {sxy - syx, szx + sxz, syz + szy, -sxx - syy + szz}}});
    return matrixOf(eigen.largestVector());
}
