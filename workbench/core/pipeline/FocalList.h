#pragma once

#include <QByteArray>

class PipelineLayout;
struct ScanSettings;

// listfocal.txt: the images of the run by their JPG names, for Bundler with
// the focal length; listfocal_old.txt lists the images whose matches the
// match tables already hold, so that a later run matches only the new ones.
class FocalList
{
public:
    static constexpr const char* fileName = "listfocal.txt";
    static constexpr const char* oldFileName = "listfocal_old.txt";

    static QByteArray text(const PipelineLayout& layout, const ScanSettings& settings);
    // Writes listfocal.txt. False when it cannot be written.
    static bool write(const PipelineLayout& layout, const ScanSettings& settings);
    // After a matching run that succeeded: listfocal_old.txt becomes this
    // run's list. (Taken before the run, the copy would count the photos of a
    // run whose matching failed as matched.) False when it cannot be written.
    static bool recordMatched(const PipelineLayout& layout);
    // The image path of a list line, with or without Bundler's " 0 <focal>".
    static QString imageOfLine(const QString& line);
};
