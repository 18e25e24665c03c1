#pragma once

class QSaveFile;
class QString;

// Finishes a QSaveFile so that a failed write never replaces the old file:
// the workbench's Qt saves keep the rule of common/files/AtomicFile.
// Qt 5's QSaveFile::commit() overlooks an error of its own last flush (a full
// disk found when the buffered tail is written out): it then renames the
// truncated temporary file over the old one and reports success. Flushing
// first and checking every error closes that gap.
class SaveFileCommit
{
public:
    // True when the file now holds everything written; otherwise the old
    // file is untouched, the temporary one is gone and error says why.
    static bool commit(QSaveFile& file, QString* error = nullptr);
};
