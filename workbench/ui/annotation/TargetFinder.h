#pragma once

#include <QObject>
#include <QString>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>

#include "core/georef/ControlPoint.h"
#include "core/georef/TargetSearch.h"
#include "ui/annotation/TargetCandidates.h"

class GeoRef;
class QThread;

// "Find Targets" of the "Ground Control" dock: the points' checker targets
// are looked for in the photos of the georeferenced reconstruction on a
// worker thread (TargetSearch), and what is found waits in the dock's list
// until the user accepts it as the points' observations or rejects it.
// "Accept All" never replaces a mark made by hand; accepting the one
// candidate does, since the user asked for it.
class TargetFinder : public QObject
{
    Q_OBJECT
public:
    // The NVM file of the reconstruction to search, empty with a reason.
    using Reconstruction = std::function<QString(QString* error)>;

    TargetFinder(GeoRef* dock, Reconstruction reconstruction, QObject* parent = nullptr);
    ~TargetFinder() override;

    bool isRunning() const { return m_thread != nullptr; }
    const QVector<TargetCandidates::Entry>& entries() const { return m_entries; }

public slots:
    void findTargets();
    // "Stop": the search under way ends after the photo it reads.
    void stop();
    void acceptAll();
    void acceptCurrent();
    void rejectCurrent();

signals:
    void statusMessage(const QString& text, int timeout);
    void logLine(const QString& line);
    // The candidates still waiting, as points whose observations they are
    // (for the image viewers to draw apart from the observations).
    void candidatesChanged(const QVector<ControlPoint>& candidates);
    // A search ended (also when it found nothing or could not start).
    void finished();

private:
    void report(const QString& line, int timeout = 5000);
    void searched(const TargetSearch::Outcome& outcome);
    bool accept(int entry);
    void show();

    GeoRef* m_dock;
    TargetCandidates* m_view;
    Reconstruction m_reconstruction;
    QThread* m_thread = nullptr;
    std::shared_ptr<std::atomic_bool> m_stop;
    QVector<TargetCandidates::Entry> m_entries;
};
