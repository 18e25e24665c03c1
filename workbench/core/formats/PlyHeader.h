#pragma once

#include <QString>

#include <QtGlobal>

class TextLineReader;

// What a PLY header says about its vertices: the format, how many vertices
// there are, where their lines start and which column holds which value.
// Files from other tools order, name and comment their headers differently, so
// the layout is read from the header rather than assumed.
class PlyHeader
{
public:
    enum class Format { Ascii, BinaryLittleEndian, BinaryBigEndian };

    // Column roles of a vertex line; Skip for properties nobody reads.
    enum Role : quint8 { Skip, X, Y, Z, Red, Green, Blue, RoleCount };

    // Scalar types of the properties, which binary files need to find a
    // value's bytes.
    enum class Type : quint8 { Int8, UInt8, Int16, UInt16, Int32, UInt32, Float32, Float64 };
    static int byteSize(Type type);

    static constexpr int maxProperties = 64;

    Format format = Format::Ascii;
    qint64 vertexCount = 0;
    // Data lines of the elements declared before the vertex element (Bundler
    // writes its empty face element first).
    qint64 linesBeforeVertices = 0;
    int propertyCount = 0;
    Role roles[maxProperties] = {};
    Type types[maxProperties] = {};
    // Last column that carries a role: the rest of a line is never looked at.
    int lastUsedColumn = -1;
    bool hasColour = false;
    bool hasNormals = false;
    // Integer colour channels count 0..255; float ones are already 0..1.
    bool colourIsFloat = false;

    // Reads the header lines through "end_header". On failure error says why;
    // the reader then stands somewhere inside the header.
    static bool read(TextLineReader& lines, PlyHeader& out, QString& error);

    // Moves a reader that has just read the header past the data lines before
    // the vertices; blank lines do not count as data.
    void skipToVertices(TextLineReader& lines) const;
};
