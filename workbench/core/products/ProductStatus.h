#pragma once

#include <QString>
#include <QStringList>

// Whether a file the tool chain made is still current. Where the file lies
// says which stage made it: sparse.nvm in the pipeline folder (placed by its
// georeference, sparse.txt), the dense clouds under pmvs/models and
// cmpmvs/models (and what was converted from them there), the elevation model
// and orthophoto under ortho. That stage's record (ProductRecord) says what
// it was made from; a file that no longer matches is stale.
class ProductStatus
{
public:
    bool known = false; // a product with a record of its stage
    bool stale = false;
    QString folder;      // the pipeline folder, when known
    QString stage;       // ProductRecord's stage name
    QStringList changed; // the inputs no longer what the stage read
    QString reason;      // for people: why it is stale, and what to run

    static ProductStatus of(const QString& file);

    // The pipeline folder and stage of a file by where it lies; false for a
    // file that is no result of the tool chain.
    static bool locate(const QString& file, QString* folder, QString* stage);

    // What to run to make a stale result of the stage current again.
    static QString remedy(const QString& stage);
};
