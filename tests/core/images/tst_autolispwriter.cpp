#include <QTemporaryDir>
#include <QtTest>

#include "core/images/AutoLispWriter.h"
#include "core/images/UserFeatureFile.h"

namespace
{

ExtrudedItem item(int kind, double x, double y, double z)
{
    return {kind, osg::Vec3d(x, y, z), osg::Vec3d(x, y, 0), osg::Vec3d(x, y, z - 0.3)};
}

ExtractedObject objectOf(const QVector<ExtrudedItem>& items)
{
    ExtractedObject object;
    for (const ConnectorRecord& c : ExtractedObject::plan(items))
        object.connectors[size_t(c.type)].append(c);
    return object;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class TestAutoLispWriter : public QObject
{
    Q_OBJECT
private slots:
    void ringsAndUprightsJoinTheItems()
    {
        const QVector<ConnectorRecord> plan =
            ExtractedObject::plan({item(1, 0, 0, 1), item(0, 5, 5, 1), item(1, 2, 0, 1), item(1, 2, 2, 1)});
        QStringList got;
        for (const ConnectorRecord& c : plan)
            got << QString("%1:%2,%3>%4,%5")
                       .arg(c.type)
                       .arg(c.first.x())
                       .arg(c.first.y())
                       .arg(c.second.x())
                       .arg(c.second.y());
        QCOMPARE(got,
                 QStringList({"1:0,0>2,0", "1:2,0>2,2", "1:2,2>0,0", "0:5,5>5,5", "2:0,0>2,0", "2:2,0>2,2",
                              "2:2,2>0,0", "3:5,5>5,5", "4:0,0>0,0", "4:2,0>2,0", "4:2,2>2,2", "5:5,5>5,5"}));
        QCOMPARE(plan[2].third, osg::Vec3d(2, 2, 0));    // the first item's foot
        QVERIFY(qAbs(plan[4].first.z() - 0.7) < 1e-12);  // lowered ring
        QVERIFY(qAbs(plan[8].second.z() - 0.7) < 1e-12); // upright down to the lowered point
    }

    void sixOuterAndSixInnerMembers()
    {
        QVector<ExtrudedItem> items;
        for (int i = 0; i < 6; ++i) {
            items << item(1, 10 + i, 20 - i, 1.5);
            items << item(0, 0.25 * i, -0.5, 2);
        }
        const QByteArray expected = "(defun loadHexagons()\n"
                                    "(setq pt1(list 10 20 0))\n"
                                    "(setq pt2(list 11 19 0))\n"
                                    "(setq pt3(list 12 18 0))\n"
                                    "(setq pt4(list 13 17 0))\n"
                                    "(setq pt5(list 14 16 0))\n"
                                    "(setq pt6(list 15 15 0))\n"
                                    "(setq cOuter 6)\n"
                                    "(setq ptI1(list 0 -0.5 0))\n"
                                    "(setq ptI2(list 0.25 -0.5 0))\n"
                                    "(setq ptI3(list 0.5 -0.5 0))\n"
                                    "(setq ptI4(list 0.75 -0.5 0))\n"
                                    "(setq ptI5(list 1 -0.5 0))\n"
                                    "(setq ptI6(list 1.25 -0.5 0))\n"
                                    "(setq ct1(list 10 20 1.5))\n"
                                    "(setq ct2(list 11 19 1.5))\n"
                                    "(setq ct3(list 12 18 1.5))\n"
                                    "(setq ct4(list 13 17 1.5))\n"
                                    "(setq ct5(list 14 16 1.5))\n"
                                    "(setq ct6(list 15 15 1.5))\n"
                                    "(setq ctI1(list 0 -0.5 2))\n"
                                    "(setq ctI2(list 0.25 -0.5 2))\n"
                                    "(setq ctI3(list 0.5 -0.5 2))\n"
                                    "(setq ctI4(list 0.75 -0.5 2))\n"
                                    "(setq ctI5(list 1 -0.5 2))\n"
                                    "(setq ctI6(list 1.25 -0.5 2))\n"
                                    "(setq cInner 6)\n"
                                    "(setq mt1(list 10 15 0))\n"
                                    "(setq mt2(list 15 20 0))\n"
                                    "(setq extrude1 -0.2)\n"
                                    "(setq extrude2 -0.2)\n"
                                    "  (princ)\n"
                                    ")\n"
                                    "(princ)";
        QCOMPARE(AutoLispWriter::program(objectOf(items)), expected);
    }

    // Survey coordinates keep their millimetres, and northings beyond 999999
    // still give the ring's extent.
    void utmCoordinatesAreWrittenInFull()
    {
        const ExtractedObject object =
            objectOf({item(1, 512345.678, 4123456.789, 812.345), item(1, 512346.5, 4123450.25, 812.5)});
        const QByteArray text = AutoLispWriter::program(object);
        QVERIFY(text.contains("(setq ct1(list 512345.678 4123456.789 812.345))\n"));
        QVERIFY(text.contains("(setq mt1(list 512345.678 4123450.25 0))\n"));
        QVERIFY(text.contains("(setq mt2(list 512346.5 4123456.789 0))\n"));
    }

    void outerRingAtOneXGivesThatXBothWays()
    {
        const QByteArray text = AutoLispWriter::program(objectOf({item(1, 2, 1, 0), item(1, 2, 5, 0)}));
        QVERIFY(text.contains("(setq mt1(list 2 1 0))\n(setq mt2(list 2 5 0))\n"));
    }

    void exportsAreNumberedAndNeverReplaced()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + "/";
        const ExtractedObject object = objectOf({item(1, 1, 1, 1)});
        QCOMPARE(AutoLispWriter::write(folder, object), folder + "lispOutput_0.lsp");
        QCOMPARE(AutoLispWriter::write(folder, object), folder + "lispOutput_1.lsp");
        QCOMPARE(readAll(folder + "lispOutput_1.lsp"), AutoLispWriter::program(object));
    }

    void failedWritesAreReported()
    {
        QString error;
        QVERIFY(AutoLispWriter::write("/nonexistent/folder/", objectOf({}), &error).isEmpty());
        QVERIFY2(error.contains("lispOutput_0.lsp"), qPrintable(error));
        error.clear();
        QVERIFY(UserFeatureFile::write("/nonexistent/folder/", {}, &error).isEmpty());
        QVERIFY2(error.contains("newFeatures_0.txt"), qPrintable(error));
    }

    void userFeatureFileListsEveryObservation()
    {
        ImagePick a;
        a.imageName = "a.JPG";
        a.cameraIndex = 3;
        a.matchNumber = 0;
        a.type = 1;
        a.x = 120;
        a.y = 45;
        a.point = osg::Vec3d(1.5, -2.25, 512345.678);
        a.matchIndex = 0;
        a.shapeIndex = 2;
        ImagePick b = a;
        b.imageName = "b.JPG";
        b.cameraIndex = 4;
        b.x = 88;
        QTemporaryDir dir;
        const QString path = UserFeatureFile::write(dir.path() + "/", {{a, b}});
        QCOMPARE(path, dir.path() + "/newFeatures_0.txt");
        QCOMPARE(readAll(path), QByteArray("1\n"
                                           "a.JPG 3 0 1 120 45 1.500000 -2.250000 512345.678000 0 2\n"
                                           "b.JPG 4 0 1 88 45 1.500000 -2.250000 512345.678000 0 2\n"));
    }
};

QTEST_GUILESS_MAIN(TestAutoLispWriter)
#include "tst_autolispwriter.moc"
