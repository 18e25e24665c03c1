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
    // What CMPMVS reads, left by the prepare script's tools: the first
    // camera and image of cmpmvs/data (CMPMVS counts its views from 1).
    static constexpr const char* firstCameraFileName = "cmpmvs/data/00001_P.txt";
    static constexpr const char* firstImageFileName = "cmpmvs/data/00001.jpg";
    // What CMPMVS leaves: the dense cloud.
    static constexpr const char* modelFileName = "cmpmvs/models/mvs.ply";

    static QByteArray text(const PipelineLayout& layout);
    static QByteArray iniText(const PipelineLayout& layout);
};
