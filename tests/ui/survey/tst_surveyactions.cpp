#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QStandardItem>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtCharts/QChartView>
#include <QtTest>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <osg/Texture2D>

#include <cmath>

#include "TestRasters.h"
#include "core/annotation/KmlReader.h"
#include "core/annotation/KmlWriter.h"
#include "core/survey/SectionProfile.h"
#include "scene/view/OsgWidget.h"
#include "ui/layers/LayerTree.h"
#include "ui/main/MainWindow.h"
#include "ui/survey/ChangeLegend.h"
#include "ui/survey/SectionDialog.h"
#include "ui/survey/SurveyActions.h"
#include "ui/survey/VolumeDialog.h"

// The "&Survey" menu's work through the window, on two surveys' pipeline
// folders as OrthoDsm leaves them (elevation model, orthophoto, photos with
// their EXIF date): the surveys in the tree, their change as a layer, a
// volume kept in its record through save, close and open, a section, contours
// and the records for a GIS.
class TestSurveyActions : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    static constexpr double E = 712000, N = 4123000;

    // Day 2 lowers 4 x 2 m by 0.5 m: from (3, 3) to (7, 5).
    static double ground(int day, double x, double y)
    {
        const bool pit = day == 2 && x > 3 && x < 7 && y > 3 && y < 5;
        return 95 + 0.05 * x + 0.02 * y - (pit ? 0.5 : 0);
    }

    QString makeSurvey(const QString& name, int day, int epsg)
    {
        const QString folder = m_dir.filePath(name);
        QDir().mkpath(folder + "/ortho");
        TestRasters::Spec dsm;
        dsm.width = dsm.height = 200;
        const double t[6] = {E, 0.05, 0, N + 10, 0, -0.05};
        std::copy(t, t + 6, dsm.transform);
        dsm.epsg = epsg;
        dsm.hasNoData = true;
        dsm.noData = -9999;
        dsm.value = [=](int, int c, int r) { return ground(day, (c + 0.5) * 0.05, 10 - (r + 0.5) * 0.05); };
        TestRasters::Spec ortho = dsm;
        ortho.bands = 3;
        ortho.type = GDT_Byte;
        ortho.hasNoData = false;
        ortho.value = [](int b, int, int) { return b * 60; };
        if (!TestRasters::write(folder + "/ortho/dsm.tif", dsm) ||
            !TestRasters::write(folder + "/ortho/orthophoto.tif", ortho))
            return QString();
        // Two photos of the day, as the camera dated them.
        for (int i = 1; i <= 2; ++i) {
            const QString photo = folder + QString("/IMG_000%1.JPG").arg(i);
            QImage(64, 48, QImage::Format_RGB32).save(photo, "JPG");
            QProcess::execute(
                "exiftool", {"-q", "-overwrite_original",
                             QString("-DateTimeOriginal=2026:06:%1 10:00:0%2").arg(11 + day).arg(i), photo});
        }
        return folder;
    }

    static QString treeText(const QStandardItem* item)
    {
        QStringList parts;
        for (int r = 0; r < item->rowCount(); ++r) {
            const QStandardItem* c = item->child(r);
            if (c->data(LayerTree::ItemKindRole).toInt() == LayerTree::TypeChildKind)
                continue;
            const QString inside = treeText(c);
            parts << c->text() + (inside.isEmpty() ? QString() : "[" + inside + "]");
        }
        return parts.join(',');
    }

    // A day file with one context over the pit, and one beside it.
    QString dayFile()
    {
        AnnotationRecord context;
        context.type = "Polygons";
        context.id = 0;
        context.basket = "15000";
        context.locus = "12";
        context.locusDesc = "FI-FILL";
        context.vertices = {osg::Vec3d(E + 2.5, N + 2.5, 95.2), osg::Vec3d(E + 7.5, N + 2.5, 95.3),
                            osg::Vec3d(E + 7.5, N + 5.5, 95.4), osg::Vec3d(E + 2.5, N + 5.5, 95.3)};
        AnnotationRecord other = context;
        other.id = 1;
        other.locus = "13";
        for (osg::Vec3d& v : other.vertices)
            v.y() += 3.5;
        const QString file = m_dir.filePath("2026-06-13_dl.kml");
        QString error;
        if (!KmlWriter::writeFile(file, LayerType::Polygons, "2026-06-13_dl.kml", {context, other}, &error))
            return QString();
        return file;
    }

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(images);
        QVERIFY(m_dir.isValid());
        QVERIFY(!makeSurvey("run1", 1, 32633).isEmpty());
        QVERIFY(!makeSurvey("run2", 2, 32633).isEmpty());
        QVERIFY(!makeSurvey("utm34", 1, 32634).isEmpty());
        QVERIFY(!dayFile().isEmpty());
    }

    void surveysAreFoldersOfTheirDateAndChecked()
    {
        MainWindow w;
        SurveyActions* s = w.surveyActions();
        QString error;
        QVERIFY2(s->addSurvey(m_dir.filePath("run2"), &error), qPrintable(error));
        QVERIFY2(s->addSurvey(m_dir.filePath("run1"), &error), qPrintable(error));
        QCOMPARE(treeText(w.layers()->projectRoot()),
                 QString("Survey 2026-06-13[DSM 2026-06-13],Survey 2026-06-12[DSM 2026-06-12]"));
        const QVector<SiteSurvey> list = s->surveys();
        QCOMPARE(list.size(), 2);
        QCOMPARE(list[0].date, QString("2026-06-12")); // earliest first, whatever the order added
        QCOMPARE(list[0].groundSample, 0.05);
        QVERIFY(!s->addSurvey(m_dir.filePath("run1"), &error));
        QVERIFY2(error.contains("in the project already"), qPrintable(error));
        // Another system, and a folder without an elevation model: refused, the tree as it was.
        QVERIFY(!s->addSurvey(m_dir.filePath("utm34"), &error));
        QVERIFY2(error.contains("EPSG:32634") && error.contains("one survey frame"), qPrintable(error));
        QVERIFY(!s->addSurvey(m_dir.path(), &error));
        QVERIFY2(error.contains("holds no elevation model"), qPrintable(error));
        QCOMPARE(w.layers()->projectRoot()->rowCount(), 2);
        const QStringList said = s->checkSurveys();
        QCOMPARE(said.size(), 1);
        QVERIFY2(said[0].contains("Survey 2026-06-12 and Survey 2026-06-13 agree on stable ground"),
                 qPrintable(said[0]));
    }

    void changeIsALayerWithItsLegend()
    {
        MainWindow w;
        SurveyActions* s = w.surveyActions();
        QString error, file;
        QVERIFY(s->addSurvey(m_dir.filePath("run1"), &error) && s->addSurvey(m_dir.filePath("run2"), &error));
        const QVector<SiteSurvey> list = s->surveys();
        QVERIFY2(s->compareSurveys(list[0], list[1], &file, &error), qPrintable(error));
        QCOMPARE(file, m_dir.filePath("run2/compare/change_2026-06-12_to_2026-06-13.tif"));
        QVERIFY(QFile::exists(file));
        QCOMPARE(
            treeText(w.layers()->projectRoot()),
            QString("Survey 2026-06-12[DSM 2026-06-12],Survey 2026-06-13[DSM 2026-06-13,Change 2026-06-12 "
                    "to 2026-06-13]"));
        const LayerTree::LayerId id = w.layers()->idOfFile(LayerType::Terrain, file);
        QVERIFY(w.sceneView()->hasLayer(id));
        // The two models in the same place would hide the change: switched off.
        for (const SiteSurvey& survey : list)
            QCOMPARE(w.layers()->itemOf(w.layers()->idOfFile(LayerType::Terrain, survey.dsm))->checkState(),
                     Qt::Unchecked);
        QCOMPARE(w.layers()->itemOf(id)->checkState(), Qt::Checked);
        // The later surface wears the change in the diverging ramp: the pit in
        // the ramp's blue end, unchanged ground white.
        struct FindTexture : osg::NodeVisitor {
            FindTexture() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) {}
            void apply(osg::Node& node) override
            {
                const osg::StateSet* state = node.getStateSet();
                const osg::StateAttribute* t =
                    state ? state->getTextureAttribute(0, osg::StateAttribute::TEXTURE) : nullptr;
                if (auto* texture = dynamic_cast<const osg::Texture2D*>(t))
                    image = texture->getImage();
                traverse(node);
            }
            const osg::Image* image = nullptr;
        } find;
        w.sceneView()->layerNode(id)->accept(find);
        QVERIFY(find.image);
        QCOMPARE(find.image->s(), 200);
        const unsigned char* pit = find.image->data(100, 120); // (5, 4) m from the corner
        QCOMPARE(QVector<int>({pit[0], pit[1], pit[2]}), QVector<int>({33, 102, 172}));
        const unsigned char* same = find.image->data(20, 20);
        QCOMPARE(QVector<int>({same[0], same[1], same[2]}), QVector<int>({247, 247, 247}));
        // Not a survey of its own.
        QCOMPARE(s->surveys().size(), 2);
        auto* legend = w.findChild<ChangeLegend*>();
        QVERIFY(legend);
        QCOMPARE(legend->limit(), 0.5);
        auto* dock = qobject_cast<QDockWidget*>(legend->parentWidget());
        QVERIFY(dock && !dock->isHidden()); // hidden until a change is shown
        // A project that holds the change shows its legend when opened.
        QVERIFY(w.writeProjectFile(m_dir.filePath("change.prj")));
        MainWindow reopened;
        QVERIFY(reopened.openProjectFile(m_dir.filePath("change.prj")));
        QCOMPARE(reopened.findChild<ChangeLegend*>()->limit(), 0.5);
        QCOMPARE(reopened.findChild<ChangeLegend*>()->title(),
                 QString("2026-06-13 minus 2026-06-12, metres"));
        // Again: the same layer, read again.
        QVERIFY(s->compareSurveys(list[0], list[1], &file, &error));
        QCOMPARE(w.layers()->layerCount(LayerType::Terrain), 3);
    }

    void volumeSurvivesSaveCloseAndOpen()
    {
        const QString project = m_dir.filePath("site.prj");
        {
            MainWindow w;
            SurveyActions* s = w.surveyActions();
            QString error;
            QVERIFY(s->addSurvey(m_dir.filePath("run1"), &error) &&
                    s->addSurvey(m_dir.filePath("run2"), &error));
            QVERIFY(w.addLayer(m_dir.filePath("2026-06-13_dl.kml"), "2026-06-13_dl.kml", true));
            VolumeDialog dialog(s, &w);
            QCOMPARE(dialog.outlineBox()->count(), 2);
            QCOMPARE(dialog.outlineBox()->itemText(0), QString("L.12 FI-FILL (2026-06-13_dl.kml)"));
            QCOMPARE(dialog.levelBox()->value(), 95.3); // the outline's own vertices
            QCOMPARE(dialog.accuracyBox()->value(), 0.05);
            QVERIFY(dialog.measure()); // between the two surveys
            QCOMPARE(dialog.table()->rowCount(), 1);
            const RecordVolume v = dialog.rows().first().volume;
            QVERIFY2(std::fabs(v.cut - 4.0) < 0.02, qPrintable(QString::number(v.cut))); // 4 x 2 m x 0.5 m
            QVERIFY(std::fabs(v.fill) < 1e-3);
            QCOMPARE(v.area, 15.0);
            QCOMPARE(v.uncertainty, 15.0 * std::sqrt(2.0) * 0.05);
            QCOMPARE(v.method, QString("between surveys 2026-06-12 and 2026-06-13"));
            QVERIFY(dialog.keepInRecord(0));
            QVERIFY(dialog.exportCsv(m_dir.filePath("volumes.csv")));
            QVERIFY(w.writeProjectFile(project));
        }
        // The day file carries it...
        const KmlReader::Result day =
            KmlReader::readFile(m_dir.filePath("2026-06-13_dl.kml"), LayerType::Polygons);
        QCOMPARE(day.records.size(), 2);
        QVERIFY(day.records[0].volume.isSet());
        QVERIFY(!day.records[1].volume.isSet());
        // ...and the project opens with it.
        MainWindow reopened;
        QVERIFY(reopened.openProjectFile(project));
        const LayerTree::LayerId id = reopened.layers()->idOf(LayerType::Polygons, "2026-06-13_dl.kml");
        const QVector<AnnotationRecord> records = reopened.sceneView()->annotationRecords(id);
        QCOMPARE(records.size(), 2);
        QCOMPARE(records[0].volume.cut, day.records[0].volume.cut);
        QCOMPARE(records[0].volume.method, QString("between surveys 2026-06-12 and 2026-06-13"));
        QCOMPARE(reopened.surveyActions()->surveys().size(), 2);
        QVERIFY2(treeText(reopened.layers()->projectRoot())
                     .startsWith("Survey 2026-06-12[DSM 2026-06-12],Survey "
                                 "2026-06-13[DSM 2026-06-13]"),
                 qPrintable(treeText(reopened.layers()->projectRoot())));
        QFile csv(m_dir.filePath("volumes.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QVERIFY(csv.readAll().startsWith("outline,method,cut_m3,fill_m3,net_m3,uncertainty_m3,area_m2\n"
                                         "L.12 FI-FILL (2026-06-13_dl.kml),between surveys 2026-06-12 and "
                                         "2026-06-13,"));
    }

    void badOutlinesAndPlanesAreSaid()
    {
        MainWindow w;
        SurveyActions* s = w.surveyActions();
        QString error;
        QVERIFY(s->addSurvey(m_dir.filePath("run1"), &error) && s->addSurvey(m_dir.filePath("run2"), &error));
        SurveyActions::Outline outside;
        outside.ring = {QPointF(E + 8, N + 8), QPointF(E + 12, N + 8), QPointF(E + 12, N + 12)};
        VolumeCalculator::Result r;
        QVERIFY(!s->measure(outside, VolumeCalculator::Method::TwoSurveys, 1, 0, 0, 0.05, r, &error));
        QVERIFY2(error.contains("partly outside the elevation model"), qPrintable(error));
        QVERIFY(!s->measure(outside, VolumeCalculator::Method::TwoSurveys, 1, 1, 0, 0.05, r, &error));
        QVERIFY2(error.contains("two different surveys"), qPrintable(error));
        // The outline being drawn is measured but is no record to keep it in.
        SurveyActions::Outline drawn;
        drawn.ring = {QPointF(E + 1, N + 1), QPointF(E + 2, N + 1), QPointF(E + 2, N + 2)};
        QVERIFY(s->measure(drawn, VolumeCalculator::Method::Plane, 1, 0, 94, 0.05, r, &error));
        QVERIFY(!s->writeVolume(drawn, r.volume, &error));
        QVERIFY2(error.contains("record it in the \"Polygons\" form"), qPrintable(error));
    }

    void sectionThroughBothSurveys()
    {
        MainWindow w;
        SurveyActions* s = w.surveyActions();
        QString error;
        QVERIFY(s->addSurvey(m_dir.filePath("run1"), &error) && s->addSurvey(m_dir.filePath("run2"), &error));
        SectionProfile p;
        QVERIFY(!s->section(QPointF(E + 5, N + 4), QPointF(E + 5, N + 4), 0.2, p, &error));
        QVERIFY2(error.contains("lie at one place"), qPrintable(error));
        SectionDialog dialog(s, &w);
        dialog.startEdit()->setText(QString("%1 %2").arg(E + 1, 0, 'f', 3).arg(N + 4, 0, 'f', 3));
        dialog.endEdit()->setText(QString("%1 %2").arg(E + 9, 0, 'f', 3).arg(N + 4, 0, 'f', 3));
        QVERIFY(dialog.draw());
        QCOMPARE(dialog.profile().lines.size(), 2);
        QCOMPARE(dialog.profile().lines[1].name, QString("2026-06-13"));
        // Half a metre lower across the pit on the later day, the same elsewhere.
        for (const SectionProfile::Sample& a : dialog.profile().lines[0].samples) {
            const double x = a.x - E;
            const SectionProfile::Sample& b =
                dialog.profile().lines[1].samples[&a - dialog.profile().lines[0].samples.data()];
            if (x > 3.2 && x < 6.8)
                QVERIFY(std::fabs(a.z - b.z - 0.5) < 1e-3);
            else if (x < 2.8 || x > 7.2)
                QVERIFY(std::fabs(a.z - b.z) < 1e-3);
        }
        QCOMPARE(dialog.chartView()->chart()->series().size(), 2);
        QVERIFY(dialog.exportCsv(m_dir.filePath("section.csv")));
        QVERIFY(dialog.exportDxf(m_dir.filePath("section.dxf")));
        QVERIFY(QFile::exists(m_dir.filePath("section.dxf")));
    }

    void contoursAndRecordsForTheGis()
    {
        MainWindow w;
        SurveyActions* s = w.surveyActions();
        QString error, gpkg;
        QVERIFY(s->addSurvey(m_dir.filePath("run2"), &error));
        ContourMaker::Settings settings;
        settings.interval = 0.1;
        QVERIFY2(s->makeContours(s->surveys()[0], settings, &gpkg, &error), qPrintable(error));
        QCOMPARE(gpkg, m_dir.filePath("run2/contours/contours_0.1m.gpkg"));
        QVERIFY(QFile::exists(m_dir.filePath("run2/contours/contours_0.1m.dxf")));
        const LayerTree::LayerId id = w.layers()->idOfFile(LayerType::Terrain, gpkg);
        QVERIFY(w.sceneView()->hasLayer(id));
        settings.interval = 50;
        QVERIFY(!s->makeContours(s->surveys()[0], settings, &gpkg, &error));
        QVERIFY2(error.contains("larger than the relief"), qPrintable(error));
        QVERIFY(!QFile::exists(m_dir.filePath("run2/contours/contours_50m.gpkg")));

        QVERIFY(w.addLayer(m_dir.filePath("2026-06-13_dl.kml"), "2026-06-13_dl.kml", true));
        const QString records = m_dir.filePath("records.gpkg");
        QVERIFY2(s->exportRecords(records, &error), qPrintable(error));
        GDALAllRegister();
        GDALDataset* ds =
            GDALDataset::FromHandle(GDALOpenEx(records.toUtf8(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr));
        QVERIFY(ds);
        OGRLayer* contexts = ds->GetLayerByName("contexts");
        QVERIFY(contexts);
        QCOMPARE(int(contexts->GetFeatureCount()), 2);
        QCOMPARE(QByteArray(contexts->GetSpatialRef()->GetAuthorityCode(nullptr)), QByteArray("32633"));
        GDALClose(ds);
    }
};

QTEST_MAIN(TestSurveyActions)
#include "tst_surveyactions.moc"
