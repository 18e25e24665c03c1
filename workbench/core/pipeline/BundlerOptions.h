#pragma once

#include <QByteArray>

class PipelineLayout;

// options.txt: Bundler's options file, naming the match table and the bundle
// output folder of the pipeline folder.
class BundlerOptions
{
public:
    static constexpr const char* fileName = "options.txt";
    static QByteArray text(const PipelineLayout& layout);
};
