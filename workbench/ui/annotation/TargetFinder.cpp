#include "ui/annotation/TargetFinder.h"

#include <QAction>
#include <QFileInfo>
#include <QImageReader>
#include <QThread>

#include "ui/annotation/GeoRef.h"

TargetFinder::TargetFinder(GeoRef* dock, Reconstruction reconstruction, QObject* parent)
    : QObject(parent), m_dock(dock), m_view(dock->targetCandidates()),
      m_reconstruction(std::move(reconstruction))
{
    connect(m_view->findAction(), &QAction::triggered, this, &TargetFinder::findTargets);
    connect(m_view->stopAction(), &QAction::triggered, this, &TargetFinder::stop);
    connect(m_view->acceptAllAction(), &QAction::triggered, this, &TargetFinder::acceptAll);
    connect(m_view->acceptAction(), &QAction::triggered, this, &TargetFinder::acceptCurrent);
    connect(m_view->rejectAction(), &QAction::triggered, this, &TargetFinder::rejectCurrent);
}

TargetFinder::~TargetFinder()
{
    if (m_thread) {
        *m_stop = true;
        m_thread->wait();
    }
}

void TargetFinder::report(const QString& line, int timeout)
{
    emit logLine(line);
    emit statusMessage(line, timeout);
}

void TargetFinder::findTargets()
{
    if (m_thread)
        return;
    QString error;
    const QString nvm = m_reconstruction ? m_reconstruction(&error) : QString();
    const QVector<ControlPoint> points = m_dock->controlPoints();
    if (nvm.isEmpty() || points.isEmpty()) {
        report(tr("Targets: nothing searched: %1")
                   .arg(points.isEmpty() ? tr("the Ground Control table has no points") : error));
        emit finished();
        return;
    }
    report(tr("Targets: looking for %1 point(s) in the photos of %2")
               .arg(points.size())
               .arg(QFileInfo(nvm).fileName()),
           0);
    m_view->findAction()->setEnabled(false);
    m_view->stopAction()->setEnabled(true);
    m_stop = std::make_shared<std::atomic_bool>(false);
    auto stop = m_stop;
    auto outcome = std::make_shared<TargetSearch::Outcome>();
    // The search reads the photos on the worker; only copies cross back, queued.
    m_thread = QThread::create([this, nvm, points, stop, outcome] {
        *outcome = TargetSearch::run(
            nvm, points, [](const QString& path) { return QImageReader(path).size(); }, {},
            [this, stop](int done, int total) {
                QMetaObject::invokeMethod(
                    this,
                    [this, done, total] {
                        const QString text = tr("Finding targets: photo %1 of %2").arg(done).arg(total);
                        m_view->setProgress(text);
                        emit statusMessage(text, 0);
                    },
                    Qt::QueuedConnection);
                return !*stop;
            });
    });
    connect(m_thread, &QThread::finished, this, [this, outcome] {
        m_thread->deleteLater();
        m_thread = nullptr;
        m_view->findAction()->setEnabled(true);
        m_view->stopAction()->setEnabled(false);
        searched(*outcome);
    });
    m_thread->start();
}

void TargetFinder::stop()
{
    if (!m_thread)
        return;
    *m_stop = true;
    m_view->stopAction()->setEnabled(false);
    m_view->setProgress(tr("Finding targets: stopping..."));
}

void TargetFinder::searched(const TargetSearch::Outcome& outcome)
{
    m_view->setProgress(QString());
    if (!outcome.message.isEmpty()) {
        report(tr("Targets: nothing searched: %1").arg(outcome.message));
        emit finished();
        return;
    }
    if (outcome.stopped && outcome.candidates.isEmpty()) {
        report(tr("Targets: the search was stopped before it found anything to offer"));
        emit finished();
        return;
    }
    if (!outcome.lensNote.isEmpty())
        emit logLine(tr("Targets: %1").arg(outcome.lensNote));
    if (!outcome.correction.isEmpty())
        emit logLine(tr("Targets: %1").arg(outcome.correction));
    m_entries.clear();
    for (const TargetSearch::Candidate& c : outcome.candidates)
        m_entries.append(
            {c.point, c.image, c.column, c.row, c.score,
             c.handMarked ? TargetCandidates::State::HandMarked : TargetCandidates::State::Candidate,
             QString()});
    for (const TargetSearch::Refusal& r : outcome.refusals) {
        m_entries.append({r.point, r.image, r.column, r.row, 0, TargetCandidates::State::Refused, r.reason});
        emit logLine(tr("Targets: %1 not found in %2 near (%3, %4): %5")
                         .arg(r.point, r.image)
                         .arg(r.column, 0, 'f', 1)
                         .arg(r.row, 0, 'f', 1)
                         .arg(r.reason));
    }
    int marked = 0;
    for (const TargetSearch::Candidate& c : outcome.candidates)
        marked += c.handMarked ? 1 : 0;
    report(
        tr("Targets: %1 found in %2 photo(s) (%3 where the point is marked by hand already), %4 not found%5")
            .arg(outcome.candidates.size())
            .arg(outcome.photos)
            .arg(marked)
            .arg(outcome.refusals.size())
            .arg(outcome.stopped ? tr(", the search stopped") : QString()));
    show();
    emit finished();
}

void TargetFinder::show()
{
    m_view->setEntries(m_entries);
    QVector<ControlPoint> waiting;
    for (const TargetCandidates::Entry& e : qAsConst(m_entries)) {
        if (e.state != TargetCandidates::State::Candidate && e.state != TargetCandidates::State::HandMarked)
            continue;
        auto p = std::find_if(waiting.begin(), waiting.end(),
                              [&](const ControlPoint& c) { return c.name == e.point; });
        if (p == waiting.end()) {
            ControlPoint c;
            c.name = e.point;
            waiting.append(c);
            p = waiting.end() - 1;
        }
        p->observations.append({e.image, e.column, e.row});
    }
    emit candidatesChanged(waiting);
}

bool TargetFinder::accept(int entry)
{
    TargetCandidates::Entry& e = m_entries[entry];
    QVector<int> rows;
    const QVector<ControlPoint> points = m_dock->controlPoints(&rows);
    for (int i = 0; i < points.size(); ++i)
        if (points[i].name == e.point) {
            m_dock->addObservation(rows[i], {e.image, e.column, e.row});
            e.state = TargetCandidates::State::Accepted;
            return true;
        }
    e.state = TargetCandidates::State::Rejected;
    e.reason = tr("the point is no longer in the table");
    return false;
}

void TargetFinder::acceptAll()
{
    int accepted = 0, marked = 0;
    for (int i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].state == TargetCandidates::State::HandMarked)
            ++marked;
        else if (m_entries[i].state == TargetCandidates::State::Candidate)
            accepted += accept(i) ? 1 : 0;
    }
    report(
        tr("Targets: %1 accepted as observations; %2 left where the point is marked by hand (accept them one "
           "by one to replace the marks)")
            .arg(accepted)
            .arg(marked));
    show();
}

void TargetFinder::acceptCurrent()
{
    const int i = m_view->currentEntry();
    if (i < 0 || i >= m_entries.size() ||
        (m_entries[i].state != TargetCandidates::State::Candidate &&
         m_entries[i].state != TargetCandidates::State::HandMarked))
        return;
    const TargetCandidates::Entry e = m_entries[i];
    if (accept(i))
        report(tr("Targets: %1 in %2 at (%3, %4) accepted")
                   .arg(e.point, e.image)
                   .arg(e.column, 0, 'f', 2)
                   .arg(e.row, 0, 'f', 2));
    show();
}

void TargetFinder::rejectCurrent()
{
    const int i = m_view->currentEntry();
    if (i < 0 || i >= m_entries.size() ||
        (m_entries[i].state != TargetCandidates::State::Candidate &&
         m_entries[i].state != TargetCandidates::State::HandMarked))
        return;
    m_entries[i].state = TargetCandidates::State::Rejected;
    m_entries[i].reason = tr("rejected by the user");
    report(tr("Targets: %1 in %2 rejected by the user: it stays out of the point's observations")
               .arg(m_entries[i].point, m_entries[i].image));
    show();
}
