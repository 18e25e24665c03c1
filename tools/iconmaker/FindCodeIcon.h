#pragma once
#include <QImage>
#include <QString>
#include <QStringList>

// The find-code markers the annotation layers show in the 3D view and the
// layer tree: a pin in a colour of its own per code with the code's two
// letters, and a plain grey pin, "generic", for codes without one.
class FindCodeIcon
{
public:
    // The two-character codes of a "d_code.txt" list (the part after the
    // first "|" of each line, or the whole line), without repeats.
    static QStringList codesOf(const QString& listText);
    // Draws code (two characters) or, for an empty code, the generic pin.
    static QImage draw(const QString& code, int size);
};
