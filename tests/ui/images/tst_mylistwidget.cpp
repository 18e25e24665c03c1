#include <QtTest>

#include <QApplication>
#include <QMenu>
#include <QTemporaryDir>

#include "ListRows.h"
#include "ui/images/MyListWidget.h"
#include "SharedData.h"
#include "ui/images/ThumbnailLoader.h"

namespace
{

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

} // namespace

class TestMyListWidget : public QObject
{
    Q_OBJECT
private slots:
    void batchesCycleThroughFourColours()
    {
        MyListWidget list;
        for (int batch = 0; batch < 5; ++batch)
            list.addImages({QString("/d/%1a.jpg").arg(batch), QString("/d/%1b.jpg").arg(batch)});
        const QVector<QColor> cycle{Qt::black, Qt::green, Qt::blue, Qt::red};
        // The counter is program-wide: the first batch here may take any colour.
        const int first = cycle.indexOf(list.item(0)->foreground().color());
        QVERIFY(first >= 0);
        for (int batch = 0; batch < 5; ++batch) {
            QCOMPARE(list.item(2 * batch)->foreground().color(), cycle[(first + batch) % 4]);
            QCOMPARE(list.item(2 * batch + 1)->foreground().color(), cycle[(first + batch) % 4]);
        }
    }

    void nextAndPreviousWrapAround_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("next");
        QTest::addColumn<QString>("previous");
        const QStringList three{"/d/a.jpg", "/d/b.jpg", "/e/c.jpg"};
        QTest::newRow("middle") << three << "/d/b.jpg"
                                << "/e/c.jpg"
                                << "/d/a.jpg";
        QTest::newRow("last wraps to first") << three << "/e/c.jpg"
                                             << "/d/a.jpg"
                                             << "/d/b.jpg";
        QTest::newRow("first wraps to last") << three << "/D/A.JPG"
                                             << "/d/b.jpg"
                                             << "/e/c.jpg";
        QTest::newRow("single image") << QStringList{"/d/a.jpg"} << "/d/a.jpg"
                                      << ""
                                      << "";
        QTest::newRow("unknown file") << three << "/d/x.jpg"
                                      << ""
                                      << "";
        // The name alone does not tell the rows apart.
        QTest::newRow("same name, other folder")
            << QStringList{"/d/p.jpg", "/e/q.jpg", "/e/p.jpg"} << "/d/p.jpg"
            << "/e/q.jpg"
            << "/e/p.jpg";
    }
    void nextAndPreviousWrapAround()
    {
        QFETCH(QStringList, paths);
        QFETCH(QString, path);
        MyListWidget list;
        list.addImages(paths);
        const auto next = list.nextEntry(path);
        const auto previous = list.previousEntry(path);
        QTEST(next ? next->path : QString(), "next");
        QTEST(previous ? previous->path : QString(), "previous");
        if (next)
            QCOMPARE(next->name, ImageTable::displayName(next->path));
    }

    // Two photographs of one name from two folders stay two files: each row
    // answers its own, and deleting one leaves the other's row.
    void sameNameInTwoFoldersKeepsBothFiles()
    {
        MyListWidget list;
        list.addImages({"/site/day1/p.jpg", "/site/q.jpg"});
        list.addImages({"/site/day2/P.jpg"});
        QCOMPARE(list.fullPath("p.jpg"), QString("/site/day2/P.jpg"));
        QCOMPARE(list.fullPath("nothing.jpg"), QString());
        QCOMPARE(list.pathOf(list.item(0)), QString("/site/day1/p.jpg"));

        QSignalSpy removed(&list, &MyListWidget::updateDeteleItem);
        list.deleteImage("/SITE/Q.JPG");
        QCOMPARE(removed.count(), 1);
        QCOMPARE(rowTexts(list), (QStringList{"p.jpg", "P.jpg"}));
        QCOMPARE(list.imagePaths(), (QStringList{"/site/day1/p.jpg", "/site/day2/P.jpg"}));
        list.deleteImage("/site/day2/P.jpg");
        QCOMPARE(rowTexts(list), QStringList{"p.jpg"});
        QCOMPARE(list.fullPath("p.jpg"), QString("/site/day1/p.jpg"));
    }

    // The entries act on the row the menu was opened on, even when another row is current.
    void contextMenuDeletesTheRowClicked()
    {
        MyListWidget list;
        list.addImages({"/d/a.jpg", "/d/b.jpg", "/d/c.jpg"});
        list.resize(200, 200);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.setCurrentRow(0);
        QStringList entries;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            for (QAction* a : menu->actions())
                entries << a->text();
            menu->actions().first()->trigger();
            menu->close();
        });
        QSignalSpy removed(&list, &MyListWidget::updateDeteleItem);
        list.showContextMenuForWidget(list.visualItemRect(list.item(2)).center());
        QCOMPARE(entries, (QStringList{"Delete", "Rename", "Thumbnail", "Split Group", "Assign Group",
                                       "Compare to All"}));
        QCOMPARE(rowTexts(list), (QStringList{"a.jpg", "b.jpg"}));
        QCOMPARE(removed.count(), 1);
        // The record stays: the thumbnail view shows the row again.
        QCOMPARE(list.fullPath("c.jpg"), QString("/d/c.jpg"));
    }

    // The second view reads every thumbnail from the cache and writes none;
    // rows keep the order of the table whatever order decoding ends in.
    void thumbnailsTwice()
    {
        REQUIRE_SHARED_DATA();
        QTemporaryDir dir;
        QStringList paths;
        for (const char* name : {"kermit004.jpg", "kermit001.jpg", "kermit007.jpg"}) {
            paths << dir.filePath(name);
            QVERIFY(QFile::copy(SharedData::path(QString("images/kermit/") + name), paths.last()));
        }
        paths << dir.filePath("broken.jpg");
        QVERIFY(writeFile(paths.last(), "not a photograph"));
        MyListWidget list;
        list.addImages(paths);
        delete list.takeItem(1); // a row deleted from the list only

        QSignalSpy done(&list, &MyListWidget::thumbnailsFinished);
        list.getThumbnailImage();
        QCOMPARE(rowTexts(list),
                 (QStringList{"kermit004.jpg", "kermit001.jpg", "kermit007.jpg", "broken.jpg"}));
        QVERIFY(done.wait(20000));
        QCOMPARE(list.thumbnailLoader()->savedCount(), 3);
        for (int i = 0; i < 3; ++i) {
            const QString cached = dir.filePath("thumbnail/" + list.item(i)->text());
            QCOMPARE(QImage(cached).size(), QSize(100, 100));
            QVERIFY(!list.item(i)->icon().isNull());
        }
        QVERIFY(list.item(3)->icon().isNull());

        // A damaged cache file is made again from its photograph.
        QVERIFY(writeFile(dir.filePath("thumbnail/kermit004.jpg"), "damaged"));
        list.getThumbnailImage();
        QVERIFY(done.wait(20000));
        QCOMPARE(list.thumbnailLoader()->savedCount(), 1);
        QCOMPARE(QImage(dir.filePath("thumbnail/kermit004.jpg")).size(), QSize(100, 100));
        const QDateTime made = QFileInfo(dir.filePath("thumbnail/kermit001.jpg")).lastModified();

        // The photographs are no longer readable: only the cache can give the icons.
        for (int i = 0; i < 3; ++i) {
            QFile::setPermissions(paths[i], QFile::ReadOwner | QFile::WriteOwner);
            QVERIFY(writeFile(paths[i], "overwritten"));
        }
        list.getThumbnailImage();
        QVERIFY(done.wait(20000));
        QCOMPARE(list.thumbnailLoader()->savedCount(), 0);
        QCOMPARE(list.thumbnailLoader()->cachedCount(), 3);
        for (int i = 0; i < 3; ++i)
            QVERIFY(!list.item(i)->icon().isNull());
        QCOMPARE(QFileInfo(dir.filePath("thumbnail/kermit001.jpg")).lastModified(), made);
    }

    void imagePathsFollowTheListOrder()
    {
        MyListWidget list;
        list.addImages({"/d/a.jpg", "/d/b.jpg", "/d/c.jpg"});
        list.insertItem(0, list.takeItem(2)); // as a drag inside the list does
        QCOMPARE(list.imagePaths(), (QStringList{"/d/c.jpg", "/d/a.jpg", "/d/b.jpg"}));
    }
};

QTEST_MAIN(TestMyListWidget)
#include "tst_mylistwidget.moc"
