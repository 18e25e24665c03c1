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

QByteArray read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

} // namespace

class TestExifScript : public QObject
{
    Q_OBJECT
private slots:
    void lineLayout_data()
    {
        QTest::addColumn<QString>("appDir");
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("line");
        QTest::newRow("plain") << "/opt/orv"
                               << "/d/img/exifExtract.args"
                               << "\\opt\\orv\\SfM\\Undistort\\exiftool.exe -@ \\d\\img\\exifExtract.args";
        QTest::newRow("blanks quoted")
            << "/opt/my orv"
            << "/d/field day/exifExtract.args"
            << "\"\\opt\\my orv\\SfM\\Undistort\\exiftool.exe\" -@ \"\\d\\field day\\exifExtract.args\"";
        QTest::newRow("cmd.exe specials")
            << "/opt/orv"
            << "/d/a&b(1)/exifExtract.args"
            << "\\opt\\orv\\SfM\\Undistort\\exiftool.exe -@ \"\\d\\a&b(1)\\exifExtract.args\"";
    }
    void lineLayout()
    {
        QFETCH(QString, appDir);
        QFETCH(QString, arguments);
        QTEST(ExifScript::line(appDir, arguments), "line");
    }

    // Only images without a usable XML file are named; an empty XML file is
    // what a failed run leaves behind, one cut short what a stopped run
    // leaves: both are made again. Names exiftool would
    // misread from a line are left out (they stay without XML, and are
    // reported so); the others go as they are, blanks, "%" and letters beyond
    // ASCII included.
    void argumentsForMissingOrEmptyXml()
    {
        QTemporaryDir dir;
        const QString d = dir.path();
        const QStringList images{d + "/a.jpg",          d + "/b.jpg",          d + "/c.jpg",
                                 d + "/Säule 7 %d.jpg", d + "/two\nlines.jpg", d + "/trailing .jpg ",
                                 d + "/v1.2/IMG"};
        QVERIFY(writeFile(d + "/a.xml", "<rdf:RDF>\n</rdf:RDF>\n"));
        QVERIFY(writeFile(d + "/b.xml", ""));
        QVERIFY(writeFile(d + "/c.xml", "<rdf:RDF>\n <rdf:Description rdf:about='c.jpg'>\n  <ExifTool:"));
        const QByteArray expected = "-X\n-w!\n%d%f.xml\n-charset\nfilename=utf8\n" + d.toUtf8() + "/b.jpg\n" +
                                    d.toUtf8() + "/c.jpg\n" + (d + "/Säule 7 %d.jpg\n").toUtf8() +
                                    d.toUtf8() + "/v1.2/IMG\n";
        QCOMPARE(ExifScript::arguments(images), expected);
        QCOMPARE(ExifScript::missingXml(images), images.mid(1));

        const QString folder = ExifScript::folderFor(images);
        QCOMPARE(ExifScript::writeFiles(folder, "/app", images), d + "/exifExtract.bat");
        QCOMPARE(read(d + "/exifExtract.args"), expected);
        QCOMPARE(read(d + "/exifExtract.bat"), ExifScript::line("/app", d + "/exifExtract.args").toUtf8());

        // Nothing left to extract: an empty script, and no argument file of
        // the last run for it to find.
        QVERIFY(writeFile(d + "/b.xml", "<rdf:RDF></rdf:RDF>"));
        const QStringList done{d + "/a.jpg", d + "/b.jpg"};
        QCOMPARE(ExifScript::arguments(done), QByteArray());
        QCOMPARE(ExifScript::writeFiles(folder, "/app", done), d + "/exifExtract.bat");
        QCOMPARE(read(d + "/exifExtract.bat"), QByteArray());
        QVERIFY(!QFile::exists(d + "/exifExtract.args"));
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
