#include <QtTest>

#include "common/files/AtomicFile.h"

#include <fstream>
#include <sstream>
#include <string>

// A replaced file is the new one whole, or the old one untouched, and no
// temporary file stays behind either way.
class TestAtomicFile : public QObject
{
    Q_OBJECT

    static std::string read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static QStringList leftovers(const QTemporaryDir& dir)
    {
        return QDir(dir.path()).entryList({"*.part*"}, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    }

private slots:
    void writeReplacesTheOldFile()
    {
        QTemporaryDir dir;
        const std::string path = dir.filePath("result.txt").toStdString();
        QVERIFY(AtomicFile::write(path, "old\n"));
        const std::string content("new\0with a zero byte\n", 21);
        QVERIFY(AtomicFile::write(path, content));
        QCOMPARE(read(path), content);
        QVERIFY(leftovers(dir).isEmpty());
    }

    void failedWriteLeavesTheOldFile()
    {
        // The target's temporary name is taken by a folder: nothing can be
        // written, and the old file is what it was.
        QTemporaryDir dir;
        const std::string path = dir.filePath("result.txt").toStdString();
        QVERIFY(AtomicFile::write(path, "old\n"));
        QVERIFY(QDir().mkdir(QString::fromStdString(AtomicFile::temporaryName(path))));
        std::string error;
        QVERIFY(!AtomicFile::write(path, "new\n", &error));
        QVERIFY2(error.find(AtomicFile::temporaryName(path)) != std::string::npos, error.c_str());
        QCOMPARE(read(path), std::string("old\n"));
    }

    void failedCommitRemovesTheTemporary()
    {
        // A file written by another library under the temporary name cannot
        // replace a folder: the folder stays, the temporary goes.
        QTemporaryDir dir;
        const std::string path = dir.filePath("raster.tif").toStdString();
        QVERIFY(QDir().mkdir(QString::fromStdString(path)));
        QVERIFY(QDir().mkdir(QString::fromStdString(path + "/kept")));
        const std::string part = AtomicFile::temporaryName(path, ".tif");
        QVERIFY(QString::fromStdString(part).endsWith(".tif"));
        std::ofstream(part) << "raster";
        std::string error;
        QVERIFY(!AtomicFile::commit(part, path, &error));
        QVERIFY(!error.empty());
        QVERIFY(QFileInfo(QString::fromStdString(path + "/kept")).isDir());
        QVERIFY(leftovers(dir).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestAtomicFile)
#include "tst_atomicfile.moc"
