#pragma once

#include <QHash>
#include <QObject>
#include <QPointF>
#include <QString>
#include <QVector>

#include <osg/Array>
#include <osg/ref_ptr>

#include "core/annotation/LayerScene.h"
#include "core/annotation/RecordVolume.h"
#include "core/survey/ContourMaker.h"
#include "core/survey/SiteSurvey.h"
#include "core/survey/VolumeCalculator.h"

class ChangeLegend;
class ElevationGrid;
class LayerTree;
class OsgWidget;
class QStandardItem;
class QWidget;
class SectionProfile;

// The excavation's questions about its surveys, behind the "&Survey" menu:
// several georeferenced surveys of the site in one frame (each in a folder
// of the tree named after its date) and whether they agree on stable
// ground, the change between two of them as a layer, volumes within the
// contexts' outlines, sections, contours and the records for a GIS. The
// computations are core/survey's; this wires them to the tree, the view and
// the files, and says what happened in the log and the status bar.
class QAction;

class SurveyActions : public QObject
{
    Q_OBJECT
public:
    using LayerId = LayerScene::LayerId;

    // drawn: the outline being entered in the "Polygons" form.
    SurveyActions(QWidget* window, LayerTree* layers, OsgWidget* view, osg::ref_ptr<osg::Vec3dArray> drawn,
                  ChangeLegend* legend);

    // The "&Survey" menu's actions, by their texts, start the dialogs.
    void takeMenu(const QHash<QString, QAction*>& actions);

    // The surveys among the loaded terrain layers (their elevation models),
    // earliest first.
    QVector<SiteSurvey> surveys();

    // A pipeline folder with its elevation model (ortho/dsm.tif): a folder
    // "Survey <date>" under the project with the reconstruction and the
    // terrain. Refused when the project's surveys are in another system.
    bool addSurvey(const QString& folder, QString* error);
    // Checks every survey against the one before it; the lines said.
    QStringList checkSurveys();
    // The change from earlier to later written in later's folder and added
    // as a terrain layer; file receives its path.
    bool compareSurveys(const SiteSurvey& earlier, const SiteSurvey& later, QString* file, QString* error);

    // The outlines a volume can be measured in: every polygon record of the
    // loaded day layers, then the outline being drawn (layer noLayer).
    struct Outline {
        LayerId layer = LayerScene::noLayer;
        int index = -1;
        QString label;
        QVector<QPointF> ring;
    };
    QVector<Outline> outlines() const;
    // Measures input (its surfaces named by index into surveys()).
    bool measure(const Outline& outline, VolumeCalculator::Method method, int surface, int earlier,
                 double level, double accuracy, VolumeCalculator::Result& result, QString* error);
    // Keeps the volume in the record and rewrites its day file.
    bool writeVolume(const Outline& outline, const RecordVolume& volume, QString* error);

    // The section along start-end through every survey and the visible clouds.
    bool section(const QPointF& start, const QPointF& end, double width, SectionProfile& out, QString* error);

    // Contours of a survey into its folder (contours/contours_<interval>.gpkg and .dxf), added as a layer.
    bool makeContours(const SiteSurvey& survey, const ContourMaker::Settings& settings, QString* gpkg,
                      QString* error);
    // The finds and contexts of the loaded day layers as a GeoPackage.
    bool exportRecords(const QString& path, QString* error);

    OsgWidget* view() const { return m_view; }

    // The legend follows the last change between surveys among the layers
    // (one opened with a project or through "Add Data").
    void refreshLegend();

public slots:
    // The menu's entries: each asks what it needs and reports.
    void addSurveyDialog();
    void checkSurveysNow();
    void compareSurveysDialog();
    void volumesDialog();
    void sectionDialog();
    void contoursDialog();
    void exportRecordsDialog();

signals:
    void statusMessage(const QString& text, int timeout);
    void logLine(const QString& line);
    // A change between surveys was added as a layer and its legend set.
    void changeShown();

private:
    bool readSurvey(const SiteSurvey& survey, ElevationGrid& grid, QString* error,
                    const QVector<QPointF>* near = nullptr, double margin = 0);
    QStandardItem* surveyFolder(const SiteSurvey& survey);
    void report(const QString& text);
    void refuse(const QString& title, const QString& text);

    QWidget* m_window;
    LayerTree* m_layers;
    OsgWidget* m_view;
    osg::ref_ptr<osg::Vec3dArray> m_drawn;
    ChangeLegend* m_legend;
    QHash<QString, SiteSurvey> m_known; // by elevation model, with its date read once
};
