#pragma once

class QIODevice;
class QString;
struct ProjectDocument;

// Writes a project file (".prj", XML).
class ProjectWriter
{
public:
    // False when the device is not writable or a write failed.
    static bool write(QIODevice& device, const ProjectDocument& doc);
    // Through a temporary file that replaces fileName only when complete, so a
    // failed save leaves the previous project whole. errorText says why on failure.
    static bool writeFile(const QString& fileName, const ProjectDocument& doc, QString* errorText = nullptr);

    // The element name for an item text, and whether the text needs the
    // "name" attribute because it is not a valid XML name as it stands.
    static QString elementName(const QString& prefix, const QString& text, bool* needsAttribute);
};
