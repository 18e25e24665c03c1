#include <QtTest>

#include <QListWidget>
#include <QScrollBar>

#include "ui/log/LogView.h"

// The log follows its newest line for a reader at its end (a long run's
// progress stays in view) and leaves one who scrolled back where he is.
class TestLogView : public QObject
{
    Q_OBJECT
private slots:
    void followsOnlyAReaderAtTheEnd()
    {
        QListWidget list;
        list.resize(300, 120);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        for (int i = 0; i < 50; ++i)
            LogView::append(&list, QString("line %1").arg(i));
        QScrollBar* bar = list.verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());

        bar->setValue(3);
        LogView::append(&list, "one more");
        QCOMPARE(bar->value(), 3);
        QCOMPARE(list.item(list.count() - 1)->text(), QString("one more"));
    }
};

QTEST_MAIN(TestLogView)
#include "tst_logview.moc"
