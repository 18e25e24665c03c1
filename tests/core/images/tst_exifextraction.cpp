#include <QtTest>

#include <QImage>
#include <QTemporaryDir>

#include "core/images/ExifExtraction.h"
#include "core/images/ExifScript.h"
#include "core/images/ExifXmlReader.h"
#include "SharedData.h"

// The real exiftool, linked into the application folder's SfM tree, run
// through the generated script and our command interpreter, on copies of
// real photographs.
class TestExifExtraction : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // Copies a reference photograph to a new name under the temporary folder.
    QString photo(const QString& reference, const QString& target)
    {
        const QString path = m_dir.path() + '/' + target;
        QDir().mkpath(QFileInfo(path).path());
        if (!QFile::exists(path))
            QFile::copy(SharedData::path(reference), path);
        return path;
    }

    static ExifExtraction* extraction(QObject* parent)
    {
        auto* exif = new ExifExtraction(nullptr, parent);
        exif->setApplicationFolder(ORVALIS_APP_DIR);
        return exif;
    }

private slots:
    // Blanks and letters beyond ASCII in folder and file names go through the
    // script, the interpreter and exiftool unharmed.
    void castlePhotosReadBackThroughXml()
    {
        REQUIRE_SHARED_DATA();
        const QStringList images{photo("images/sceaux_castle/100_7100.JPG", "Grabung Süd/Säule 7100.JPG"),
                                 photo("images/sceaux_castle/100_7101.JPG", "Grabung Süd/100_7101.JPG"),
                                 photo("images/kermit/kermit000.jpg", "Grabung Süd/kermit000.jpg")};
        QObject owner;
        ExifExtraction* exif = extraction(&owner);
        QSignalSpy finished(exif, &ExifExtraction::finished);
        QVERIFY(exif->start(images));
        QVERIFY(exif->waitForFinished(60000));
        QCOMPARE(finished.count(), 1);
        QCOMPARE(exif->report(), QStringList{ExifExtraction::successLine()});
        QCOMPARE(exif->scriptPath(), m_dir.path() + "/Grabung Süd/exifExtract.bat");

        ExifXmlReader::Values expected;
        QVERIFY(ExifXmlReader::readFile(SharedData::path("exif/sceaux_100_7100.xml"), expected));
        for (const QString& image : images.mid(0, 2)) {
            ExifXmlReader::Values v;
            QString error;
            QVERIFY2(ExifXmlReader::readFile(ExifScript::xmlPath(image), v, &error), qPrintable(error));
            QCOMPARE(v.make, expected.make);
            QCOMPARE(v.model, expected.model);
            QCOMPARE(v.focalLength, QString("5.8 mm"));
        }
        ExifXmlReader::Values kermit;
        QVERIFY(ExifXmlReader::readFile(ExifScript::xmlPath(images[2]), kermit));
        QCOMPARE(kermit.model, QString("Canon PowerShot A10"));

        // A second run finds every XML file: an empty script, still a success,
        // and the files stay as they were.
        const QDateTime written = QFileInfo(ExifScript::xmlPath(images[0])).lastModified();
        QVERIFY(exif->start(images));
        QVERIFY(exif->waitForFinished(30000));
        QVERIFY(exif->succeeded());
        QCOMPARE(QFileInfo(exif->scriptPath()).size(), 0);
        QCOMPARE(QFileInfo(ExifScript::xmlPath(images[0])).lastModified(), written);
    }

    // One exiftool process for all photos writes, for each, the lines that
    // "exiftool -X photo > photo.xml" wrote: the readers find what they found.
    // Only the order of exiftool's composite tags may differ from the second
    // photo on, and the times the file was last looked at.
    void oneProcessWritesWhatOneRunPerPhotoWrote()
    {
        REQUIRE_SHARED_DATA();
        const QStringList images{photo("images/kermit/kermit004.jpg", "many/kermit004.jpg"),
                                 photo("images/gps_sample/DSCN0010.jpg", "many/DSCN0010.jpg"),
                                 photo("images/sceaux_castle/100_7102.JPG", "many/100_7102.JPG")};
        QObject owner;
        ExifExtraction* exif = extraction(&owner);
        QVERIFY(exif->start(images));
        QVERIFY(exif->waitForFinished(60000));
        QVERIFY2(exif->succeeded(), qPrintable(exif->report().join("\n")));
        QFile script(exif->scriptPath());
        QVERIFY(script.open(QIODevice::ReadOnly));
        QCOMPARE(script.readAll().count("exiftool"), 1);
        auto lines = [](const QByteArray& xml) {
            QList<QByteArray> kept;
            for (const QByteArray& line : xml.split('\n'))
                if (!line.contains("<System:FileAccessDate>") &&
                    !line.contains("<System:FileInodeChangeDate>"))
                    kept << line;
            std::sort(kept.begin(), kept.end());
            return kept;
        };
        for (const QString& image : images) {
            QProcess single;
            single.start(QString(ORVALIS_APP_DIR) + "/SfM/Undistort/exiftool.exe", {"-X", image});
            QVERIFY(single.waitForFinished(30000));
            QFile written(ExifScript::xmlPath(image));
            QVERIFY(written.open(QIODevice::ReadOnly));
            QCOMPARE(lines(written.readAll()), lines(single.readAllStandardOutput()));
        }
    }

    void secondStartWhileRunningIsRefused()
    {
        REQUIRE_SHARED_DATA();
        const QStringList images{photo("images/kermit/kermit001.jpg", "busy/kermit001.jpg")};
        QObject owner;
        ExifExtraction* exif = extraction(&owner);
        QSignalSpy status(exif, &ExifExtraction::statusMessage);
        QSignalSpy finished(exif, &ExifExtraction::finished);
        QVERIFY(exif->start(images));
        QVERIFY(!exif->start(images));
        QCOMPARE(status.count(), 1);
        QCOMPARE(status.at(0).at(0).toString(), QString("Exif extraction is already running"));
        QVERIFY(exif->waitForFinished(30000));
        QCOMPARE(finished.count(), 1);
        QVERIFY(exif->succeeded());
    }

    // Bad photos among good ones, all in one exiftool process: a photo that
    // has gone is the only one without XML, named in the log with no success
    // line; a truncated JPEG keeps the EXIF at its head, and a PNG, a TIFF
    // and a text file named .jpg get their XML as well, each beside itself.
    void badPhotosAmongGoodOnes()
    {
        REQUIRE_SHARED_DATA();
        const QString kept = photo("images/kermit/kermit002.jpg", "bad/kermit002.jpg");
        const QString gone = m_dir.path() + "/bad/kermit003.jpg";
        QFile whole(kept);
        QVERIFY(whole.open(QIODevice::ReadOnly));
        const QString cut = m_dir.path() + "/bad/cut.jpg";
        QFile cutFile(cut);
        QVERIFY(cutFile.open(QIODevice::WriteOnly) && cutFile.write(whole.read(whole.size() / 2)) > 0);
        cutFile.close();
        const QString text = m_dir.path() + "/bad/text.jpg";
        QFile textFile(text);
        QVERIFY(textFile.open(QIODevice::WriteOnly) && textFile.write("not a photo\n") > 0);
        textFile.close();
        const QImage image(kept);
        QVERIFY(!image.isNull());
        const QString png = m_dir.path() + "/bad/shot.png", tif = m_dir.path() + "/bad/plan.tif";
        QVERIFY(image.save(png) && image.save(tif));

        QObject owner;
        ExifExtraction* exif = extraction(&owner);
        QVERIFY(exif->start({kept, gone, cut, png, tif, text}));
        QVERIFY(exif->waitForFinished(60000));
        QVERIFY(!exif->succeeded());
        QVERIFY(!exif->report().contains(ExifExtraction::successLine()));
        QCOMPARE(exif->missing(), QStringList{gone});
        QVERIFY2(exif->report().contains("No Exif extracted for " + gone),
                 qPrintable(exif->report().join("\n")));
        ExifXmlReader::Values head;
        QVERIFY(ExifXmlReader::readFile(ExifScript::xmlPath(cut), head));
        QCOMPARE(head.model, QString("Canon PowerShot A10"));
        for (const auto& [file, type] :
             {std::pair{png, "PNG"}, std::pair{tif, "TIFF"}, std::pair{text, "TXT"}}) {
            QFile xml(ExifScript::xmlPath(file));
            QVERIFY2(xml.open(QIODevice::ReadOnly), qPrintable(xml.fileName()));
            QVERIFY2(xml.readAll().contains(QByteArray("<File:FileType>") + type + "</File:FileType>"),
                     qPrintable(file));
        }
    }

    void nothingStarted_data()
    {
        QTest::addColumn<QString>("appDir");
        QTest::addColumn<QStringList>("images");
        QTest::addColumn<QString>("log");
        QTest::newRow("no images") << ORVALIS_APP_DIR << QStringList()
                                   << "There are no images to extract, Aborting!";
        QTest::newRow("script cannot be written")
            << ORVALIS_APP_DIR << QStringList{"/nonexistent-folder/a.jpg"}
            << "Exif not extracted: cannot write /nonexistent-folder/exifExtract.args";
        // Said at once, so that a caller waiting for the run does not wait in vain.
        QTest::newRow("no interpreter") << "/nonexistent-app" << QStringList{"/tmp/a.jpg"}
                                        << "Exif not extracted: cannot start /nonexistent-app/orvcmd";
    }
    void nothingStarted()
    {
        QFETCH(QString, appDir);
        QFETCH(QStringList, images);
        QFETCH(QString, log);
        QObject owner;
        auto* exif = new ExifExtraction(nullptr, &owner);
        exif->setApplicationFolder(appDir);
        QSignalSpy lines(exif, &ExifExtraction::logLine);
        QSignalSpy finished(exif, &ExifExtraction::finished);
        QVERIFY(!exif->start(images));
        QVERIFY(!exif->isRunning());
        QVERIFY(exif->waitForFinished(0));
        QCOMPARE(lines.count(), 1);
        QVERIFY2(lines.at(0).at(0).toString().startsWith(log), qPrintable(lines.at(0).at(0).toString()));
        QCOMPARE(finished.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestExifExtraction)
#include "tst_exifextraction.moc"
