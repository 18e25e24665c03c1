#pragma once

#include <QObject>
#include <QSize>
#include <QString>

#include "core/images/ExifXmlReader.h"

class QLabel;
class ScriptProcess;
class QWidget;

// The EXIF overlay of an image viewer: the text in the corner of the picture,
// read from the image's XML file, and the exiftool run that writes the file
// when the image has none yet.
class ExifOverlay : public QObject
{
    Q_OBJECT
public:
    // label: where the text is shown; boxParent: parent of the message box
    // that tells of a missing XML file.
    ExifOverlay(QLabel* label, QWidget* boxParent);
    ~ExifOverlay() override;

    // Starts the extraction of the image's XML file (tools under appDir)
    // unless the file is there or an extraction is running.
    void ensureFile(const QString& imagePath, const QString& appDir);
    // Reads the image's XML file; false (and a message box) when it cannot be opened.
    bool read(const QString& imagePath);
    // Shows what was read last; `size` is the picture's, invalid when there is none.
    void show(const QString& displayName, const QSize& size);
    void clear();

    const ExifXmlReader::Values& values() const { return m_values; }

private:
    QLabel* m_label;
    QWidget* m_boxParent;
    ExifXmlReader::Values m_values;
    ScriptProcess* m_process = nullptr;
};
