#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include "ui/main/ProjectFile.h"

class ConfigWindow;
class GeoRef;
class LayerTree;
class MyListWidget;
class OsgWidget;
class QTreeView;
class QWidget;

// The project the window holds and the flows that open, save and close it.
// Nothing is lost on the way: a project is cleared only after it was really
// written (or the user chose to discard it), and every failure is said in
// the status bar and, where the user asked for something that did not
// happen, in a message box that tells why.
class ProjectSession : public QObject
{
    Q_OBJECT
public:
    struct Parts {
        QWidget* window = nullptr; // parent of the dialogs
        LayerTree* layers = nullptr;
        QTreeView* view = nullptr;
        MyListWidget* images = nullptr;
        OsgWidget* scene = nullptr;
        ConfigWindow* settings = nullptr;
        GeoRef* groundControl = nullptr; // may be null
        QString appFolder;
    };

    // What came of the question "Save before closing?".
    enum class CloseOutcome { Cleared, Cancelled, NotSaved };

    ProjectSession(const Parts& parts, ProjectFile::AddLayer addLayer, QObject* parent = nullptr);

    QString projectPath() const { return m_path; }
    // Why the last save or open did not happen.
    QString lastError() const { return m_lastError; }

    // The flows without their file dialogs: true on success.
    bool openFile(const QString& fileName);
    bool writeFile(const QString& fileName);

    // "Open Project": runs the close question first when the tree holds
    // anything; a Save that did not write stops the opening.
    void open();
    // "Save Project": Save As first while there is no project path.
    bool save();
    bool saveAs();
    // Applies the settings window and saves the project when it has a file;
    // a project without one stays unsaved (false), for Save Project to name.
    bool saveVariables();
    // Whether the project differs from what was last opened, saved or cleared.
    bool isModified() const;
    // Takes the project as it is now as the saved one (a new window's).
    void markUnmodified();
    // Quitting: true when the program may end. Unsaved changes are asked
    // about as Close Project does; a Save that fails keeps the program open.
    bool confirmQuit();
    // The project as the file would hold it.
    ProjectDocument document() const;
    // "Close Project".
    CloseOutcome close();
    // Removes every layer and every row under the project root.
    void clear();

signals:
    void statusMessage(const QString& text, int timeout);
    void logLine(const QString& line);
    // A project was read: its bookmarks are in the scene, its layers in the tree.
    void opened();

private:
    void status(const QString& text, int timeout = 2000) { emit statusMessage(text, timeout); }
    // A message box that says why something the user asked for did not happen.
    void warn(const QString& text);

    Parts m_parts;
    // The project file's text as last opened, saved or cleared.
    QByteArray state() const;

    ProjectFile::AddLayer m_addLayer;
    QString m_path;
    QByteArray m_savedState;
    QString m_lastError;
};
