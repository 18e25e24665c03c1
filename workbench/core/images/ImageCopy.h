#pragma once

#include <QString>

// Copies one photograph without ever overwriting a file: a target that
// already holds the same bytes counts as copied, one with other content is a
// failure the caller reports. A failed copy leaves no partial target behind.
class ImageCopy
{
public:
    enum class Outcome {
        Copied,       // the target is new
        AlreadyThere, // the target existed with the same content
        Failed        // see the error text
    };

    static Outcome copy(const QString& source, const QString& target, QString* error = nullptr);

    // True when both files can be read and hold the same bytes.
    static bool sameContent(const QString& a, const QString& b);
    // True when both names lead to the same file on disk.
    static bool sameFile(const QString& a, const QString& b);
};
