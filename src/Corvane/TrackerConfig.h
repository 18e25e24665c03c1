#pragma once

#include <QString>
#include <QVector>

#include <optional>

// The parameters "config.txt" holds for the tracker, with their defaults.
// The ground station only reads and keeps them.
struct TrackerConfig
{
    enum FeatureKind { Haar = 0, Raw = 1, Histogram = 2 };
    enum KernelKind { Linear = 0, Gaussian = 1, Intersection = 2, Chi2 = 3 };

    struct Feature
    {
        FeatureKind kind = Haar;
        KernelKind kernel = Linear;
        QVector<double> params;
    };

    int rollScale = 100;
    int pitchScale = 100;
    int yawScale = 100;
    std::optional<int> baudRate;
    std::optional<int> rollMin;
    std::optional<int> rollMax;
    std::optional<int> pitchMin;
    std::optional<int> pitchMax;
    std::optional<int> rampIncrement;
    std::optional<int> transmissionDelay;
    std::optional<int> rampDelay;
    std::optional<int> iLowH;
    std::optional<int> iHighH;
    std::optional<int> iLowS;
    std::optional<int> iHighS;
    std::optional<int> iLowV;
    std::optional<int> iHighV;
    int seed = 0;
    bool quietMode = false;
    bool debugMode = false;
    QString sequenceBasePath;
    QString sequenceName;
    QString resultsPath;
    int frameWidth = 320;
    int frameHeight = 240;
    int searchRadius = 30;
    double svmC = 1.0;
    int svmBudgetSize = 0;
    QVector<Feature> features;
};
