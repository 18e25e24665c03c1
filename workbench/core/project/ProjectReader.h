#pragma once

#include <QString>

class QIODevice;
class QXmlStreamReader;
struct ProjectDocument;

// Reads a project file (".prj", XML) into a ProjectDocument.
class ProjectReader
{
public:
    // False when the file is not a version 1.0 project or the XML is not well
    // formed; errorText then names the problem with its line and column.
    static bool read(QIODevice& device, ProjectDocument& doc, QString* errorText = nullptr);
    static bool readFile(const QString& fileName, ProjectDocument& doc, QString* errorText = nullptr);
};
