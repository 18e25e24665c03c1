#include <QBuffer>
#include <QtTest>

#include "core/io/TextLineReader.h"

namespace
{

QList<QByteArray> linesOf(TextLineReader& reader)
{
    QList<QByteArray> lines;
    const char* begin;
    const char* end;
    while (reader.next(begin, end))
        lines.append(QByteArray(begin, int(end - begin)));
    return lines;
}

} // namespace

class TestTextLineReader : public QObject
{
    Q_OBJECT
private slots:
    // Reading through a small reused buffer gives the same lines as reading
    // the text in memory, whatever the chunk boundaries cut.
    void deviceMatchesMemory_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("one newline") << QByteArray("\n");
        QTest::newRow("no final newline") << QByteArray("a\nbc");
        QTest::newRow("CRLF stays") << QByteArray("a\r\n\r\nb\r\n");
        QTest::newRow("blank lines") << QByteArray("\n\n\nx\n\n");
        QByteArray longLines;
        for (int i = 0; i < 40; ++i)
            longLines += QByteArray(i * 37 % 500, char('a' + i % 26)) + '\n';
        QTest::newRow("lines longer than the buffer") << longLines;
        QTest::newRow("one huge line") << QByteArray(5000, 'z');
    }
    void deviceMatchesMemory()
    {
        QFETCH(QByteArray, text);
        TextLineReader memory(text.constData(), text.constData() + text.size());
        const QList<QByteArray> expected = linesOf(memory);
        QCOMPARE(expected.size(), text.count('\n') + (text.isEmpty() || text.endsWith('\n') ? 0 : 1));
        QCOMPARE(expected.join('\n') + (text.endsWith('\n') ? "\n" : ""), text);

        for (qint64 chunk : {64, 65, 100, 1 << 20}) {
            QBuffer buffer(&text);
            QVERIFY(buffer.open(QIODevice::ReadOnly));
            TextLineReader device(&buffer, chunk);
            QCOMPARE(device.bytesLeft(), qint64(text.size()));
            QCOMPARE(linesOf(device), expected);
            QCOMPARE(device.lineNumber(), qint64(expected.size()));
            QCOMPARE(device.bytesLeft(), qint64(0));
        }
    }

    void bytesLeftShrinks()
    {
        const QByteArray text = "12345\n789\n";
        TextLineReader reader(text.constData(), text.constData() + text.size());
        const char* begin;
        const char* end;
        QVERIFY(reader.next(begin, end));
        QCOMPARE(reader.bytesLeft(), qint64(4));
        QVERIFY(reader.next(begin, end));
        QVERIFY(!reader.next(begin, end));
        QCOMPARE(reader.bytesLeft(), qint64(0));
    }
};

QTEST_GUILESS_MAIN(TestTextLineReader)
#include "tst_textlinereader.moc"
