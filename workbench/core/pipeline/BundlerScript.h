#pragma once

#include <QByteArray>

class PipelineLayout;

// runBundler2.bat: bundle adjustment with Bundler, into the bundle folder.
class BundlerScript
{
public:
    static constexpr const char* fileName = "runBundler2.bat";
    static QByteArray text(const PipelineLayout& layout);
};
