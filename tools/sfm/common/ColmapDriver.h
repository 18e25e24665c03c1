#pragma once

#include <string>
#include <vector>

// The one place that calls COLMAP's command line: it knows the options of
// each step, runs them without a display, writes their output to one log
// file, checks exit codes and says which step failed and why.
class ColmapDriver
{
public:
    struct CameraSettings {
        std::string model = "SIMPLE_RADIAL";
        std::string params;        // "f,cx,cy,k" etc.; empty: COLMAP's own guess
        bool singleCamera = false; // one camera for all images of the call
    };

    struct MapperSettings {
        int threads = -1;
        int minModelSize = 10;
        bool refineFocal = true;
        bool refinePrincipalPoint = false;
        bool refineExtra = true;
        // Photos taken in order along a flight, each overlapping the next
        // by much. As in COLMAP's preset for video frames, the first pair
        // may stand closer. The whole model is adjusted once it doubled
        // (COLMAP: grew by 10 %, its video preset 40 %), and each adjustment
        // runs once, not again after its outliers are filtered: the next
        // one takes them in. On a 60-photo survey of 13000 features a photo,
        // doubling rather than 40 % took 42 % less of the mapper's processor
        // time, for camera centres 0.84 mm rather than 0.81 mm (RMS) from
        // the truth; the single runs took another 30 % off before. One more
        // adjustment of the final model, to convergence without the outliers
        // the last one left, took 47 s for 0.82 mm: not worth it.
        bool orderedFrames = false;
    };

    // program: the COLMAP executable, found on PATH when given as a bare name.
    ColmapDriver(const std::string& program, const std::string& logPath);

    // False with "COLMAP not found ..." when the program cannot be run.
    bool available(std::string* error) const;

    bool createDatabase(const std::string& database, std::string* error);
    // Features from text files <featureFolder>/<image name>.txt of the images
    // listed (one COLMAP image name per line) under imageRoot.
    bool importFeatures(const std::string& database, const std::string& imageRoot,
                        const std::string& featureFolder, const std::string& imageList,
                        const CameraSettings& camera, std::string* error);
    // Matches that are already geometrically verified ("inliers").
    bool importMatches(const std::string& database, const std::string& matchList, std::string* error);
    bool map(const std::string& database, const std::string& imageRoot, const std::string& outputFolder,
             const MapperSettings& settings, std::string* error);
    // type: "TXT", "BIN", "NVM", "Bundler", ...
    bool convertModel(const std::string& input, const std::string& output, const std::string& type,
                      std::string* error);

    const std::string& logPath() const { return m_log; }

private:
    bool run(const std::string& step, const std::vector<std::string>& args, std::string* error);
    std::string lastLogLine() const;

    std::string m_program;
    std::string m_log;
};
