#include <QtTest>

#include "core/georef/ProductGeoReference.h"
#include "core/products/ProductRecord.h"
#include "core/products/ProductStatus.h"

// What the tool chain's results were made from, and whether they still are:
// a pipeline folder as the stages leave it, changed the way re-runs change it.
class TestProductRecord : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.filePath(name); }
    void put(const QString& name, const QByteArray& content)
    {
        QDir().mkpath(QFileInfo(path(name)).path());
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    void record(const char* stage, const QStringList& inputs, const QStringList& outputs)
    {
        QString error;
        QVERIFY2(ProductRecord::make(m_dir.path(), QLatin1String(stage), inputs, outputs)
                     .write(m_dir.path(), &error),
                 qPrintable(error));
    }

private slots:
    void init()
    {
        for (const QString& entry : QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot))
            QFileInfo(path(entry)).isDir() ? QDir(path(entry)).removeRecursively()
                                           : QFile::remove(path(entry));
        put("sparse.nvm", "NVM_V3\n\n2\nmodel one\n");
        put("sparse.txt", "1 0 0\n0 1 0\n0 0 1\n712000 4123000 95\n2 2 2\n");
        put("pmvs/models/option-0000.ply", "ply\n");
        put("pmvs/models/option-0000.patch", "PATCHES\n");
        put("ortho/dsm.tif", "tiff");
        record(ProductRecord::georeference, {"sparse.nvm"}, {"sparse.txt"});
        record(ProductRecord::dense, {"sparse.nvm"},
               {"pmvs/models/option-0000.ply", "pmvs/models/option-0000.patch"});
        record(ProductRecord::orthophoto, {"sparse.nvm", "sparse.txt", "pmvs/models/option-0000.ply"},
               {"ortho/dsm.tif"});
    }

    void readsBackWhatWasWritten()
    {
        ProductRecord read;
        QVERIFY(ProductRecord::read(m_dir.path(), ProductRecord::dense, &read));
        QCOMPARE(read.outputs.size(), 2);
        QCOMPARE(read.outputs[0].path, QString("pmvs/models/option-0000.ply"));
        QCOMPARE(read.inputFingerprint("sparse.nvm"), ProductRecord::fingerprint(path("sparse.nvm")));
        QVERIFY(read.changedInputs(m_dir.path()).isEmpty());
        // A file of another program in its place is no record.
        put("records/dense.txt", "something else\n");
        QVERIFY(!ProductRecord::read(m_dir.path(), ProductRecord::dense, &read));
    }

    // Copying a folder or touching a file changes no content; a re-run does.
    void fingerprintFollowsContentOnly()
    {
        const QByteArray before = ProductRecord::fingerprint(path("sparse.nvm"));
        QVERIFY(QFile::copy(path("sparse.nvm"), path("copy.nvm")));
        QCOMPARE(ProductRecord::fingerprint(path("copy.nvm")), before);
        put("sparse.nvm", "NVM_V3\n\n2\nmodel two\n");
        QVERIFY(ProductRecord::fingerprint(path("sparse.nvm")) != before);
        QVERIFY(ProductRecord::fingerprint(path("gone.nvm")).isEmpty());
        // A large file: its head and tail are read.
        QByteArray big(6 << 20, 'x');
        put("big.ply", big);
        const QByteArray whole = ProductRecord::fingerprint(path("big.ply"));
        big[big.size() - 10] = 'y';
        put("big.ply", big);
        QVERIFY(ProductRecord::fingerprint(path("big.ply")) != whole);
    }

    void currentResultsAreNotStale_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("stage");
        QTest::newRow("reconstruction") << "sparse.nvm"
                                        << "georeference";
        QTest::newRow("dense cloud") << "pmvs/models/option-0000.ply"
                                     << "dense";
        QTest::newRow("cloud converted from it") << "pmvs/models/option-0000.pts"
                                                 << "dense";
        QTest::newRow("elevation model") << "ortho/dsm.tif"
                                         << "orthophoto";
    }
    void currentResultsAreNotStale()
    {
        QFETCH(QString, file);
        QFETCH(QString, stage);
        if (!QFile::exists(path(file)))
            put(file, "content");
        const ProductStatus status = ProductStatus::of(path(file));
        QVERIFY(status.known);
        QCOMPARE(status.stage, stage);
        QVERIFY2(!status.stale, qPrintable(status.reason));
    }

    // A re-run of the sparse stage: everything made from the earlier
    // reconstruction is stale, and says what to run.
    void newReconstructionMakesEverythingAfterItStale()
    {
        put("sparse.nvm", "NVM_V3\n\n2\nanother model\n");
        const ProductStatus dense = ProductStatus::of(path("pmvs/models/option-0000.ply"));
        QVERIFY(dense.stale);
        QCOMPARE(dense.changed, QStringList{"sparse.nvm"});
        QCOMPARE(
            dense.reason,
            QString("option-0000.ply is stale: it was made from an earlier sparse.nvm; run Dense again"));
        QVERIFY(ProductStatus::of(path("ortho/dsm.tif")).stale);
        const ProductStatus placement = ProductStatus::of(path("sparse.nvm"));
        QVERIFY(placement.stale);
        QVERIFY2(placement.reason.contains("georeference sparse.txt was made for an earlier sparse.nvm"),
                 qPrintable(placement.reason));
    }

    // A new georeference (a fit to control points): the rasters made with the
    // earlier one are stale; the dense clouds, in the model's own frame, are not.
    void newGeoreferenceMakesTheRastersStale()
    {
        put("sparse.txt", "1 0 0\n0 1 0\n0 0 1\n712001 4123000 95\n2 2 2\n");
        const ProductStatus raster = ProductStatus::of(path("ortho/dsm.tif"));
        QVERIFY(raster.stale);
        QCOMPARE(raster.changed, QStringList{"sparse.txt"});
        QVERIFY(raster.reason.endsWith("run Orthophoto and DSM again"));
        QVERIFY(!ProductStatus::of(path("pmvs/models/option-0000.ply")).stale);
    }

    // Files the user wrote beside the results are not results: a cloud
    // exported from the view is in survey coordinates already.
    void placedByItsReconstructionOnlyWhenTheStageMadeIt_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("placed");
        QTest::newRow("dense cloud") << "pmvs/models/option-0000.ply" << true;
        QTest::newRow("archive converted from it") << "pmvs/models/option-0000.osga" << true;
        QTest::newRow("export") << "pmvs/models/option-0000_export.ply" << false;
        QTest::newRow("registered copy") << "pmvs/models/option-0000_reg.ply" << false;
        QTest::newRow("elsewhere") << "clouds/option-0000.ply" << false;
    }
    void placedByItsReconstructionOnlyWhenTheStageMadeIt()
    {
        QFETCH(QString, file);
        QFETCH(bool, placed);
        put(file, "ply\n");
        QCOMPARE(ProductGeoReference::companionOf(path(file)), placed ? path("sparse.txt") : QString());
    }

    // A dense run that left no record: the names the matchers give.
    void denseResultsWithoutARecordArePlacedByTheirNames()
    {
        QVERIFY(QFile::remove(ProductRecord::fileOf(m_dir.path(), ProductRecord::dense)));
        put("pmvs/models/option-0001.ply", "ply\n");
        put("pmvs/models/mine.ply", "ply\n");
        QCOMPARE(ProductGeoReference::companionOf(path("pmvs/models/option-0001.ply")), path("sparse.txt"));
        QCOMPARE(ProductGeoReference::companionOf(path("pmvs/models/mine.ply")), QString());
        QVERIFY(!ProductStatus::of(path("pmvs/models/option-0001.ply")).known);
        // Nothing places a reconstruction that is not georeferenced.
        QVERIFY(QFile::remove(path("sparse.txt")));
        QCOMPARE(ProductGeoReference::companionOf(path("pmvs/models/option-0001.ply")), QString());
    }
};

QTEST_GUILESS_MAIN(TestProductRecord)
#include "tst_productrecord.moc"
