#pragma once

#include <QObject>
#include <QProcess>
#include <QString>

class CloudConversion;
class QWidget;

// The Tools menu's point cloud conversions as the user meets them: the file
// dialogs, the refusals and outcomes in message boxes and the status bar,
// and the finished archive offered as a layer. CloudConversion keeps the
// rules and the running archive conversion.
class ConversionActions : public QObject
{
    Q_OBJECT
public:
    // Dialogs and message boxes open on window.
    ConversionActions(QWidget* window, const QString& appDir);

    CloudConversion* conversion() const { return m_conversion; }

    // PLY to a level-of-detail archive: asks for the file, then starts it.
    void openArchiveConversion();
    // Starts it on an ASCII PLY; a refusal is shown in a message box.
    void startArchive(const QString& plyFile);
    // PLY to PTS (on a thread of its own) and PTS to PLY, each asking for its file.
    void convertPlyToPts();
    void convertPtsToPly();
    // The archive conversion ended: the outcome in a message box, and the
    // archive offered as a layer.
    void archiveFinished(int exitCode);

signals:
    void statusMessage(const QString& text, int timeoutMs);
    void logLine(const QString& line);
    // The user wants the finished archive as a layer.
    void archiveAccepted(const QString& archive);

private:
    QWidget* m_window;
    QProcess m_process;
    CloudConversion* m_conversion;
};
