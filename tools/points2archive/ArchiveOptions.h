#pragma once

#include <string>
#include <vector>

// The command line of Points2Archive:
//   -i in.ply -o out.bin [-input_format xyzrgbi] [-output_format xyzrgb]
//   [-color_scale 1.0] [-intensity_scale 0.165] [-skip_header 16]
// The archive is written beside -o as out.osga; out.bin is the tool's own
// intermediate. A PLY input is read by its header; the format letters and the
// header line count describe plain text columns.
class ArchiveOptions
{
public:
    std::string input;
    std::string output;
    // One letter per text column: x y z, r g b (0..255 before scaling),
    // i (intensity), anything listed in skipLetters is read past.
    std::string inputFormat = "xyzrgb";
    // "xyzrgb" keeps colours, "xyzi" draws intensity as grey, "xyz" draws
    // every point grey.
    std::string outputFormat = "xyzrgb";
    double colorScale = 1.0;
    double intensityScale = 1.0;
    long long skipHeader = 0;

    // Parses the arguments after the program name. False with a one-line
    // reason when they do not make a run.
    bool parse(const std::vector<std::string>& arguments, std::string& error);

    // out.bin -> out.osga (the extension replaced, or added when there is none).
    std::string archivePath() const;
    // The intermediate: the -o file itself, unless that is the archive's name.
    std::string intermediatePath() const;

    static const char* usage();
};
