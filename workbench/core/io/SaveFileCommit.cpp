#include "core/io/SaveFileCommit.h"

#include <QSaveFile>

bool SaveFileCommit::commit(QSaveFile& file, QString* error)
{
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        file.commit(); // cancelled: removes the temporary file, keeps the old one
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
