#pragma once

#include <QObject>
#include <QPoint>
#include <QString>

class GeoRef;
class OsgWidget;
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

    // Replaces the dock's points by those of a control file whose photos
    // belong to the reconstruction of nvmFile.
    bool importFile(const QString& gcpFile, const QString& nvmFile);
    // Fits the reconstruction of nvmFile to the dock's points: residuals in
    // the dock and the log, sparse.txt written. True when it was written.
    bool fit(const QString& nvmFile);

    // The NVM file of the loaded reconstruction that holds every photo the
    // dock's points are seen in (all of photos, when given); empty with a reason.
    QString reconstructionFile(const QStringList& photos, QString* error) const;

public slots:
    void importFromDialog();
    void fitScene();
    // A loupe click at an image pixel of the photo at path.
    void pickAt(const QString& path, const QPoint& pixel);

signals:
    void statusMessage(const QString& text, int timeout);
    void logLine(const QString& line);

private:
    void report(const QString& line, int timeout = 5000);

    GeoRef* m_dock;
    OsgWidget* m_scene;
    QWidget* m_window;
};
