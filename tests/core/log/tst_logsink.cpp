#include <QtTest>

#include "core/log/LogLine.h"
#include "core/log/LogSink.h"

#include <iostream>
#include <sstream>
#include <thread>

namespace
{

// Collects what standard output would have shown.
class StdoutCapture
{
public:
    StdoutCapture() : m_old(std::cout.rdbuf(m_text.rdbuf())) {}
    ~StdoutCapture() { std::cout.rdbuf(m_old); }
    std::string text() const { return m_text.str(); }

private:
    std::ostringstream m_text;
    std::streambuf* m_old;
};

struct Received {
    LogLevel level;
    QString line;
};

// A subscriber as the window is one: it lives in the main thread.
class Subscriber
{
public:
    Subscriber()
    {
        LogSink::subscribe(&m_context, [this](LogLevel level, const QString& line) {
            lines.push_back({level, line});
        });
    }
    QStringList texts() const
    {
        QStringList out;
        for (const Received& r : lines)
            out << r.line;
        return out;
    }
    std::vector<Received> lines;

private:
    QObject m_context;
};

} // namespace

class TestLogSink : public QObject
{
    Q_OBJECT
private slots:
    void linesFromOtherThreadsArriveInTheirOrder()
    {
        Subscriber subscriber;
        StdoutCapture out;
        LogSink::write(LogLevel::Info, QStringLiteral("before"));
        std::thread worker([] {
            for (int i = 0; i < 200; ++i)
                LogLine(LogLevel::Info) << "worker " << i << "\n";
        });
        worker.join();
        LogSink::write(LogLevel::Info, QStringLiteral("after"));
        // Nothing arrives behind the subscriber's event loop.
        QVERIFY(subscriber.lines.empty());
        QCoreApplication::processEvents();
        QStringList expected{"before"};
        for (int i = 0; i < 200; ++i)
            expected << QStringLiteral("worker %1").arg(i);
        expected << "after";
        QCOMPARE(subscriber.texts(), expected);
    }

    void consoleTextStaysAsWritten_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("console");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("stream") << 0 << "Total Points Read = 3\n" << QStringList{"Total Points Read = 3"};
        QTest::newRow("printf full digits") << 1 << "XYZ: 0.10000000000000001 2\n"
                                            << QStringList{"XYZ: 0.10000000000000001 2"};
        QTest::newRow("several lines") << 2 << "FinishSelection\nWroteSelection\n"
                                       << QStringList{"FinishSelection", "WroteSelection"};
        QTest::newRow("no newline") << 3 << "Toggle is on " << QStringList{"Toggle is on "};
    }

    void consoleTextStaysAsWritten()
    {
        QFETCH(int, kind);
        QFETCH(QString, console);
        QFETCH(QStringList, lines);
        Subscriber subscriber;
        StdoutCapture out;
        switch (kind) {
        case 0:
            LogLine(LogLevel::Warning) << "Total Points Read = " << size_t(3) << std::endl;
            break;
        case 1:
            LogSink::printf(LogLevel::Warning, "XYZ: %.17g %d\n", 0.1, 2);
            break;
        case 2:
            LogSink::printf(LogLevel::Warning, "FinishSelection\nWroteSelection\n");
            break;
        default:
            LogLine(LogLevel::Warning) << QStringLiteral("Toggle is on ");
        }
        QCOMPARE(QString::fromStdString(out.text()), console);
        QCoreApplication::processEvents();
        QCOMPARE(subscriber.texts(), lines);
        for (const Received& r : subscriber.lines)
            QCOMPARE(r.level, LogLevel::Warning);
    }

    void linesForSubscribersOnlyStayOffTheConsole()
    {
        Subscriber subscriber;
        StdoutCapture out;
        LogSink::write(LogLevel::Error, QStringLiteral("a.nvm: cannot open"));
        QCoreApplication::processEvents();
        QCOMPARE(out.text(), std::string());
        QCOMPARE(subscriber.texts(), QStringList{"a.nvm: cannot open"});
        QCOMPARE(subscriber.lines.front().level, LogLevel::Error);
    }

    // A subscriber in the writing thread may answer a line with a line.
    void directSubscriberMayWriteItself()
    {
        Subscriber subscriber;
        QObject context;
        connect(&LogSink::instance(), &LogSink::message, &context, [](LogLevel, const QString& line) {
            if (line == QLatin1String("asked"))
                LogSink::write(LogLevel::Info, QStringLiteral("answered"));
        });
        LogSink::write(LogLevel::Info, QStringLiteral("asked"));
        QCoreApplication::processEvents();
        QCOMPARE(subscriber.texts(), (QStringList{"asked", "answered"}));
    }

    void statusTextReachesItsSubscriber()
    {
        QSignalSpy spy(&LogSink::instance(), &LogSink::statusMessage);
        std::thread worker([] { LogSink::status(QStringLiteral("No new images"), 2000); });
        worker.join();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), QString("No new images"));
        QCOMPARE(spy.at(0).at(1).toInt(), 2000);
    }
};

QTEST_MAIN(TestLogSink)
#include "tst_logsink.moc"
