#include <QtTest>

#include "common/system/MachineMemory.h"

#include <cstdint>
#include <string>

class TestMachineMemory : public QObject
{
    Q_OBJECT
private slots:
    void parsesMeminfo_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<quint64>("totalKiB");
        QTest::addColumn<quint64>("availableKiB");
        QTest::newRow("meminfo") << QByteArray("MemTotal:       24683772 kB\nMemFree:        20278832 kB\n"
                                               "MemAvailable:   23312076 kB\n")
                                 << true << quint64(24683772) << quint64(23312076);
        QTest::newRow("carriage returns") << QByteArray("MemTotal: 2048 kB\r\nMemAvailable: 1024 kB\r\n") << true
                                          << quint64(2048) << quint64(1024);
        QTest::newRow("no available figure") << QByteArray("MemTotal: 2048 kB\n") << false << quint64(0)
                                             << quint64(0);
        QTest::newRow("garbage") << QByteArray("MemTotal: lots\nMemAvailable: 1 kB") << false << quint64(0)
                                 << quint64(0);
        QTest::newRow("negative") << QByteArray("MemTotal: -5 kB\nMemAvailable: 1 kB") << false << quint64(0)
                                  << quint64(0);
        QTest::newRow("longer key") << QByteArray("MemTotalX: 5 kB\nMemAvailable: 1 kB") << false << quint64(0)
                                    << quint64(0);
        QTest::newRow("unreadable") << QByteArray() << false << quint64(0) << quint64(0);
    }
    void parsesMeminfo()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, ok);
        QFETCH(quint64, totalKiB);
        QFETCH(quint64, availableKiB);
        MachineMemory memory{7, 7};
        QCOMPARE(MachineMemory::parse(std::string(text.constData(), size_t(text.size())), memory), ok);
        QCOMPARE(quint64(memory.totalBytes), totalKiB * 1024);
        QCOMPARE(quint64(memory.availableBytes), availableKiB * 1024);
    }

    // This machine, where it is Linux: some memory, no more available than there is.
    void readsThisMachine()
    {
        MachineMemory memory;
        if (!MachineMemory::current(memory))
            QSKIP("no /proc/meminfo here");
        QVERIFY(memory.totalBytes > 0);
        QVERIFY(memory.availableBytes <= memory.totalBytes);
        QCOMPARE(MachineMemory::available() > 0, true);
    }
};

QTEST_GUILESS_MAIN(TestMachineMemory)
#include "tst_machinememory.moc"
