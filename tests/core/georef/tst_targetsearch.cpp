#include <QtTest>

#include <algorithm>
#include <cmath>

#include <opencv2/imgcodecs.hpp>

#include "SurveyTargets.h"
#include "core/formats/NvmReader.h"
#include "core/formats/SparseBundle.h"
#include "core/georef/GeoReference.h"
#include "core/georef/TargetDetector.h"
#include "core/georef/TargetSearch.h"

// The targets of a synthetic survey with nadir and oblique photos, found in
// its photos from the georeferenced reconstruction: how many of those the
// photos show, how close to the truth, and that nothing else is taken for one.
class TestTargetSearch : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    SurveyTargets m_survey;

    TargetSearch::ImageSize size() const
    {
        return [this](const QString& path) {
            return QFile::exists(path) ? QSize(m_survey.width, m_survey.height) : QSize();
        };
    }
    cv::Mat photo(const QString& image) const
    {
        return cv::imread((m_survey.folder + "/photos/" + image).toStdString(), cv::IMREAD_GRAYSCALE);
    }

    struct Tally {
        int found = 0, falseCandidates = 0, ghostRefused = 0;
    };
    // Every truth observation found within half a pixel? Every candidate a
    // truth observation of its point in its photo?
    Tally tally(const TargetSearch::Outcome& out) const
    {
        Tally t;
        QVector<double> errors;
        int obliqueSeen = 0, obliqueFound = 0;
        for (const SurveyTargets::Seen& s : m_survey.seen) {
            const bool oblique = m_survey.oblique.contains(s.image);
            obliqueSeen += oblique ? 1 : 0;
            double nearest = 1e9;
            for (const TargetSearch::Candidate& c : out.candidates)
                if (c.point == s.target && c.image == s.image)
                    nearest = std::hypot(c.column - s.column, c.row - s.row);
            if (nearest <= 0.5) {
                ++t.found;
                obliqueFound += oblique ? 1 : 0;
                errors.append(nearest);
            }
        }
        for (const TargetSearch::Candidate& c : out.candidates) {
            bool truth = false;
            for (const SurveyTargets::Seen& s : m_survey.seen)
                truth = truth || (c.point == s.target && c.image == s.image &&
                                  std::hypot(c.column - s.column, c.row - s.row) <= 0.5);
            t.falseCandidates += truth ? 0 : 1;
            if (!truth)
                qWarning() << "false candidate" << c.point << c.image << c.column << c.row << c.score;
        }
        for (const TargetSearch::Refusal& r : out.refusals) {
            if (r.reason.isEmpty())
                qWarning() << "refused without a reason:" << r.point << r.image;
            t.ghostRefused += r.point == "GHOST" && !r.reason.isEmpty() ? 1 : 0;
        }
        std::sort(errors.begin(), errors.end());
        qInfo("%d of %d observations found (%.1f %%) within 0.5 px: median %.3f, max %.3f px; "
              "%d of %d in oblique photos; %d false candidates; %d refused; %s",
              t.found, int(m_survey.seen.size()), 100.0 * t.found / m_survey.seen.size(),
              errors.isEmpty() ? 0.0 : errors[errors.size() / 2], errors.isEmpty() ? 0.0 : errors.last(),
              obliqueFound, obliqueSeen, t.falseCandidates, int(out.refusals.size()),
              qPrintable(out.correction));
        if (obliqueSeen == 0)
            t.found = -1; // the set must hold oblique photos to show anything
        return t;
    }

    // The survey's points with a ghost: surveyed three metres off the first,
    // where no target lies.
    QVector<ControlPoint> withGhost() const
    {
        QVector<ControlPoint> points = m_survey.points;
        ControlPoint ghost = points.first();
        ghost.name = "GHOST";
        ghost.survey += osg::Vec3d(3, -3, 0);
        points.append(ghost);
        return points;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY2(m_survey.make(m_dir.path(), 16, 1200, 900, 8), qPrintable(m_survey.error));
    }

    void findsTheTargetsThePhotosShow()
    {
        int progressCalls = 0, lastDone = 0, lastTotal = -1;
        const TargetSearch::Outcome out =
            TargetSearch::run(m_survey.nvmFile, withGhost(), size(), {}, [&](int done, int total) {
                ++progressCalls;
                lastDone = done, lastTotal = total;
                return true;
            });
        QVERIFY2(out.message.isEmpty(), qPrintable(out.message));
        // Both searches count: every photo twice, the last call at the end.
        QVERIFY(out.photos >= 12);
        QCOMPARE(progressCalls, 2 * out.photos);
        QCOMPARE(lastDone, lastTotal);

        const Tally t = tally(out);
        QVERIFY(t.found >= 0.95 * m_survey.seen.size());
        QCOMPARE(t.falseCandidates, 0); // the ghost's included
        QVERIFY(t.ghostRefused >= 3);
    }

    // A georeference as far off as the photos' GPS leaves one: metres
    // across, more in height, a little turned and scaled. The wide search
    // finds enough to correct it; the candidates are as good as above.
    void findsTheTargetsFromAGpsGeoreference()
    {
        GeoReference truth;
        QVERIFY(GeoReference::read(GeoReference::companionFileName(m_survey.nvmFile), truth));
        GeoReference geo = truth;
        const double turn = 1.5 * M_PI / 180;
        geo.rotation = geo.rotation * osg::Matrixd::rotate(turn, osg::Vec3d(0, 0, 1));
        geo.scale *= 1.03;
        geo.translation += osg::Vec3d(1.6, -1.2, 6.0);
        const QString nvm = QFileInfo(m_survey.nvmFile).absolutePath() + "/gps.nvm";
        QVERIFY(QFile::copy(m_survey.nvmFile, nvm));
        QString error;
        QVERIFY2(geo.write(GeoReference::companionFileName(nvm), &error), qPrintable(error));

        // Off by far more than the usual window: the targets are metres away.
        double nearest = 1e9;
        for (const ControlPoint& p : m_survey.points)
            nearest = std::min(nearest, (geo.apply(truth.modelPoint(p.survey)) - p.survey).length());
        QVERIFY2(nearest > 3, qPrintable(QString::number(nearest)));
        const TargetSearch::Outcome out = TargetSearch::run(nvm, withGhost(), size());
        QVERIFY2(out.message.isEmpty(), qPrintable(out.message));
        QVERIFY2(out.correction.contains("a similarity"), qPrintable(out.correction));
        const Tally t = tally(out);
        QVERIFY(t.found >= 0.95 * m_survey.seen.size());
        QCOMPARE(t.falseCandidates, 0);
        QVERIFY(t.ghostRefused >= 3);

        // Stopped in the first search: nothing offered.
        const TargetSearch::Outcome stopped =
            TargetSearch::run(nvm, withGhost(), size(), {}, [](int done, int) { return done < 2; });
        QVERIFY(stopped.stopped);
        QVERIFY(stopped.candidates.isEmpty());
        QFile::remove(nvm);
        QFile::remove(GeoReference::companionFileName(nvm));
    }

    void predictionsOffByPixelsStillFindTheCentre()
    {
        const TargetDetector detector;
        int tried = 0, found = 0;
        for (const double dx : {-5.0, 3.5, 0.0})
            for (const double dy : {4.0, -2.5}) {
                for (int i = 0; i < m_survey.seen.size(); i += 3) {
                    const SurveyTargets::Seen& s = m_survey.seen[i];
                    const TargetDetector::Result r = detector.find(photo(s.image), s.column + dx, s.row + dy);
                    ++tried;
                    if (!r.found)
                        continue;
                    ++found;
                    const double error = std::hypot(r.column - s.column, r.row - s.row);
                    QVERIFY2(error <= 0.5,
                             qPrintable(QString("%1 in %2 off by %3 px").arg(s.target, s.image).arg(error)));
                }
            }
        qInfo("offset predictions: %d of %d found", found, tried);
        QVERIFY(found >= 0.9 * tried);
    }

    void windowsWithoutTargetsAreRefused()
    {
        const TargetDetector detector;
        // A grid of windows over every photo, nadir and oblique, away from every target.
        QStringList photos;
        for (const SurveyTargets::Seen& s : m_survey.seen)
            if (!photos.contains(s.image))
                photos << s.image;
        QVERIFY(photos.size() >= 12);
        int refused = 0;
        for (const QString& image : photos) {
            const cv::Mat grey = photo(image);
            for (int y = 50; y < m_survey.height - 50; y += 70)
                for (int x = 50; x < m_survey.width - 50; x += 70) {
                    bool nearTarget = false;
                    for (const SurveyTargets::Seen& s : m_survey.seen)
                        nearTarget = nearTarget || (s.image == image && std::abs(s.column - x) < 80 &&
                                                    std::abs(s.row - y) < 80);
                    if (nearTarget)
                        continue;
                    const TargetDetector::Result r = detector.find(grey, x, y);
                    QVERIFY2(
                        !r.found,
                        qPrintable(QString("a target at %1, %2 in %3").arg(r.column).arg(r.row).arg(image)));
                    QVERIFY(!r.reason.isEmpty());
                    ++refused;
                }
        }
        qInfo("%d windows without a target in %d photos, every one refused", refused, int(photos.size()));
        QVERIFY(refused > 1000);

        // A target cut by the photo's edge, and no photo at all.
        const SurveyTargets::Seen& s = m_survey.seen.first();
        QCOMPARE(detector.find(photo(s.image), 2, 300).reason, QString("hidden at the photo's edge"));
        // A whole target brought close to the edge by cropping its photo: measured
        // a dozen pixels in, refused seven pixels in, where the smoothing sees the border.
        const auto away = std::find_if(m_survey.seen.begin(), m_survey.seen.end(),
                                       [](const SurveyTargets::Seen& t) { return t.column > 40; });
        QVERIFY(away != m_survey.seen.end());
        for (const int in : {12, 7}) {
            const int left = int(away->column) - in;
            const cv::Mat grey = photo(away->image);
            const cv::Mat cropped = grey(cv::Rect(left, 0, grey.cols - left, grey.rows)).clone();
            const TargetDetector::Result r = detector.find(cropped, away->column - left, away->row);
            QCOMPARE(r.found, in == 12);
            if (r.found)
                QVERIFY(std::hypot(r.column + left - away->column, r.row - away->row) <= 0.5);
            else
                QCOMPARE(r.reason, QString("hidden at the photo's edge"));
        }
        QCOMPARE(detector.find(cv::Mat(), s.column, s.row).reason, QString("the photo cannot be read"));
        // A flat grey photo: nothing to find.
        const cv::Mat flat(900, 1200, CV_8UC1, cv::Scalar(128));
        QCOMPARE(detector.find(flat, 600, 450).reason, QString("no checker in the window"));
    }

    void searchNeedsAGeoreference()
    {
        QTemporaryDir dir;
        const QString nvm = dir.filePath("sparse.nvm");
        QVERIFY(QFile::copy(m_survey.nvmFile, nvm));
        const TargetSearch::Outcome out = TargetSearch::run(nvm, m_survey.points, size());
        QVERIFY(out.candidates.isEmpty());
        QVERIFY2(out.message.contains("not georeferenced"), qPrintable(out.message));

        // A photo gone since the reconstruction: refused, not a crash.
        const TargetSearch::Outcome gone =
            TargetSearch::search({{"GCP01", dir.filePath("IMG_9999.JPG"), "IMG_9999.JPG", 400, 300}},
                                 m_survey.points, TargetDetector());
        QCOMPARE(gone.refusals.size(), 1);
        QCOMPARE(gone.refusals.first().reason, QString("the photo cannot be read"));
    }
};

QTEST_GUILESS_MAIN(TestTargetSearch)
#include "tst_targetsearch.moc"
