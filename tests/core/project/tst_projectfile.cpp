#include <QtTest>

#include <QBuffer>
#include <QProcess>
#include <QTemporaryDir>

#include "FileSizeLimit.h"
#include "core/project/ProjectDocument.h"
#include "core/project/ProjectReader.h"
#include "core/project/ProjectWriter.h"

using Node = ProjectDocument::Node;

namespace {

Node folder(const QString& text, QVector<Node> children = {})
{
    Node n;
    n.kind = Node::Folder;
    n.text = text;
    n.children = children;
    return n;
}
Node layer(const QString& text, LayerType::Code type)
{
    Node n;
    n.kind = Node::Layer;
    n.text = text;
    n.type = type;
    return n;
}

QByteArray written(const ProjectDocument& doc)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!ProjectWriter::write(buffer, doc))
        return QByteArray();
    return buffer.data();
}

bool readBack(const QByteArray& xml, ProjectDocument& doc, QString* error = nullptr)
{
    QBuffer buffer;
    buffer.setData(xml);
    buffer.open(QIODevice::ReadOnly);
    return ProjectReader::read(buffer, doc, error);
}

// A compact picture of a tree, for comparisons.
QString describe(const QVector<Node>& nodes)
{
    QStringList parts;
    for (const Node& n : nodes) {
        if (n.kind == Node::Layer)
            parts << n.text + ":" + LayerType::name(n.type);
        else
            parts << n.text + "[" + describe(n.children) + "]";
    }
    return parts.join(',');
}

ProjectDocument fullProject()
{
    ProjectDocument doc;
    doc.tree = {folder("New Folder", {layer("cloud one.ply", LayerType::PointCloud), folder("Site"),
                                      folder("2015 season", {layer("MODEL.obj", LayerType::Mesh)})}),
                folder("Ägäis Grabung"), layer("sparse.nvm", LayerType::Bundle), layer("a:b.pts", LayerType::PointCloud)};
    doc.layers[LayerType::PointCloud] = {{"/data/cloud one.ply", "cloud one.ply", true}, {"/data/a:b.pts", "a:b.pts", false}};
    doc.layers[LayerType::Mesh] = {{"/data/MODEL.obj", "MODEL.obj", true}};
    doc.layers[LayerType::Bundle] = {{"/data/sparse.nvm", "sparse.nvm", true}};
    doc.images = {{"/photos/IMG_0001.JPG", "IMG_0001.JPG"}, {"/photos/IMG_0002.JPG", "renamed.JPG"}};
    doc.settings.bundleAdjustment = "Bundler";
    doc.settings.denseReconstruction = "SURE";
    doc.settings.displayOutput = true;
    doc.settings.fx = 1234.5;
    doc.settings.r2 = 1.5e-7;
    doc.settings.imageFolder = "/photos"; // not stored
    doc.settings.r1 = -0.093431234; // more than six significant digits
    // A view of a survey site: its eye at UTM coordinates, with more digits
    // than five decimals hold.
    doc.bookmarks = {{1, 2, 3, 0, 0, 0, 0, 0, 1},
                     {-10.5, 4, 20, 1, 1, 0, 0, 1, 0},
                     {712345.6740112305, 4123456.7812500037, 121.25, 712345.674, 4123456.781, 101.752, 0, 1, 0}};
    // Control points at survey coordinates, picked at sub-pixel places.
    doc.controlSystem = "WGS84 UTM 33N";
    ControlPoint fitted;
    fitted.name = "T 1 <south>";
    fitted.survey.set(712031.4567890123, 4123012.3456789012, 95.0421);
    fitted.observations = {{"IMG_0001.JPG", 812.3333333333334, 401.5}, {"IMG_0002.JPG", 0.5, 1199.875}};
    // The last fit's figures, as the dock shows them.
    fitted.residual = 0.012345678901234;
    fitted.offset.set(0.004, -0.0111, 0.0031);
    fitted.pixels = 0.8333333333333334;
    fitted.leftOut = true;
    // Its own standard deviations (the check point has none: the defaults).
    fitted.sigmaHorizontal = 0.0033333333333333335;
    fitted.sigmaVertical = 0.007;
    doc.adjustment = {0.015, 0.030000000000000002, 0.5, 1.25};
    ControlPoint check;
    check.name = "T2";
    check.check = true;
    check.survey.set(712040.001, 4123020.002, 94.9);
    doc.controlPoints = {fitted, check};
    return doc;
}

} // namespace

class TestProjectFile : public QObject
{
    Q_OBJECT
private slots:
    void emptyProject()
    {
        const QByteArray xml = written(ProjectDocument());
        QVERIFY(xml.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE prj><prj version=\"1.0\">"
                               "<project><type>Empty</type></project><scan_settings>"));
        QVERIFY(xml.endsWith("</scan_settings></prj>\n"));
        QVERIFY(xml.contains("<undistord_method>None</undistord_method>"));
        QVERIFY(xml.contains("<fx>4882.14155</fx>"));
        QVERIFY(xml.contains("<r1>-0.09343</r1>"));
        QVERIFY(xml.contains("<r3>0</r3>"));
        QVERIFY(xml.contains("<display_output>false</display_output>"));
        QVERIFY(!xml.contains("<images>") && !xml.contains("<bookmarks>") && !xml.contains("<models>") &&
                !xml.contains("<ground_control"));
        ProjectDocument doc;
        QVERIFY(readBack(xml, doc));
        QVERIFY(doc.tree.isEmpty());
        QCOMPARE(doc.settings, ScanSettings());
    }

    void treeOfTheExample()
    {
        ProjectDocument doc;
        doc.tree = {folder("Scans", {layer("cloud.ply", LayerType::PointCloud)}), folder("Site")};
        const QByteArray xml = written(doc);
        QVERIFY2(xml.contains("<project><f_Scans><f_cloud.ply><type>PointCloud</type></f_cloud.ply></f_Scans>"
                              "<Site><type>Folder</type></Site></project>"),
                 xml.constData());
    }

    void roundTripKeepsEverything()
    {
        const ProjectDocument doc = fullProject();
        const QByteArray xml = written(doc);
        ProjectDocument back;
        QString error;
        QVERIFY2(readBack(xml, back, &error), qPrintable(error));
        QCOMPARE(describe(back.tree), describe(doc.tree));
        for (LayerType::Code t : LayerType::all()) {
            QCOMPARE(back.layers[t].size(), doc.layers[t].size());
            for (int i = 0; i < doc.layers[t].size(); ++i) {
                QCOMPARE(back.layers[t][i].file, doc.layers[t][i].file);
                QCOMPARE(back.layers[t][i].name, doc.layers[t][i].name);
                QCOMPARE(back.layers[t][i].visible, doc.layers[t][i].visible);
            }
        }
        QCOMPARE(back.images.size(), 2);
        QCOMPARE(back.images[1].originalFilename, QString("/photos/IMG_0002.JPG"));
        QCOMPARE(back.images[1].nameFromList, QString("renamed.JPG"));
        ScanSettings expected = doc.settings;
        expected.imageFolder.clear();
        QCOMPARE(back.settings, expected);
        QCOMPARE(back.bookmarks, doc.bookmarks);
        QCOMPARE(back.controlSystem, doc.controlSystem);
        QVERIFY(back.adjustment == doc.adjustment);
        QCOMPARE(back.controlPoints.size(), doc.controlPoints.size());
        for (int i = 0; i < doc.controlPoints.size(); ++i) {
            const ControlPoint &a = back.controlPoints[i], &b = doc.controlPoints[i];
            QCOMPARE(a.name, b.name);
            QCOMPARE(a.check, b.check);
            QVERIFY(a.survey == b.survey); // every digit
            QCOMPARE(a.sigma({-1, -1, -1}), b.sigma({-1, -1, -1})); // every digit, or both the default
            QCOMPARE(a.hasFit(), b.hasFit());
            if (b.hasFit()) {
                QVERIFY(a.residual == b.residual && a.offset == b.offset && a.pixels == b.pixels);
                QCOMPARE(a.leftOut, b.leftOut);
            }
            QCOMPARE(a.observations.size(), b.observations.size());
            for (int k = 0; k < b.observations.size(); ++k) {
                QCOMPARE(a.observations[k].image, b.observations[k].image);
                QVERIFY(a.observations[k].column == b.observations[k].column);
                QVERIFY(a.observations[k].row == b.observations[k].row);
            }
        }
    }

    // Item texts the XML name tables do not take as names must not make the
    // saved project unreadable.
    void itemTextsReadBack_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("letter newer than the XML tables") << QString::fromUtf8("a:btype\u0587ts");
        QTest::newRow("Latin-1 letters the XML tables lack") << QString::fromUtf8("\u00aa\u00b5\u00ba");
        QTest::newRow("Latin-1 letters of names") << QString::fromUtf8("\u00c4g\u00e4is");
        QTest::newRow("combining mark") << QString::fromUtf8("Grabung_e\u0301");
        QTest::newRow("Arabic-Indic digits") << QString::fromUtf8("site\u0661\u0662");
        QTest::newRow("ideographs") << QString::fromUtf8("\u767a\u6398");
    }
    void itemTextsReadBack()
    {
        QFETCH(QString, text);
        ProjectDocument doc;
        doc.tree = {folder(text, {layer(text + ".ply", LayerType::PointCloud)}), folder(text)};
        ProjectDocument back;
        QString error;
        QVERIFY2(readBack(written(doc), back, &error), qPrintable(error));
        QCOMPARE(describe(back.tree), describe(doc.tree));
    }

    // The described form, with every name a plain XML name, reads as before.
    void plainFileFromAnEarlierVersion()
    {
        const QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE prj><prj version=\"1.0\">"
                               "<project><f_Scans><f_a.pts><type>PointCloud</type></f_a.pts></f_Scans>"
                               "<f_Scans2><f_a.pts><type>PointCloud</type></f_a.pts></f_Scans2></project>"
                               "<geometry><pointclouds><item><file>/x/a.pts</file><name>a.pts</name>"
                               "<status>off</status><colour>red</colour></item><item><file>/y/a.pts</file>"
                               "<name>a.pts</name></item></pointclouds></geometry>"
                               "<unknown><deep/></unknown><scan_settings><fx>abc</fx><display_output>True"
                               "</display_output></scan_settings></prj>";
        ProjectDocument doc;
        QVERIFY(readBack(xml, doc));
        QCOMPARE(describe(doc.tree), QString("Scans[a.pts:PointCloud],Scans2[a.pts:PointCloud]"));
        QCOMPARE(doc.layers[LayerType::PointCloud].size(), 2);
        QVERIFY(!doc.layers[LayerType::PointCloud][0].visible);
        QCOMPARE(doc.settings.fx, 0.0);
        QVERIFY(!doc.settings.displayOutput);
    }

    // Values no writer writes (found by fuzzing) leave their point out,
    // named with the reason; the rest of the project opens.
    void badGroundControlValuesLeaveThePointOut_data()
    {
        QTest::addColumn<QByteArray>("point");
        QTest::addColumn<QString>("problem");
        QTest::newRow("x nan") << QByteArray("name=\"B\" x=\"nan\" y=\"2\" z=\"3\"")
                               << "B (line 1) left out: x \"nan\" is not a number";
        QTest::newRow("y inf") << QByteArray("name=\"B\" x=\"1\" y=\"inf\" z=\"3\"")
                               << "y \"inf\" is not a number";
        QTest::newRow("z 1e999") << QByteArray("name=\"B\" x=\"1\" y=\"2\" z=\"1e999\"")
                                 << "z \"1e999\" is not a number";
        QTest::newRow("decimal comma")
            << QByteArray("name=\"B\" x=\"12,5\" y=\"2\" z=\"3\"") << "x \"12,5\" is not a number";
        QTest::newRow("no z") << QByteArray("name=\"B\" x=\"1\" y=\"2\"") << "z is missing";
        QTest::newRow("use bogus") << QByteArray("name=\"B\" x=\"1\" y=\"2\" z=\"3\" use=\"bogus\"")
                                   << "use \"bogus\" is neither fit nor check";
        QTest::newRow("no name") << QByteArray("x=\"1\" y=\"2\" z=\"3\"")
                                 << "point without a name (line 1) left out: the name is empty";
        QTest::newRow("name of another") << QByteArray("name=\"A\" x=\"1\" y=\"2\" z=\"3\"")
                                         << "A (line 1) left out: another point has the same name";
        QTest::newRow("row abc") << QByteArray(
                                        "name=\"B\" x=\"1\" y=\"2\" z=\"3\"><observation image=\"a.jpg\" "
                                        "column=\"4\" row=\"abc\"/></point")
                                 << "observation in a.jpg: row \"abc\" is not a number";
    }

    void badGroundControlValuesLeaveThePointOut()
    {
        QFETCH(QByteArray, point);
        QFETCH(QString, problem);
        const QByteArray xml =
            "<prj version=\"1.0\"><images><image><original_filename>/p/a.jpg</original_filename>"
            "</image></images><ground_control system=\"EPSG:32633\"><point name=\"A\" "
            "x=\"712001.5\" y=\"4123001\" z=\"95\" use=\"check\" sigma_h=\"0\" sigma_v=\"0.05\"/><point " +
            point + (point.endsWith("</point") ? ">" : "/>") +
            "<point name=\"C\" x=\"1e5\" y=\"2\" z=\"-3\"/></ground_control></prj>";
        ProjectDocument doc;
        QString error;
        QVERIFY2(readBack(xml, doc, &error), qPrintable(error));
        QCOMPARE(doc.images.size(), 1);
        QCOMPARE(doc.controlPoints.size(), 2);
        QCOMPARE(doc.controlPoints[0].name, QString("A"));
        QVERIFY(doc.controlPoints[0].check);
        QCOMPARE(doc.controlPoints[1].survey, osg::Vec3d(1e5, 2, -3));
        // A deviation of zero gives way to the default; the file's other one
        // stands; a file of an earlier version has the defaults.
        QVERIFY(std::isnan(doc.controlPoints[0].sigmaHorizontal));
        QCOMPARE(doc.controlPoints[0].sigmaVertical, 0.05);
        QVERIFY(std::isnan(doc.controlPoints[1].sigmaHorizontal) &&
                std::isnan(doc.controlPoints[1].sigmaVertical));
        QVERIFY(doc.adjustment == AdjustmentDefaults());
        QCOMPARE(doc.problems.size(), 1);
        QVERIFY2(doc.problems[0].startsWith("Ground control point ") && doc.problems[0].contains(problem),
                 qPrintable(doc.problems[0]));
    }

    void refusedFiles_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("error");
        QTest::newRow("version 2.0") << QByteArray("<prj version=\"2.0\"><pointclouds><item><file>/a.pts</file>"
                                                   "</item></pointclouds></prj>")
                                     << "The file is not a PRJ version 1.0 file.";
        QTest::newRow("other root") << QByteArray("<kml/>") << "The file is not a PRJ version 1.0 file.";
        QTest::newRow("malformed") << QByteArray("<prj version=\"1.0\">\n<project><f_a></project></prj>")
                                   << "line 2";
        QTest::newRow("truncated") << QByteArray("<prj version=\"1.0\"><project><type>Empty</type></proj")
                                   << "line 1";
        QTest::newRow("empty") << QByteArray() << "line";
        QTest::newRow("binary") << QByteArray("\x00\x01\xff\xfe<<>>", 8) << "line";
        // Nesting that deep would take the recursive reader down with it.
        QTest::newRow("folders nested 200000 deep")
            << "<prj version=\"1.0\"><project>" + QByteArray("<f_a>").repeated(200000)
            << "Elements nested more than 200 deep.";
        QTest::newRow("section wrappers nested 200000 deep")
            << "<prj version=\"1.0\">" + QByteArray("<geometry>").repeated(200000)
            << "Elements nested more than 200 deep.";
    }
    void refusedFiles()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, error);
        ProjectDocument doc;
        QString text;
        QVERIFY(!readBack(xml, doc, &text));
        QVERIFY2(text.contains(error), qPrintable(text));
    }

    void writtenFilesAreWellFormedForXmllint()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("site project.prj");
        QVERIFY(ProjectWriter::writeFile(path, fullProject()));
        QProcess lint;
        lint.start("xmllint", {"--noout", path});
        QVERIFY(lint.waitForFinished(10000));
        QCOMPARE(lint.exitCode(), 0);
        QCOMPARE(lint.readAllStandardError(), QByteArray());
    }

    void failedSaveKeepsThePreviousFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("p.prj");
        QVERIFY(ProjectWriter::writeFile(path, fullProject()));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray before = f.readAll();
        f.close();
        // A write over that very file that fails halfway, as on a full disk.
        ProjectDocument other = fullProject();
        other.images.append(ProjectDocument::Image{"/photos/late.JPG", "late.JPG"});
        QString error;
        {
            FileSizeLimit diskFull(64);
            QVERIFY(diskFull.active());
            QVERIFY(!ProjectWriter::writeFile(path, other, &error));
        }
        QVERIFY(!error.isEmpty());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        f.close();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"p.prj"}); // no half-written leftovers
        // With room again the same write goes through.
        QVERIFY(ProjectWriter::writeFile(path, other));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll() != before);
    }
};

QTEST_GUILESS_MAIN(TestProjectFile)
#include "tst_projectfile.moc"
