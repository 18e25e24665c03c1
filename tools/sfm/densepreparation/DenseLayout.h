#pragma once

#include <string>

// Where the files of a prepared dense folder lie. Two layouts share the
// tools: the PMVS folder (txt/00000000.txt, visualize/00000000.jpg, counted
// from 0) and the CMPMVS folder (data/00001_P.txt, data/00001.jpg, counted
// from 1). Both keep the distortion-free bundle in bundle.rd.out and the
// list of source images in list.rd.txt.
class DenseLayout
{
public:
    enum class Kind { Pmvs, Cmpmvs };

    // folder as the scripts give it (backslashes allowed, trailing separator optional).
    static DenseLayout pmvs(const std::string& folder);
    static DenseLayout cmpmvs(const std::string& folder);

    Kind kind() const { return m_kind; }
    // The folder with slashes, ending in "/".
    const std::string& folder() const { return m_folder; }

    std::string cameraFile(int view) const;
    std::string imageFile(int view) const;
    std::string bundleFile() const { return m_folder + "bundle.rd.out"; }
    std::string listFile() const { return m_folder + "list.rd.txt"; }
    // Where the clusters' matcher runs hand depth maps on to the next.
    std::string depthMapFolder() const { return m_folder + "depthmaps/"; }
    // Folders the preparation creates when the script has not.
    std::string cameraFolder() const;
    std::string imageFolder() const;

private:
    DenseLayout(Kind kind, const std::string& folder);

    Kind m_kind;
    std::string m_folder;
};
