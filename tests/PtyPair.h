#pragma once

// A pair of connected pseudo-terminals made by socat, standing in for a
// serial cable: the code under test opens deviceEnd(), the test writes into
// the other end. kill() ends socat, as when the device is unplugged.

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

class PtyPair
{
public:
    PtyPair()
    {
        const QString socat = QStandardPaths::findExecutable(QStringLiteral("socat"));
        if (socat.isEmpty() || !m_dir.isValid()) {
            m_error = QStringLiteral("socat is not installed (tools/install-deps.sh)");
            return;
        }
        m_process.setProgram(socat);
        m_process.setArguments({QStringLiteral("pty,raw,echo=0,link=") + deviceEnd(),
                                QStringLiteral("pty,raw,echo=0,link=") + feedEnd()});
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted(5000)) {
            m_error = QStringLiteral("socat did not start");
            return;
        }
        QElapsedTimer clock;
        clock.start();
        while (!(QFileInfo::exists(deviceEnd()) && QFileInfo::exists(feedEnd())) && clock.elapsed() < 5000)
            QThread::msleep(10);
        if (!QFileInfo::exists(feedEnd())) {
            m_error = QStringLiteral("socat made no pseudo-terminals");
            return;
        }
        m_feed = ::open(QFile::encodeName(feedEnd()).constData(), O_RDWR | O_NOCTTY);
        if (m_feed < 0)
            m_error = QStringLiteral("cannot open the feed end");
    }

    ~PtyPair() { kill(); }

    bool isReady() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }

    QString deviceEnd() const { return m_dir.filePath(QStringLiteral("COM33")); }
    QString feedEnd() const { return m_dir.filePath(QStringLiteral("gateway")); }

    // Writes all of bytes into the feed end at once.
    bool write(const QByteArray& bytes)
    {
        const char* p = bytes.constData();
        qint64 left = bytes.size();
        while (left > 0 && m_feed >= 0) {
            const ssize_t n = ::write(m_feed, p, size_t(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            p += n;
            left -= n;
        }
        return left == 0;
    }

    // The device is gone: socat ends and takes both terminals with it.
    void kill()
    {
        if (m_feed >= 0) {
            ::close(m_feed);
            m_feed = -1;
        }
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_error;
    int m_feed = -1;
};
