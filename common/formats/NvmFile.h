#pragma once

#include <array>
#include <iosfwd>
#include <string>
#include <vector>

// VisualSfM's NVM_V3 reconstruction file as the tools read and write it: our
// bundle adjustment writes sparse.nvm, the conversion to Bundler, the dense
// preparation, the triangulation and OrthoDsm read it. Strict: a record with
// a field that is no number is refused, naming the line. (The workbench's
// core/formats/NvmReader reads the same files into its scene records, keeping
// the lenient reading of the program it replaces.)
//
// Camera model: world point X, camera centre c, rotation R from the unit
// quaternion (w, x, y, z); P = R (X - c) looks down +z with y down, and the
// measurement is (mx, my) = f P.xy / P.z measured from the image centre.
// NVM's one distortion value r undistorts measurements:
// m_undistorted = m (1 + r |m / f|^2).
class NvmFile
{
public:
    struct Camera {
        std::string name; // relative to the NVM file's folder
        double focal = 0;
        std::array<double, 4> quaternion{1, 0, 0, 0}; // w, x, y, z
        std::array<double, 3> centre{};
        double radial = 0;

        // Row-major world-to-camera rotation of the quaternion
        // (common/geometry/Rotation; Rotation::quaternionOf the other way).
        std::array<double, 9> rotation() const;
    };

    struct Measurement {
        int camera = 0;  // index into the model's cameras
        int feature = 0; // index into that image's feature list
        double x = 0;    // from the image centre, y down
        double y = 0;
    };

    struct Point {
        std::array<double, 3> position{};
        std::array<int, 3> colour{};
        std::vector<Measurement> measurements;
    };

    struct Model {
        std::vector<Camera> cameras;
        std::vector<Point> points;
    };

    std::vector<Model> models;

    enum class Contents {
        Everything,
        FirstCameras, // the cameras of the first model, the stream left at its point count
    };

    // Reads every model up to the "0" that ends the list (or the end of the
    // file); a header "NVM_V3 FixedK ..." is accepted. False with the line
    // number on a malformed record or a measurement naming a missing camera.
    bool read(std::istream& in, std::string* error = nullptr, Contents contents = Contents::Everything);
    bool readFile(const std::string& path, std::string* error = nullptr,
                  Contents contents = Contents::Everything);
    // Shortest round-trip numbers (common/numbers/NumberText), so what is
    // read back is the same double; ends with the "0" model count.
    void write(std::ostream& out) const;
    bool writeFile(const std::string& path, std::string* error = nullptr) const;
};
