#include "ui/images/ExifOverlay.h"

#include "core/log/LogLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QXmlStreamReader>

#include <iostream>

#include "core/images/ExifScript.h"
#include "core/platform/ScriptProcess.h"

namespace
{

// The text of the first element of that local name, whatever its group prefix.
QString firstElementText(QIODevice& device, const QString& name)
{
    QXmlStreamReader xml(&device);
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == name)
            return xml.readElementText(QXmlStreamReader::SkipChildElements);
    return QString();
}

} // namespace

ExifOverlay::ExifOverlay(QLabel* label, QWidget* boxParent)
    : QObject(boxParent), m_label(label), m_boxParent(boxParent)
{
}

ExifOverlay::~ExifOverlay()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        // Let a running extraction finish its XML file rather than cut it off.
        m_process->setParent(QCoreApplication::instance());
        connect(m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), m_process,
                &QObject::deleteLater);
    }
}

void ExifOverlay::ensureFile(const QString& imagePath, const QString& appDir)
{
    if (ExifScript::hasXml(imagePath))
        return;
    QString error;
    const QString script =
        ExifScript::writeFiles(QFileInfo(imagePath).absolutePath(), appDir, {imagePath}, &error);
    if (script.isEmpty()) {
        LogLine(LogLevel::Error) << "Cannot write " << error.toStdString() << std::endl;
        return;
    }
    if (!m_process)
        m_process = new ScriptProcess(this);
    if (m_process->state() != QProcess::NotRunning)
        return;
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->startScript(appDir, QDir::toNativeSeparators(script));
}

bool ExifOverlay::read(const QString& imagePath)
{
    // Nothing of the photograph shown before may stay: a field the file lacks is empty.
    m_values = ExifXmlReader::Values();
    QFile file(ExifScript::xmlPath(imagePath));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        // Told without stopping the viewer: the extraction may still be running.
        auto* box = new QMessageBox(QMessageBox::Critical, tr("Load XML File Problem"),
                                    tr("Couldn't open xmlfile.xml to load settings for download"),
                                    QMessageBox::Ok, m_boxParent);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return false;
    }
    QString error;
    const bool read = ExifXmlReader::read(file, m_values, &error);
    if (!read)
        LogLine(LogLevel::Warning) << error.toStdString() << std::endl;
    // Only Windows file systems give exiftool a creation date.
    if (m_values.fileCreateDate.isEmpty() && file.seek(0))
        m_values.fileCreateDate = firstElementText(file, QStringLiteral("DateTimeOriginal"));
    return read;
}

void ExifOverlay::show(const QString& displayName, const QSize& size)
{
    const QString width = size.isValid() ? QString::number(size.width()) : QString();
    const QString height = size.isValid() ? QString::number(size.height()) : QString();
    m_label->setText(
        QStringLiteral(
            "<html><style type='text/css'> p {color:red; font-size:20px; float:left; }</style><p>Name: ") +
        displayName + QStringLiteral("</p><p>Make: ") + m_values.make + QStringLiteral("</p><p>Model: ") +
        m_values.model + QStringLiteral("</p><p>Width: ") + width + QStringLiteral("</p><p>Height: ") +
        height + QStringLiteral("</p><p>FocalLength: ") + m_values.focalLength +
        QStringLiteral("</p><p>fstop: ") + m_values.exposureTime + QStringLiteral("</p><p>Aperture: ") +
        m_values.fNumber + QStringLiteral("</p><p>TimeStamp: ") + m_values.fileCreateDate +
        QStringLiteral("</p>"));
}

void ExifOverlay::clear()
{
    m_label->clear();
}
