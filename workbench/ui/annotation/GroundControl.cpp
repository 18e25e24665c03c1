#include "ui/annotation/GroundControl.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QSet>
#include <QTableWidget>

#include "core/georef/ControlPointFit.h"
#include "core/georef/GcpImport.h"
#include "core/georef/UtmProjection.h"
#include "scene/view/OsgWidget.h"
#include "ui/annotation/GeoRef.h"

GroundControl::GroundControl(GeoRef* dock, OsgWidget* scene, QWidget* window)
    : QObject(window), m_dock(dock), m_scene(scene), m_window(window)
{
    connect(dock->importAction(), &QAction::triggered, this, &GroundControl::importFromDialog);
    connect(dock->fitAction(), &QAction::triggered, this, &GroundControl::fitScene);
}

void GroundControl::report(const QString& line, int timeout)
{
    emit logLine(line);
    emit statusMessage(line, timeout);
}

bool GroundControl::importFile(const QString& gcpFile, const QString& nvmFile)
{
    QVector<ControlPoint> points;
    QString system, error;
    if (!GcpImport::importFile(gcpFile, nvmFile, &points, &system, &error)) {
        report(tr("Ground control: nothing imported: %1").arg(error));
        return false;
    }
    m_dock->setControlPoints(points, system);
    int observations = 0;
    for (const ControlPoint& p : points)
        observations += p.observations.size();
    report(tr("Ground control: %1 points with %2 observations in %3 imported from %4")
               .arg(points.size())
               .arg(observations)
               .arg(system, QFileInfo(gcpFile).fileName()));
    return true;
}

bool GroundControl::fit(const QString& nvmFile)
{
    QVector<int> rows;
    QVector<ControlPoint> points = m_dock->controlPoints(&rows);
    const ControlPointFit::Outcome out =
        ControlPointFit::run(nvmFile, points, [](const QString& path) { return QImageReader(path).size(); },
                             UtmProjection::parseSystem(m_dock->referenceSystem()));
    for (const QString& line : out.lines)
        emit logLine(line);
    emit statusMessage(out.message, 5000);
    if (!out.written)
        return false;
    for (int i = 0; i < points.size(); ++i)
        m_dock->setResidual(rows[i], points[i].residual);
    if (m_scene) {
        const QString wanted = QFileInfo(nvmFile).canonicalFilePath();
        for (const auto& bundle : m_scene->sparseBundles()) {
            const OsgWidget::LayerId id = m_scene->bundleLayer(bundle.get());
            if (id == OsgWidget::noLayer || QFileInfo(m_scene->layerFile(id)).canonicalFilePath() != wanted)
                continue;
            QString error;
            if (!m_scene->reloadLayer(id, &error))
                report(tr("Ground control: the reconstruction could not be read again: %1").arg(error));
            break;
        }
    }
    return true;
}

QString GroundControl::reconstructionFile(const QStringList& photos, QString* error) const
{
    QSet<QString> wanted;
    for (const QString& photo : photos)
        wanted.insert(QFileInfo(photo).fileName().toLower());
    for (const ControlPoint& p : m_dock->controlPoints())
        for (const ControlObservation& o : p.observations)
            wanted.insert(QFileInfo(o.image).fileName().toLower());
    if (!m_scene || m_scene->sparseBundles().empty()) {
        *error = tr("no reconstruction is loaded");
        return QString();
    }
    for (const auto& bundle : m_scene->sparseBundles()) {
        // A removed layer's bundle stays in the list, out of the scene.
        if (m_scene->bundleLayer(bundle.get()) == OsgWidget::noLayer)
            continue;
        QSet<QString> photosOf;
        for (const auto& cameras : bundle->bundleCameras)
            for (const auto& camera : cameras)
                photosOf.insert(QFileInfo(QString::fromStdString(camera->name)).fileName().toLower());
        if (photosOf.contains(wanted))
            return m_scene->layerFile(m_scene->bundleLayer(bundle.get()));
    }
    *error = tr("no loaded reconstruction holds every photo the control points are seen in");
    return QString();
}

void GroundControl::importFromDialog()
{
    const QString file = QFileDialog::getOpenFileName(m_window, tr("Import Ground Control"), QString(),
                                                      tr("Ground control files (*.txt);;All files (*)"));
    if (file.isEmpty())
        return;
    if (!m_scene || m_scene->sparseBundles().empty()) {
        report(tr("Ground control: nothing imported: load the reconstruction the photos belong to first"));
        return;
    }
    // The first loaded reconstruction that holds the file's photos.
    QString nvm, first;
    for (const auto& bundle : m_scene->sparseBundles()) {
        if (m_scene->bundleLayer(bundle.get()) == OsgWidget::noLayer)
            continue;
        const QString candidate = m_scene->layerFile(m_scene->bundleLayer(bundle.get()));
        if (first.isEmpty())
            first = candidate;
        QVector<ControlPoint> points;
        QString system, error;
        if (GcpImport::importFile(file, *bundle, &points, &system, &error)) {
            nvm = candidate;
            break;
        }
    }
    // Without one, the import against the first says why.
    importFile(file, nvm.isEmpty() ? first : nvm);
}

void GroundControl::fitScene()
{
    QString error;
    const QString nvm = reconstructionFile({}, &error);
    if (nvm.isEmpty()) {
        report(tr("Ground control: nothing written: %1").arg(error));
        return;
    }
    fit(nvm);
}

void GroundControl::pickAt(const QString& path, const QPoint& pixel)
{
    if (!m_dock->pickAction()->isChecked())
        return;
    const int row = m_dock->table()->currentRow();
    if (row < 0) {
        report(tr("Ground control: select the point in the Ground Control dock, then pick it in the photos"));
        return;
    }
    // The pick is a whole pixel: its centre.
    const ControlObservation o{QFileInfo(path).fileName(), pixel.x() + 0.5, pixel.y() + 0.5};
    const int photos = m_dock->addObservation(row, o);
    const QString name = m_dock->table()->item(row, GeoRef::Name)->text();
    report(tr("Ground control: %1 at (%2, %3) in %4, seen in %5 photo(s)")
               .arg(name)
               .arg(o.column)
               .arg(o.row)
               .arg(o.image)
               .arg(photos),
           3000);
}
