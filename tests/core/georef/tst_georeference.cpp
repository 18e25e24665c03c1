#include <QTemporaryDir>
#include <QtTest>

#include "CommaLocale.h"
#include "core/georef/GeoReference.h"

#include <osg/Matrixd>

#include <cmath>
#include <cstring>
#include <iostream>
#include <limits>
#include <sstream>

Q_DECLARE_METATYPE(osg::Vec3d)

namespace
{

// Rotation by 90 degrees about z, shift (10, 20, 30), scale (2, 3, 4).
const QByteArray quarterTurn = "0 -1 0\n"
                               "1 0 0\n"
                               "0 0 1\n"
                               "10 20 30\n"
                               "2 3 4\n";

bool readText(const QByteArray& text, GeoReference& out)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/sparse.txt";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return false;
    file.close();
    // The reader's complaints are for the console, not the test log.
    std::ostringstream sink;
    std::streambuf* old = std::cout.rdbuf(sink.rdbuf());
    const bool ok = GeoReference::read(path, out);
    std::cout.rdbuf(old);
    return ok;
}

bool near(const osg::Vec3d& a, const osg::Vec3d& b)
{
    return (a - b).length() < 1e-9;
}

} // namespace

class TestGeoReference : public QObject
{
    Q_OBJECT
private slots:
    void companionName_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("companion");
        QTest::newRow("nvm") << "/site/run/sparse.nvm"
                             << "/site/run/sparse.txt";
        QTest::newRow("pts") << "cloud.pts"
                             << "cloud.txt";
        QTest::newRow("last three characters only") << "/a/model.nvm2"
                                                    << "/a/model.ntxt";
        QTest::newRow("shorter than three") << "ab"
                                            << "txt";
    }
    void companionName()
    {
        QFETCH(QString, file);
        QFETCH(QString, companion);
        QCOMPARE(GeoReference::companionFileName(file), companion);
    }

    void placesPoints_data()
    {
        QTest::addColumn<osg::Vec3d>("point");
        QTest::addColumn<osg::Vec3d>("placed");
        // R*p then per-axis scale then shift: (1,0,0) -> (0,1,0) -> (0,3,0) -> (10,23,30).
        QTest::newRow("x axis") << osg::Vec3d(1, 0, 0) << osg::Vec3d(10, 23, 30);
        QTest::newRow("y axis") << osg::Vec3d(0, 1, 0) << osg::Vec3d(8, 20, 30);
        QTest::newRow("z axis") << osg::Vec3d(0, 0, 1) << osg::Vec3d(10, 20, 34);
        QTest::newRow("origin") << osg::Vec3d(0, 0, 0) << osg::Vec3d(10, 20, 30);
        QTest::newRow("general") << osg::Vec3d(1, 2, 3) << osg::Vec3d(6, 23, 42);
    }
    void placesPoints()
    {
        QFETCH(osg::Vec3d, point);
        QFETCH(osg::Vec3d, placed);
        GeoReference geo;
        QVERIFY(readText(quarterTurn, geo));
        QVERIFY(near(geo.apply(point), placed));

        // The scene's chain of transforms, outermost first translate(t),
        // scale(s), inverse of the rotation rows, lands on the same place.
        const osg::Matrixd chain = osg::Matrixd::inverse(geo.rotation) * osg::Matrixd::scale(geo.scale) *
                                   osg::Matrixd::translate(geo.translation);
        QVERIFY(near(point * chain, placed));
        // And back from the survey to the model.
        QVERIFY(near(geo.modelPoint(placed), point));
    }

    void rows_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("ok");
        QTest::newRow("five rows") << quarterTurn << true;
        QTest::newRow("CRLF") << QByteArray(quarterTurn).replace("\n", "\r\n") << true;
        QTest::newRow("tabs and trailing blanks")
            << QByteArray(quarterTurn).replace(" ", "\t").replace("\n", "  \n") << true;
        QTest::newRow("blank lines between rows") << QByteArray(quarterTurn).replace("\n", "\n\n") << true;
        QTest::newRow("no final newline") << quarterTurn.left(quarterTurn.size() - 1) << true;
        QTest::newRow("more rows than five") << quarterTurn + "7 7 7\nwhatever\n" << true;
        QTest::newRow("four rows") << quarterTurn.left(quarterTurn.lastIndexOf("2 3 4")) << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("two numbers in a row")
            << QByteArray(quarterTurn).replace("10 20 30", "10 20") << false;
        QTest::newRow("a word in a row") << QByteArray(quarterTurn).replace("10 20 30", "10 20 x") << false;
        QTest::newRow("decimal comma") << QByteArray(quarterTurn).replace("10 20 30", "10,5 20 30") << false;
        QTest::newRow("infinity") << QByteArray(quarterTurn).replace("10 20 30", "inf 20 30") << false;
        QTest::newRow("singular rotation") << QByteArray(quarterTurn).replace("0 0 1\n", "0 0 0\n") << false;
        QTest::newRow("binary") << QByteArray("\x01\xff\x00\x7f garbage\n", 13) << false;
    }
    void rows()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, ok);
        GeoReference geo;
        geo.translation.set(-1, -1, -1);
        QCOMPARE(readText(text, geo), ok);
        // A rejected file leaves the target as it was.
        QCOMPARE(geo.translation, ok ? osg::Vec3d(10, 20, 30) : osg::Vec3d(-1, -1, -1));
    }

    // The line after the five rows may name the reference system; only that line counts.
    void epsgLine_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("epsg");
        QTest::newRow("named") << quarterTurn + "EPSG:32633\n" << 32633;
        QTest::newRow("after a blank line") << quarterTurn + "\r\nEPSG:25832\r\n" << 25832;
        QTest::newRow("none") << quarterTurn << 0;
        QTest::newRow("not the sixth line") << quarterTurn + "7 7 7\nEPSG:32633\n" << 0;
        QTest::newRow("negative") << quarterTurn + "EPSG:-5\n" << 0;
        QTest::newRow("lower case") << quarterTurn + "epsg:32633\n" << 32633;
    }
    void epsgLine()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, epsg);
        GeoReference geo;
        geo.epsg = 99;
        QVERIFY(readText(text, geo));
        QCOMPARE(geo.epsg, epsg);
    }

    // Rows that once read as something else: each is refused, naming its line.
    void malformedRowsAreRefusedWithTheLine_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("exponents without digits")
            << QByteArray(quarterTurn).replace("10 20 30", "1e 2e+ 3E-") << "line 4: \"1e\" is not a number";
        QTest::newRow("a fourth number") << QByteArray(quarterTurn).replace("10 20 30", "10 20 30 40")
                                         << "line 4: more than three numbers";
        QTest::newRow("not a number") << QByteArray(quarterTurn).replace("10 20 30", "10 nan 30")
                                      << "line 4: \"nan\" is not a finite number";
        QTest::newRow("beyond the largest double")
            << QByteArray(quarterTurn).replace("10 20 30", "10 1e309 30")
            << "line 4: \"1e309\" is not a number";
        QTest::newRow("zero scale") << QByteArray(quarterTurn).replace("2 3 4", "0 0 1")
                                    << "line 5: the scale must be three non-zero numbers";
        QTest::newRow("rotation without a finite determinant")
            << QByteArray(quarterTurn).replace("0 -1 0\n1 0 0\n", "1e308 0 0\n0 1e308 0\n")
            << "lines 1-3: the rotation rows are too large";
        QTest::newRow("singular rotation") << QByteArray(quarterTurn).replace("0 0 1\n", "0 0 0\n")
                                           << "lines 1-3: the rotation rows are singular";
    }
    void malformedRowsAreRefusedWithTheLine()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, reason);
        GeoReference geo;
        QString error;
        QVERIFY(!GeoReference::parse(text, geo, &error));
        QVERIFY2(error.startsWith(reason), qPrintable(error));
        QCOMPARE(geo.translation, osg::Vec3d());
    }

    // The file was written with the shortest round-trip text but read digit
    // by digit: most values came back as other doubles (712345.674 as
    // 712345.67399999988), so every save moved the survey a little further
    // and changed the file's text. Saved and loaded again and again, every
    // double now stays the same bit for bit, and so does the text.
    void savingAndLoadingKeepsEveryBit_data()
    {
        QTest::addColumn<osg::Vec3d>("translation");
        QTest::addColumn<double>("angle");
        QTest::newRow("UTM coordinates") << osg::Vec3d(712345.674, 4123456.781, 163.201) << 0.7345;
        QTest::newRow("extremes") << osg::Vec3d(5e-324, 1.7976931348623157e308, -0.0) << 2.0;
        QTest::newRow("negative extremes")
            << osg::Vec3d(-std::numeric_limits<double>::min(), std::numeric_limits<double>::lowest(), 0.1)
            << -1.1;
    }
    void savingAndLoadingKeepsEveryBit()
    {
        QFETCH(osg::Vec3d, translation);
        QFETCH(double, angle);
        GeoReference geo;
        geo.rotation = osg::Matrixd::rotate(angle, osg::Vec3d(0.3, -0.5, 0.8));
        geo.translation = translation;
        geo.scale.set(0.9987654321, 0.9987654321, 1.0000123);
        geo.epsg = 32633;
        QTemporaryDir dir;
        const QString path = dir.filePath("sparse.txt");
        QString error;
        QVERIFY2(geo.write(path, &error), qPrintable(error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray first = file.readAll();
        file.close();
        for (int round = 0; round < 5; ++round) {
            GeoReference back;
            QVERIFY2(GeoReference::read(path, back, &error), qPrintable(error));
            QVERIFY(std::memcmp(back.rotation.ptr(), geo.rotation.ptr(), sizeof(double) * 16) == 0);
            QVERIFY(std::memcmp(back.translation.ptr(), geo.translation.ptr(), sizeof(double) * 3) == 0);
            QVERIFY(std::memcmp(back.scale.ptr(), geo.scale.ptr(), sizeof(double) * 3) == 0);
            QCOMPARE(back.epsg, 32633);
            QVERIFY2(back.write(path, &error), qPrintable(error));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), first);
            file.close();
        }
    }

    // A NaN was written and then refused on reading, and the largest double
    // written in a rotation made it singular for the reader: what could not
    // be read back is not written, and the old file stays.
    void unreadableValuesAreNotWritten_data()
    {
        QTest::addColumn<int>("index"); // into translation (0-2), scale (3-5), rotation (6)
        QTest::addColumn<double>("value");
        QTest::newRow("NaN translation") << 1 << std::nan("");
        QTest::newRow("infinite translation") << 2 << std::numeric_limits<double>::infinity();
        QTest::newRow("zero scale") << 3 << 0.0;
        QTest::newRow("overflowing rotation") << 6 << std::numeric_limits<double>::max();
    }
    void unreadableValuesAreNotWritten()
    {
        QFETCH(int, index);
        QFETCH(double, value);
        GeoReference geo;
        QVERIFY(readText(quarterTurn, geo));
        if (index < 3)
            geo.translation[index] = value;
        else if (index < 6)
            geo.scale[index - 3] = value;
        else
            geo.rotation = osg::Matrixd::scale(value, value, value);
        QTemporaryDir dir;
        const QString path = dir.filePath("sparse.txt");
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(quarterTurn);
        old.close();
        QString error;
        QVERIFY(!geo.write(path, &error));
        QVERIFY2(error.startsWith("not writing " + path), qPrintable(error));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), quarterTurn);
    }

    void epsgWrittenAndReadBack()
    {
        QTemporaryDir dir;
        GeoReference geo;
        QVERIFY(readText(quarterTurn, geo));
        geo.epsg = 32633;
        QString error;
        QVERIFY2(geo.write(dir.filePath("sparse.txt"), &error), qPrintable(error));
        GeoReference back;
        QVERIFY(GeoReference::read(dir.filePath("sparse.txt"), back));
        QCOMPARE(back.epsg, 32633);
        QVERIFY(near(back.translation, geo.translation));
    }

    void missingFile()
    {
        GeoReference geo;
        QVERIFY(!GeoReference::read(QStringLiteral("/nonexistent/sparse.txt"), geo));
    }

    void decimalsInCommaLocale()
    {
        CommaLocale comma;
        if (!comma.active())
            QSKIP("no locale with a decimal comma can be installed here");
        GeoReference geo;
        QVERIFY(readText(QByteArray(quarterTurn).replace("2 3 4", "0.5 1.25 2e-1"), geo));
        QCOMPARE(geo.scale, osg::Vec3d(0.5, 1.25, 0.2));
    }
};

QTEST_GUILESS_MAIN(TestGeoReference)
#include "tst_georeference.moc"
