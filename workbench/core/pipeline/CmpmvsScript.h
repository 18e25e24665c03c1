#pragma once

#include <QByteArray>

class PipelineLayout;

// runCMPMVS.bat, which runs CMPMVS from its own folder, and its fixed
// configuration cmpmvs/mvs.ini.
class CmpmvsScript
{
public:
    static constexpr const char* fileName = "runCMPMVS.bat";
    static constexpr const char* iniFileName = "cmpmvs/mvs.ini";

    static QByteArray text(const PipelineLayout& layout);
    static QByteArray iniText(const PipelineLayout& layout);
};
