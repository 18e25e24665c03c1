#pragma once

#include <QObject>
#include <QProcess>
#include <QString>

#include <atomic>

class QThread;

// The window's point cloud conversions: PLY to a level-of-detail archive
// through the external Points2Archive (run on the window's conversion
// process through the command interpreter), PLY to PTS on a thread of its
// own and PTS to PLY in process. The window keeps the dialogs and message boxes; this class keeps
// the rules and what is pending.
class CloudConversion : public QObject
{
    Q_OBJECT
public:
    CloudConversion(QProcess* process, const QString& appDir, QObject* parent = nullptr);
    // A PLY-to-PTS conversion still running is cancelled; its output is not written.
    ~CloudConversion() override;

    // Where Points2Archive and the command interpreter are found.
    void setApplicationFolder(const QString& appDir) { m_appDir = appDir; }

    // Starts Points2Archive on an ASCII PLY. False, with the text to show,
    // when the file is binary or unreadable or a conversion is still running.
    bool startArchive(const QString& plyFile, QString* refusal);

    struct Finish {
        bool converted = false;
        QString message; // what the log and the message box say
        QString archive; // the archive written, when converted
    };
    // The conversion process ended: judges the outcome and deletes the
    // tool's intermediate file.
    Finish finishArchive(int exitCode, QProcess::ExitStatus status);

    // The window goes away while a conversion runs: ends the tool quietly
    // (its end is not reported), waits for it, and removes every piece it
    // left beside the input (the intermediate, pieces of nodes, the partial
    // archive).
    void abandonArchive();

    bool archiveRunning() const;

    // Converts a PLY to PTS beside it on a thread of its own, so the window
    // stays usable; the status bar follows it (statusMessage) and the log
    // gets what was left out. False, said in the status bar, while one runs.
    bool startPts(const QString& plyFile);
    bool ptsRunning() const { return m_ptsThread != nullptr; }
    QString pendingOutput() const { return m_pending; }

    // The second line of the file is exactly "format ascii 1.0".
    static bool isAsciiPly(const QString& file);
    // dense.ply -> dense.bin: the -o argument, which the tool uses as its intermediate.
    static QString intermediatePath(const QString& plyFile);
    // dense.bin -> dense.osga: where the tool writes the archive.
    static QString archivePath(const QString& intermediate);
    // The files a run writes while it works: the intermediate, the pieces
    // named after it ("dense.bin0", "dense.bin07", ...) and the partial
    // archive ("dense.osga.part<pid>.osga"); none of them once it is done.
    static QStringList piecesOf(const QString& intermediate);
    static QString commandLine(const QString& appDir, const QString& input, const QString& output);

    static QString binaryRefusal();
    static QString successText();

signals:
    void logLine(const QString& line);
    void statusMessage(const QString& text, int timeout);
    void ptsFinished(bool converted);

private slots:
    void readToolOutput();

private:
    void finishPts(bool converted, const QString& message);

    QThread* m_ptsThread = nullptr;
    std::atomic<bool> m_ptsCancel{false};
    QProcess* m_process;
    QString m_appDir;
    QString m_pending; // the -o path of the running conversion
    QByteArray m_partialLine;
};
