#include <QtTest>

#include "LayerMenu.h"

#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTreeView>

#include "TestRasters.h"
#include "ui/layers/LayerTree.h"
#include "ui/main/MainWindow.h"
#include "ui/layers/PropertyWindow.h"

namespace
{

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Three points whose coordinates floats hold exactly.
const QByteArray cloud =
    "ply\nformat ascii 1.0\ncomment VCGLIB generated\nelement vertex 3\nproperty float x\n"
    "property float y\nproperty float z\nproperty uchar red\nproperty uchar green\n"
    "property uchar blue\nproperty uchar alpha\nelement face 0\n"
    "property list uchar int vertex_indices\nend_header\n"
    "512340.5 4123450.25 112 10 20 30 255\n512350.5 4123460.25 114 10 20 30 255\n"
    "512345.5 4123455.25 113 10 20 30 255\n";


QString field(QWidget* window, const QString& name)
{
    auto* edit = window->findChild<QLineEdit*>(name);
    if (!edit)
        return QStringLiteral("<none>");
    return edit->isReadOnly() ? edit->text() : QStringLiteral("<editable>");
}

QStringList labelsOf(QWidget* window)
{
    QStringList labels;
    for (QLabel* l : window->findChildren<QLabel*>())
        labels << l->text();
    return labels;
}

bool clickButton(QWidget* window, const QString& text)
{
    for (QPushButton* b : window->findChildren<QPushButton*>())
        if (b->text() == text && b->isVisible()) {
            QTest::mouseClick(b, Qt::LeftButton);
            return true;
        }
    return false;
}

} // namespace

class TestPropertyWindow : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase() { Q_INIT_RESOURCE(images); }

    void projectRootBeforeAnyLayerShowsAnEmptyWindow()
    {
        MainWindow w;
        QVERIFY(chooseInLayerMenu(w, w.layers()->projectRoot(), "properties"));
        PropertyWindow* general = w.propertyWindow(1);
        QVERIFY(general->isVisible());
        QVERIFY(general->centralWidget());
        QVERIFY(general->centralWidget()->findChildren<QWidget*>().isEmpty());
    }

    void pointCloudShowsItsPosition()
    {
        MainWindow w;
        const QString ply = m_dir.filePath("site.ply");
        QVERIFY(writeFile(ply, cloud));
        w.addDataFiles({ply});
        QVERIFY(chooseInLayerMenu(w, w.layers()->projectRoot()->child(0), "Properties"));
        PropertyWindow* window = w.propertyWindow(2);
        QVERIFY(window->isVisible());
        // A cloud has a position but no rotation: the title said "Rotation".
        QCOMPARE(window->windowTitle(), QString("Property"));
        QCOMPARE(window->size(), QSize(400, 400));
        const QStringList labels = labelsOf(window);
        QVERIFY(labels.contains("Position:"));
        QVERIFY(labels.contains("X") && labels.contains("Y") && labels.contains("Z"));
        QVERIFY(!labels.join(' ').contains("Rotation"));
        // Its position is the centre of its box, in survey coordinates.
        QCOMPARE(field(window, "X"), QString("512345.5"));
        QCOMPARE(field(window, "Y"), QString("4123455.25"));
        QCOMPARE(field(window, "Z"), QString("113"));
        QCOMPARE(field(window, "Points:"), QString("3"));
        QCOMPARE(field(window, "File:"), ply);
        QCOMPARE(field(window, "Box min:"), QString("512340.5, 4123450.25, 112"));

        // Its "Close" only hides; the next request shows the window again.
        QVERIFY(clickButton(window, "Close"));
        QVERIFY(!window->isVisible());
        QVERIFY(chooseInLayerMenu(w, w.layers()->projectRoot()->child(0), "Properties"));
        QVERIFY(window->isVisible());
    }

    // The box came from floats and showed their noise ("1470.2507037353516"
    // for 1470.2507); it shows the digits the file holds.
    void positionShowsTheFileDigits_data()
    {
        QTest::addColumn<QByteArray>("points");
        QTest::addColumn<QString>("boxMin");
        QTest::addColumn<QString>("boxMax");
        QTest::addColumn<QString>("x");
        QTest::newRow("near the origin")
            << QByteArray("1470.2507 25.1 3.3\n1480.2511 30.7 4.9\n") << "1470.2507, 25.1, 3.3"
            << "1480.2511, 30.7, 4.9"
            << "1475.2509";
        QTest::newRow("survey grid") << QByteArray(
                                            "512340.674 4123450.781 112.35\n512350.118 4123460.402 114.07\n")
                                     << "512340.674, 4123450.781, 112.35"
                                     << "512350.118, 4123460.402, 114.07"
                                     << "512345.396";
    }
    void positionShowsTheFileDigits()
    {
        QFETCH(QByteArray, points);
        QFETCH(QString, boxMin);
        QFETCH(QString, boxMax);
        QFETCH(QString, x);
        MainWindow w;
        const QString ply = m_dir.filePath(QString("digits%1.ply").arg(QTest::currentDataTag()[0] == 'n'));
        QByteArray text = cloud.left(cloud.indexOf("end_header\n") + 11).replace("vertex 3", "vertex 2");
        for (const QByteArray& line : points.split('\n'))
            if (!line.isEmpty())
                text += line + " 10 20 30 255\n";
        QVERIFY(writeFile(ply, text));
        w.addDataFiles({ply});
        QVERIFY(chooseInLayerMenu(w, w.layers()->projectRoot()->child(0), "Properties"));
        PropertyWindow* window = w.propertyWindow(2);
        QCOMPARE(field(window, "Box min:"), boxMin);
        QCOMPARE(field(window, "Box max:"), boxMax);
        QCOMPARE(field(window, "X"), x);
    }

    void reconstructionShowsItsSheet()
    {
        MainWindow w;
        w.addDataFiles({ORVALIS_SOURCE_DIR "/samples/trench_site.nvm"});
        QVERIFY(chooseInLayerMenu(w, w.layers()->projectRoot()->child(0), "properties"));
        PropertyWindow* window = w.propertyWindow(3);
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), QString("Property"));
        auto* tabs = qobject_cast<QTabWidget*>(window->centralWidget());
        QVERIFY(tabs);
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->tabText(0), QString("General"));
        QCOMPARE(tabs->tabText(1), QString("Symbology"));
        QCOMPARE(tabs->tabText(2), QString("empty"));
        QCOMPARE(field(window, "Name:"), QString("trench_site.nvm"));
        QCOMPARE(field(window, "Type:"), QString("Bundle"));
        QCOMPARE(field(window, "point:"), QString("4000"));
        QCOMPARE(field(window, "Cameras:"), QString("16"));
        QCOMPARE(field(window, "Current System:"), QString());
        // "Cancel" closes the sheet, and so does "OK", which has nothing to apply.
        QVERIFY(clickButton(window, "Cancel"));
        QVERIFY(!window->isVisible());
        QVERIFY(chooseInLayerMenu(w, w.layers()->projectRoot()->child(0), "properties"));
        QVERIFY(clickButton(window, "OK"));
        QVERIFY(!window->isVisible());
    }

    // The sheet's "Current System:" stayed empty although the georeference
    // names the system.
    void georeferencedReconstructionShowsItsSystem()
    {
        MainWindow w;
        QVERIFY(QDir(m_dir.path()).mkpath("georef"));
        const QString nvm = m_dir.filePath("georef/sparse.nvm");
        QVERIFY(QFile::copy(ORVALIS_SOURCE_DIR "/samples/trench_site.nvm", nvm));
        QVERIFY(writeFile(m_dir.filePath("georef/sparse.txt"),
                          "1 0 0\n0 1 0\n0 0 1\n512000 4123000 100\n1 1 1\nEPSG:32633\n"));
        w.addDataFiles({nvm});
        QVERIFY(chooseInLayerMenu(w, w.layers()->projectRoot()->child(0), "properties"));
        QCOMPARE(field(w.propertyWindow(3), "Current System:"), QString("EPSG:32633"));
    }

    // A terrain's (or mesh's) window showed a stray rotation form and could
    // not be closed from inside.
    void terrainShowsWhatItIsAndCloses()
    {
        MainWindow w;
        QVERIFY(QDir(m_dir.path()).mkpath("ortho"));
        const QString dsm = m_dir.filePath("ortho/dsm.tif");
        QVERIFY(TestRasters::write(dsm, TestRasters::Spec()));
        w.addDataFiles({dsm});
        QVERIFY(chooseInLayerMenu(w, w.layers()->projectRoot()->child(0), "properties"));
        PropertyWindow* window = w.propertyWindow(1);
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), QString("Property"));
        QVERIFY(!labelsOf(window).join(' ').contains("Rotation"));
        QCOMPARE(field(window, "X"), QString("<none>"));
        QCOMPARE(field(window, "File:"), dsm);
        QCOMPARE(field(window, "Type:"), QString("Terrain"));
        QVERIFY(clickButton(window, "Close"));
        QVERIFY(!window->isVisible());
    }

    // A paged archive answers with the figures of the whole archive, not of
    // the part paged in so far.
    void archiveShowsTheWholeCloud()
    {
        const QString ply = m_dir.filePath("big.ply");
        QByteArray text = cloud;
        text.replace("element vertex 3", "element vertex 20003");
        for (int i = 0; i < 20000; ++i)
            text += QByteArray::number(512341 + (i % 100) * 0.05) + " " +
                    QByteArray::number(4123451 + (i / 100) * 0.025) + " 112.5 1 2 3 255\n";
        QVERIFY(writeFile(ply, text));
        QProcess tool;
        tool.start(ORVALIS_APP_DIR "/Points2Archive", {"-i", ply, "-o", m_dir.filePath("big.bin")});
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 0);

        MainWindow w;
        w.addDataFiles({m_dir.filePath("big.osga")});
        QVERIFY(chooseInLayerMenu(w, w.layers()->projectRoot()->child(0), "Properties"));
        PropertyWindow* window = w.propertyWindow(2);
        QCOMPARE(field(window, "Points (archive):"), QString("20003"));
        QCOMPARE(field(window, "Box max:"), QString("512350.5, 4123460.25, 114"));
        QCOMPARE(field(window, "X"), QString("512345.5"));
    }
};

QTEST_MAIN(TestPropertyWindow)
#include "tst_propertywindow.moc"
