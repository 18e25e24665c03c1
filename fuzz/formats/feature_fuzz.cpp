// A keypoint file, Lowe's text (.key, FEATURE_FORMAT LoweKeyFile) or our
// binary one (.keyb, FEATURE_FORMAT KeybFile): whatever the reader accepts,
// the writer writes and the reader takes back unchanged.
#include "FeatureSet.h"
#include "KeybFile.h"
#include "LoweKeyFile.h"

#include "FuzzSupport.h"

#include <cstring>
#include <sstream>

namespace
{

bool sameFeatures(const FeatureSet& a, const FeatureSet& b)
{
    if (a.keypoints.size() != b.keypoints.size() || a.descriptors != b.descriptors || a.width != b.width ||
        a.height != b.height || a.imageName != b.imageName)
        return false;
    // Bitwise: a NaN the text held must come back as one.
    return a.keypoints.empty() || std::memcmp(a.keypoints.data(), b.keypoints.data(),
                                              a.keypoints.size() * sizeof a.keypoints[0]) == 0;
}

template <class Format> void roundTrip(const std::string& text)
{
    std::istringstream in(text);
    FeatureSet features;
    std::string error;
    if (!Format::read(in, features, &error)) {
        fuzz::check(!error.empty());
        return;
    }
    fuzz::check(features.consistent());
    std::ostringstream out;
    Format::write(out, features);
    std::istringstream again(out.str());
    FeatureSet back;
    fuzz::check(Format::read(again, back, &error));
    fuzz::check(sameFeatures(features, back));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    roundTrip<FEATURE_FORMAT>(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
