#include "DenseLayout.h"

#include <cstdio>

#include "ToolPaths.h"

namespace
{
std::string numbered(const char* format, int n)
{
    char name[32];
    std::snprintf(name, sizeof name, format, n);
    return name;
}
} // namespace

DenseLayout::DenseLayout(Kind kind, const std::string& folder)
    : m_kind(kind), m_folder(ToolPaths::native(folder))
{
    if (m_folder.empty())
        m_folder = "./";
    else if (m_folder.back() != '/')
        m_folder += '/';
}

DenseLayout DenseLayout::pmvs(const std::string& folder)
{
    return DenseLayout(Kind::Pmvs, folder);
}

DenseLayout DenseLayout::cmpmvs(const std::string& folder)
{
    return DenseLayout(Kind::Cmpmvs, folder);
}

std::string DenseLayout::cameraFolder() const
{
    return m_folder + (m_kind == Kind::Pmvs ? "txt/" : "data/");
}

std::string DenseLayout::imageFolder() const
{
    return m_folder + (m_kind == Kind::Pmvs ? "visualize/" : "data/");
}

std::string DenseLayout::cameraFile(int view) const
{
    return m_kind == Kind::Pmvs ? cameraFolder() + numbered("%08d.txt", view)
                                : cameraFolder() + numbered("%05d_P.txt", view + 1);
}

std::string DenseLayout::imageFile(int view) const
{
    return m_kind == Kind::Pmvs ? imageFolder() + numbered("%08d.jpg", view)
                                : imageFolder() + numbered("%05d.jpg", view + 1);
}
