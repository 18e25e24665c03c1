#include "core/georef/SurveyAdjustment.h"

#include <ceres/ceres.h>
#include <ceres/rotation.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>

namespace
{

// An image measurement against the projection of a point through a camera,
// in standard deviations.
struct Reprojection {
    double x, y, sigma;

    template <typename T>
    bool operator()(const T* rotation, const T* centre, const T* point, const T* calibration,
                    T* residual) const
    {
        const T d[3] = {point[0] - centre[0], point[1] - centre[1], point[2] - centre[2]};
        T p[3];
        ceres::UnitQuaternionRotatePoint(rotation, d, p);
        // A point at or behind the camera has no pixel: the step that put it
        // there is refused and Ceres tries a shorter one.
        if (!(p[2] > T(0)))
            return false;
        const T u = p[0] / p[2], v = p[1] / p[2];
        const T rho2 = u * u + v * v;
        const T radial = T(1) + calibration[3] * rho2 + calibration[4] * rho2 * rho2;
        residual[0] = (calibration[1] + calibration[0] * u * radial - x) / sigma;
        residual[1] = (calibration[2] + calibration[0] * v * radial - y) / sigma;
        return true;
    }
};

// A position against a known one (a GPS fix, a surveyed point), per axis in
// standard deviations.
struct PositionPrior {
    double at[3], weight[3]; // weight: 1 / sigma, 0 for an axis without a prior

    template <typename T> bool operator()(const T* position, T* residual) const
    {
        for (int k = 0; k < 3; ++k)
            residual[k] = (position[k] - at[k]) * weight[k];
        return true;
    }
};

bool positive(const osg::Vec3d& sigma)
{
    for (int k = 0; k < 3; ++k)
        if (!(sigma[k] > 0) || !std::isfinite(sigma[k]))
            return false;
    return true;
}

bool finite(const osg::Vec3d& v)
{
    return std::isfinite(v.x()) && std::isfinite(v.y()) && std::isfinite(v.z());
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// Below this the estimated precision of the photos is exact data, not a
// measurement: the floor keeps the priors in the problem.
constexpr double minimumPixelSigma = 0.05;

QString metres(double value)
{
    return QString::number(value, 'f', 3) + QStringLiteral(" m");
}

} // namespace

osg::Vec3d SurveyAdjustment::siteOrigin() const
{
    osg::Vec3d sum;
    int n = 0;
    for (const Point& p : points)
        if (p.control && finite(p.survey)) {
            sum += p.survey;
            ++n;
        }
    if (n == 0)
        for (const Camera& c : cameras)
            if (c.hasPrior && finite(c.prior)) {
                sum += c.prior;
                ++n;
            }
    if (n == 0)
        for (const Camera& c : cameras)
            if (finite(c.centre)) {
                sum += c.centre;
                ++n;
            }
    if (n == 0)
        return osg::Vec3d();
    sum /= n;
    return osg::Vec3d(std::round(sum.x()), std::round(sum.y()), std::round(sum.z()));
}

QString SurveyAdjustment::problem() const
{
    if (!(options.pixelSigma > 0) || !std::isfinite(options.pixelSigma))
        return QStringLiteral("the standard deviation of an image measurement must be above zero");
    if (cameras.empty() || observations.empty())
        return QStringLiteral("there are no cameras or no observations to adjust");
    for (size_t i = 0; i < calibrations.size(); ++i)
        if (!(calibrations[i].focal > 0) || !std::isfinite(calibrations[i].focal))
            return QStringLiteral("calibration %1 has a focal length of zero or below").arg(i + 1);
    int fixes = 0;
    for (const Camera& c : cameras) {
        if (c.calibration < 0 || size_t(c.calibration) >= calibrations.size())
            return QStringLiteral("photo %1 names no calibration").arg(c.name);
        if (!finite(c.centre))
            return QStringLiteral("photo %1 has no camera position").arg(c.name);
        if (c.hasPrior) {
            if (!positive(c.priorSigma))
                return QStringLiteral("photo %1: the standard deviations of its GPS position must be above "
                                      "zero")
                    .arg(c.name);
            if (!finite(c.prior))
                return QStringLiteral("photo %1: its GPS position is not a number").arg(c.name);
            ++fixes;
        }
    }
    std::vector<int> seen(points.size(), 0);
    for (const Observation& o : observations) {
        if (o.camera < 0 || size_t(o.camera) >= cameras.size() || o.point < 0 ||
            size_t(o.point) >= points.size())
            return QStringLiteral("an observation names a camera or point that is not there");
        if (!std::isfinite(o.x) || !std::isfinite(o.y))
            return QStringLiteral("photo %1: an observation is not a number")
                .arg(cameras[size_t(o.camera)].name);
        ++seen[size_t(o.point)];
    }
    int controls = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        const Point& p = points[i];
        if (!finite(p.position))
            return QStringLiteral("point %1 has no position")
                .arg(p.control ? p.name : QString::number(i + 1));
        if (!p.control)
            continue;
        if (!positive(p.sigma))
            return QStringLiteral("control point %1: its standard deviations must be above zero").arg(p.name);
        if (!finite(p.survey))
            return QStringLiteral("control point %1: its coordinates are not numbers").arg(p.name);
        if (seen[i] < 2)
            return QStringLiteral("control point %1 is seen in %2 photo(s), at least two are needed")
                .arg(p.name)
                .arg(seen[i]);
        ++controls;
    }
    // A block needs three fixed places to stand in survey coordinates.
    if (controls + fixes < 3)
        return QStringLiteral("%1 control point(s) and %2 photo(s) with a GPS position: at least three "
                              "together are needed to place the block")
            .arg(controls)
            .arg(fixes);
    return QString();
}

SurveyAdjustment::Result SurveyAdjustment::run()
{
    const auto started = std::chrono::steady_clock::now();
    Result out;
    out.message = problem();
    if (!out.message.isEmpty())
        return out;
    const osg::Vec3d o = finite(origin) ? origin : siteOrigin();

    // The solver's copy, in the local frame; written back only when accepted.
    std::vector<std::array<double, 5>> calib(calibrations.size());
    for (size_t i = 0; i < calibrations.size(); ++i) {
        const Calibration& c = calibrations[i];
        calib[i] = {c.focal, c.cx, c.cy, c.k1, c.k2};
    }
    std::vector<std::array<double, 4>> rotation(cameras.size());
    std::vector<std::array<double, 3>> centre(cameras.size());
    for (size_t i = 0; i < cameras.size(); ++i) {
        const double* q = cameras[i].rotation;
        const double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
        if (!(n > 0) || !std::isfinite(n)) {
            out.message = QStringLiteral("photo %1 has no rotation").arg(cameras[i].name);
            return out;
        }
        rotation[i] = {q[0] / n, q[1] / n, q[2] / n, q[3] / n};
        const osg::Vec3d c = cameras[i].centre - o;
        centre[i] = {c.x(), c.y(), c.z()};
    }
    std::vector<std::array<double, 3>> position(points.size());
    for (size_t i = 0; i < points.size(); ++i) {
        const osg::Vec3d p = points[i].position - o;
        position[i] = {p.x(), p.y(), p.z()};
    }

    // The caller hears of every iteration and may stop the solver.
    struct Progress : ceres::IterationCallback {
        const std::function<bool(int, double)>* report = nullptr;
        int done = 0;
        bool stopped = false;
        ceres::CallbackReturnType operator()(const ceres::IterationSummary& step) override
        {
            if (*report && !(*report)(++done, step.cost)) {
                stopped = true;
                return ceres::SOLVER_ABORT;
            }
            return ceres::SOLVER_CONTINUE;
        }
    } progress;
    progress.report = &options.progress;

    const auto solve = [&](double pixelSigma, double functionTolerance, ceres::Solver::Summary* summary) {
        // One loss for every reprojection term, owned here rather than by the problem.
        const std::unique_ptr<ceres::LossFunction> huber(new ceres::HuberLoss(options.robustPixels));
        ceres::LossFunction* loss = huber.get();
        ceres::Problem::Options problemOptions;
        problemOptions.loss_function_ownership = ceres::DO_NOT_TAKE_OWNERSHIP;
        ceres::Problem problem(problemOptions);
        std::vector<bool> used(points.size(), false);
        std::vector<bool> cameraUsed(cameras.size(), false);
        for (const Observation& ob : observations) {
            const size_t c = size_t(ob.camera), p = size_t(ob.point);
            auto* cost = new ceres::AutoDiffCostFunction<Reprojection, 2, 4, 3, 3, 5>(
                new Reprojection{ob.x, ob.y, pixelSigma});
            problem.AddResidualBlock(cost, loss, rotation[c].data(), centre[c].data(), position[p].data(),
                                     calib[size_t(cameras[c].calibration)].data());
            used[p] = cameraUsed[c] = true;
        }

        for (size_t i = 0; i < cameras.size(); ++i) {
            if (!cameraUsed[i])
                continue;
            problem.SetManifold(rotation[i].data(), new ceres::QuaternionManifold);
            const Camera& c = cameras[i];
            if (!c.hasPrior)
                continue;
            const osg::Vec3d at = c.prior - o;
            problem.AddResidualBlock(new ceres::AutoDiffCostFunction<PositionPrior, 3, 3>(
                                         new PositionPrior{{at.x(), at.y(), at.z()},
                                                           {1 / c.priorSigma.x(), 1 / c.priorSigma.y(),
                                                            c.priorHeight ? 1 / c.priorSigma.z() : 0.0}}),
                                     nullptr, centre[i].data());
        }
        for (size_t i = 0; i < points.size(); ++i) {
            const Point& p = points[i];
            if (!p.control || !used[i])
                continue;
            const osg::Vec3d at = p.survey - o;
            problem.AddResidualBlock(
                new ceres::AutoDiffCostFunction<PositionPrior, 3, 3>(new PositionPrior{
                    {at.x(), at.y(), at.z()}, {1 / p.sigma.x(), 1 / p.sigma.y(), 1 / p.sigma.z()}}),
                nullptr, position[i].data());
        }
        for (size_t i = 0; i < calibrations.size(); ++i) {
            if (!problem.HasParameterBlock(calib[i].data()))
                continue;
            const Calibration& c = calibrations[i];
            std::vector<int> fixed;
            if (!c.refineFocal)
                fixed.push_back(0);
            if (!c.refinePrincipalPoint)
                fixed.insert(fixed.end(), {1, 2});
            if (!c.refineDistortion)
                fixed.insert(fixed.end(), {3, 4});
            if (fixed.size() == 5)
                problem.SetParameterBlockConstant(calib[i].data());
            else if (!fixed.empty())
                problem.SetManifold(calib[i].data(), new ceres::SubsetManifold(5, fixed));
        }

        ceres::Solver::Options solverOptions;
        solverOptions.linear_solver_type =
            ceres::IsSparseLinearAlgebraLibraryTypeAvailable(ceres::SUITE_SPARSE) ? ceres::SPARSE_SCHUR
                                                                                  : ceres::DENSE_SCHUR;
        solverOptions.max_num_iterations = options.maxIterations;
        solverOptions.num_threads = std::max(1, options.threads);
        solverOptions.function_tolerance = functionTolerance;
        solverOptions.gradient_tolerance = 1e-12;
        solverOptions.parameter_tolerance = 1e-10;
        solverOptions.logging_type = ceres::SILENT;
        solverOptions.callbacks.push_back(&progress);
        ceres::Solve(solverOptions, &problem, summary);
    };
    // Real photos may leave the last iterations trading a trillionth of the
    // cost back and forth: an adjustment whose last step changed the cost by
    // less than a millionth of it has converged as far as any figure shows.
    const auto converged = [](const ceres::Solver::Summary& summary) {
        if (!std::isfinite(summary.final_cost) || summary.termination_type == ceres::FAILURE ||
            summary.termination_type == ceres::USER_FAILURE)
            return false;
        if (summary.termination_type == ceres::CONVERGENCE)
            return true;
        for (auto step = summary.iterations.rbegin(); step != summary.iterations.rend(); ++step)
            if (step->step_is_successful)
                return std::abs(step->cost_change) <= 1e-6 * summary.final_cost;
        return false;
    };
    // Pixels in pixels: the reprojection residuals of a set of observations.
    const auto residuals = [&](std::vector<double>* all) {
        all->clear();
        for (const Observation& ob : observations) {
            const size_t c = size_t(ob.camera), p = size_t(ob.point);
            double r[2] = {0, 0};
            Reprojection{ob.x, ob.y, 1.0}(rotation[c].data(), centre[c].data(), position[p].data(),
                                          calib[size_t(cameras[c].calibration)].data(), r);
            all->push_back(r[0]);
            all->push_back(r[1]);
        }
    };

    const auto aborted = [&] {
        out.aborted = true;
        out.message = QStringLiteral("the adjustment was aborted after %1 iteration(s)").arg(progress.done);
        return out;
    };
    ceres::Solver::Summary summary;
    solve(options.pixelSigma, 1e-10, &summary);
    if (progress.stopped)
        return aborted();
    double pixelSigma = options.pixelSigma;
    if (options.estimatePixelSigma && converged(summary)) {
        // The photos weigh as precisely as they measured: their residuals'
        // robust spread (a matcher's third of a pixel, a click's two pixels)
        // against the priors' standard deviations, and the block solved again.
        std::vector<double> all;
        residuals(&all);
        for (double& r : all)
            r = std::abs(r);
        const double spread = 1.4826 * median(all);
        pixelSigma = std::max(spread, minimumPixelSigma);
        ceres::Solver::Summary second;
        // From the first solution only the photos' weight changes: the block
        // settles in a few steps, after which a real block's cost creeps by
        // millionths for hundreds of iterations without moving a figure.
        solve(pixelSigma, 1e-6, &second);
        if (progress.stopped)
            return aborted();
        second.iterations.insert(second.iterations.begin(), summary.iterations.begin(),
                                 summary.iterations.end());
        summary = second;
    }
    out.iterations = int(summary.iterations.size());

    if (!converged(summary)) {
        out.message = QStringLiteral("the adjustment did not converge after %1 iterations (%2)")
                          .arg(out.iterations)
                          .arg(QString::fromStdString(summary.message));
        return out;
    }

    // Measured against the priors: a camera the photos and control points
    // carry far beyond what its GPS allows says that something is wrong
    // (a control point, the reference system, the GPS itself).
    out.priorSigmas.assign(cameras.size(), 0.0);
    int worst = -1;
    for (size_t i = 0; i < cameras.size(); ++i) {
        const Camera& c = cameras[i];
        if (!c.hasPrior)
            continue;
        const osg::Vec3d at = c.prior - o;
        double s = 0;
        for (int k = 0; k < (c.priorHeight ? 3 : 2); ++k)
            s = std::max(s, std::abs(centre[i][size_t(k)] - at[k]) / c.priorSigma[k]);
        out.priorSigmas[i] = s;
        if (worst < 0 || s > out.priorSigmas[size_t(worst)])
            worst = int(i);
    }
    if (worst >= 0 && !(out.priorSigmas[size_t(worst)] <= options.priorLimit)) {
        const Camera& c = cameras[size_t(worst)];
        const osg::Vec3d moved =
            osg::Vec3d(centre[size_t(worst)][0], centre[size_t(worst)][1], centre[size_t(worst)][2]) -
            (c.prior - o);
        out.message =
            QStringLiteral("the adjustment puts the camera of %1 %2 across and %3 in height from its "
                           "GPS position, %4 standard deviations, more than the %5 its prior allows: "
                           "check the control points and the reference system")
                .arg(c.name, metres(std::hypot(moved.x(), moved.y())), metres(std::abs(moved.z())))
                .arg(out.priorSigmas[size_t(worst)], 0, 'f', 1)
                .arg(options.priorLimit);
        return out;
    }

    // Accepted: the result goes back in survey coordinates.
    std::vector<double> all;
    residuals(&all);
    double sum = 0;
    for (double r : all)
        sum += r * r;
    out.rmsPixels = std::sqrt(2 * sum / double(all.size()));
    out.pixelSigma = pixelSigma;
    for (size_t i = 0; i < calibrations.size(); ++i) {
        Calibration& c = calibrations[i];
        c.focal = calib[i][0];
        c.cx = calib[i][1];
        c.cy = calib[i][2];
        c.k1 = calib[i][3];
        c.k2 = calib[i][4];
    }
    for (size_t i = 0; i < cameras.size(); ++i) {
        std::copy(rotation[i].begin(), rotation[i].end(), cameras[i].rotation);
        cameras[i].centre = o + osg::Vec3d(centre[i][0], centre[i][1], centre[i][2]);
    }
    for (size_t i = 0; i < points.size(); ++i)
        points[i].position = o + osg::Vec3d(position[i][0], position[i][1], position[i][2]);
    origin = o;
    out.accepted = true;
    out.message =
        QStringLiteral("Adjusted %1 photos and %2 points in %3 iterations (%4 s): reprojection %5 px (RMS)")
            .arg(cameras.size())
            .arg(points.size())
            .arg(out.iterations)
            .arg(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 0, 'f', 1)
            .arg(out.rmsPixels, 0, 'f', 2);
    if (worst >= 0)
        out.message += QStringLiteral(", cameras within %1 standard deviations of their GPS")
                           .arg(out.priorSigmas[size_t(worst)], 0, 'f', 1);
    for (size_t i = 0; i < calibrations.size(); ++i) {
        const Calibration& c = calibrations[i];
        out.lines << QStringLiteral("Calibration %1: focal %2 px, principal point %3 %4, k1 %5, k2 %6")
                         .arg(i + 1)
                         .arg(c.focal, 0, 'f', 2)
                         .arg(c.cx, 0, 'f', 2)
                         .arg(c.cy, 0, 'f', 2)
                         .arg(c.k1, 0, 'g', 5)
                         .arg(c.k2, 0, 'g', 5);
    }
    out.lines << out.message;
    return out;
}

double SurveyAdjustment::pixelsOf(int point, const osg::Vec3d& position) const
{
    const osg::Vec3d o = finite(origin) ? origin : siteOrigin();
    const osg::Vec3d local = position - o;
    const double at[3] = {local.x(), local.y(), local.z()};
    double sum = 0;
    int n = 0;
    for (const Observation& ob : observations) {
        if (ob.point != point || ob.camera < 0 || size_t(ob.camera) >= cameras.size())
            continue;
        const Camera& c = cameras[size_t(ob.camera)];
        if (c.calibration < 0 || size_t(c.calibration) >= calibrations.size())
            continue;
        const Calibration& k = calibrations[size_t(c.calibration)];
        const double calib[5] = {k.focal, k.cx, k.cy, k.k1, k.k2};
        const osg::Vec3d centre = c.centre - o;
        const double centreAt[3] = {centre.x(), centre.y(), centre.z()};
        double r[2] = {0, 0};
        if (!Reprojection{ob.x, ob.y, 1.0}(c.rotation, centreAt, at, calib, r))
            return std::numeric_limits<double>::infinity(); // behind a photo that shows it
        sum += r[0] * r[0] + r[1] * r[1];
        ++n;
    }
    return n ? std::sqrt(sum / n) : std::nan("");
}

bool SurveyAdjustment::place(const std::vector<Observation>& seen, osg::Vec3d* position, QString* error) const
{
    const osg::Vec3d o = std::isfinite(origin.x()) ? origin : siteOrigin();
    // The ray of each pixel: the lens undone by Newton's method on the
    // radius, then turned into survey axes.
    std::vector<osg::Vec3d> starts, directions;
    for (const Observation& ob : seen) {
        if (ob.camera < 0 || size_t(ob.camera) >= cameras.size() ||
            cameras[size_t(ob.camera)].calibration < 0 ||
            size_t(cameras[size_t(ob.camera)].calibration) >= calibrations.size()) {
            *error = QStringLiteral("an observation names no photo of the adjustment");
            return false;
        }
        const Camera& c = cameras[size_t(ob.camera)];
        const Calibration& k = calibrations[size_t(c.calibration)];
        const double du = (ob.x - k.cx) / k.focal, dv = (ob.y - k.cy) / k.focal;
        const double rd = std::sqrt(du * du + dv * dv);
        double r = rd;
        for (int i = 0; i < 50 && rd > 0; ++i) {
            const double r2 = r * r;
            const double f = r * (1 + k.k1 * r2 + k.k2 * r2 * r2) - rd;
            const double d = 1 + 3 * k.k1 * r2 + 5 * k.k2 * r2 * r2;
            if (!(d > 0))
                break;
            r -= f / d;
        }
        const double scale = rd > 0 ? r / rd : 1;
        const double q[4] = {c.rotation[0], -c.rotation[1], -c.rotation[2], -c.rotation[3]};
        const double cameraRay[3] = {du * scale, dv * scale, 1};
        double world[3];
        ceres::QuaternionRotatePoint(q, cameraRay, world);
        starts.push_back(c.centre - o);
        directions.push_back(osg::Vec3d(world[0], world[1], world[2]));
        directions.back().normalize();
    }
    if (starts.size() < 2) {
        *error = QStringLiteral("seen in fewer than two photos");
        return false;
    }
    // The point nearest to all rays as the first guess ...
    double a[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, b[3] = {0, 0, 0};
    for (size_t i = 0; i < starts.size(); ++i) {
        const osg::Vec3d& d = directions[i];
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                const double m = (r == c ? 1.0 : 0.0) - d[r] * d[c];
                a[r][c] += m;
                b[r] += m * starts[i][c];
            }
    }
    const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                       a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                       a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    if (!(std::abs(det) > 1e-12)) {
        *error = QStringLiteral("its rays are parallel");
        return false;
    }
    std::array<double, 3> point{};
    for (int k = 0; k < 3; ++k) {
        double m[3][3];
        std::copy(&a[0][0], &a[0][0] + 9, &m[0][0]);
        for (int r = 0; r < 3; ++r)
            m[r][k] = b[r];
        point[size_t(k)] = (m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                            m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                            m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0])) /
                           det;
    }
    // ... then the pixels themselves, the cameras held.
    ceres::Problem problem;
    std::vector<std::array<double, 4>> rotations(seen.size());
    std::vector<std::array<double, 3>> centres(seen.size());
    std::vector<std::array<double, 5>> calibs(seen.size());
    for (size_t i = 0; i < seen.size(); ++i) {
        const Camera& c = cameras[size_t(seen[i].camera)];
        const Calibration& k = calibrations[size_t(c.calibration)];
        std::copy(c.rotation, c.rotation + 4, rotations[i].begin());
        const osg::Vec3d at = c.centre - o;
        centres[i] = {at.x(), at.y(), at.z()};
        calibs[i] = {k.focal, k.cx, k.cy, k.k1, k.k2};
        if (osg::Vec3d(point[0], point[1], point[2]) * directions[i] - starts[i] * directions[i] <= 0) {
            *error = QStringLiteral("its rays meet behind photo %1").arg(c.name);
            return false;
        }
        problem.AddResidualBlock(new ceres::AutoDiffCostFunction<Reprojection, 2, 4, 3, 3, 5>(
                                     new Reprojection{seen[i].x, seen[i].y, 1.0}),
                                 nullptr, rotations[i].data(), centres[i].data(), point.data(),
                                 calibs[i].data());
        problem.SetParameterBlockConstant(rotations[i].data());
        problem.SetParameterBlockConstant(centres[i].data());
        problem.SetParameterBlockConstant(calibs[i].data());
    }
    ceres::Solver::Options solverOptions;
    solverOptions.linear_solver_type = ceres::DENSE_QR;
    solverOptions.logging_type = ceres::SILENT;
    solverOptions.function_tolerance = 1e-14;
    solverOptions.parameter_tolerance = 1e-14;
    ceres::Solver::Summary summary;
    ceres::Solve(solverOptions, &problem, &summary);
    if (!summary.IsSolutionUsable()) {
        *error = QString::fromStdString(summary.message);
        return false;
    }
    *position = o + osg::Vec3d(point[0], point[1], point[2]);
    return true;
}
