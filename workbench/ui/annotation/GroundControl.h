#pragma once

#include <QObject>
#include <QPointF>
#include <QString>
#include <QVector>

#include "core/georef/CameraCalibration.h"
#include "core/georef/ControlPoint.h"
#include "core/georef/ControlPointAdjustment.h"

class GeoRef;
class OsgWidget;
class TargetFinder;
class QWidget;

// The work of the "Ground Control" dock: control points come in from a
// drone software's control file or by picks in the image viewers, and the
// fit places the reconstruction their photos belong to in the points'
// reference system (its georeference file written, its layer read again in
// place). A fit or import that cannot be trusted changes nothing and says why.
class GroundControl : public QObject
{
    Q_OBJECT
public:
    // scene may be null: then only the calls that name the NVM file work.
    GroundControl(GeoRef* dock, OsgWidget* scene, QWidget* window);

    // Merges the points of a control file whose photos belong to the
    // reconstruction of nvmFile into the dock's, by name (GcpImport::merge),
    // and says what was updated, added and kept.
    bool importFile(const QString& gcpFile, const QString& nvmFile);
    // Fits the reconstruction of nvmFile to the dock's points: residuals in
    // the dock and the log, sparse.txt written. True when it was written.
    bool fit(const QString& nvmFile);

    // After a sparse run that wrote nvmFile (and its GPS georeference): fits
    // the new reconstruction to the dock's points, as fit() does, when three
    // or more used points are seen in two or more of its photos. True when
    // the control points' georeference was written. Otherwise the log and
    // the status bar say that the GPS georeference stands and why; a project
    // without control points hears nothing.
    bool refitAfterRun(const QString& nvmFile);

    // Writes the accuracy report of the reconstruction of nvmFile into its
    // pipeline folder (report/accuracy.json and .html) with the dock's
    // points, placed under its georeference where no fit gave them figures,
    // and says where it is. method says how the georeference was made;
    // empty: as its record says. True when written.
    // Opens the newest accuracy report beside the photos or a loaded
    // reconstruction, or says that none is written yet.
    void openAccuracyReport(const QStringList& photos);

    // calibrations: what the adjustment found of the cameras, if it ran.
    bool writeReport(const QString& nvmFile, const QString& method = QString(),
                     const QVector<ControlPoint>& points = {}, int model = 0,
                     const QVector<CameraCalibration>& calibrations = {});

    // What the fit gives the adjustment: the dock's defaults for control
    // points and consumer GPS (the points carry their own deviations).
    ControlPointAdjustment::Settings adjustmentSettings() const;

    // The NVM file of the loaded reconstruction that holds every photo the
    // dock's points are seen in (all of photos, when given); empty with a reason.
    QString reconstructionFile(const QStringList& photos, QString* error) const;

    // "Find Targets" and its candidates, searched in the loaded reconstruction.
    TargetFinder* targets() const { return m_targets; }

public slots:
    void importFromDialog();
    void fitScene();
    // "Adjustment Settings...": the dock's defaults in a dialog, taken when accepted.
    void editAdjustmentSettings();
    // A loupe click at an image position (pixels from the top-left corner
    // of the photo at path, as ControlObservation counts them).
    void pickAt(const QString& path, const QPointF& position);

signals:
    void statusMessage(const QString& text, int timeout);
    void logLine(const QString& line);
    // A fit wrote the georeference of nvmFile (its sparse.txt): what it
    // places is to be read again, what was made with the earlier one is stale.
    void georeferenceWritten(const QString& nvmFile);
    // The defaults changed: the project has something new to save.
    void adjustmentSettingsChanged();

private:
    void report(const QString& line, int timeout = 5000);
    bool fit(const QString& nvmFile, QString* message);

    GeoRef* m_dock;
    OsgWidget* m_scene;
    QWidget* m_window;
    TargetFinder* m_targets;
};
