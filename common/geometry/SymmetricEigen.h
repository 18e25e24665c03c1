#pragma once

#include <array>
#include <cmath>

// Eigenvalues and eigenvectors of a small symmetric matrix by cyclic Jacobi
// rotations: exact to the last digits for the 3 x 3 and 4 x 4 matrices of
// point spreads and of Horn's similarity fit, with no library behind it.
template <int n> struct SymmetricEigen {
    using Matrix = std::array<std::array<double, n>, n>;

    std::array<double, n> values{}; // unordered
    Matrix vectors{};               // vectors[k][i]: component k of the i-th eigenvector

    explicit SymmetricEigen(Matrix a)
    {
        for (int i = 0; i < n; ++i)
            vectors[i][i] = 1;
        for (int sweep = 0; sweep < 100; ++sweep) {
            double off = 0;
            for (int p = 0; p < n; ++p)
                for (int q = p + 1; q < n; ++q)
                    off += a[p][q] * a[p][q];
            if (off < 1e-30)
                break;
            for (int p = 0; p < n; ++p)
                for (int q = p + 1; q < n; ++q) {
                    if (std::abs(a[p][q]) < 1e-300)
                        continue;
                    const double theta = (a[q][q] - a[p][p]) / (2 * a[p][q]);
                    const double t = (theta >= 0 ? 1 : -1) / (std::abs(theta) + std::sqrt(theta * theta + 1));
                    const double c = 1 / std::sqrt(t * t + 1), s = t * c;
                    for (int k = 0; k < n; ++k) {
                        const double akp = a[k][p], akq = a[k][q];
                        a[k][p] = c * akp - s * akq;
                        a[k][q] = s * akp + c * akq;
                    }
                    for (int k = 0; k < n; ++k) {
                        const double apk = a[p][k], aqk = a[q][k];
                        a[p][k] = c * apk - s * aqk;
                        a[q][k] = s * apk + c * aqk;
                    }
                    for (int k = 0; k < n; ++k) {
                        const double vkp = vectors[k][p], vkq = vectors[k][q];
                        vectors[k][p] = c * vkp - s * vkq;
                        vectors[k][q] = s * vkp + c * vkq;
                    }
                }
        }
        for (int i = 0; i < n; ++i)
            values[i] = a[i][i];
    }

    // The eigenvector of the largest eigenvalue.
    std::array<double, n> largestVector() const
    {
        int best = 0;
        for (int i = 1; i < n; ++i)
            if (values[i] > values[best])
                best = i;
        std::array<double, n> v;
        for (int k = 0; k < n; ++k)
            v[k] = vectors[k][best];
        return v;
    }
};
