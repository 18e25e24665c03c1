#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// How the tool chain's scripts and lists are put on disk: lines joined by
// single line feeds (with or without one after the last), numbers in the C
// locale as a default-formatted stream prints them, and files replaced whole.
class ScriptFile
{
public:
    // Writes bytes to fileName, replacing what was there only when the whole
    // text is written. False when the file cannot be written.
    static bool write(const QString& fileName, const QByteArray& bytes);

    static QByteArray join(const QStringList& lines, bool finalNewline);

    // value as "%.<precision>g" prints it in the C locale: 4882.14155 gives
    // "4882.14" with precision 6 and "4882.14155" with precision 10.
    static QString number(double value, int precision = 6);

    // A path as a script line or list names it: in double quotes when it
    // holds a blank, as it is otherwise, so scripts of other folders keep
    // their bytes. A quoted folder's final backslash is doubled, so that a
    // Windows program does not read it as an escaped quote.
    static QString quoted(const QString& path);
};
