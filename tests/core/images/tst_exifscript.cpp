#include <QtTest>

#include <QTemporaryDir>

#include "core/images/ExifScript.h"

namespace
{

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

} // namespace

class TestExifScript : public QObject
{
    Q_OBJECT
private slots:
    void lineLayout_data()
    {
        QTest::addColumn<QString>("appDir");
        QTest::addColumn<QString>("image");
        QTest::addColumn<QString>("line");
        QTest::newRow("plain") << "/opt/orv"
                               << "/d/img/100_7100.JPG"
                               << "\\opt\\orv\\SfM\\Undistort\\exiftool.exe -X \\d\\img\\100_7100.JPG > "
                                  "\\d\\img\\100_7100.xml";
        QTest::newRow("blanks quoted")
            << "/opt/my orv"
            << "/d/field day/a b.jpg"
            << "\"\\opt\\my orv\\SfM\\Undistort\\exiftool.exe\" -X \"\\d\\field day\\a "
               "b.jpg\" > \"\\d\\field day\\a b.xml\"";
        QTest::newRow("letters beyond ASCII")
            << "/opt/orv"
            << "/d/Säule/Grabung.jpg"
            << "\\opt\\orv\\SfM\\Undistort\\exiftool.exe -X \\d\\Säule\\Grabung.jpg > "
               "\\d\\Säule\\Grabung.xml";
        QTest::newRow("dot in a folder, none in the name") << "/opt/orv"
                                                           << "/d/v1.2/IMG"
                                                           << "\\opt\\orv\\SfM\\Undistort\\exiftool.exe -X "
                                                              "\\d\\v1.2\\IMG > \\d\\v1.2\\IMG.xml";
        QTest::newRow("cmd.exe specials")
            << "/opt/orv"
            << "/d/a&b(1).jpg"
            << "\\opt\\orv\\SfM\\Undistort\\exiftool.exe -X \"\\d\\a&b(1).jpg\" > "
               "\"\\d\\a&b(1).xml\"";
    }
    void lineLayout()
    {
        QFETCH(QString, appDir);
        QFETCH(QString, image);
        QTEST(ExifScript::line(appDir, image), "line");
    }

    // Only images without a usable XML file get a line; an empty XML file is
    // what a failed run leaves behind and is made again.
    void linesForMissingOrEmptyXml()
    {
        QTemporaryDir dir;
        const QString d = dir.path();
        const QStringList images{d + "/a.jpg", d + "/b.jpg", d + "/c.jpg"};
        QVERIFY(writeFile(d + "/a.xml", "<rdf:RDF/>"));
        QVERIFY(writeFile(d + "/b.xml", ""));
        const QByteArray script = ExifScript::script("/app", images);
        QCOMPARE(script,
                 (ExifScript::line("/app", images[1]) + '\n' + ExifScript::line("/app", images[2])).toUtf8());
        QCOMPARE(ExifScript::missingXml(images), (QStringList{images[1], images[2]}));

        QVERIFY(writeFile(d + "/b.xml", "<x/>"));
        QVERIFY(writeFile(d + "/c.xml", "<x/>"));
        QCOMPARE(ExifScript::script("/app", images), QByteArray());
    }

    void writeReplacesOrSaysWhy()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(ExifScript::fileName());
        QVERIFY(writeFile(path, "old line\nold line\n"));
        QVERIFY(ExifScript::write(path, "new"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("new"));
        QString error;
        QVERIFY(!ExifScript::write(dir.filePath("absent/exifExtract.bat"), "x", &error));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_MAIN(TestExifScript)
#include "tst_exifscript.moc"
