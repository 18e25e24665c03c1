#include <QDataStream>
#include <QtTest>

#include "LoopbackPeer.h"
#include "WireCodec.h"

Q_DECLARE_METATYPE(WireCodec::Form)

class TestWireCodec : public QObject
{
    Q_OBJECT
private slots:
    void encodesExactBytes_data()
    {
        QTest::addColumn<QByteArray>("encoded");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("position 1,2,3 as 31")
            << WireCodec::encodeString(31, "1,2,3") << hex("1f000000050000000a0031002c0032002c0033");
        QTest::newRow("altitude 120 as 26") << WireCodec::encodeByte(26, 120) << hex("1a78");
        QTest::newRow("id 28") << WireCodec::encodeId(28) << hex("1c");
        QTest::newRow("null image") << WireCodec::encodeImage(29, QByteArray()) << hex("1d00000000ffffffff");
        QTest::newRow("empty image") << WireCodec::encodeImage(29, QByteArray("")) << hex("1d00000000ffffffff");
        QTest::newRow("image") << WireCodec::encodeImage(29, hex("ffd8ff")) << hex("1d0000000300000003ffd8ff");
        QTest::newRow("null text") << WireCodec::encodeString(24, QString()) << hex("1800000000ffffffff");
        QTest::newRow("empty text") << WireCodec::encodeString(24, "") << hex("180000000000000000");
        QTest::newRow("beyond Latin-1") << WireCodec::encodeString(116, QString::fromUtf8("\u00b0\u20ac"))
                                        << hex("74000000020000000400b020ac");
    }
    void encodesExactBytes()
    {
        QFETCH(QByteArray, encoded);
        QFETCH(QByteArray, expected);
        QCOMPARE(encoded.toHex(), expected.toHex());
    }

    // A peer that reads the body with a data stream gets the same value back.
    void bodiesAreDataStreamCompatible()
    {
        const QString text = QString::fromUtf8("31.5,-2,7 \u00b0");
        QByteArray message = WireCodec::encodeString(24, text);
        QDataStream in(message);
        quint8 id = 0;
        qint32 n = 0;
        QString read;
        in >> id >> n >> read;
        QCOMPARE(id, quint8(24));
        QCOMPARE(n, text.size());
        QCOMPARE(read, text);

        const QByteArray jpeg = jpegOfSize(700);
        message = WireCodec::encodeImage(29, jpeg);
        QDataStream imageIn(message);
        QByteArray body;
        imageIn >> id >> n >> body;
        QCOMPARE(n, 700);
        QCOMPARE(body, jpeg);
    }

    // Several messages back to back, cut into pieces of every size: each
    // comes out once, whole and in order.
    void parsesAnyPieceSize_data()
    {
        QTest::addColumn<int>("pieceSize");
        for (int size : {1, 2, 5, 9, 10, 333, 100000})
            QTest::newRow(qPrintable(QString("pieces of %1").arg(size))) << size;
    }
    void parsesAnyPieceSize()
    {
        QFETCH(int, pieceSize);
        const QByteArray frame = jpegOfSize(1000);
        const QByteArray stream = hex("7d25") + hex("7101") + WireCodec::encodeString(116, "Loiter")
                                  + WireCodec::encodeImage(128, frame) + hex("c8")
                                  + WireCodec::encodeImage(112, QByteArray()) + WireCodec::encodeString(123, "");

        WireParser parser(&WireCodec::statusForm);
        QList<WireMessage> messages;
        for (const QByteArray& piece : split(stream, pieceSize)) {
            parser.append(piece);
            WireMessage message;
            WireParser::Result result;
            while ((result = parser.next(message)) == WireParser::Result::Message)
                messages << message;
            QCOMPARE(result, WireParser::Result::NeedMore);
        }
        QCOMPARE(parser.bufferedBytes(), qsizetype(0));
        QCOMPARE(messages.size(), 7);
        QCOMPARE(messages[0].id, quint8(125));
        QCOMPARE(messages[0].value, quint8(37));
        QCOMPARE(messages[1].id, quint8(113));
        QCOMPARE(messages[1].value, quint8(1));
        QCOMPARE(messages[2].text, QString("Loiter"));
        QCOMPARE(messages[3].data, frame);
        QCOMPARE(messages[4].id, quint8(200));
        QCOMPARE(messages[4].form, WireCodec::Form::Id);
        QCOMPARE(messages[5].id, quint8(112));
        QVERIFY(messages[5].data.isEmpty());
        QCOMPARE(messages[6].id, quint8(123));
        QVERIFY(messages[6].text.isEmpty());
    }

    void imageInThreePartsCompletesOnLastByte()
    {
        const QByteArray message = WireCodec::encodeImage(128, jpegOfSize(1000));
        QCOMPARE(message.size(), 1009);
        WireParser parser(&WireCodec::statusForm);
        WireMessage out;
        parser.append(message.left(400));
        QCOMPARE(parser.next(out), WireParser::Result::NeedMore);
        parser.append(message.mid(400, 608));
        QCOMPARE(parser.next(out), WireParser::Result::NeedMore);
        parser.append(message.right(1));
        QCOMPARE(parser.next(out), WireParser::Result::Message);
        QCOMPARE(out.data.size(), 1000);
        QCOMPARE(parser.next(out), WireParser::Result::NeedMore);
    }

    void unknownIdStopsFraming_data()
    {
        QTest::addColumn<bool>("requests");
        QTest::addColumn<int>("id");
        for (int id : {0, 9, 32, 109, 110, 255})
            QTest::newRow(qPrintable(QString("request side %1").arg(id))) << true << id;
        for (int id : {9, 10, 31, 109, 131, 150, 199, 206, 255})
            QTest::newRow(qPrintable(QString("status side %1").arg(id))) << false << id;
    }
    void unknownIdStopsFraming()
    {
        QFETCH(bool, requests);
        QFETCH(int, id);
        WireParser parser(requests ? &WireCodec::requestForm : &WireCodec::statusForm);
        parser.append(QByteArray(1, char(id)) + hex("0a7d25"));
        WireMessage out;
        QCOMPARE(parser.next(out), WireParser::Result::UnknownId);
        // What follows cannot be framed; it is dropped, not buffered.
        parser.append(QByteArray(100000, 'x'));
        QCOMPARE(parser.next(out), WireParser::Result::NeedMore);
        QCOMPARE(parser.bufferedBytes(), qsizetype(0));
        QVERIFY(parser.failed());
    }

    void untrustedLengths_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<bool>("accepted");
        const QByteArray maxImage = QByteArray::number(WireCodec::kMaxImageBytes, 16).rightJustified(8, '0');
        const QByteArray overImage = QByteArray::number(WireCodec::kMaxImageBytes + 1, 16).rightJustified(8, '0');
        QTest::newRow("image at the bound") << hex("80" + maxImage + maxImage) << true;
        QTest::newRow("image one over") << hex("80" + overImage + overImage) << false;
        QTest::newRow("image negative") << hex("80ffffff9cffffff9c") << false;
        QTest::newRow("image int max") << hex("807fffffff7fffffff") << false;
        QTest::newRow("image counts disagree") << hex("800000000a0000000b") << false;
        QTest::newRow("image null marker with bytes") << hex("8000000005ffffffff") << false;
        QTest::newRow("text at the bound") << hex("7400100000" "00200000") << true;
        QTest::newRow("text one over") << hex("7400100001" "00200002") << false;
        QTest::newRow("text negative") << hex("74ffffffff" "fffffffe") << false;
        QTest::newRow("text odd byte count") << hex("7400000002" "00000003") << false;
        QTest::newRow("text bytes wrap around") << hex("7480000000" "00000000") << false;
    }
    void untrustedLengths()
    {
        QFETCH(QByteArray, header);
        QFETCH(bool, accepted);
        WireParser parser(&WireCodec::statusForm);
        parser.append(header);
        WireMessage out;
        const WireParser::Result result = parser.next(out);
        if (accepted) {
            // Legal: it waits for the body without having reserved it.
            QCOMPARE(result, WireParser::Result::NeedMore);
            QCOMPARE(parser.bufferedBytes(), qsizetype(WireCodec::kHeaderSize));
        } else {
            QCOMPARE(result, WireParser::Result::Malformed);
            QCOMPARE(parser.bufferedBytes(), qsizetype(0));
            QVERIFY(!parser.errorString().isEmpty());
        }
    }

    void largestLegalImageIsDecoded()
    {
        const QByteArray body(WireCodec::kMaxImageBytes, 'j');
        WireParser parser(&WireCodec::requestForm);
        parser.append(WireCodec::encodeImage(29, body));
        WireMessage out;
        QCOMPARE(parser.next(out), WireParser::Result::Message);
        QCOMPARE(out.data.size(), body.size());
    }
};

QTEST_GUILESS_MAIN(TestWireCodec)
#include "tst_wirecodec.moc"
