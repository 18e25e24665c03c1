#pragma once

#include <string>
#include <vector>

// Paths as the workbench's scripts hand them to our tools: Windows style with
// backslashes, and images called by their "JPG name" (x.jpg written x.JPG).
class ToolPaths
{
public:
    // Backslashes become slashes; everything else stays.
    static std::string native(const std::string& path);
    // The existing file a script's name stands for: the name itself when it
    // exists, else the file in the same folder whose name differs only in the
    // letter case of its extension, else, for a photo's "JPG name", the
    // photo of another type it stands for (x.JPG: x.png, x.tif, x.jpeg;
    // x.tJPG: x.tiff), the first of jpg, jpeg, png, tif, tiff, bmp when
    // several are there. Empty when there is none. `note` gets a line saying
    // which file was taken when it differs from the name.
    static std::string resolveFile(const std::string& path, std::string* note = nullptr);
    // The place of an extension (".png", any case) among the photo types
    // the tools read, -1 for any other.
    static int photoRank(const std::string& extension);
    // Folder part up to and including the last "/" ("" when there is none).
    static std::string folderOf(const std::string& path);

    // A path as our files and scripts write it: in double quotes when it
    // holds a blank ("C:\Grabung Sud 2\a.jpg"), as it is otherwise.
    static std::string quoted(const std::string& path);
    // The words of a list file's line, as common/text/CommandWords splits
    // them; false when a quote is left open.
    static bool splitWords(const std::string& line, std::vector<std::string>& words);
};
