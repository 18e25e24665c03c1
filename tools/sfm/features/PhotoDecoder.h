#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include <opencv2/core/mat.hpp>

// Reads a photo for feature detection with bounded memory: its size from
// the file's header without decoding it, then one decode straight to a
// reduced grey image (JPEG's DCT scaling where it fits, then a resize), and
// how the reduced pixels map back to the photo's.
class PhotoDecoder
{
public:
    struct Header {
        int width = 0; // as stored, before any EXIF rotation; 0 when unknown
        int height = 0;
        bool jpeg = false;
        bool truncated = false; // a JPEG without its end-of-image marker
    };

    // OpenCV's own limits: a header beyond them is refused, not clamped.
    static constexpr int largestSide = 1 << 20;
    static constexpr std::uint64_t largestPixels = std::uint64_t(1) << 30;

    // False with a reason (starting with the path or name and ": ") when the
    // file cannot be opened, is a damaged photo we know, or says a size no
    // photo has.
    static bool readHeader(const std::string& path, Header& header, std::string* error = nullptr);
    static bool readHeader(std::istream& in, const std::string& name, Header& header,
                           std::string* error = nullptr);

    // The photo's size as OpenCV decodes it (EXIF orientation applied),
    // without decoding it whole: a JPEG's size from its header, its turn
    // from a decode at an eighth of its size; other photos are decoded.
    static bool photoSize(const std::string& path, int& width, int& height, std::string* error = nullptr);

    // The image detection runs on: the photo's longest side brought down to
    // maxSide (0: full size).
    struct Reduced {
        cv::Mat gray;
        int photoWidth = 0; // the photo's pixels, EXIF rotation applied
        int photoHeight = 0;
        double scaleX = 1; // photo pixels per reduced pixel
        double scaleY = 1;
    };
    static bool decode(const std::string& path, const Header& header, int maxSide, Reduced& reduced,
                       std::string* error = nullptr);

    // Bytes that decoding and detecting on this photo take at most, from its header.
    static std::uint64_t memoryCost(const Header& header, int maxSide);

    // The JPEG reduction (1, 2, 4 or 8) that still leaves the longest side at
    // least maxSide.
    static int reductionFactor(int longest, int maxSide);
};
