#include <QtTest>

#include "core/images/ImageSelection.h"

namespace
{

ImagePick at(const QString& image, int x, int y, int type = 0)
{
    ImagePick p;
    p.imageName = image;
    p.cameraIndex = image == "a.jpg" ? 0 : 1;
    p.type = type;
    p.x = x;
    p.y = y;
    return p;
}

using Outcome = ImageSelection::PickOutcome;

} // namespace

class TestImageSelection : public QObject
{
    Q_OBJECT
private slots:
    void picksPairAcrossTwoImages()
    {
        ImageSelection s;
        QCOMPARE(s.pick(at("a.jpg", 10, 10), false), Outcome::Added);
        QVERIFY(s.openPick());
        QCOMPARE(s.pick(at("A.JPG", 40, 40), false), Outcome::SameImage);
        QCOMPARE(s.pick(at("b.jpg", 12, 11), false), Outcome::Added);
        QVERIFY(!s.openPick());
        QCOMPARE(s.pick(at("b.jpg", 90, 90), false), Outcome::Added);
        QCOMPARE(s.matches().size(), 2);
        QCOMPARE(s.matches()[0].size(), 2);
        QCOMPARE(s.matches()[1][0].matchNumber, 1);
    }

    // Removing by a click near a pick looks at picks of the same image only.
    void nearbyPickIsRemovedInsteadOfAdded()
    {
        ImageSelection s;
        s.pick(at("a.jpg", 10, 10), true);
        s.pick(at("b.jpg", 100, 100), true);
        double nearest = 0;
        QCOMPARE(s.pick(at("a.jpg", 13, 13), true, &nearest), Outcome::Removed);
        QVERIFY(qAbs(nearest - std::hypot(3.0, 3.0)) < 1e-9);
        QCOMPARE(s.matches().size(), 1);
        QCOMPARE(s.matches()[0][0].imageName, QString("b.jpg"));
        // Without the search, a click at the same place adds a pick.
        QCOMPARE(s.pick(at("a.jpg", 100, 100), false), Outcome::Added);
        QCOMPARE(s.matches()[0].size(), 2);
    }

    void undoTakesTheLastPick()
    {
        ImageSelection s;
        QVERIFY(!s.undo());
        s.pick(at("a.jpg", 1, 1), false);
        s.pick(at("b.jpg", 2, 2), false);
        s.pick(at("a.jpg", 3, 3), false);
        QVERIFY(s.undo());
        QCOMPARE(s.matches().size(), 1);
        QVERIFY(s.undo());
        QCOMPARE(s.matches()[0].size(), 1);
        QVERIFY(s.undo());
        QVERIFY(s.matches().isEmpty());
        QVERIFY(!s.undo());
    }

    void pickedFeatureTogglesOnTheSameSpot()
    {
        ImageSelection s;
        QVERIFY(s.toggleFeature(at("a.jpg", 5, 6)));
        QVERIFY(s.toggleFeature(at("b.jpg", 5, 6)));
        QVERIFY(!s.toggleFeature(at("a.jpg", 5, 6)));
        QCOMPARE(s.pickedFeatures().size(), 1);
        QCOMPARE(s.pickedFeatures()[0].imageName, QString("b.jpg"));
    }

    void extractedMatchesMoveToHistory()
    {
        ImageSelection s;
        for (int i = 0; i < 3; ++i) {
            s.pick(at("a.jpg", i, i), false);
            s.pick(at("b.jpg", i, i), false);
        }
        s.pick(at("a.jpg", 9, 9), false); // still open
        s.moveToHistory({0, 2}, 4);
        QCOMPARE(s.history().size(), 2);
        QCOMPARE(s.history()[1][0].x, 2);
        QCOMPARE(s.history()[1][1].matchIndex, 1);
        QCOMPARE(s.history()[0][0].shapeIndex, 4);
        QCOMPARE(s.matches().size(), 2);
        QCOMPARE(s.matches()[0][0].x, 1);
        QCOMPARE(s.matches()[1].size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestImageSelection)
#include "tst_imageselection.moc"
