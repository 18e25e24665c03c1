#pragma once

#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

// Our match table (matches.init_i.txt, and matches.init.txt that the PBA
// script concatenates from them), in Bundler's own layout so Bundler proper
// reads it too: per image pair a line "i j" (indices into the image list),
// a line with the match count n, then n lines "feature_i feature_j". Files
// always end in a newline, so concatenated tables stay readable.
class MatchTableFile
{
public:
    struct Pair {
        int first = 0;
        int second = 0;
        std::vector<std::pair<int, int>> matches;
    };

    std::vector<Pair> pairs;

    bool read(std::istream& in, std::string* error = nullptr);
    bool readFile(const std::string& path, std::string* error = nullptr);
    void write(std::ostream& out) const;
    bool writeFile(const std::string& path, std::string* error = nullptr) const;

    // Pairs of `newer` replace the pairs of the same two images here (in either
    // order); the others are appended. A table read from several
    // concatenated runs is reduced the same way: the last record of a pair wins.
    void merge(const MatchTableFile& newer);
    void removeDuplicates();
};
