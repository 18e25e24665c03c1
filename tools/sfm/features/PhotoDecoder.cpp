#include "PhotoDecoder.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <istream>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace
{

bool fail(std::string* error, const std::string& why)
{
    if (error)
        *error = why;
    return false;
}

unsigned bigEndian16(const unsigned char* p)
{
    return unsigned(p[0]) << 8 | p[1];
}

std::uint32_t value32(const unsigned char* p, bool little)
{
    return little ? std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                        std::uint32_t(p[3]) << 24
                  : std::uint32_t(p[3]) | std::uint32_t(p[2]) << 8 | std::uint32_t(p[1]) << 16 |
                        std::uint32_t(p[0]) << 24;
}

unsigned value16(const unsigned char* p, bool little)
{
    return little ? unsigned(p[0]) | unsigned(p[1]) << 8 : bigEndian16(p);
}

bool readAt(std::istream& in, std::streamoff at, unsigned char* bytes, size_t n)
{
    in.clear();
    in.seekg(at);
    return bool(in.read(reinterpret_cast<char*>(bytes), std::streamsize(n)));
}

// Walks the JPEG's marker segments up to the frame header; the scan's start
// tells where an end-of-image marker can only be the real one (entropy-coded
// data never holds FF D9).
bool jpegHeader(std::istream& in, std::streamoff size, PhotoDecoder::Header& header)
{
    std::streamoff at = 2, scan = -1;
    unsigned char m[9];
    while (at + 4 <= size && readAt(in, at, m, 4)) {
        if (m[0] != 0xFF)
            return false;
        if (m[1] == 0xFF) { // fill byte
            ++at;
            continue;
        }
        const unsigned marker = m[1];
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        const unsigned length = bigEndian16(m + 2);
        if (length < 2)
            return false;
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame && header.width == 0) {
            if (!readAt(in, at, m, 9))
                return false;
            header.height = int(bigEndian16(m + 5));
            header.width = int(bigEndian16(m + 7));
        }
        if (marker == 0xDA) {
            scan = at + 2 + length;
            break;
        }
        at += 2 + length;
    }
    if (header.width <= 0 || header.height <= 0 || scan < 0)
        return false;
    header.truncated = true;
    // A scan header that runs past the end leaves no image data at all.
    if (scan + 2 > size)
        return true;
    // The last FF D9 after the scan's start: in the last 64 KiB, so photos
    // with data appended after their end still count as whole.
    const std::streamoff from = std::max(scan, size - std::streamoff(65536));
    std::vector<unsigned char> tail(size_t(size - from));
    if (tail.size() < 2 || !readAt(in, from, tail.data(), tail.size()))
        return true;
    for (size_t i = tail.size() - 1; i > 0; --i)
        if (tail[i - 1] == 0xFF && tail[i] == 0xD9) {
            header.truncated = false;
            break;
        }
    return true;
}

bool tiffHeader(std::istream& in, std::streamoff size, bool little, std::uint32_t& width,
                std::uint32_t& height)
{
    unsigned char b[12];
    if (!readAt(in, 4, b, 4))
        return false;
    const std::streamoff ifd = value32(b, little);
    if (ifd + 2 > size || !readAt(in, ifd, b, 2))
        return false;
    const unsigned entries = value16(b, little);
    for (unsigned i = 0; i < entries && ifd + 2 + 12 * (i + 1) <= size; ++i) {
        if (!readAt(in, ifd + 2 + 12 * std::streamoff(i), b, 12))
            return false;
        const unsigned tag = value16(b, little), type = value16(b + 2, little);
        const std::uint32_t v = type == 3 ? value16(b + 8, little) : value32(b + 8, little);
        if (tag == 256)
            width = v;
        else if (tag == 257)
            height = v;
    }
    return width > 0 && height > 0;
}

// What no camera takes and OpenCV would refuse to decode: such a header is
// damaged or made to exhaust memory, and is not clamped into a size that
// looks plausible.
bool plausibleSize(std::uint32_t width, std::uint32_t height)
{
    return width <= std::uint32_t(PhotoDecoder::largestSide) &&
           height <= std::uint32_t(PhotoDecoder::largestSide) &&
           std::uint64_t(width) * height <= PhotoDecoder::largestPixels;
}

bool sized(PhotoDecoder::Header& header, std::uint32_t width, std::uint32_t height, const std::string& name,
           const char* format, std::string* error)
{
    if (!plausibleSize(width, height))
        return fail(error, name + ": " + format + " header says " + std::to_string(width) + " x " +
                               std::to_string(height) + " pixels, more than a photo can have (at most " +
                               std::to_string(PhotoDecoder::largestSide) + " on a side and " +
                               std::to_string(PhotoDecoder::largestPixels) + " in all)");
    header.width = int(width);
    header.height = int(height);
    return true;
}

} // namespace

bool PhotoDecoder::readHeader(const std::string& path, Header& header, std::string* error)
{
    header = Header();
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return fail(error, path + ": cannot open the photo");
    return readHeader(in, path, header, error);
}

bool PhotoDecoder::readHeader(std::istream& in, const std::string& name, Header& header, std::string* error)
{
    header = Header();
    in.clear();
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    unsigned char b[24] = {};
    if (size < 24 || !readAt(in, 0, b, 24))
        return fail(error, name + ": cannot read image (too short for a photo)");
    if (b[0] == 0xFF && b[1] == 0xD8) {
        header.jpeg = true;
        if (!jpegHeader(in, size, header))
            return fail(error, name + ": damaged JPEG (no frame header before the image data)");
        return sized(header, std::uint32_t(header.width), std::uint32_t(header.height), name, "JPEG", error);
    }
    static const unsigned char png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (std::equal(png, png + 8, b) && std::equal(b + 12, b + 16, "IHDR")) {
        const std::uint32_t width = value32(b + 16, false), height = value32(b + 20, false);
        if (width == 0 || height == 0)
            return fail(error, name + ": damaged PNG header");
        return sized(header, width, height, name, "PNG", error);
    }
    const bool ii = b[0] == 'I' && b[1] == 'I' && b[2] == 42 && b[3] == 0;
    const bool mm = b[0] == 'M' && b[1] == 'M' && b[2] == 0 && b[3] == 42;
    std::uint32_t width = 0, height = 0;
    if ((ii || mm) && tiffHeader(in, size, ii, width, height))
        return sized(header, width, height, name, "TIFF", error);
    // Another format OpenCV may still read: its size is learnt only by decoding.
    header.width = header.height = 0;
    return true;
}

int PhotoDecoder::reductionFactor(int longest, int maxSide)
{
    int factor = 1;
    while (maxSide > 0 && factor < 8 && (longest + 2 * factor - 1) / (2 * factor) >= maxSide)
        factor *= 2;
    return factor;
}

std::uint64_t PhotoDecoder::memoryCost(const Header& header, int maxSide)
{
    if (header.width <= 0 || header.height <= 0)
        return ~std::uint64_t(0);
    const double W = header.width, H = header.height, longest = std::max(W, H);
    // The decoded image: JPEG decodes straight to the reduced grey image; other
    // formats hold the whole photo in colour on the way.
    double decoded = W * H * 4;
    if (header.jpeg) {
        const int f = reductionFactor(int(longest), maxSide);
        decoded = std::ceil(W / f) * std::ceil(H / f);
    }
    const double s = maxSide > 0 && longest > maxSide ? maxSide / longest : 1.0;
    // OpenCV's SIFT works on the doubled image in floats: six Gaussian and
    // five difference images per octave, a third more for the coarser
    // octaves, and room for the gradients and descriptors (measured about 235
    // bytes per pixel of the detection image).
    const double detect = W * s * H * s * 256;
    return std::uint64_t(decoded + detect) + (std::uint64_t(64) << 20);
}

bool PhotoDecoder::photoSize(const std::string& path, int& width, int& height, std::string* error)
{
    Header header;
    if (!readHeader(path, header, error))
        return false;
    const bool fromHeader = header.jpeg && header.width > 0 && header.height > 0;
    const cv::Mat image = cv::imread(path, fromHeader ? cv::IMREAD_REDUCED_GRAYSCALE_8 : cv::IMREAD_GRAYSCALE);
    if (image.empty())
        return fail(error, path + ": cannot read image");
    width = fromHeader ? header.width : image.cols;
    height = fromHeader ? header.height : image.rows;
    if (fromHeader && (image.cols > image.rows) != (width > height) && image.cols != image.rows)
        std::swap(width, height);
    return true;
}

bool PhotoDecoder::decode(const std::string& path, const Header& header, int maxSide, Reduced& reduced,
                          std::string* error)
{
    reduced = Reduced();
    const int longest = std::max(header.width, header.height);
    const int factor = header.jpeg ? reductionFactor(longest, maxSide) : 1;
    static const int modes[] = {cv::IMREAD_GRAYSCALE, cv::IMREAD_REDUCED_GRAYSCALE_2, cv::IMREAD_REDUCED_GRAYSCALE_4,
                                cv::IMREAD_REDUCED_GRAYSCALE_8};
    const int mode = modes[factor == 8 ? 3 : factor == 4 ? 2 : factor == 2 ? 1 : 0];
    cv::Mat image = cv::imread(path, mode);
    if (image.empty())
        return fail(error, path + ": cannot read image");
    // The photo's own pixels, turned as OpenCV turned the decoded image for
    // its EXIF orientation.
    int W = header.width > 0 ? header.width : image.cols * factor;
    int H = header.height > 0 ? header.height : image.rows * factor;
    if ((image.cols > image.rows) != (W > H) && image.cols != image.rows)
        std::swap(W, H);
    // A reduced JPEG pixel covers factor x factor photo pixels (the last
    // column and row may cover fewer).
    const double decodedCols = double(image.cols) * factor, decodedRows = double(image.rows) * factor;
    const int side = std::max(image.cols, image.rows);
    if (maxSide > 0 && side > maxSide) {
        const double s = double(maxSide) / side;
        cv::Mat smaller;
        cv::resize(image, smaller,
                   cv::Size(std::max(1, int(std::lround(image.cols * s))), std::max(1, int(std::lround(image.rows * s)))),
                   0, 0, cv::INTER_AREA);
        image = smaller;
    }
    reduced.gray = image;
    reduced.photoWidth = W;
    reduced.photoHeight = H;
    reduced.scaleX = decodedCols / image.cols;
    reduced.scaleY = decodedRows / image.rows;
    return true;
}
