#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// One option file of the dense matcher ("option-0000"), in PMVS's
// "name value" line format, as genOption writes it and pmvs2 reads it.
class PmvsOptions
{
public:
    int level = 1;          // images are reduced level times by two
    int csize = 2;          // one point per csize x csize cell
    double threshold = 0.7; // least normalised cross-correlation
    int wsize = 7;          // correlation window, pixels
    int minImageNum = 3;    // views that must agree on a point
    int cpus = 1;
    int useVisData = 1;
    int sequence = -1;
    double maxAngle = 10;
    double quad = 2.0;
    std::vector<int> timages; // views that give points
    std::vector<int> oimages; // views that only help

    // Unknown names are skipped; "timages -1 a b" is the range a..b-1. A
    // value followed by more on its line is refused with the line.
    bool read(std::istream& in, std::string* error = nullptr);
    bool readFile(const std::string& path, std::string* error = nullptr);
    std::string text() const;
    // False with a reason when a value lies outside what the matcher can use.
    bool check(std::string* error = nullptr) const;
};
