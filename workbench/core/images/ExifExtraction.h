#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

class ScriptProcess;

// Extracts the EXIF data of the image list into one XML file beside each
// photograph: writes exifExtract.bat and its argument file into the folder of
// the first image and runs it through the command interpreter (one exiftool
// process for all photos), without blocking. One extraction at a time;
// whoever needs the files (the sparse run) starts it when it is not running
// and waits for its finished() signal.
class ExifExtraction : public QObject
{
    Q_OBJECT
public:
    // process: the one the extraction runs on (the window's), or null for one of its own.
    explicit ExifExtraction(ScriptProcess* process = nullptr, QObject* parent = nullptr);

    void setApplicationFolder(const QString& appDir) { m_appDir = appDir; }
    QString applicationFolder() const { return m_appDir; }

    // Writes the script for the images and starts it. False, with the reason
    // told through logLine or statusMessage, when nothing was started: no
    // images, an extraction still running, no command interpreter, or a
    // script that cannot be written. finished() follows every run started.
    bool start(const QStringList& imagePaths);
    bool isRunning() const { return m_running; }
    // Keeps the event loop turning until the extraction ends or msecs pass;
    // true when it is over (or never ran).
    bool waitForFinished(int msecs);

    // Of the last extraction that ended: the log lines that tell its outcome,
    // whether every image got its XML file, and the images that did not.
    QStringList report() const { return m_report; }
    bool succeeded() const { return m_succeeded; }
    QStringList missing() const { return m_missing; }
    QString scriptPath() const { return m_scriptPath; }

    static QString successLine() { return QStringLiteral("Exif Successfully Extracted"); }

signals:
    void logLine(const QString& text);
    void statusMessage(const QString& text, int timeout);
    // The extraction ended; report() tells how.
    void finished(int exitCode);

private:
    void onProcessFinished(int exitCode, QProcess::ExitStatus status);
    void onProcessError(QProcess::ProcessError error);
    void conclude(int exitCode, const QString& failure, QProcess::ExitStatus status = QProcess::NormalExit);

    ScriptProcess* m_process;
    QString m_appDir;
    QString m_scriptPath;
    QStringList m_images;
    QStringList m_report;
    QStringList m_missing;
    QByteArray m_errors; // the interpreter's error output, bounded
    bool m_running = false;
    bool m_succeeded = false;
};
