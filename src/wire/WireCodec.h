#pragma once

// The framing Corvane and Orvalis speak on their TCP ports. Both programs
// include this header; they share no library, only these bytes.
//
// A message is an id byte followed by nothing (id form), one byte (byte
// form), a counted UTF-16 text (string form) or a counted JPEG (image form).
// Numbers are big-endian and the counted bodies are exactly what QDataStream
// writes for a QString or a QByteArray, so either side may use a data stream.
//
//   string: id | n: qint32 code units | b: quint32 = 2n | 2n bytes UTF-16BE
//   image:  id | n: qint32 bytes      | b: quint32 = n  | n bytes JPEG
//
// An empty image goes out as n = 0, b = 0xFFFFFFFF (a null byte array).

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QString>
#include <QtGlobal>

class WireCodec
{
public:
    enum class Form { Unknown, Id, Byte, String, Image };

    static constexpr int kHeaderSize = 9;
    static constexpr quint32 kNullLength = 0xFFFFFFFFu;
    // The largest legal bodies. A camera frame or patch as JPEG stays far
    // below the image bound; position, waypoint and model texts are short.
    static constexpr qint32 kMaxImageBytes = 8 * 1024 * 1024;
    static constexpr qint32 kMaxStringUnits = 1024 * 1024;
    static constexpr qint64 kMaxMessageSize = kHeaderSize + qint64(kMaxImageBytes);

    // Requests the ground station sends to the workbench's command port.
    static Form requestForm(quint8 id)
    {
        if (id < 10 || id > 31)
            return Form::Unknown;
        switch (id) {
        case 24:
        case 31:
            return Form::String;
        case 26:
            return Form::Byte;
        case 29:
            return Form::Image;
        default:
            return Form::Id;
        }
    }

    // Status and results the airborne tracker sends to the ground station.
    static Form statusForm(quint8 id)
    {
        if (id >= 200 && id <= 205)
            return (id == 200 || id == 201) ? Form::Id : Form::Byte;
        if (id < 110 || id > 130)
            return Form::Unknown;
        switch (id) {
        case 112:
        case 128:
            return Form::Image;
        case 116:
        case 123:
        case 127:
            return Form::String;
        default:
            return Form::Byte;
        }
    }

    static QByteArray encodeId(quint8 id) { return QByteArray(1, char(id)); }

    static QByteArray encodeByte(quint8 id, quint8 value)
    {
        QByteArray out;
        out.append(char(id));
        out.append(char(value));
        return out;
    }

    static QByteArray encodeString(quint8 id, const QString& text)
    {
        QByteArray out;
        QDataStream stream(&out, QIODevice::WriteOnly);
        stream.setVersion(QDataStream::Qt_5_0);
        stream.setByteOrder(QDataStream::BigEndian);
        stream << id << qint32(text.size()) << text;
        return out;
    }

    static QByteArray encodeImage(quint8 id, const QByteArray& encoded)
    {
        QByteArray out;
        QDataStream stream(&out, QIODevice::WriteOnly);
        stream.setVersion(QDataStream::Qt_5_0);
        stream.setByteOrder(QDataStream::BigEndian);
        stream << id << qint32(encoded.size());
        // An image that encoded to nothing is announced as a null array,
        // whether or not the caller's array happens to be null.
        if (encoded.isEmpty())
            stream << kNullLength;
        else
            stream << encoded;
        return out;
    }
};

// One decoded message. Only the field of its form is meaningful.
struct WireMessage
{
    quint8 id = 0;
    WireCodec::Form form = WireCodec::Form::Unknown;
    quint8 value = 0;
    QString text;
    QByteArray data;
};

// Cuts messages out of the bytes of one connection as they arrive: in any
// pieces, several messages back to back. It buffers at most one incomplete
// message, and a declared length is checked against the legal bounds before
// any byte of its body is waited for, so a peer cannot make it grow beyond
// kMaxMessageSize plus the piece handed to append().
class WireParser
{
public:
    enum class Result {
        NeedMore,   // no complete message buffered
        Message,    // one message was taken off the front
        UnknownId,  // the id is not in the table; framing is lost
        Malformed   // a length is negative, too large or inconsistent
    };
    using FormLookup = WireCodec::Form (*)(quint8);

    explicit WireParser(FormLookup lookup) : m_lookup(lookup) {}

    // After UnknownId or Malformed nothing more can be framed on this
    // connection, so further bytes are dropped instead of buffered.
    void append(const char* data, qsizetype size)
    {
        if (m_failed || size <= 0)
            return;
        compact();
        m_buffer.append(data, int(size));
    }
    void append(const QByteArray& bytes) { append(bytes.constData(), bytes.size()); }

    Result next(WireMessage& message)
    {
        if (m_failed)
            return Result::NeedMore;
        const qsizetype available = m_buffer.size() - m_pos;
        if (available < 1)
            return Result::NeedMore;
        const uchar* p = reinterpret_cast<const uchar*>(m_buffer.constData()) + m_pos;
        const quint8 id = p[0];
        const WireCodec::Form form = m_lookup(id);
        switch (form) {
        case WireCodec::Form::Unknown:
            fail(QStringLiteral("unknown message id %1").arg(id));
            return Result::UnknownId;
        case WireCodec::Form::Id:
            message = WireMessage();
            message.id = id;
            message.form = form;
            m_pos += 1;
            return Result::Message;
        case WireCodec::Form::Byte:
            if (available < 2)
                return Result::NeedMore;
            message = WireMessage();
            message.id = id;
            message.form = form;
            message.value = p[1];
            m_pos += 2;
            return Result::Message;
        case WireCodec::Form::String:
        case WireCodec::Form::Image:
            break;
        }

        if (available < WireCodec::kHeaderSize)
            return Result::NeedMore;
        const qint32 n = qint32(readBig32(p + 1));
        const quint32 b = readBig32(p + 5);
        const bool isString = form == WireCodec::Form::String;
        const qint32 limit = isString ? WireCodec::kMaxStringUnits : WireCodec::kMaxImageBytes;
        if (n < 0 || n > limit) {
            fail(QStringLiteral("message %1 declares a length of %2").arg(id).arg(n));
            return Result::Malformed;
        }
        const bool isNull = n == 0 && b == WireCodec::kNullLength;
        const qint64 bodySize = isString ? 2 * qint64(n) : qint64(n);
        if (!isNull && qint64(b) != bodySize) {
            fail(QStringLiteral("message %1 declares %2 and %3 bytes").arg(id).arg(n).arg(b));
            return Result::Malformed;
        }
        if (available < WireCodec::kHeaderSize + bodySize)
            return Result::NeedMore;

        message = WireMessage();
        message.id = id;
        message.form = form;
        const uchar* body = p + WireCodec::kHeaderSize;
        if (isString) {
            if (!isNull) {
                message.text = QString(n, Qt::Uninitialized);
                QChar* out = message.text.data();
                for (qsizetype i = 0; i < n; ++i)
                    out[i] = QChar(ushort((body[2 * i] << 8) | body[2 * i + 1]));
            }
        } else if (!isNull) {
            message.data = QByteArray(reinterpret_cast<const char*>(body), n);
        }
        m_pos += WireCodec::kHeaderSize + bodySize;
        return Result::Message;
    }

    bool failed() const { return m_failed; }
    QString errorString() const { return m_error; }
    // Bytes held for a message not yet complete.
    qsizetype bufferedBytes() const { return m_buffer.size() - m_pos; }

private:
    static quint32 readBig32(const uchar* p)
    {
        return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
    }

    void compact()
    {
        if (m_pos == 0)
            return;
        m_buffer.remove(0, int(m_pos));
        m_pos = 0;
    }

    void fail(const QString& why)
    {
        m_failed = true;
        m_error = why;
        m_buffer.clear();
        m_buffer.squeeze();
        m_pos = 0;
    }

    FormLookup m_lookup;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_failed = false;
    QString m_error;
};
