#include <QtTest>

#include "core/annotation/CategoryColour.h"

Q_DECLARE_METATYPE(osg::Vec4f)

class TestCategoryColour : public QObject
{
    Q_OBJECT
private slots:
    void colourOf_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<osg::Vec4f>("colour");
        QTest::newRow("installation") << "IN-INSTALLATION" << osg::Vec4f(1, 1, 0, 0.8f);
        QTest::newRow("top soil") << "TL-TOP_SOIL" << osg::Vec4f(0.5f, 1, 0.5f, 0.8f);
        // 439 = 16 * 26 + 23: digits 7, 3, 5 in base 9.
        QTest::newRow("QX palette") << "QX-QUARRY"
                                    << osg::Vec4f(1 - 7 * 0.125f, 1 - 3 * 0.125f, 1 - 5 * 0.125f, 1);
        QTest::newRow("named code in other case uses the palette")
            << "FL-floor" << CategoryColour::paletteEntry(5 * 26 + 11);
        QTest::newRow("AA alone") << "AA" << osg::Vec4f(1, 1, 1, 1);
        QTest::newRow("lower case") << "qx-quarry" << CategoryColour::neutral();
        QTest::newRow("digit first") << "1A-X" << CategoryColour::neutral();
        QTest::newRow("one letter") << "Q" << CategoryColour::neutral();
        QTest::newRow("empty") << "" << CategoryColour::neutral();
        QTest::newRow("accented capital") << QString::fromUtf8("ÉA") << CategoryColour::neutral();
    }
    void colourOf()
    {
        QFETCH(QString, code);
        QFETCH(osg::Vec4f, colour);
        QCOMPARE(CategoryColour::colourOf(code), colour);
    }

    void paletteIndex_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("index");
        QTest::newRow("AB") << "AB" << 1;
        QTest::newRow("ZZ") << "ZZ" << 675;
        QTest::newRow("QX") << "QX" << 439;
        QTest::newRow("Ab") << "Ab" << -1;
    }
    void paletteIndex()
    {
        QFETCH(QString, code);
        QFETCH(int, index);
        QCOMPARE(CategoryColour::paletteIndex(code), index);
    }

    void neutralIsNoOtherColour()
    {
        const osg::Vec4f n = CategoryColour::neutral();
        for (int i = 0; i < CategoryColour::paletteSize; ++i)
            QVERIFY(CategoryColour::paletteEntry(i) != n);
        QCOMPARE(CategoryColour::paletteEntry(0), osg::Vec4f(1, 1, 1, 1));
        QCOMPARE(CategoryColour::paletteEntry(728), osg::Vec4f(0, 0, 0, 1));
    }
};

QTEST_GUILESS_MAIN(TestCategoryColour)
#include "tst_categorycolour.moc"
