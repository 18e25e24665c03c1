#include <QtTest>

#include <QTemporaryDir>

#include "FileSizeLimit.h"
#include "core/annotation/KmlWriter.h"
#include "core/formats/PlyToPts.h"
#include "core/formats/PlyWriter.h"

// Qt's QSaveFile::commit() once put a truncated file in the place of the old
// one when the disk filled up during its last flush, and called it success.
class TestSaveFileCommit : public QObject
{
    Q_OBJECT
private slots:
    void writeThatFailsHalfwayKeepsTheOldFile_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::newRow("PLY export") << "ply";
        QTest::newRow("KML day file") << "kml";
        QTest::newRow("PLY to PTS") << "pts";
    }
    void writeThatFailsHalfwayKeepsTheOldFile()
    {
        QFETCH(QString, writer);
        QTemporaryDir dir;
        osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
        osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
        for (int i = 0; i < 500; ++i) {
            vertices->push_back(osg::Vec3(float(i), 2.5f, -1.0f));
            colours->push_back(osg::Vec4(0.5f, 0.25f, 1.0f, 1.0f));
        }
        QVector<AnnotationRecord> records(50);
        const QString ply = dir.filePath("cloud.ply");
        QVERIFY(PlyWriter::writePly(ply, *vertices, *colours));
        const QString target =
            writer == "ply" ? ply : dir.filePath(writer == "kml" ? "day.kml" : "cloud.pts");
        const auto write = [&](QString* error) {
            if (writer == "ply")
                return PlyWriter::writePly(ply, *vertices, *colours, error);
            if (writer == "kml")
                return KmlWriter::writeFile(target, LayerType::Points, "day.kml", records, error);
            return PlyToPts::convert(ply, error);
        };
        const QByteArray old("the previous file\n");
        {
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(old);
        }
        QString error;
        bool written = true;
        {
            FileSizeLimit diskFull(1024);
            QVERIFY(diskFull.active());
            written = write(&error);
        }
        QVERIFY(!written);
        QVERIFY(!error.isEmpty());
        QFile f(target);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), writer == "ply" ? 1 : 2);
    }
};

QTEST_GUILESS_MAIN(TestSaveFileCommit)
#include "tst_savefilecommit.moc"
