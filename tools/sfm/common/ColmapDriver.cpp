#include "ColmapDriver.h"

#include <fstream>
#include <thread>

#include "common/system/ChildProcess.h"

namespace
{
std::string flag(bool on)
{
    return on ? "1" : "0";
}
} // namespace

ColmapDriver::ColmapDriver(const std::string& program, const std::string& logPath)
    : m_program(ChildProcess::findProgram(program)), m_log(logPath)
{
    if (m_program.empty())
        m_program = program;
}

bool ColmapDriver::available(std::string* error) const
{
    if (!ChildProcess::findProgram(m_program).empty())
        return true;
    if (error)
        *error = "COLMAP not found (" + m_program + "): install the colmap package (tools/install-deps.sh)";
    return false;
}

std::string ColmapDriver::lastLogLine() const
{
    std::ifstream in(m_log);
    std::string line, last;
    while (std::getline(in, line))
        if (line.find_first_not_of(" \t\r") != std::string::npos)
            last = line;
    return last;
}

bool ColmapDriver::run(const std::string& step, const std::vector<std::string>& args, std::string* error)
{
    if (!available(error))
        return false;
    {
        std::ofstream log(m_log, std::ios::app);
        log << "== colmap " << step;
        for (const std::string& a : args)
            log << ' ' << a;
        log << '\n';
    }
    std::vector<std::string> all{step};
    all.insert(all.end(), args.begin(), args.end());
    // COLMAP's importers and extractors abort without a display unless Qt is told there is none.
    std::string why;
    const int code = ChildProcess::run(m_program, all, m_log, {"QT_QPA_PLATFORM=offscreen"}, &why);
    if (code == 0)
        return true;
    if (error) {
        if (code < 0)
            *error = "COLMAP " + step + " could not be started: " + why;
        else
            *error = "COLMAP " + step + " failed (exit " + std::to_string(code) + "): " + lastLogLine();
    }
    return false;
}

bool ColmapDriver::createDatabase(const std::string& database, std::string* error)
{
    return run("database_creator", {"--database_path", database}, error);
}

bool ColmapDriver::importFeatures(const std::string& database, const std::string& imageRoot,
                                  const std::string& featureFolder, const std::string& imageList,
                                  const CameraSettings& camera, std::string* error)
{
    std::vector<std::string> args{"--database_path", database, "--image_path", imageRoot, "--import_path",
                                  featureFolder, "--image_list_path", imageList, "--ImageReader.camera_model",
                                  camera.model, "--ImageReader.single_camera", flag(camera.singleCamera),
                                  // COLMAP 3.8's importer shares one camera among all images
                                  // unless told otherwise.
                                  "--ImageReader.single_camera_per_image", flag(!camera.singleCamera),
                                  "--SiftExtraction.use_gpu", "0"};
    if (!camera.params.empty()) {
        args.push_back("--ImageReader.camera_params");
        args.push_back(camera.params);
    }
    return run("feature_importer", args, error);
}

bool ColmapDriver::importMatches(const std::string& database, const std::string& matchList,
                                 std::string* error)
{
    return run("matches_importer",
               {"--database_path", database, "--match_list_path", matchList, "--match_type", "inliers",
                "--SiftMatching.use_gpu", "0"},
               error);
}

bool ColmapDriver::map(const std::string& database, const std::string& imageRoot,
                       const std::string& outputFolder, const MapperSettings& settings, std::string* error)
{
    const int threads = settings.threads > 0 ? settings.threads : int(std::thread::hardware_concurrency());
    std::vector<std::string> args{"--database_path", database, "--image_path", imageRoot, "--output_path",
                                  outputFolder, "--Mapper.num_threads", std::to_string(threads > 0 ? threads : 1),
                                  "--Mapper.min_model_size", std::to_string(settings.minModelSize),
                                  "--Mapper.ba_refine_focal_length", flag(settings.refineFocal),
                                  "--Mapper.ba_refine_principal_point", flag(settings.refinePrincipalPoint),
                                  "--Mapper.ba_refine_extra_params", flag(settings.refineExtra)};
    if (settings.orderedFrames)
        args.insert(args.end(), {"--Mapper.init_min_tri_angle", "8", "--Mapper.ba_global_images_ratio", "2",
                                 "--Mapper.ba_global_points_ratio", "2", "--Mapper.ba_local_max_refinements",
                                 "1", "--Mapper.ba_global_max_refinements", "1"});
    return run("mapper", args, error);
}

bool ColmapDriver::convertModel(const std::string& input, const std::string& output, const std::string& type,
                                std::string* error)
{
    return run("model_converter", {"--input_path", input, "--output_path", output, "--output_type", type},
               error);
}
