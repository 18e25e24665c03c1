#include <QtTest>

#include <QAction>
#include <QToolButton>
#include <QTreeWidget>

#include <cmath>

#include "SurveyTargets.h"
#include "ui/annotation/GeoRef.h"
#include "ui/annotation/TargetCandidates.h"
#include "ui/annotation/TargetFinder.h"

// "Find Targets" in the "Ground Control" dock on a synthetic survey whose
// reconstruction is its truth: the candidates wait in the dock's list, "Accept
// All" makes them the points' observations, a rejected one stays out with its
// reason, and a mark made by hand is only replaced when the user says so.
class TestTargetFinder : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    SurveyTargets m_survey;

    static void click(QWidget& dock, QAction* action)
    {
        for (QToolButton* b : dock.findChildren<QToolButton*>())
            if (b->defaultAction() == action) {
                QVERIFY(b->isEnabled());
                QTest::mouseClick(b, Qt::LeftButton);
                return;
            }
        QFAIL(qPrintable("no button for " + action->text()));
    }

    static int entryOf(const TargetFinder& finder, TargetCandidates::State state,
                       const QString& point = QString())
    {
        for (int i = 0; i < finder.entries().size(); ++i)
            if (finder.entries()[i].state == state && (point.isEmpty() || finder.entries()[i].point == point))
                return i;
        return -1;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY2(m_survey.make(m_dir.path(), 8, 800, 600, 4), qPrintable(m_survey.error));
    }

    void candidatesAcceptedRejectedAndHandMarksKept()
    {
        GeoRef dock;
        dock.setControlPoints(m_survey.points, "EPSG:32633");
        // A mark made by hand, two pixels off the target.
        const SurveyTargets::Seen hand = m_survey.seen.first();
        QVector<int> rows;
        QVector<ControlPoint> points = dock.controlPoints(&rows);
        const int handRow =
            rows[int(std::find_if(points.begin(), points.end(),
                                  [&](const ControlPoint& p) { return p.name == hand.target; }) -
                     points.begin())];
        dock.addObservation(handRow, {hand.image, hand.column + 2, hand.row});

        QString nvm;
        TargetFinder finder(&dock, [&nvm](QString* error) {
            *error = "no reconstruction is loaded";
            return nvm;
        });
        QStringList log;
        connect(&finder, &TargetFinder::logLine, this, [&](const QString& line) { log << line; });
        QVector<ControlPoint> shown;
        connect(&finder, &TargetFinder::candidatesChanged, this,
                [&](const QVector<ControlPoint>& c) { shown = c; });
        QSignalSpy done(&finder, &TargetFinder::finished);
        TargetCandidates* list = dock.targetCandidates();

        // No reconstruction: nothing searched, and why.
        click(dock, list->findAction());
        QCOMPARE(done.count(), 1);
        QVERIFY(log.last().contains("no reconstruction is loaded"));

        // "Stop" at once: the search ends without offering anything.
        nvm = m_survey.nvmFile;
        click(dock, list->findAction());
        click(dock, list->stopAction());
        QVERIFY(done.wait(60000));
        QVERIFY2(log.last().contains("stopped"), qPrintable(log.last()));
        QVERIFY(finder.entries().isEmpty());
        QVERIFY(!list->stopAction()->isEnabled());

        click(dock, list->findAction());
        QVERIFY(finder.isRunning());
        QVERIFY(done.wait(60000));
        QVERIFY(!finder.isRunning());

        // Every truth observation is a candidate; the hand-marked one waits apart.
        int found = 0, marked = 0;
        for (const TargetCandidates::Entry& e : finder.entries()) {
            found += e.state == TargetCandidates::State::Candidate ? 1 : 0;
            marked += e.state == TargetCandidates::State::HandMarked ? 1 : 0;
        }
        QCOMPARE(found + marked, m_survey.seen.size());
        QCOMPARE(marked, 1);
        QCOMPARE(list->list()->topLevelItemCount(), finder.entries().size());
        int drawn = 0;
        for (const ControlPoint& p : shown)
            drawn += p.observations.size();
        QCOMPARE(drawn, m_survey.seen.size());

        // Reject one: it stays out, with its reason in the list.
        const int rejected = entryOf(finder, TargetCandidates::State::Candidate);
        const TargetCandidates::Entry out = finder.entries()[rejected];
        list->list()->setCurrentItem(list->list()->topLevelItem(rejected));
        click(dock, list->rejectAction());
        QCOMPARE(finder.entries()[rejected].state, TargetCandidates::State::Rejected);
        QVERIFY(list->list()
                    ->topLevelItem(rejected)
                    ->text(TargetCandidates::Status)
                    .contains("rejected by the user"));
        QVERIFY(log.last().contains(out.point) && log.last().contains(out.image));

        click(dock, list->acceptAllAction());
        QVERIFY(!list->acceptAllAction()->isEnabled());
        int observations = 0;
        points = dock.controlPoints();
        for (const ControlPoint& p : points)
            for (const ControlObservation& o : p.observations) {
                ++observations;
                QVERIFY(!(p.name == out.point && o.image == out.image));
                if (p.name == hand.target && o.image == hand.image) {
                    QCOMPARE(o.column, hand.column + 2); // the hand mark stays
                } else {
                    bool truth = false;
                    for (const SurveyTargets::Seen& s : m_survey.seen)
                        truth = truth || (s.target == p.name && s.image == o.image &&
                                          std::hypot(s.column - o.column, s.row - o.row) < 0.5);
                    QVERIFY2(truth, qPrintable(p.name + " in " + o.image));
                }
            }
        QCOMPARE(observations, m_survey.seen.size() - 1);
        // Only the hand-marked candidate is still drawn in the viewers.
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().name, hand.target);

        // The user's say: the found target replaces the hand mark.
        list->list()->setCurrentItem(
            list->list()->topLevelItem(entryOf(finder, TargetCandidates::State::HandMarked, hand.target)));
        click(dock, list->acceptAction());
        for (const ControlObservation& o : dock.observations(handRow))
            if (o.image == hand.image)
                QVERIFY(std::hypot(o.column - hand.column, o.row - hand.row) < 0.5);
        QVERIFY(shown.isEmpty());
    }
};

QTEST_MAIN(TestTargetFinder)
#include "tst_targetfinder.moc"
