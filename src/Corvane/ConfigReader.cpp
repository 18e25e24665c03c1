#include "ConfigReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <functional>
#include <map>

#include "ConsoleLog.h"

namespace {

bool toInt(const QString& word, int& value)
{
    bool ok = false;
    const int parsed = word.toInt(&ok);
    if (ok)
        value = parsed;
    return ok;
}

bool toDouble(const QString& word, double& value)
{
    bool ok = false;
    const double parsed = word.toDouble(&ok);  // C locale, whatever the user's
    if (ok)
        value = parsed;
    return ok;
}

// The flags are written 0 or 1.
bool toBool(const QString& word, bool& value)
{
    if (word != QLatin1String("0") && word != QLatin1String("1"))
        return false;
    value = word == QLatin1String("1");
    return true;
}

void report(const QString& text, QStringList& messages)
{
    ConsoleLog::write(text);
    messages << text;
}

}  // namespace

bool ConfigReader::fileExists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && info.isFile();
}

bool ConfigReader::readFile(const QString& path, TrackerConfig& config, QStringList* messages)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        config = TrackerConfig();
        QStringList local;
        report("Error: Could not load config file. Using defaults. " + path, messages ? *messages : local);
        return false;
    }
    read(file, config, messages);
    return true;
}

void ConfigReader::read(QIODevice& device, TrackerConfig& config, QStringList* messages)
{
    config = TrackerConfig();
    QStringList local;
    QTextStream stream(&device);
    stream.setCodec("UTF-8");
    QString line;
    while (stream.readLineInto(&line))
        readLine(line, config, messages ? *messages : local);
}

std::map<QString, ConfigReader::Setter> ConfigReader::setters(TrackerConfig& config)
{
    auto intKey = [](int& field) -> Setter { return [&field](const QString& w) { return toInt(w, field); }; };
    auto optKey = [](std::optional<int>& field) -> Setter {
        return [&field](const QString& w) {
            int parsed = 0;
            if (!toInt(w, parsed))
                return false;
            field = parsed;
            return true;
        };
    };
    auto boolKey = [](bool& field) -> Setter { return [&field](const QString& w) { return toBool(w, field); }; };
    auto wordKey = [](QString& field) -> Setter {
        return [&field](const QString& w) {
            if (w.isEmpty())
                return false;
            field = w;
            return true;
        };
    };
    return {
        {"rollScale", intKey(config.rollScale)},
        {"pitchScale", intKey(config.pitchScale)},
        {"yawScale", intKey(config.yawScale)},
        {"baudRate", optKey(config.baudRate)},
        {"rollMin", optKey(config.rollMin)},
        {"rollMax", optKey(config.rollMax)},
        {"pitchMin", optKey(config.pitchMin)},
        {"pitchMax", optKey(config.pitchMax)},
        {"rampIncrement", optKey(config.rampIncrement)},
        {"transmissionDelay", optKey(config.transmissionDelay)},
        {"rampDelay", optKey(config.rampDelay)},
        {"iLowH", optKey(config.iLowH)},
        {"iHighH", optKey(config.iHighH)},
        {"iLowS", optKey(config.iLowS)},
        {"iHighS", optKey(config.iHighS)},
        {"iLowV", optKey(config.iLowV)},
        {"iHighV", optKey(config.iHighV)},
        {"seed", intKey(config.seed)},
        {"quietMode", boolKey(config.quietMode)},
        {"debugMode", boolKey(config.debugMode)},
        {"sequenceBasePath", wordKey(config.sequenceBasePath)},
        {"sequenceName", wordKey(config.sequenceName)},
        {"resultsPath", wordKey(config.resultsPath)},
        {"frameWidth", intKey(config.frameWidth)},
        {"frameHeight", intKey(config.frameHeight)},
        {"searchRadius", intKey(config.searchRadius)},
        {"svmC", [&config](const QString& w) { return toDouble(w, config.svmC); }},
        {"svmBudgetSize", intKey(config.svmBudgetSize)},
    };
}

QStringList ConfigReader::keys()
{
    TrackerConfig unused;
    QStringList names;
    for (const auto& key : setters(unused))
        names << key.first;
    return names << QStringLiteral("feature");
}

QString ConfigReader::locate(const QStringList& folders)
{
    for (const QString& folder : folders) {
        const QString path = QDir(folder).filePath(QStringLiteral("config.txt"));
        if (fileExists(path))
            return path;
    }
    return QString();
}

void ConfigReader::readLine(const QString& line, TrackerConfig& config, QStringList& messages)
{
    const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() < 2 || words[1] != QLatin1String("=") || words[0].startsWith(QLatin1Char('#')))
        return;
    const QString& name = words[0];
    const QString value = words.size() > 2 ? words[2] : QString();

    if (name == QLatin1String("feature")) {
        const QString featureName = value;
        const QString kernelName = words.size() > 3 ? words[3] : QString();
        double param = 0.0;
        const bool hasParam = words.size() > 4 && toDouble(words[4], param);

        static const QStringList featureNames = {"haar", "raw", "histogram"};
        const int kind = featureNames.indexOf(featureName);
        if (kind < 0) {
            report("error: unrecognised feature: " + featureName, messages);
            return;
        }
        TrackerConfig::Feature feature;
        feature.kind = TrackerConfig::FeatureKind(kind);
        if (kernelName == QLatin1String("linear"))
            feature.kernel = TrackerConfig::Linear;
        else if (kernelName == QLatin1String("intersection"))
            feature.kernel = TrackerConfig::Intersection;
        else if (kernelName == QLatin1String("chi2"))
            feature.kernel = TrackerConfig::Chi2;
        else if (kernelName == QLatin1String("gaussian")) {
            if (!hasParam) {
                report("error: gaussian kernel requires a parameter (sigma)", messages);
                return;
            }
            feature.kernel = TrackerConfig::Gaussian;
            feature.params << param;
        } else {
            report("error: unrecognised kernel: " + kernelName, messages);
            return;
        }
        config.features << feature;
        return;
    }

    const std::map<QString, Setter> keys = setters(config);
    const auto key = keys.find(name);
    if (key == keys.end())
        return;
    // A value that does not read as the key's type leaves the key as it was;
    // taking it as 0 would silently change the tracker's behaviour.
    if (!key->second(value))
        report("error: invalid value for " + name + ": " + value, messages);
}
