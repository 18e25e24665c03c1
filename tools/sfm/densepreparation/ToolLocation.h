#pragma once

#include <string>

// Where the running tool lies, for the scripts the dense tools leave behind:
// they call their neighbours in the SfM tree by absolute path, written with
// backslashes as the workbench writes every path into its scripts.
class ToolLocation
{
public:
    // Folder of the running program with a trailing "/" ("./" if unknown).
    static std::string programFolder();
    // The SfM folder the program lies under (with trailing "/"), or its own
    // folder when it is not in such a tree.
    static std::string sfmFolder();
    // path with every "/" turned into "\".
    static std::string scriptPath(const std::string& path);
};
