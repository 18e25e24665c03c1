#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

// What one stage's results in a pipeline folder were made from: the files
// the stage wrote and the files it read, each with a fingerprint of its
// content at the time, kept as "records/<stage>.txt" in the pipeline folder.
// A result is stale once one of its inputs is no longer the file the stage
// read (a re-run of an earlier stage, a new georeference); the record says
// which. Paths are relative to the pipeline folder, with forward slashes.
class ProductRecord
{
public:
    struct File {
        QString path;
        QByteArray fingerprint;
    };

    // The stages that leave records, by the names their files carry.
    static constexpr const char* sparse = "sparse";
    static constexpr const char* georeference = "georeference";
    static constexpr const char* dense = "dense";
    static constexpr const char* orthophoto = "orthophoto";

    QString stage;
    QString method; // how it was made, for people: "GPS", "control points", "PMVS", ...
    QDateTime made;
    QVector<File> inputs;
    QVector<File> outputs;

    // "<folder>/records/<stage>.txt".
    static QString fileOf(const QString& folder, const QString& stage);

    // The size and a hash of the content: the whole of a small file, the
    // head and tail of a large one (a re-run rewrites both). Empty for a file
    // that is not there. Copying or touching a file does not change it.
    static QByteArray fingerprint(const QString& path);

    // A record of the stage with the fingerprints of its files as they are now.
    static ProductRecord make(const QString& folder, const QString& stage, const QStringList& inputs,
                              const QStringList& outputs, const QString& method = QString());

    // Written atomically; false with the reason.
    bool write(const QString& folder, QString* error = nullptr) const;
    // False (and out untouched) when there is no readable record of the stage.
    static bool read(const QString& folder, const QString& stage, ProductRecord* out);

    // The inputs that are no longer what the stage read, missing ones included.
    QStringList changedInputs(const QString& folder) const;
    // The fingerprint recorded for an input, empty when it is not one.
    QByteArray inputFingerprint(const QString& path) const;
    // Whether the stage made this file, or one converted from it in the same
    // folder (the same name with another extension: a cloud made into PTS or
    // a paged archive).
    bool madeFile(const QString& relativePath) const;

    // A path below folder as a record keeps it; the path as it is when it
    // lies elsewhere.
    static QString relative(const QString& folder, const QString& path);
};
