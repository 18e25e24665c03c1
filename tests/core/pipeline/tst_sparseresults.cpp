#include <QtTest>

#include "core/pipeline/SparseResults.h"

class TestSparseResults : public QObject
{
    Q_OBJECT
private slots:
    // Photos are matched to the reconstruction's cameras by file name,
    // whatever their folder and case.
    void namesThePhotosLeftOut()
    {
        QTemporaryDir dir;
        QFile nvm(dir.filePath("sparse.nvm"));
        QVERIFY(nvm.open(QIODevice::WriteOnly));
        nvm.write("NVM_V3\n\n2\n"
                  "a.jpg 1000 1 0 0 0 0 0 0 0 0\n"
                  "photos/B.jpg 1000 1 0 0 0 1 0 0 0 0\n\n"
                  "1\n0 0 5 255 255 255 2 0 0 1 1 1 0 2 2\n");
        nvm.close();
        QCOMPARE(SparseResults::registeredLine(nvm.fileName(), {"/site/a.jpg", "/site/b.JPG", "/site/c.jpg"}),
                 QString("2 of 3 photos registered in the reconstruction; not placed: c.jpg"));
        QCOMPARE(SparseResults::registeredLine(nvm.fileName(), {"/site/a.jpg"}),
                 QString("1 of 1 photos registered in the reconstruction"));
        QCOMPARE(SparseResults::registeredLine(dir.filePath("missing.nvm"), {"/site/a.jpg"}), QString());
    }
};

QTEST_GUILESS_MAIN(TestSparseResults)
#include "tst_sparseresults.moc"
