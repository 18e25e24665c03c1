#include <QtTest>

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>

#include "ui/images/ImageSetOperations.h"
#include "ListRows.h"
#include "ui/images/MyListWidget.h"
#include "core/project/ScanSettings.h"
#include "SharedData.h"

namespace
{

QByteArray content(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The message box a step opens, read and closed as a user would.
struct BoxWatcher {
    QString text, informative;
    void arm()
    {
        QTimer::singleShot(0, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                text = box->text();
                informative = box->informativeText();
                box->accept();
            }
        });
    }
};

} // namespace

// Sync, copy and rename on copies of real photographs in temporary folders.
class TestImageSetOperations : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QWidget> m_window;
    MyListWidget* m_list = nullptr;
    ImageSetOperations* m_ops = nullptr;
    QStringList m_log, m_status;

    QString sync() const { return m_dir->filePath("camera"); }
    QString images() const { return m_dir->filePath("project"); }
    // A kermit photograph under a name of the sync folder.
    void shoot(const QString& name, int which = 0)
    {
        QFile::copy(SharedData::path(QString("images/kermit/kermit%1.jpg").arg(which, 3, 10, QChar('0'))),
                    sync() + '/' + name);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QDir().mkpath(sync());
        QDir().mkpath(images());
        ScanSettings::global() = ScanSettings();
        ScanSettings::global().syncFolder = sync();
        ScanSettings::global().imageFolder = images();
        m_window = std::make_unique<QWidget>();
        m_list = new MyListWidget(m_window.get());
        m_ops = new ImageSetOperations(m_list, m_window.get(), m_window.get());
        connect(m_list, &QListWidget::itemChanged, m_ops, &ImageSetOperations::changeItemValue);
        m_log.clear();
        m_status.clear();
        connect(m_ops, &ImageSetOperations::logLine, [this](const QString& l) { m_log << l; });
        connect(m_ops, &ImageSetOperations::statusMessage, [this](const QString& s) { m_status << s; });
    }
    void cleanup()
    {
        m_window.reset();
        m_dir.reset();
    }

    void syncCopiesOnlyWhatIsNew()
    {
        REQUIRE_SHARED_DATA();
        shoot("a.jpg", 0);
        shoot("b.jpg", 1);
        shoot("C.JPG", 2);                                            // found whatever the letter case
        QVERIFY(QFile::copy(sync() + "/b.jpg", images() + "/b.jpg")); // already fetched, not listed
        m_list->addImage("/elsewhere/a.jpg", "a.jpg");
        const QDateTime fetched = QFileInfo(images() + "/b.jpg").lastModified();

        // The label counts the copies, not every photograph of the sync folder.
        QString label;
        connect(m_ops, &ImageSetOperations::copyProgressed, this,
                [&] { label = m_window->findChild<QProgressDialog*>()->labelText(); });
        m_ops->syncImages();
        QCOMPARE(label, QString("Syncing image 1 of 1..."));
        QStringList added = rowTexts(*m_list).mid(1);
        added.sort();
        QCOMPARE(added, (QStringList{"C.JPG", "b.jpg"}));
        QCOMPARE(m_list->fullPath("C.JPG"), images() + "/C.JPG");
        QVERIFY(!QFile::exists(images() + "/a.jpg"));
        QCOMPARE(content(images() + "/C.JPG"), content(sync() + "/C.JPG"));
        QCOMPARE(QFileInfo(images() + "/b.jpg").lastModified(), fetched);
        QVERIFY(m_log.isEmpty());

        m_ops->syncImages();
        QCOMPARE(m_list->count(), 3);
        QCOMPARE(m_status.last(), QString("No new images"));
    }

    // A file of the same name but other content in the image folder is not
    // taken for the camera's photograph: it is named in the log, and no row
    // stands for the camera's photograph with the other file behind it.
    void syncNamesAClashInTheImageFolder()
    {
        REQUIRE_SHARED_DATA();
        shoot("a.jpg", 0);
        QVERIFY(QFile::copy(SharedData::path("images/kermit/kermit005.jpg"), images() + "/a.jpg"));
        m_ops->syncImages();
        QCOMPARE(m_log.size(), 1);
        QVERIFY(m_log.first().contains(sync() + "/a.jpg"));
        QCOMPARE(content(images() + "/a.jpg"), content(SharedData::path("images/kermit/kermit005.jpg")));
        QCOMPARE(m_list->count(), 0);
        QCOMPARE(m_status.last(), QString("No images synced, see the Log View"));
    }

    void cancelStopsTheRemainingCopies()
    {
        REQUIRE_SHARED_DATA();
        for (int i = 0; i < 5; ++i)
            shoot(QString("p%1.jpg").arg(i), i);
        QVERIFY(QDir(images()).removeRecursively()); // made by the sync
        connect(m_ops, &ImageSetOperations::copyProgressed, this, [this](int done) {
            auto* progress = m_window->findChild<QProgressDialog*>();
            if (done == 2 && progress)
                progress->findChild<QPushButton*>()->click();
        });
        m_ops->syncImages();
        QCOMPARE(QDir(images()).entryList(QDir::Files).size(), 2);
        QCOMPARE(m_list->count(), 2);
        for (const QString& path : m_list->imagePaths())
            QVERIFY(QFile::exists(path));
        QCOMPARE(m_log, QStringList{"Sync cancelled: 2 of 5 images copied"});
    }

    // Each failed copy is named in the log and its entry keeps pointing at
    // the file it had; the others follow their copies.
    void copyToFolderFailuresNamedAndEntriesKept()
    {
        REQUIRE_SHARED_DATA();
        shoot("ok.jpg", 0);
        shoot("gone.jpg", 1);
        shoot("taken.jpg", 2);
        m_list->addImages({sync() + "/ok.jpg", sync() + "/gone.jpg", sync() + "/taken.jpg"});
        QVERIFY(QFile::remove(sync() + "/gone.jpg"));
        const QString folder = m_dir->filePath("copy");
        QDir().mkpath(folder);
        QVERIFY(QFile::copy(SharedData::path("images/kermit/kermit009.jpg"), folder + "/taken.jpg"));

        m_ops->copyToFolder(folder);
        QCOMPARE(m_list->fullPath("ok.jpg"), folder + "/ok.jpg");
        QCOMPARE(m_list->fullPath("gone.jpg"), sync() + "/gone.jpg");
        QCOMPARE(m_list->fullPath("taken.jpg"), sync() + "/taken.jpg");
        QCOMPARE(m_log.size(), 2);
        QVERIFY(m_log[0].startsWith(sync() + "/gone.jpg"));
        QVERIFY(m_log[1].startsWith(sync() + "/taken.jpg"));
        QVERIFY(m_status.last().startsWith("1 of 3 images copied to "));

        // Copying again finds the same bytes there: nothing to report for it.
        m_log.clear();
        m_ops->copyToFolder(folder);
        QCOMPARE(m_log.size(), 2);
        QCOMPARE(m_list->fullPath("ok.jpg"), folder + "/ok.jpg");
    }

    void rename_data()
    {
        QTest::addColumn<QString>("newText");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("box");
        QTest::newRow("new name") << "north wall.jpg"
                                  << "north wall.jpg"
                                  << "";
        QTest::newRow("clash in another letter case") << "B.JPG"
                                                      << "a.jpg"
                                                      << "B.JPG already exists";
        QTest::newRow("empty") << ""
                               << "a.jpg"
                               << "";
        QTest::newRow("into a folder") << "../a.jpg"
                                       << "a.jpg"
                                       << "../a.jpg is not a file name";
    }
    void rename()
    {
        QFETCH(QString, newText);
        QFETCH(QString, shown);
        QFETCH(QString, box);
        m_list->addImages({"/d/a.jpg", "/d/b.jpg"});
        m_list->setCurrentRow(0);
        m_list->rename();
        BoxWatcher watcher;
        watcher.arm();
        m_list->item(0)->setText(newText);
        QCOMPARE(m_list->item(0)->text(), shown);
        QCOMPARE(watcher.text, box);
        if (box.endsWith("already exists"))
            QCOMPARE(watcher.informative,
                     "a.jpg cannot be renamed as " + newText + ". This name already exists");
        QCOMPARE(m_list->fullPath(shown), QString("/d/a.jpg"));
        QCOMPARE(m_list->fullPath("b.jpg"), QString("/d/b.jpg"));
        QVERIFY(!(m_list->item(0)->flags() & Qt::ItemIsEditable));
    }

    // As a user does it: the editor opened by "Rename", a new name, Return.
    void renameThroughTheEditor()
    {
        m_list->addImages({"/d/a.jpg", "/d/b.jpg"});
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_list->setCurrentRow(1);
        m_list->rename();
        auto* editor = m_list->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, "trench 2.jpg");
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(m_list->item(1)->text(), QString("trench 2.jpg")); // the delegate commits queued
        QCOMPARE(m_list->fullPath("trench 2.jpg"), QString("/d/b.jpg"));
        QVERIFY(m_list->renameText().isEmpty());
        QVERIFY(!(m_list->item(1)->flags() & Qt::ItemIsEditable));

        // Escape changes nothing, and the rename is over all the same.
        m_list->setCurrentRow(0);
        m_list->rename();
        QLineEdit* second = nullptr;
        for (QLineEdit* e : m_list->findChildren<QLineEdit*>())
            second = e->isVisible() ? e : second; // the first editor may await its deletion
        QVERIFY(second);
        QTest::keyClick(second, Qt::Key_Escape);
        QTRY_VERIFY(m_list->renameText().isEmpty());
        QCOMPARE(m_list->item(0)->text(), QString("a.jpg"));
    }

    // A refused rename left its text behind, and the next change of any row
    // (an icon arriving, a colour) renamed the records to that row's name.
    void laterRowChangesAfterARefusedRenameKeepThePaths()
    {
        m_list->addImages({"/d/a.jpg", "/d/b.jpg"});
        m_list->setCurrentRow(0);
        m_list->rename();
        BoxWatcher watcher;
        watcher.arm();
        m_list->item(0)->setText("b.jpg");
        QCOMPARE(watcher.text, QString("b.jpg already exists"));
        m_list->item(1)->setIcon(QIcon(QPixmap(8, 8)));
        m_list->item(1)->setForeground(Qt::red);
        QCOMPARE(m_list->fullPath("a.jpg"), QString("/d/a.jpg"));
        QCOMPARE(m_list->fullPath("b.jpg"), QString("/d/b.jpg"));
    }
};

QTEST_MAIN(TestImageSetOperations)
#include "tst_imagesetoperations.moc"
