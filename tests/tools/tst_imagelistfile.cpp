#include <QtTest>

#include <QTemporaryDir>

#include "ImageListFile.h"

// The tool chain's image lists: what a tool cannot use is refused with the
// file and line, and a folder with a blank survives writing and reading.
class TestImageListFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QByteArray& text)
    {
        const QString path = m_dir.filePath("list.txt");
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
            return QString();
        return path;
    }

private slots:
    void unusableLinesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("negative focal")
            << QByteArray("a.jpg 0 660\nb.jpg 0 -660\n") << "line 2 has a negative";
        QTest::newRow("infinite focal") << QByteArray("a.jpg 0 inf\n") << "line 1 has no usable";
        QTest::newRow("focal with a tail") << QByteArray("a.jpg 0 660px\n") << "line 1 has no usable";
        QTest::newRow("extra words") << QByteArray("a.jpg 0 660 12\n") << "line 1 is not";
        QTest::newRow("unclosed quote")
            << QByteArray("\"C:\\Grabung Sued 2\\a.jpg 0 660\n") << "line 1 has an unclosed quote";
    }
    void unusableLinesAreRefused()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, reason);
        const QString path = write(text);
        ImageListFile list;
        std::string error;
        QVERIFY(!list.readFile(path.toStdString(), &error));
        QVERIFY2(QString::fromStdString(error).startsWith(path + ": " + reason), error.c_str());
    }

    void pathWithABlankIsQuotedAndReadBack()
    {
        ImageListFile list;
        list.entries = {{"C:\\Grabung Sued 2\\a.jpg", 660.5}, {"C:\\site\\b.jpg", 0}};
        const std::string path = m_dir.filePath("written.txt").toStdString();
        QVERIFY(list.writeFile(path, true));
        QFile f(QString::fromStdString(path));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("\"C:\\Grabung Sued 2\\a.jpg\" 0 660.5\nC:\\site\\b.jpg 0 0\n"));
        ImageListFile back;
        QVERIFY(back.readFile(path));
        QCOMPARE(back.entries.size(), size_t(2));
        QCOMPARE(back.entries[0].image, list.entries[0].image);
        QCOMPARE(back.entries[0].focal, 660.5);
    }
};

QTEST_GUILESS_MAIN(TestImageListFile)
#include "tst_imagelistfile.moc"
