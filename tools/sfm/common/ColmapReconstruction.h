#pragma once

#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "ColmapDriver.h"
#include "ColmapModel.h"

// Incremental reconstruction of our features and verified matches by COLMAP,
// shared by our VisualSfM and Bundler: a database in a work folder filled
// from the .keyb files and the matcher's inliers (database_creator,
// feature_importer, matches_importer), then the mapper, then the largest
// model read back in text form. A later run over the same images and
// camera settings maps the database again without importing.
class ColmapReconstruction
{
public:
    struct Image {
        std::string path;        // the image file
        std::string featurePath; // its .keyb file
        // Starting calibration; 0 lets COLMAP guess (EXIF in the file, else 1.2 x width).
        double focal = 0;
        // The camera the EXIF names (make and model), empty when unknown.
        // Photos of one named camera with one size and starting focal length
        // share one calibration, refined once for all of them.
        std::string camera;
    };

    // An entry of the tool chain's image list (listfocal.txt) made ready:
    // the photo its "JPG name" stands for and that photo's .keyb file.
    struct ListedImage {
        Image image;
        int width = 0;
        int height = 0;
        double listedFocal = 0; // "0 <focal>" of the line, 0 when none
        size_t features = 0;    // 0: left out by feature detection
    };

    // Reads the list and finds every photo and its features; false with a
    // reason when the list cannot be read, a photo has no feature file, or
    // fewer than two photos have features. Photos left out by feature
    // detection (empty feature files) stay in the list, named on log.
    // Says on log which file a name took.
    static bool readImageList(const std::string& listPath, std::vector<ListedImage>& images,
                              std::ostream& log, std::string* error);

    struct Match {
        int first = 0; // indices into the images
        int second = 0;
        std::vector<std::pair<int, int>> features;
    };

    struct Settings {
        std::string workFolder;
        std::string colmap = "colmap";
        // Shared pinhole calibration of undistorted images (VisualSfM's +k=),
        // kept as given: the mapper refines poses and points only.
        bool calibrated = false;
        double fx = 0, fy = 0, cx = 0, cy = 0;
        // Otherwise cameras of this model: one per named camera, size and
        // focal length, one per image where the camera is unknown.
        std::string cameraModel = "SIMPLE_RADIAL";
        int threads = 0;
        // A drone's flight: the mapper takes its options for ordered frames.
        bool orderedFrames = false;
    };

    explicit ColmapReconstruction(Settings settings);

    // Replaces the work folder's database with one built from these inputs.
    bool importData(const std::vector<Image>& images, const std::vector<Match>& matches, std::ostream& log,
                    std::string* error);
    // Whether the work folder holds a database built for these images and
    // settings (then map() can run without importData()).
    bool canReuse(const std::vector<Image>& images);
    // Maps the database and reads the model with the most registered images.
    bool map(ColmapModel& model, std::ostream& log, std::string* error);

    // COLMAP's name of an image (its path relative to the images' common folder).
    std::string colmapName(const std::string& imagePath) const;
    const std::string& logPath() const { return m_driver.logPath(); }

private:
    std::string stamp(const std::vector<Image>& images) const;
    std::string cameraParams(const Image& image, int width, int height) const;
    // Images with the same key share one camera; empty: a camera of its own.
    std::string sharedCameraKey(const Image& image, const std::string& params) const;
    void setRoot(const std::vector<Image>& images);

    Settings m_settings;
    ColmapDriver m_driver;
    std::string m_root; // common folder of the images, ending in "/"
};
