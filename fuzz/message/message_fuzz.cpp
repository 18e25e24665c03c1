// libFuzzer target for the wire message parser both programs use.
//
// The first input byte chooses the side (requests or status) and the size of
// the pieces the rest is handed over in, as a socket would. Every message
// that comes out must encode back to the bytes it came from and must read
// the same through QDataStream; what the parser holds must stay within one
// message plus one piece.

#include <QByteArray>
#include <QDataStream>
#include <QString>

#include <cstdint>
#include <cstdlib>

#include "WireCodec.h"

namespace {

qint64 wireLength(const WireMessage& m, const QByteArray& stream, qint64 offset)
{
    switch (m.form) {
    case WireCodec::Form::Id:
        return 1;
    case WireCodec::Form::Byte:
        return 2;
    default: {
        QDataStream in(stream.mid(int(offset) + 1, 4));
        qint32 n = 0;
        in >> n;
        return WireCodec::kHeaderSize + (m.form == WireCodec::Form::String ? 2 * qint64(n) : qint64(n));
    }
    }
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const bool requests = data[0] & 1;
    const qsizetype piece = 1 + (data[0] >> 1);
    const QByteArray stream(reinterpret_cast<const char*>(data + 1), int(size - 1));

    WireParser parser(requests ? &WireCodec::requestForm : &WireCodec::statusForm);
    qint64 offset = 0;
    for (qsizetype at = 0; at < stream.size(); at += piece) {
        parser.append(stream.constData() + at, qMin(piece, stream.size() - at));
        WireMessage m;
        for (;;) {
            const WireParser::Result result = parser.next(m);
            if (result != WireParser::Result::Message)
                break;
            const qint64 length = wireLength(m, stream, offset);
            const QByteArray original = stream.mid(int(offset), int(length));
            check(original.size() == length);
            QByteArray again;
            switch (m.form) {
            case WireCodec::Form::Id: again = WireCodec::encodeId(m.id); break;
            case WireCodec::Form::Byte: again = WireCodec::encodeByte(m.id, m.value); break;
            case WireCodec::Form::String: again = WireCodec::encodeString(m.id, m.text); break;
            case WireCodec::Form::Image: again = WireCodec::encodeImage(m.id, m.data); break;
            case WireCodec::Form::Unknown: check(false); break;
            }
            // The one spelling the encoder does not produce: an empty image
            // announced with b = 0 instead of the null marker.
            const bool emptyImageSpelling = m.form == WireCodec::Form::Image && m.data.isEmpty()
                                            && original == again.left(5) + QByteArray(4, '\0');
            check(again == original || emptyImageSpelling);

            if (m.form == WireCodec::Form::String || m.form == WireCodec::Form::Image) {
                QDataStream in(original);
                quint8 id = 0;
                qint32 n = 0;
                in >> id >> n;
                if (m.form == WireCodec::Form::String) {
                    QString text;
                    in >> text;
                    check(text == m.text && text.isNull() == m.text.isNull());
                } else {
                    QByteArray body;
                    in >> body;
                    check(body == m.data);
                }
                check(in.status() == QDataStream::Ok);
            }
            offset += length;
        }
        check(parser.bufferedBytes() <= WireCodec::kMaxMessageSize + piece);
        if (parser.failed())
            check(parser.bufferedBytes() == 0);
    }
    return 0;
}
