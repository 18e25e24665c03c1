#include "ui/annotation/GroundControl.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QProgressDialog>
#include <QSet>
#include <QTableWidget>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <memory>

#include "core/formats/NvmReader.h"
#include "core/formats/SparseBundle.h"
#include "core/georef/AccuracyReport.h"
#include "core/georef/ControlPointAdjustment.h"
#include "core/georef/ControlPointFit.h"
#include "core/georef/GcpImport.h"
#include "core/georef/UtmProjection.h"
#include "core/products/ProductRecord.h"
#include "scene/view/OsgWidget.h"
#include "ui/annotation/AdjustmentSettingsDialog.h"
#include "ui/annotation/GeoRef.h"
#include "ui/annotation/TargetFinder.h"
#include "ui/report/AccuracyReportHtml.h"

namespace
{

// "3 updated (T1, T2, T3)", the names while they are few.
QString counted(const QString& what, const QStringList& names)
{
    QString text = QStringLiteral("%1 %2").arg(names.size()).arg(what);
    if (!names.isEmpty())
        text += names.size() <= 12
                    ? QStringLiteral(" (%1)").arg(names.join(QStringLiteral(", ")))
                    : QStringLiteral(" (%1, ...)").arg(names.mid(0, 12).join(QStringLiteral(", ")));
    return text;
}

QString fileNameOf(const QString& path)
{
    return path.mid(std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\'))) + 1);
}

} // namespace

GroundControl::GroundControl(GeoRef* dock, OsgWidget* scene, QWidget* window)
    : QObject(window), m_dock(dock), m_scene(scene), m_window(window),
      m_targets(new TargetFinder(
          dock, [this](QString* error) { return reconstructionFile({}, error); }, this))
{
    connect(m_targets, &TargetFinder::logLine, this, &GroundControl::logLine);
    connect(m_targets, &TargetFinder::statusMessage, this, &GroundControl::statusMessage);
    connect(dock->importAction(), &QAction::triggered, this, &GroundControl::importFromDialog);
    connect(dock->fitAction(), &QAction::triggered, this, &GroundControl::fitScene);
    connect(dock->settingsAction(), &QAction::triggered, this, &GroundControl::editAdjustmentSettings);
    connect(dock, &GeoRef::nameRefused, this, [this](const QString& text) { report(text); });
}

void GroundControl::openAccuracyReport(const QStringList& photos)
{
    // The newest report of the photos' folder or of a loaded reconstruction's.
    QStringList folders;
    if (!photos.isEmpty())
        folders << QFileInfo(photos.first()).absolutePath();
    for (const SparseBundle* bundle : m_scene->sparseBundles()) {
        const QString file = m_scene->layerFile(m_scene->bundleLayer(bundle));
        if (!file.isEmpty())
            folders << QFileInfo(file).absolutePath();
    }
    const QString file = AccuracyReportHtml::newest(folders);
    if (file.isEmpty()) {
        report(tr("No accuracy report is written yet: Run Sparse or a fit of the control points "
                  "writes one into the photos' folder"));
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(file));
    emit statusMessage(tr("Accuracy report: %1").arg(QDir::toNativeSeparators(file)), 3000);
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
    QStringList warnings;
    if (!GcpImport::importFile(gcpFile, nvmFile, &points, &system, &error, &warnings)) {
        report(tr("Ground control: nothing imported: %1").arg(error));
        return false;
    }
    const QVector<ControlPoint> table = m_dock->controlPoints();
    GcpImport::MergeReport merged;
    const QVector<ControlPoint> all = GcpImport::merge(table, points, &merged);
    // Points of two reference systems in one table would be fitted as one.
    const int before = UtmProjection::parseSystem(m_dock->referenceSystem());
    const int now = UtmProjection::parseSystem(system);
    if (!merged.kept.isEmpty() && before != 0 && before != now) {
        report(tr("Ground control: nothing imported: %1 is in %2, the table's points %3 are in %4")
                   .arg(QFileInfo(gcpFile).fileName(), system, merged.kept.join(QStringLiteral(", ")),
                        m_dock->referenceSystem()));
        return false;
    }
    for (const QString& line : warnings)
        emit logLine(tr("Ground control: %1").arg(line));
    m_dock->updatePoints(all);
    m_dock->setReferenceSystem(system);
    QStringList parts = {counted(tr("updated"), merged.updated), counted(tr("added"), merged.added)};
    if (!merged.kept.isEmpty())
        parts << counted(tr("kept, not in the file"), merged.kept);
    report(tr("Ground control: %1 imported from %2 in %3: points %4; %5 observation(s) added")
               .arg(points.size())
               .arg(QFileInfo(gcpFile).fileName(), system, parts.join(QStringLiteral(", ")))
               .arg(merged.observationsAdded));
    return true;
}

bool GroundControl::fit(const QString& nvmFile)
{
    QString message;
    return fit(nvmFile, &message);
}

bool GroundControl::fit(const QString& nvmFile, QString* message)
{
    QVector<int> rows;
    QVector<ControlPoint> points = m_dock->controlPoints(&rows);
    ControlPointAdjustment::Settings settings = adjustmentSettings();
    const int epsg = UtmProjection::parseSystem(m_dock->referenceSystem());

    // The similarity as the first guess, then the adjustment in survey
    // coordinates: minutes on a large block, so on a worker thread, while a
    // window-modal dialog counts the solver's iterations and offers to abort.
    // The dock's table stays as it was until the worker is done.
    QProgressDialog progress(tr("Fit to Control Points: the first guess from the points..."), tr("Abort"), 0,
                             2 * settings.options.maxIterations, m_window);
    progress.setWindowTitle(tr("Fit to Control Points"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setValue(0);
    auto stop = std::make_shared<std::atomic_bool>(false);
    connect(&progress, &QProgressDialog::canceled, &progress, [&progress, stop] {
        *stop = true;
        progress.setLabelText(tr("Fit to Control Points: aborting..."));
    });
    // Iterations can come by the hundred a second: the dialog hears of a few.
    auto shown = std::make_shared<QElapsedTimer>();
    settings.options.progress = [&progress, stop, shown, max = progress.maximum()](int iteration,
                                                                                   double cost) {
        if (!*stop && (!shown->isValid() || shown->elapsed() >= 200)) {
            shown->restart();
            QMetaObject::invokeMethod(
                &progress,
                [&progress, iteration, cost, max] {
                    progress.setValue(std::min(iteration, max));
                    progress.setLabelText(tr("Fit to Control Points: adjusting the block, iteration %1 "
                                             "(cost %2)")
                                              .arg(iteration)
                                              .arg(cost, 0, 'g', 6));
                },
                Qt::QueuedConnection);
        }
        return !*stop;
    };
    // Shown before the work starts, so that an "Abort" at once stops it before the solver moves.
    progress.show();
    QCoreApplication::processEvents();
    ControlPointFit::Outcome out;
    QEventLoop wait;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        out = ControlPointAdjustment::run(
            nvmFile, points, [](const QString& path) { return QImageReader(path).size(); }, epsg, settings);
    }));
    connect(worker.get(), &QThread::finished, &wait, &QEventLoop::quit, Qt::QueuedConnection);
    worker->start();
    wait.exec();
    worker->wait();
    progress.close();

    for (const QString& line : out.lines)
        emit logLine(line);
    emit statusMessage(out.message, 5000);
    *message = out.message;
    if (!out.written)
        return false;
    for (int i = 0; i < points.size(); ++i)
        m_dock->setFit(rows[i], points[i]);
    writeReport(nvmFile, QStringLiteral("control points"), points, out.model, out.calibrations);
    // The window reads the reconstruction and its dense clouds again in place.
    emit georeferenceWritten(nvmFile);
    return true;
}

bool GroundControl::refitAfterRun(const QString& nvmFile)
{
    const QVector<ControlPoint> points = m_dock->controlPoints();
    if (points.isEmpty())
        return false;
    const QString name = QFileInfo(nvmFile).fileName();
    auto keepGps = [&](const QString& why) {
        report(
            tr("Ground control: the control points were not fitted to the new %1 (%2): its georeference is "
               "the photos' GPS one")
                .arg(name, why),
            8000);
        return false;
    };
    SparseBundle bundle;
    QString error;
    if (!NvmReader::readBundle(nvmFile, bundle, &error))
        return keepGps(error);
    QSet<QString> photos;
    for (const SparseBundle::CameraList& cameras : bundle.bundleCameras)
        for (const auto& camera : cameras)
            photos.insert(fileNameOf(QString::fromStdString(camera->name)).toLower());
    int placeable = 0;
    for (const ControlPoint& p : points) {
        int seen = 0;
        for (const ControlObservation& o : p.observations)
            seen += photos.contains(fileNameOf(o.image).toLower()) ? 1 : 0;
        placeable += !p.check && seen >= 2 ? 1 : 0;
    }
    if (placeable < 3)
        return keepGps(tr("%1 used control point(s) are seen in two or more of its photos, three are needed")
                           .arg(placeable));
    QString message;
    if (fit(nvmFile, &message))
        return true;
    return keepGps(message.section(QStringLiteral("nothing written: "), 1));
}

bool GroundControl::writeReport(const QString& nvmFile, const QString& method,
                                const QVector<ControlPoint>& points, int model,
                                const QVector<CameraCalibration>& calibrations)
{
    AccuracyReport::Input input;
    input.nvmFile = nvmFile;
    input.method = method;
    const QString folder = QFileInfo(nvmFile).absolutePath();
    if (input.method.isEmpty()) {
        ProductRecord record;
        input.method = ProductRecord::read(folder, QLatin1String(ProductRecord::georeference), &record) &&
                               record.changedInputs(folder).isEmpty()
                           ? record.method
                           : tr("no georeference");
    }
    input.points = points;
    // The dock's figures belong to the last fit, not to this georeference:
    // its points are placed again.
    if (points.isEmpty()) {
        input.points = m_dock->controlPoints();
        for (ControlPoint& p : input.points)
            p.clearFit();
    }
    input.imageSize = [](const QString& path) { return QImageReader(path).size(); };
    input.model = model;
    input.calibrations = calibrations;
    AccuracyReport report;
    QString error;
    if (!AccuracyReport::build(input, &report, &error) ||
        !AccuracyReportHtml::write(report, folder, &error)) {
        emit logLine(tr("The accuracy report was not written: %1").arg(error));
        return false;
    }
    emit logLine(
        tr("Accuracy report written: %1").arg(QDir::toNativeSeparators(AccuracyReport::htmlFile(folder))));
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
        const QString file = m_scene->layerFile(m_scene->bundleLayer(bundle));
        if (file.isEmpty())
            continue;
        QSet<QString> photosOf;
        for (const auto& cameras : bundle->bundleCameras)
            for (const auto& camera : cameras)
                photosOf.insert(QFileInfo(QString::fromStdString(camera->name)).fileName().toLower());
        if (photosOf.contains(wanted))
            return file;
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
    // The loaded reconstruction that holds most of the file's observations.
    QString nvm, first;
    int most = 0;
    for (const auto& bundle : m_scene->sparseBundles()) {
        const QString candidate = m_scene->layerFile(m_scene->bundleLayer(bundle));
        if (candidate.isEmpty())
            continue;
        if (first.isEmpty())
            first = candidate;
        QVector<ControlPoint> points;
        QString system, error;
        if (!GcpImport::importFile(file, *bundle, &points, &system, &error))
            continue;
        int observations = 0;
        for (const ControlPoint& p : points)
            observations += p.observations.size();
        if (observations > most) {
            most = observations;
            nvm = candidate;
        }
    }
    // Without one, the import against the first says why.
    importFile(file, nvm.isEmpty() ? first : nvm);
}

ControlPointAdjustment::Settings GroundControl::adjustmentSettings() const
{
    return ControlPointAdjustment::Settings::from(m_dock->adjustmentDefaults());
}

void GroundControl::editAdjustmentSettings()
{
    AdjustmentSettingsDialog dialog(m_dock->adjustmentDefaults(), m_window);
    if (dialog.exec() != QDialog::Accepted || dialog.defaults() == m_dock->adjustmentDefaults())
        return;
    const AdjustmentDefaults d = dialog.defaults();
    m_dock->setAdjustmentDefaults(d);
    emit adjustmentSettingsChanged();
    report(tr("Ground control: standard deviations of control points %1 m horizontal, %2 m vertical; of "
              "the photos' GPS %3 m, %4 m (for the next fit)")
               .arg(d.controlHorizontal)
               .arg(d.controlVertical)
               .arg(d.gpsHorizontal)
               .arg(d.gpsVertical));
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

void GroundControl::pickAt(const QString& path, const QPointF& position)
{
    if (!m_dock->pickAction()->isChecked())
        return;
    const int row = m_dock->table()->currentRow();
    if (row < 0) {
        report(tr("Ground control: select the point in the Ground Control dock, then pick it in the photos"));
        return;
    }
    const QString photo = QFileInfo(path).fileName();
    const QString problem = ControlPoint::nameProblem(photo);
    if (!problem.isEmpty()) {
        report(tr("Ground control: the photo's name cannot be kept in the project (%1): rename the photo")
                   .arg(problem));
        return;
    }
    const ControlObservation o{photo, position.x(), position.y()};
    const int photos = m_dock->addObservation(row, o);
    const QString name = m_dock->table()->item(row, GeoRef::Name)->text();
    report(tr("Ground control: %1 at (%2, %3) in %4, seen in %5 photo(s)")
               .arg(name)
               .arg(o.column, 0, 'f', 2)
               .arg(o.row, 0, 'f', 2)
               .arg(o.image)
               .arg(photos),
           3000);
}
