#include "OrthoOptions.h"

#include "common/text/TextTokens.h"

#include <cmath>

namespace
{

bool number(const std::string& text, double low, double high, double& value)
{
    double v = 0;
    if (!TextTokens::number(text, v) || v < low || v > high)
        return false;
    value = v;
    return true;
}

bool integer(const std::string& text, int low, int high, int& value)
{
    double v = 0;
    if (!number(text, low, high, v) || v != std::floor(v))
        return false;
    value = int(v);
    return true;
}

} // namespace

const char* OrthoOptions::usage()
{
    return "usage: OrthoDsm <pipeline folder> [--nvm FILE] [--dense PLY]... [--out FOLDER] [--gsd M] "
           "[--dsm-gsd M] [--epsg N] [--max-hole M] [--threads N] [--cache-mb N] [--tile N]";
}

bool OrthoOptions::parse(const std::vector<std::string>& arguments, std::string& error)
{
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a.rfind("--", 0) != 0) {
            if (!folder.empty()) {
                error = "a second folder " + a;
                return false;
            }
            folder = a;
            continue;
        }
        if (i + 1 >= arguments.size()) {
            error = a + " needs a value";
            return false;
        }
        const std::string& v = arguments[++i];
        bool ok = true;
        if (a == "--nvm")
            nvm = v;
        else if (a == "--dense")
            dense.push_back(v);
        else if (a == "--out")
            out = v;
        else if (a == "--gsd")
            ok = number(v, 1e-4, 1e3, gsd);
        else if (a == "--dsm-gsd")
            ok = number(v, 1e-4, 1e3, dsmGsd);
        else if (a == "--epsg")
            ok = integer(v, 1024, 999999, epsg);
        else if (a == "--max-hole")
            ok = number(v, 0, 1e4, maxHole);
        else if (a == "--threads")
            ok = integer(v, 0, 256, threads);
        else if (a == "--cache-mb")
            ok = integer(v, 64, 1 << 20, cacheMegabytes);
        else if (a == "--tile")
            ok = integer(v, 64, 4096, tile) && tile % 32 == 0;
        else {
            error = "unknown option " + a;
            return false;
        }
        if (!ok) {
            error = "bad value " + v + " for " + a;
            return false;
        }
    }
    if (folder.empty()) {
        error = "no pipeline folder";
        return false;
    }
    if (!folder.empty() && folder.back() == '/' && folder.size() > 1)
        folder.pop_back();
    return true;
}

std::string OrthoOptions::nvmPath() const
{
    return nvm.empty() ? folder + "/sparse.nvm" : nvm;
}

std::string OrthoOptions::outFolder() const
{
    return out.empty() ? folder + "/ortho" : out;
}
