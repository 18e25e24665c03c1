#include <QtTest>

#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTreeView>

#include "ui/annotation/AnnotationInput.h"
#include "scene/annotation/AnnotationLayer.h"
#include "core/annotation/KmlReader.h"
#include "core/annotation/KmlWriter.h"
#include "ui/layers/LayerTree.h"
#include "ui/main/MainWindow.h"
#include "scene/view/OsgWidget.h"
#include "ui/annotation/PointForm.h"
#include "ui/annotation/PolygonForm.h"
#include "core/net/TCPServer.h"
#include "SharedData.h"
#include "WireCodec.h"

namespace
{

// The picking side as the forms see it: one waiting pick, and a log of calls.
class FakePicker : public AnnotationPicker
{
public:
    QStringList calls;
    bool hasPick = false;
    osg::Vec3d pick;

    void setPointInput(bool on) override { calls << QString("point %1").arg(on); }
    void setPolygonInput(bool on) override { calls << QString("polygon %1").arg(on); }
    bool takeNewPick(osg::Vec3d& position) override
    {
        if (!hasPick)
            return false;
        hasPick = false;
        position = pick;
        return true;
    }
    void movePointMarker(const osg::Vec3d&) override { calls << "marker"; }
    void removePointMarker() override { calls << "no marker"; }
    void extendPolygonPreview(const osg::Vec3d&) override { calls << "extend"; }
    void removePolygonPreview() override { calls << "no preview"; }
};

void writeText(const QString& path, const QByteArray& text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

// An application folder of our own: value files, the shipped icons, and room
// for day files that no other test sees.
struct AppFolder {
    QTemporaryDir dir;
    QString path() const { return dir.path(); }
    QString project() const { return dir.path() + "/project/"; }

    explicit AppFolder(bool withProjectFolder = true)
    {
        if (withProjectFolder) {
            QDir().mkpath(project());
            writeText(project() + "d_code.txt", "PO|PO-POTTERY\nXX|XX-NO_ICON\n");
            writeText(project() + "locusdesc.txt", "FL|FL-FLOOR\nQX|QX-QUARRY\n");
            writeText(project() + "siteyear.txt", "Tel Orvalis,2015\n");
            writeText(project() + "lociRange.txt", "5-8\n");
            writeText(project() + "squareRange.txt", "A1,A2\n");
            writeText(project() + "areaRange.txt", "B,C\n");
        }
        QDir().mkpath(dir.path() + "/d_code");
        for (const char* icon : {"PO.png", "generic.png"})
            QFile::copy(QString(ORVALIS_APP_DIR "/d_code/") + icon, dir.path() + "/d_code/" + QLatin1String(icon));
    }
    void use(MainWindow& w) const
    {
        w.layers()->setApplicationFolder(path());
        w.annotationInput()->setApplicationFolder(path());
    }
};

QStringList rowLabels(QWidget* form)
{
    auto* grid = form->findChild<QGridLayout*>();
    QStringList out;
    for (int r = 0; r < grid->rowCount(); ++r) {
        QLayoutItem* item = grid->itemAtPosition(r, 0);
        if (!item || !item->widget())
            continue;
        if (auto* label = qobject_cast<QLabel*>(item->widget()))
            out << label->text();
        else if (auto* button = qobject_cast<QPushButton*>(item->widget()))
            out << button->text();
    }
    return out;
}

QStringList childTexts(QStandardItem* item)
{
    QStringList out;
    for (int r = 0; item && r < item->rowCount(); ++r)
        out << item->child(r)->text();
    return out;
}

void setDate(AnnotationForm* form, const QString& date)
{
    form->dateEdit()->setFocus();
    form->dateEdit()->clear();
    QTest::keyClicks(form->dateEdit(), date);
    QTest::keyClick(form->dateEdit(), Qt::Key_Return); // editingFinished
}

void setPosition(PointForm* form, const QString& x, const QString& y, const QString& z)
{
    form->xEdit()->setText(x);
    form->yEdit()->setText(y);
    form->zEdit()->setText(z);
}

QVector<AnnotationRecord> dayFile(const QString& path, LayerType::Code type)
{
    return KmlReader::readFile(path, type).records;
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

} // namespace

class TestAnnotationInput : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Q_INIT_RESOURCE(images); }

    void formsHaveTheirRowsAndDefaults()
    {
        MainWindow w;
        AppFolder app;
        app.use(w);
        PointForm* p = w.pointForm();
        PolygonForm* g = w.polygonForm();
        QCOMPARE(rowLabels(p),
                 (QStringList{"Date", "Basket", "EDM", "d_code", "Locus", "Square", "Area", "Site", "Year",
                              "x(m)", "y(m)", "z(m)", "&Toggle Record", "&Record"}));
        QCOMPARE(rowLabels(g), (QStringList{"Date", "Basket", "EDM", "d_code", "locus_desc", "Locus",
                                            "Square", "Area", "Site", "Year", "&Toggle Record", "&Record"}));
        QCOMPARE(p->basketEdit()->text(), QString("10000"));
        QCOMPARE(g->basketEdit()->text(), QString("15000"));
        QCOMPARE(p->edmEdit()->text() + g->edmEdit()->text(), QString("11"));
        QCOMPARE(p->getButton()->text(), QString("&Get Coord"));
        QCOMPARE(g->getButton()->text(), QString("&Get Vertice"));
        // Coordinates take every digit a position may have; 15 characters cut them.
        QCOMPARE(p->xEdit()->maxLength(), 32);
        QCOMPARE(g->siteEdit()->maxLength(), 15);
        QCOMPARE(p->dCodeList()->currentText(), QString("PO-POTTERY"));
        QCOMPARE(g->dCodeList()->count(), 3);
        QCOMPARE(g->dCodeList()->currentText(), QString("PS-PERIMETER_START"));
        QCOMPARE(g->locusDescList()->currentText(), QString("FL-FLOOR"));
        QStringList loci;
        for (int i = 0; i < p->locusList()->count(); ++i)
            loci << p->locusList()->itemText(i);
        QCOMPARE(loci, (QStringList{"5", "6", "7", "8"}));
        QCOMPARE(p->siteEdit()->text() + "/" + g->yearEdit()->text(), QString("Tel Orvalis/2015"));
    }

    void dateInOneFormSwitchesBoth()
    {
        MainWindow w;
        AppFolder app;
        app.use(w);
        setDate(w.pointForm(), "2015-03-01");
        QCOMPARE(w.polygonForm()->dateEdit()->text(), QString("2015-03-01"));
        const AnnotationStore& store = w.annotationInput()->store();
        QCOMPARE(store.layerName(LayerType::Points), QString("2015-03-01_sf.kml"));
        QCOMPARE(store.layerName(LayerType::Polygons), QString("2015-03-01_dl.kml"));
        setDate(w.polygonForm(), "2015-03-02");
        QCOMPARE(w.pointForm()->dateEdit()->text(), QString("2015-03-02"));
        QCOMPARE(store.layerName(LayerType::Points), QString("2015-03-02_sf.kml"));
    }

    void pointWithoutPositionIsRefused_data()
    {
        QTest::addColumn<QString>("x");
        QTest::addColumn<QString>("y");
        QTest::addColumn<QString>("z");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("message");
        const QString day = "2015-03-01";
        const QString empty = "Spatial Data cannot be Empty or 0!";
        QTest::newRow("x is 0") << "0" << "2" << "3" << day << empty;
        QTest::newRow("z empty") << "1" << "2" << "" << day << empty;
        QTest::newRow("not a number") << "1" << "2m" << "3" << day << "Spatial Data must be numbers!";
        QTest::newRow("no date") << "1" << "2" << "3" << "" << "Date cannot be Empty!";
        QTest::newRow("date that is no file name")
            << "1" << "2" << "3" << "01/03/2015" << "Date cannot name a day file: 01/03/2015";
    }
    void pointWithoutPositionIsRefused()
    {
        QFETCH(QString, x);
        QFETCH(QString, y);
        QFETCH(QString, z);
        QFETCH(QString, date);
        QFETCH(QString, message);
        MainWindow w;
        AppFolder app;
        app.use(w);
        if (!date.isEmpty())
            setDate(w.pointForm(), date);
        setPosition(w.pointForm(), x, y, z);
        w.commandServer()->setPort(freePort()); // not 28005, which another program may hold
        w.getPointToggle(true);
        w.pointForm()->toggleButton()->setChecked(true);
        const AnnotationInput::Outcome outcome = w.annotationInput()->recordPoint();
        QVERIFY(!outcome.recorded);
        QCOMPARE(outcome.message, message);
        QCOMPARE(w.layers()->layerCount(LayerType::Points), 0);
        QCOMPARE(w.pointForm()->xEdit()->text(), x);
        QCOMPARE(w.pointForm()->basketEdit()->text(), QString("10000"));
        QVERIFY(w.annotationInput()->pointInput());
        QCOMPARE(QDir(app.project()).entryList({"*.kml"}), QStringList());
        w.getPointToggle(false);
    }

    void recordingPointsFillsLayerFileSceneAndTree()
    {
        MainWindow w;
        AppFolder app;
        app.use(w);
        FakePicker picker;
        w.annotationInput()->setPicker(&picker);
        w.commandServer()->setPort(freePort());
        setDate(w.pointForm(), "2015-03-01");
        w.pointForm()->toggleButton()->setChecked(true);
        QVERIFY(w.commandServer()->isListening());
        setPosition(w.pointForm(), "1.5", "2", "3");
        QTest::mouseClick(w.pointForm()->recordButton(), Qt::LeftButton);

        QVERIFY(!w.pointForm()->toggleButton()->isChecked());
        QVERIFY(!w.commandServer()->isListening());
        QVERIFY(!w.annotationInput()->pointInput());
        QVERIFY(picker.calls.endsWith("no marker"));
        QCOMPARE(w.pointForm()->basketEdit()->text(), QString("10001"));
        QCOMPARE(w.pointForm()->xEdit()->text() + w.pointForm()->yEdit()->text() +
                     w.pointForm()->zEdit()->text(),
                 QString("000"));

        // A second find with an unknown code, and one with a basket that is no number.
        w.pointForm()->dCodeList()->setCurrentIndex(1);
        setPosition(w.pointForm(), "4", "5", "6");
        QVERIFY(w.annotationInput()->recordPoint().recorded);
        w.pointForm()->basketEdit()->setText("abc");
        setPosition(w.pointForm(), "7", "8", "9");
        QVERIFY(w.annotationInput()->recordPoint().recorded);
        QCOMPARE(w.pointForm()->basketEdit()->text(), QString("1"));

        QStandardItem* layer = w.layers()->findLayerItem(LayerType::Points, "2015-03-01_sf.kml");
        QVERIFY(layer);
        QCOMPARE(layer->data(LayerTree::TypeCodeRole).toInt(), int(LayerType::Points));
        QCOMPARE(childTexts(layer), (QStringList{"Type: Points", "B.10000 PO-POTTERY", "B.10001 XX-NO_ICON",
                                                 "B.abc XX-NO_ICON"}));
        QStandardItem* record = layer->child(1);
        QCOMPARE(record->data(LayerTree::ItemKindRole).toInt(), int(LayerTree::RecordKind));
        QVERIFY(!(record->flags() & (Qt::ItemIsEditable | Qt::ItemIsUserCheckable | Qt::ItemIsDragEnabled)));
        QVERIFY(!record->icon().isNull());
        QVERIFY(!layer->child(2)->icon().isNull()); // the generic icon

        const QVector<AnnotationRecord> file =
            dayFile(app.project() + "2015-03-01_sf.kml", LayerType::Points);
        QCOMPARE(file.size(), 3);
        QCOMPARE(file[0].id, 0);
        QCOMPARE(file[2].id, 2);
        QCOMPARE(file[0].position, osg::Vec3d(1.5, 2.0, 3.0));
        QCOMPARE(file[1].dCode, QString("XX-NO_ICON"));
        QCOMPARE(file[0].site, QString("Tel Orvalis"));
        QCOMPARE(w.sceneView()->annotations()->layer(LayerType::Points, 0)->records().size(), 3);

        // The label toggle and "Save Edits" act on the current layer.
        w.layerView()->setCurrentIndex(layer->index());
        AnnotationLayer* scene = w.sceneView()->annotations()->layer(LayerType::Points, 0);
        w.toggleLabels();
        QCOMPARE(scene->labelNode(2)->getNodeMask(), 0u);
        w.toggleLabels();
        QVERIFY(scene->labelNode(2)->getNodeMask() != 0u);
        QVERIFY(QFile::remove(app.project() + "2015-03-01_sf.kml"));
        w.saveEditsPoints();
        QCOMPARE(dayFile(app.project() + "2015-03-01_sf.kml", LayerType::Points).size(), 3);

        layer->setCheckState(Qt::Unchecked);
        QVERIFY(!scene->isVisible());
    }

    void polygonNeedsThreeVerticesAndClearsItsRows()
    {
        MainWindow w;
        AppFolder app;
        app.use(w);
        w.commandServer()->setPort(freePort());
        setDate(w.polygonForm(), "2015-03-01");
        w.polygonForm()->locusList()->setCurrentText("5");
        w.polygonForm()->toggleButton()->setChecked(true);
        w.updateFromServerPos("0,0,0");
        w.updateFromServerPos("1,0,0");
        AnnotationInput::Outcome outcome = w.annotationInput()->recordPolygon();
        QCOMPARE(outcome.message, QString("Spatial Data must have minimum 3 vertices!"));
        QCOMPARE(w.polygonForm()->vertexRowCount(), 2);
        QCOMPARE(int(w.annotationInput()->vertices().size()), 2);

        w.updateFromServerPos("1,1,0");
        w.updateFromServerPos("0,1,0.5");
        QCOMPARE(w.polygonForm()->vertexRowCount(), 4);
        QCOMPARE(w.polygonForm()->vertexEdit(3)->text(), QString("x:0 y:1 z:0.5"));
        outcome = w.annotationInput()->recordPolygon();
        QVERIFY(outcome.recorded);
        QVERIFY(outcome.message.isEmpty());
        QCOMPARE(w.polygonForm()->vertexRowCount(), 0);
        QCOMPARE(w.polygonForm()->findChildren<QLineEdit*>().size(), 5); // the five text fields only
        QCOMPARE(int(w.annotationInput()->vertices().size()), 0);
        QVERIFY(!w.polygonForm()->toggleButton()->isChecked());
        QVERIFY(!w.commandServer()->isListening());
        QCOMPARE(w.polygonForm()->basketEdit()->text(), QString("15001"));

        QStandardItem* layer = w.layers()->findLayerItem(LayerType::Polygons, "2015-03-01_dl.kml");
        QCOMPARE(childTexts(layer), (QStringList{"Type: Polygons", "L.5 FL-FLOOR"}));
        const QImage swatch = layer->child(1)->icon().pixmap(46, 32).toImage();
        QCOMPARE(swatch.size(), QSize(46, 32));
        QCOMPARE(swatch.pixelColor(1, 1), QColor(255, 255, 127));
        QCOMPARE(swatch.pixelColor(23, 16), QColor(255, 255, 127)); // filled, not a frame

        const QVector<AnnotationRecord> file =
            dayFile(app.project() + "2015-03-01_dl.kml", LayerType::Polygons);
        QCOMPARE(file.size(), 1);
        QCOMPARE(file[0].vertices, (QVector<osg::Vec3d>{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0.5}}));
        QCOMPARE(file[0].locusDesc, QString("FL-FLOOR"));
    }

    void existingDayFileIsLoadedAndContinued()
    {
        MainWindow w;
        AppFolder app;
        app.use(w);
        AnnotationRecord earlier;
        earlier.type = "Points";
        earlier.dCode = "PO-POTTERY";
        earlier.position = {1, 2, 3};
        earlier.basket = "10004";
        earlier.id = 3;
        AnnotationRecord last = earlier;
        last.basket = "10005";
        last.id = 4;
        QVERIFY(KmlWriter::writeFile(app.project() + "2015-03-01_sf.kml", LayerType::Points,
                                     "2015-03-01_sf.kml", {earlier, last}));
        setDate(w.pointForm(), "2015-03-01");
        QStandardItem* layer = w.layers()->findLayerItem(LayerType::Points, "2015-03-01_sf.kml");
        QVERIFY(layer);
        QCOMPARE(layer->rowCount(), 3);
        QCOMPARE(w.pointForm()->basketEdit()->text(), QString("10006"));
        setPosition(w.pointForm(), "7", "8", "9");
        QVERIFY(w.annotationInput()->recordPoint().recorded);
        const QVector<AnnotationRecord> file =
            dayFile(app.project() + "2015-03-01_sf.kml", LayerType::Points);
        QCOMPARE(file.size(), 3);
        QCOMPARE(file[2].id, 5);
        QCOMPARE(file[2].basket, QString("10006"));
    }

    // Removing the day's layer from the view must not make the next find
    // overwrite the finds already in its file.
    void recordAfterRemovingTheDayLayerKeepsEarlierFinds()
    {
        MainWindow w;
        AppFolder app;
        app.use(w);
        setDate(w.pointForm(), "2015-03-01");
        setPosition(w.pointForm(), "1", "2", "3");
        QVERIFY(w.annotationInput()->recordPoint().recorded);
        w.layerView()->setCurrentIndex(
            w.layers()->findLayerItem(LayerType::Points, "2015-03-01_sf.kml")->index());
        w.removeModel();
        QCOMPARE(w.layers()->layerCount(LayerType::Points), 0);
        QCOMPARE(w.sceneView()->annotations()->count(LayerType::Points), 0);

        setPosition(w.pointForm(), "4", "5", "6");
        QVERIFY(w.annotationInput()->recordPoint().recorded);
        const QVector<AnnotationRecord> file =
            dayFile(app.project() + "2015-03-01_sf.kml", LayerType::Points);
        QCOMPARE(file.size(), 2);
        QCOMPARE(file[0].position, osg::Vec3d(1, 2, 3));
        QCOMPARE(file[1].id, 1);
        QCOMPARE(w.layers()->findLayerItem(LayerType::Points, "2015-03-01_sf.kml")->rowCount(), 3);
    }

    void failedDayFileWriteKeepsTheFindAndSaysSo()
    {
        MainWindow w;
        AppFolder app(false);
        writeText(app.path() + "/project", "a file where the folder should be");
        app.use(w);
        setDate(w.pointForm(), "2015-03-01");
        setPosition(w.pointForm(), "1", "2", "3");
        const AnnotationInput::Outcome outcome = w.annotationInput()->recordPoint();
        QVERIFY(outcome.recorded);
        QVERIFY2(outcome.message.contains("could not be written"), qPrintable(outcome.message));
        QCOMPARE(w.sceneView()->annotations()->layer(LayerType::Points, 0)->records().size(), 1);
        QCOMPARE(w.layers()->findLayerItem(LayerType::Points, "2015-03-01_sf.kml")->rowCount(), 2);
    }

    void addDataLoadsKmlLayers_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("records");
        QTest::addColumn<QString>("firstChild");
        QTest::newRow("Google Earth points")
            << "googleearth_points_droneProject.kml" << int(LayerType::Points) << 10 << "B. ";
        QTest::newRow("GDAL polygons")
            << "ogr_polygons_ZC_ZEIS.kml" << int(LayerType::Polygons) << 20 << "L. ";
    }
    void addDataLoadsKmlLayers()
    {
        QFETCH(QString, file);
        QFETCH(int, type);
        QFETCH(int, records);
        QFETCH(QString, firstChild);
        REQUIRE_SHARED_DATA();
        MainWindow w;
        AppFolder app;
        app.use(w);
        w.addDataFiles({SharedData::path("kml/") + file});
        QStandardItem* layer = w.layers()->findLayerItem(LayerType::Code(type), file);
        QVERIFY(layer);
        QCOMPARE(layer->rowCount(), records + 1);
        QCOMPARE(layer->child(1)->text(), firstChild);
        QCOMPARE(layer->child(1)->data(LayerTree::ItemKindRole).toInt(), int(LayerTree::RecordKind));
        QCOMPARE(w.sceneView()->annotations()->layer(LayerType::Code(type), 0)->records().size(), records);
    }

    void groundStationPositionFillsTheActiveForm_data()
    {
        QTest::addColumn<bool>("polygon");
        QTest::newRow("point input") << false;
        QTest::newRow("polygon input") << true;
    }
    void groundStationPositionFillsTheActiveForm()
    {
        QFETCH(bool, polygon);
        MainWindow w;
        AppFolder app;
        app.use(w);
        const quint16 port = freePort();
        w.commandServer()->setPort(port);
        AnnotationForm* form = polygon ? static_cast<AnnotationForm*>(w.polygonForm()) : w.pointForm();
        form->toggleButton()->setChecked(true);
        QVERIFY(w.commandServer()->isListening());

        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(socket.waitForConnected(3000));
        const QByteArray message = WireCodec::encodeString(31, "1.5,2,3");
        for (char byte : message) { // as it may arrive: byte by byte
            socket.write(&byte, 1);
            QVERIFY(socket.waitForBytesWritten(3000));
        }
        socket.disconnectFromHost();
        if (polygon) {
            QTRY_COMPARE(w.polygonForm()->vertexRowCount(), 1);
            QCOMPARE(w.polygonForm()->vertexEdit(0)->text(), QString("x:1.5 y:2 z:3"));
            QCOMPARE(w.pointForm()->xEdit()->text(), QString());
        } else {
            QTRY_COMPARE(w.pointForm()->xEdit()->text(), QString("1.5"));
            QCOMPARE(w.pointForm()->yEdit()->text(), QString("2"));
            QCOMPARE(w.pointForm()->zEdit()->text(), QString("3"));
            QCOMPARE(w.polygonForm()->vertexRowCount(), 0);
        }
        form->toggleButton()->setChecked(false);
        QVERIFY(!w.commandServer()->isListening());
        // With neither input on, a position is dropped.
        w.updateFromServerPos("7,8,9");
        QCOMPARE(w.polygonForm()->vertexRowCount(), polygon ? 1 : 0);
    }

    // A find at UTM coordinates sent by the ground station (a process of its
    // own), taken with "&Toggle Record" and "&Record", is in the day file to
    // the millimetre, for our reader and for GDAL's (six significant digits
    // once moved it by 33 cm and 3 m).
    void groundStationSurveyFindKeepsItsMillimetres()
    {
        const QString ogrinfo = QStandardPaths::findExecutable("ogrinfo");
        QVERIFY2(!ogrinfo.isEmpty(),
                 "ogrinfo (gdal-bin) is not installed; tools/install-deps.sh installs it");
        MainWindow w;
        AppFolder app;
        app.use(w);
        const quint16 port = freePort();
        w.commandServer()->setPort(port);
        setDate(w.pointForm(), "2015-03-01");
        w.pointForm()->toggleButton()->setChecked(true);
        QProcess station;
        station.start(CORVANE_SENDER, {"--port", QString::number(port), "712345.674,4123456.781,101.752"});
        QVERIFY2(station.waitForStarted(10000), qPrintable(station.errorString()));
        QTRY_COMPARE_WITH_TIMEOUT(w.pointForm()->yEdit()->text(), QString("4123456.781"), 30000);
        // The server answers on this thread: wait with the event loop running.
        QTRY_COMPARE_WITH_TIMEOUT(station.state(), QProcess::NotRunning, 30000);
        QCOMPARE(station.exitCode(), 0);
        QCOMPARE(w.pointForm()->xEdit()->text(), QString("712345.674"));
        QCOMPARE(w.pointForm()->zEdit()->text(), QString("101.752"));
        QTest::mouseClick(w.pointForm()->recordButton(), Qt::LeftButton);

        const osg::Vec3d find(712345.674, 4123456.781, 101.752);
        const QString path = app.project() + "2015-03-01_sf.kml";
        const QVector<AnnotationRecord> file = dayFile(path, LayerType::Points);
        QCOMPARE(file.size(), 1);
        QCOMPARE(file[0].position, find);

        QProcess gdal;
        gdal.start(ogrinfo, {"-ro", "-al", path});
        QVERIFY(gdal.waitForFinished(30000));
        const QString report = QString::fromUtf8(gdal.readAllStandardOutput());
        const QRegularExpression point("POINT Z \\(([-0-9.e+]+) ([-0-9.e+]+) ([-0-9.e+]+)\\)");
        const QRegularExpressionMatch m = point.match(report);
        QVERIFY2(m.hasMatch(), qPrintable(report));
        for (int i = 0; i < 3; ++i)
            QVERIFY2(qAbs(m.captured(i + 1).toDouble() - find[i]) < 0.0005, qPrintable(m.captured(0)));
    }

    void getButtonsTakeTheLastPick()
    {
        MainWindow w;
        AppFolder app;
        app.use(w);
        FakePicker picker;
        w.annotationInput()->setPicker(&picker);
        w.commandServer()->setPort(freePort());

        QTest::mouseClick(w.pointForm()->getButton(), Qt::LeftButton);
        QCOMPARE(w.pointForm()->xEdit()->text(), QString()); // no pick yet
        picker.hasPick = true;
        // A pick keeps every digit it has (six significant digits would
        // cut a survey coordinate to decimetres).
        picker.pick = osg::Vec3d(123.456789, -2.0, 0.25);
        QTest::mouseClick(w.pointForm()->getButton(), Qt::LeftButton);
        QCOMPARE(w.pointForm()->xEdit()->text(), QString("123.456789"));
        QVERIFY(!picker.hasPick);

        w.polygonForm()->toggleButton()->setChecked(true);
        picker.hasPick = true;
        QTest::mouseClick(w.polygonForm()->getButton(), Qt::LeftButton);
        QCOMPARE(w.polygonForm()->vertexRowCount(), 1);
        QCOMPARE(w.polygonForm()->vertexEdit(0)->text(), QString("x:123.456789 y:-2 z:0.25"));
        w.polygonForm()->toggleButton()->setChecked(false);
        QCOMPARE(picker.calls, (QStringList{"polygon 1", "extend", "polygon 0", "no preview"}));
    }

    // A polygon day file of the site "Point Hope" was taken for a point
    // layer by the word in its text; it then read no record, and "Save Edits"
    // wrote an empty document over the day's outlines.
    void pointHopePolygonFileStaysAPolygonLayer()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("2015-03-01_dl.kml");
        AnnotationRecord outline;
        outline.type = "Polygons";
        outline.site = "Point Hope";
        outline.locus = "5";
        outline.locusDesc = "FL-FLOOR";
        outline.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
        QVERIFY(KmlWriter::writeFile(path, LayerType::Polygons, "2015-03-01_dl.kml", {outline, outline}));
        MainWindow w;
        AppFolder app;
        app.use(w);
        w.addDataFiles({path});
        QStandardItem* layer = w.layers()->projectRoot()->child(0);
        QVERIFY(layer);
        QCOMPARE(LayerTree::typeOf(layer), LayerType::Polygons);
        QCOMPARE(layer->rowCount(), 3); // type child and two outlines

        w.layerView()->setCurrentIndex(layer->index());
        w.saveEditsPolygons();
        QCOMPARE(dayFile(path, LayerType::Polygons).size(), 2);
        QCOMPARE(dayFile(path, LayerType::Polygons)[0].site, QString("Point Hope"));
    }

    void saveEditsNeverWritesAnEmptyLayerOverItsFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("finds.kml");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<kml>not read</kml>");
        f.close();
        MainWindow w;
        QStandardItem* layer = w.layers()->addLayerWithoutLoading(LayerType::Points, path, "finds.kml", true,
                                                                  w.layers()->projectRoot());
        QVERIFY(
            w.sceneView()->addAnnotationLayer(LayerTree::layerId(layer), LayerType::Points, true, QString()));
        w.layerView()->setCurrentIndex(layer->index());
        w.saveEditsPoints();
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("<kml>not read</kml>"));
        QCOMPARE(w.statusBar()->currentMessage(), QString("Write Failed"));
    }
};

QTEST_MAIN(TestAnnotationInput)
#include "tst_annotationinput.moc"
