#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <map>

#include "TrackerConfig.h"

class QIODevice;

// Reads "config.txt": lines of "name = value", "#" names are comments, a
// "feature" line may repeat. A bad line is reported and skipped; the rest of
// the file still counts.
class ConfigReader
{
public:
    // Exists and is a regular file.
    static bool fileExists(const QString& path);
    // The first "config.txt" that exists in the folders, in their order;
    // empty when none does.
    static QString locate(const QStringList& folders);
    // Every key a line may name.
    static QStringList keys();

    // Starts from the defaults. Every message is printed on the console and,
    // if asked, collected in messages. Returns false if the file could not be
    // opened, in which case the defaults stand.
    static bool readFile(const QString& path, TrackerConfig& config, QStringList* messages = nullptr);
    static void read(QIODevice& device, TrackerConfig& config, QStringList* messages = nullptr);

private:
    using Setter = std::function<bool(const QString&)>;
    // Each key but "feature" with what reads its value into config.
    static std::map<QString, Setter> setters(TrackerConfig& config);
    static void readLine(const QString& line, TrackerConfig& config, QStringList& messages);
};
