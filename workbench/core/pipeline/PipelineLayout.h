#pragma once

#include <QString>
#include <QStringList>

// Where one run of the reconstruction tool chain keeps its files and finds its
// tools: the pipeline folder (the folder of the first image, in which every
// generated script and list lies), the application folder (under whose SfM
// tree the tools lie), the images of the run and their feature files.
// Paths are kept with forward slashes; the native forms (backslashes) are what
// the scripts carry.
class PipelineLayout
{
public:
    PipelineLayout() = default;
    // firstImage is the full path of the first listed image; the pipeline
    // folder is everything up to its last "/".
    PipelineLayout(const QString& appDir, const QString& firstImage);

    // The images in list order: full paths and the list's item texts. Feature
    // file i is native folder + (item text without its last three characters)
    // + "keyb": "IMG_1.JPG" in C:/site gives C:\site\IMG_1.keyb.
    void setImages(const QStringList& fullPaths, const QStringList& itemTexts);

    QString appFolder() const { return m_appFolder; }
    QString nativeAppFolder() const { return toNative(m_appFolder); }
    QString pipelineFolder() const { return m_folder; }         // ends in "/"
    QString nativeFolder() const { return toNative(m_folder); } // ends in "\"

    // A file of the pipeline folder, for this program and for scripts.
    QString file(const QString& name) const { return m_folder + name; }
    QString nativeFile(const QString& name) const { return nativeFolder() + toNative(name); }

    const QStringList& imagePaths() const { return m_images; }
    const QStringList& featurePaths() const { return m_features; } // native

    // Number of parallel SiftGPU lists and matcher processes, and the logical
    // processor count given to the dense tools.
    int processCount() const { return m_processCount; }
    void setProcessCount(int n) { m_processCount = n; }
    int logicalProcessors() const { return m_logicalProcessors; }
    void setLogicalProcessors(int n) { m_logicalProcessors = n; }
    // max(2, logical processors / 2).
    static int defaultProcessCount(int logicalProcessors);

    static QString toNative(QString path);
    // A native path as this program opens it.
    static QString toLocal(QString path);
    // The path without its last three characters, followed by "JPG".
    static QString jpgName(const QString& path);
    // The folders (up to the last "/") the images lie in, each once, in list
    // order. A run needs one: its scripts and the tools' lists live there.
    static QStringList imageFolders(const QStringList& fullPaths);

private:
    QString m_appFolder;
    QString m_folder;
    QStringList m_images;
    QStringList m_features;
    int m_logicalProcessors = 1;
    int m_processCount = 2;
};
