#include "ui/survey/SurveyActions.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QStandardItem>

#include <gdal.h>

#include <cmath>

#include "core/formats/DrapedPair.h"
#include "core/formats/LayerType.h"
#include "core/io/NumberString.h"
#include "core/survey/DsmDifference.h"
#include "core/survey/ElevationGrid.h"
#include "core/survey/GdalScope.h"
#include "core/survey/RecordsGeoPackage.h"
#include "core/survey/SectionProfile.h"
#include "core/survey/SurveyAgreement.h"
#include "scene/layers/CorridorPoints.h"
#include "scene/view/OsgWidget.h"
#include "ui/layers/LayerTree.h"
#include "ui/survey/ChangeLegend.h"
#include "ui/survey/ContourDialog.h"
#include "ui/survey/SectionDialog.h"
#include "ui/survey/VolumeDialog.h"

namespace
{

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

// The wait cursor for the length of a computation on the window's thread.
struct Busy {
    Busy() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~Busy() { QApplication::restoreOverrideCursor(); }
};

QString clean(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString metres(double v)
{
    return NumberString::length(std::round(v * 1000) / 1000);
}

} // namespace

SurveyActions::SurveyActions(QWidget* window, LayerTree* layers, OsgWidget* view,
                             osg::ref_ptr<osg::Vec3dArray> drawn, ChangeLegend* legend)
    : QObject(window), m_window(window), m_layers(layers), m_view(view), m_drawn(std::move(drawn)),
      m_legend(legend)
{
}

void SurveyActions::takeMenu(const QHash<QString, QAction*>& actions)
{
    const std::pair<const char*, void (SurveyActions::*)()> menu[] = {
        {"&Add Survey...", &SurveyActions::addSurveyDialog},
        {"&Check Surveys", &SurveyActions::checkSurveysNow},
        {"Compare Surveys", &SurveyActions::compareSurveysDialog},
        {"&Volumes...", &SurveyActions::volumesDialog},
        {"&Section...", &SurveyActions::sectionDialog},
        {"&Contours...", &SurveyActions::contoursDialog},
        {"&Export Records...", &SurveyActions::exportRecordsDialog}};
    for (const auto& [name, work] : menu)
        if (QAction* action = actions.value(QLatin1String(name)))
            connect(action, &QAction::triggered, this, work);
}

void SurveyActions::report(const QString& text)
{
    emit logLine(text);
    emit statusMessage(text, 4000);
}

void SurveyActions::refuse(const QString& title, const QString& text)
{
    emit logLine(text);
    QMessageBox::warning(m_window, title, text);
}

QVector<SiteSurvey> SurveyActions::surveys()
{
    QVector<SiteSurvey> out;
    QStringList seen;
    for (const LayerTree::Layer& l : m_layers->layers()) {
        const QString file = QString::fromUtf8(l.file);
        if (l.type != LayerType::Terrain || !l.loaded ||
            !LayerType::fileNameOf(file).contains(QLatin1String(".tif")))
            continue;
        const DrapedPair pair = DrapedPair::of(file);
        if (pair.dsm.isEmpty() || !pair.difference.isEmpty())
            continue;
        const QString key = clean(pair.dsm);
        if (seen.contains(key))
            continue;
        seen << key;
        auto known = m_known.find(key);
        if (known == m_known.end()) {
            SiteSurvey s;
            if (!SiteSurvey::of(key, s, nullptr))
                continue;
            known = m_known.insert(key, s);
        }
        out.push_back(*known);
    }
    SiteSurvey::sortByDate(out);
    return out;
}

QStandardItem* SurveyActions::surveyFolder(const SiteSurvey& survey)
{
    QStandardItem* root = m_layers->projectRoot();
    for (int i = 0; i < root->rowCount(); ++i) {
        QStandardItem* child = root->child(i);
        if (child->data(LayerTree::ItemKindRole).toInt() == LayerTree::FolderKind &&
            child->text() == survey.label())
            return child;
    }
    return root;
}

bool SurveyActions::addSurvey(const QString& folder, QString* error)
{
    const QString dsm = QDir(folder).filePath(QStringLiteral("ortho/") + DrapedPair::dsmName());
    if (!QFileInfo(dsm).isFile())
        return fail(error,
                    tr("%1 holds no elevation model (ortho/dsm.tif): run \"&Orthophoto and DSM\" on the "
                       "georeferenced reconstruction first.")
                        .arg(folder));
    SiteSurvey survey;
    if (!SiteSurvey::of(dsm, survey, error))
        return false;
    for (const SiteSurvey& other : surveys()) {
        if (other.dsm == survey.dsm)
            return fail(error, tr("%1 is in the project already.").arg(other.label()));
        if (other.epsg != survey.epsg)
            return fail(
                error,
                tr("%1 is in %2, but %3 is in %4: the surveys of a site must share one survey "
                   "frame. Georeference it in the project's system first.")
                    .arg(survey.label(),
                         survey.epsg > 0 ? QStringLiteral("EPSG:%1").arg(survey.epsg) : tr("no system"),
                         other.label(),
                         other.epsg > 0 ? QStringLiteral("EPSG:%1").arg(other.epsg) : tr("no system")));
    }
    const int project = m_view->referenceSystem();
    if (project > 0 && survey.epsg > 0 && project != survey.epsg)
        return fail(error, tr("%1 is in EPSG:%2, the project's survey coordinates in EPSG:%3.")
                               .arg(survey.label())
                               .arg(survey.epsg)
                               .arg(project));
    m_known.insert(clean(survey.dsm), survey);
    QStandardItem* item = m_layers->addFolder(m_layers->projectRoot());
    item->setText(survey.label());
    QString why;
    if (!m_layers->addLayer(survey.dsm,
                            tr("DSM %1").arg(survey.date.isEmpty() ? survey.label() : survey.date), true,
                            item, &why)) {
        m_layers->projectRoot()->removeRow(item->row());
        return fail(error, why);
    }
    const QString nvm = QDir(survey.folder).filePath(QStringLiteral("sparse.nvm"));
    if (QFileInfo(nvm).isFile() &&
        !m_layers->addLayer(nvm, tr("Reconstruction %1").arg(survey.date), true, item, &why))
        emit logLine(why);
    report(tr("%1 added: %2, ground sample %3 m, EPSG:%4")
               .arg(survey.label(), survey.folder, metres(survey.groundSample))
               .arg(survey.epsg));
    if (surveys().size() > 1)
        checkSurveys();
    return true;
}

bool SurveyActions::readSurvey(const SiteSurvey& survey, ElevationGrid& grid, QString* error,
                               const QVector<QPointF>* near, double margin)
{
    if (!near)
        return ElevationGrid::read(survey.dsm, grid, error);
    ElevationGrid::Window w{1e300, 1e300, -1e300, -1e300};
    for (const QPointF& p : *near) {
        w.minX = std::min(w.minX, p.x() - margin);
        w.minY = std::min(w.minY, p.y() - margin);
        w.maxX = std::max(w.maxX, p.x() + margin);
        w.maxY = std::max(w.maxY, p.y() + margin);
    }
    if (!ElevationGrid::read(survey.dsm, grid, error, &w, 2)) {
        if (error)
            *error = tr("%1: %2").arg(survey.label(), *error);
        return false;
    }
    return true;
}

QStringList SurveyActions::checkSurveys()
{
    Busy busy;
    QStringList said;
    const QVector<SiteSurvey> list = surveys();
    for (int i = 1; i < list.size(); ++i) {
        const SiteSurvey& a = list[i - 1];
        const SiteSurvey& b = list[i];
        ElevationGrid ga, gb;
        QString error;
        SurveyAgreement::Result r;
        if (!readSurvey(a, ga, &error) || !readSurvey(b, gb, &error) ||
            !SurveyAgreement::check(ga, gb, std::max(a.groundSample, b.groundSample), r, &error)) {
            said << tr("%1 and %2 cannot be compared: %3").arg(a.label(), b.label(), error);
            continue;
        }
        said << SurveyAgreement::message(r, a.label(), b.label());
    }
    for (const QString& line : said)
        emit logLine(line);
    if (!said.isEmpty())
        emit statusMessage(said.last(), 6000);
    return said;
}

bool SurveyActions::compareSurveys(const SiteSurvey& earlier, const SiteSurvey& later, QString* file,
                                   QString* error)
{
    Busy busy;
    ElevationGrid a, b, d;
    DsmDifference::Summary summary;
    if (!readSurvey(earlier, a, error) || !readSurvey(later, b, error) ||
        !DsmDifference::compute(a, b, d, summary, error))
        return false;
    const QString out =
        DsmDifference::fileFor(later.folder, earlier.date.isEmpty() ? earlier.label() : earlier.date,
                               later.date.isEmpty() ? later.label() : later.date);
    if (!DsmDifference::write(out, d, summary, later.dsm, earlier.date, later.date, error))
        return false;
    if (file)
        *file = out;
    const LayerId existing = m_layers->idOfFile(LayerType::Terrain, out);
    QString why;
    if (existing != LayerScene::noLayer) {
        if (!m_layers->reloadLayer(existing, &why))
            return fail(error, why);
    } else if (!m_layers->addLayer(out, tr("Change %1 to %2").arg(earlier.date, later.date), true,
                                   surveyFolder(later), &why)) {
        return fail(error, why);
    }
    if (m_legend)
        m_legend->setChange(summary.rampLimit, earlier.date, later.date);
    // The change lies on the later surface: the two models drawn in the same
    // place would hide it, so they are switched off (their check boxes bring
    // them back).
    QStringList hidden;
    for (const SiteSurvey* s : {&earlier, &later}) {
        const LayerId id = m_layers->idOfFile(LayerType::Terrain, s->dsm);
        QStandardItem* item = m_layers->itemOf(id);
        if (item && item->checkState() == Qt::Checked) {
            item->setCheckState(Qt::Unchecked);
            hidden << item->text();
        }
    }
    emit changeShown();
    report(
        tr("Change from %1 to %2: %3 cells, from %4 m to %5 m (the ramp spans ±%6 m), written to %7")
            .arg(earlier.label(), later.label())
            .arg(summary.cells)
            .arg(metres(summary.low), metres(summary.high), metres(summary.rampLimit), out) +
        (hidden.isEmpty() ? QString() : tr("; %1 switched off so it shows").arg(hidden.join(tr(" and ")))));
    return true;
}

void SurveyActions::refreshLegend()
{
    const QVector<LayerTree::Layer>& layers = m_layers->layers();
    for (auto it = layers.rbegin(); it != layers.rend(); ++it) {
        const QString file = QString::fromUtf8(it->file);
        if (it->type != LayerType::Terrain || !it->loaded ||
            !LayerType::fileNameOf(file).contains(QLatin1String(".tif")))
            continue;
        const DrapedPair pair = DrapedPair::of(file);
        if (pair.difference.isEmpty())
            continue;
        QString earlier, later;
        {
            GdalScope scope;
            if (GDALDatasetH ds = GDALOpenEx(QFile::encodeName(file).constData(),
                                             GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr)) {
                earlier = QString::fromUtf8(GDALGetMetadataItem(ds, "ORVALIS_EARLIER", nullptr));
                later = QString::fromUtf8(GDALGetMetadataItem(ds, "ORVALIS_LATER", nullptr));
                GDALClose(ds);
            }
        }
        if (m_legend)
            m_legend->setChange(pair.rampLimit, earlier, later);
        emit changeShown();
        return;
    }
}

QVector<SurveyActions::Outline> SurveyActions::outlines() const
{
    QVector<Outline> out;
    for (const LayerTree::Layer& l : m_layers->layers()) {
        if (l.type != LayerType::Polygons)
            continue;
        const QVector<AnnotationRecord> records = m_view->annotationRecords(l.id);
        for (int i = 0; i < records.size(); ++i) {
            Outline o;
            o.layer = l.id;
            o.index = i;
            const QStandardItem* item = m_layers->itemOf(l.id);
            o.label =
                tr("L.%1 %2 (%3)").arg(records[i].locus, records[i].locusDesc, item ? item->text() : l.name);
            for (const osg::Vec3d& v : records[i].vertices)
                o.ring.push_back(QPointF(v.x(), v.y()));
            out.push_back(o);
        }
    }
    if (m_drawn && m_drawn->size() >= 3) {
        Outline o;
        o.label = tr("The outline being drawn (%1 vertices)").arg(m_drawn->size());
        for (const osg::Vec3d& v : *m_drawn)
            o.ring.push_back(QPointF(v.x(), v.y()));
        out.push_back(o);
    }
    return out;
}

bool SurveyActions::measure(const Outline& outline, VolumeCalculator::Method method, int surface, int earlier,
                            double level, double accuracy, VolumeCalculator::Result& result, QString* error)
{
    Busy busy;
    const QVector<SiteSurvey> list = surveys();
    if (surface < 0 || surface >= list.size() ||
        (method == VolumeCalculator::Method::TwoSurveys && (earlier < 0 || earlier >= list.size())))
        return fail(error, tr("Choose the surveys to measure between."));
    if (method == VolumeCalculator::Method::TwoSurveys && earlier == surface)
        return fail(error, tr("Choose two different surveys."));
    ElevationGrid top, base;
    const double margin = 4 * list[surface].dsmCell;
    if (!readSurvey(list[surface], top, error, &outline.ring, margin))
        return false;
    VolumeCalculator::Input in;
    in.method = method;
    in.polygon = outline.ring;
    in.surface = &top;
    in.surfaceName = list[surface].date.isEmpty() ? list[surface].label() : list[surface].date;
    in.surfaceAccuracy = accuracy;
    in.level = level;
    if (method == VolumeCalculator::Method::TwoSurveys) {
        if (!readSurvey(list[earlier], base, error, &outline.ring, margin))
            return false;
        in.earlier = &base;
        in.earlierName = list[earlier].date.isEmpty() ? list[earlier].label() : list[earlier].date;
        in.earlierAccuracy = accuracy;
    }
    if (!VolumeCalculator::compute(in, result, error))
        return false;
    emit logLine(tr("Volume in %1, %2: cut %3 m³, fill %4 m³, net %5 m³ ± %6 m³ over %7 m²")
                     .arg(outline.label, result.volume.method, NumberString::length(result.volume.cut),
                          NumberString::length(result.volume.fill), NumberString::length(result.volume.net),
                          NumberString::length(result.volume.uncertainty),
                          NumberString::length(result.volume.area)));
    return true;
}

bool SurveyActions::writeVolume(const Outline& outline, const RecordVolume& volume, QString* error)
{
    const LayerTree::Layer* layer = m_layers->layer(outline.layer);
    if (!layer)
        return fail(error,
                    tr("The outline being drawn is no record yet: record it in the \"Polygons\" form, then "
                       "measure it again to keep its volume."));
    if (!m_view->setAnnotationVolume(outline.layer, outline.index, volume))
        return fail(error, tr("The record is no longer in its layer."));
    const QString file = QString::fromUtf8(layer->file);
    if (!m_view->saveAnnotationLayer(outline.layer, file, error))
        return false;
    report(tr("Volume kept in %1 and its day file %2").arg(outline.label, file));
    return true;
}

bool SurveyActions::section(const QPointF& start, const QPointF& end, double width, SectionProfile& out,
                            QString* error)
{
    if (!SectionProfile::checkLine(start, end, width, error))
        return false;
    Busy busy;
    out = SectionProfile();
    out.start = start;
    out.end = end;
    out.width = width;
    const QVector<QPointF> line{start, end};
    QStringList missed;
    for (const SiteSurvey& s : surveys()) {
        ElevationGrid g;
        QString why;
        if (!readSurvey(s, g, &why, &line, width / 2 + 4 * s.dsmCell)) {
            missed << why;
            continue;
        }
        out.lines.push_back(SectionProfile::sample(g, start, end, s.date.isEmpty() ? s.label() : s.date));
    }
    size_t skipped = 0;
    const std::vector<double> xyz = CorridorPoints::collect(m_view->pointClouds(), start.x(), start.y(),
                                                            end.x(), end.y(), width, 200000, &skipped);
    const double origin[3] = {0, 0, 0};
    out.cloud = SectionProfile::corridor(xyz.data(), xyz.size() / 3, origin, start, end, width);
    for (const QString& m : missed)
        emit logLine(tr("Section: %1").arg(m));
    if (skipped > 0)
        emit logLine(tr("Section: %1 more cloud points in the corridor left out").arg(skipped));
    if (out.lines.isEmpty() && out.cloud.isEmpty())
        return fail(error, missed.isEmpty()
                               ? tr("No survey and no visible point cloud lies along the section.")
                               : missed.join(QLatin1Char('\n')));
    return true;
}

bool SurveyActions::makeContours(const SiteSurvey& survey, const ContourMaker::Settings& settings,
                                 QString* gpkg, QString* error)
{
    Busy busy;
    ElevationGrid g;
    if (!readSurvey(survey, g, error))
        return false;
    const QString folder = QDir(survey.folder).filePath(QStringLiteral("contours"));
    if (!QDir().mkpath(folder))
        return fail(error, tr("%1: cannot make the folder").arg(folder));
    const QString base =
        QDir(folder).filePath(QStringLiteral("contours_%1m").arg(NumberString::shortest(settings.interval)));
    const QString out = base + QStringLiteral(".gpkg");
    ContourMaker::Result r;
    if (!ContourMaker::make(g, settings, out, base + QStringLiteral(".dxf"), r, error))
        return false;
    if (gpkg)
        *gpkg = out;
    const LayerId existing = m_layers->idOfFile(LayerType::Terrain, out);
    QString why;
    if (existing != LayerScene::noLayer) {
        if (!m_layers->reloadLayer(existing, &why))
            return fail(error, why);
    } else if (!m_layers->addLayer(
                   out, tr("Contours %1 m %2").arg(NumberString::shortest(settings.interval), survey.date),
                   true, surveyFolder(survey), &why)) {
        return fail(error, why);
    }
    emit logLine(ContourMaker::describe(settings, std::min(g.cellX, g.cellY)));
    report(tr("Contours of %1: %2 lines at %3 levels (%4 small ones left out), written to %5 and .dxf")
               .arg(survey.label())
               .arg(r.lines)
               .arg(r.levels)
               .arg(r.dropped)
               .arg(out));
    return true;
}

bool SurveyActions::exportRecords(const QString& path, QString* error)
{
    QVector<RecordsGeoPackage::Layer> finds, contexts;
    for (const LayerTree::Layer& l : m_layers->layers()) {
        if (l.type != LayerType::Points && l.type != LayerType::Polygons)
            continue;
        const QStandardItem* item = m_layers->itemOf(l.id);
        RecordsGeoPackage::Layer layer{item ? item->text() : l.name, m_view->annotationRecords(l.id)};
        (l.type == LayerType::Points ? finds : contexts).push_back(layer);
    }
    int skipped = 0;
    if (!RecordsGeoPackage::write(path, m_view->referenceSystem(), finds, contexts, error, &skipped))
        return false;
    report(tr("Finds and contexts written to %1 (EPSG:%2)%3")
               .arg(path)
               .arg(m_view->referenceSystem())
               .arg(skipped > 0 ? tr("; %1 outline(s) of fewer than three vertices left out").arg(skipped)
                                : QString()));
    return true;
}

// ---- The menu's entries -------------------------------------------------------------

void SurveyActions::addSurveyDialog()
{
    const QString folder = QFileDialog::getExistingDirectory(m_window, tr("Add Survey: the pipeline folder"),
                                                             QDir::currentPath());
    if (folder.isEmpty())
        return;
    QString error;
    if (!addSurvey(folder, &error))
        refuse(tr("Add Survey"), error);
}

void SurveyActions::checkSurveysNow()
{
    const QStringList said = checkSurveys();
    QMessageBox::information(m_window, tr("Check Surveys"),
                             said.isEmpty() ? tr("Add two surveys of the site first (\"&Add Survey...\").")
                                            : said.join(QStringLiteral("\n\n")));
}

void SurveyActions::compareSurveysDialog()
{
    const QVector<SiteSurvey> list = surveys();
    if (list.size() < 2) {
        refuse(tr("Compare Surveys"),
               tr("Compare Surveys needs two surveys of the site: add them with \"&Add "
                  "Survey...\" first."));
        return;
    }
    int earlier = 0, later = 1;
    if (list.size() > 2) {
        QStringList names;
        for (const SiteSurvey& s : list)
            names << s.label();
        bool ok = false;
        const QString a = QInputDialog::getItem(m_window, tr("Compare Surveys"), tr("Earlier survey"), names,
                                                0, false, &ok);
        if (!ok)
            return;
        const QString b = QInputDialog::getItem(m_window, tr("Compare Surveys"), tr("Later survey"), names,
                                                names.size() - 1, false, &ok);
        if (!ok)
            return;
        earlier = names.indexOf(a);
        later = names.indexOf(b);
    }
    if (earlier == later) {
        refuse(tr("Compare Surveys"), tr("Choose two different surveys."));
        return;
    }
    QString error;
    if (!compareSurveys(list[earlier], list[later], nullptr, &error))
        refuse(tr("Compare Surveys"), error);
}

void SurveyActions::volumesDialog()
{
    VolumeDialog dialog(this, m_window);
    dialog.exec();
}

void SurveyActions::sectionDialog()
{
    auto* dialog = new SectionDialog(this, m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void SurveyActions::contoursDialog()
{
    const QVector<SiteSurvey> list = surveys();
    if (list.isEmpty()) {
        refuse(tr("Contours"), tr("Open an elevation model first (\"&Add Survey...\" or \"Add Data\")."));
        return;
    }
    QStringList names;
    for (const SiteSurvey& s : list)
        names << s.label();
    ContourDialog dialog(names, list.first().dsmCell, m_window);
    if (dialog.exec() != QDialog::Accepted)
        return;
    QString error;
    if (!makeContours(list[dialog.survey()], dialog.settings(), nullptr, &error))
        refuse(tr("Contours"), error);
}

void SurveyActions::exportRecordsDialog()
{
    QString path = QFileDialog::getSaveFileName(m_window, tr("Export Records"), QDir::currentPath(),
                                                tr("GeoPackage (*.gpkg)"));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QLatin1String(".gpkg"), Qt::CaseInsensitive))
        path += QStringLiteral(".gpkg");
    QString error;
    if (!exportRecords(path, &error))
        refuse(tr("Export Records"), error);
}
