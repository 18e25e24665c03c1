#pragma once

#include <QString>

#include <opencv2/core.hpp>

// Finds the centre of a ground control target, a checker of two by two black
// and white squares, near where a photo is expected to show it: the saddle
// point where the four squares meet, to a fraction of a pixel. A spot that
// is not such a checker (plain ground, a stone, the target's outer corner,
// a target cut by the photo's edge) is refused with the reason.
class TargetDetector
{
public:
    struct Options {
        int window = 64;          // side of the square searched around the prediction, pixels
        double ringRadius = 3.5;  // where the four squares are sampled around a centre, pixels
        double minContrast = 50;  // grey levels between the light and the dark squares
        double minSymmetry = 0.9; // 1: the ring is a perfect checker (see Result::score)
        // Of the checkers in the window, the one nearest the prediction rather
        // than the most symmetric: in a wide window, where another target may
        // show as well, the nearer one is the more likely to be the point's.
        bool nearest = false;
    };

    struct Result {
        bool found = false;
        double column = 0,
               row = 0;      // pixels from the top-left corner of the photo (its first centre 0.5, 0.5)
        double score = 0;    // 0..1: how much the spot looks like a checker's centre
        double contrast = 0; // grey levels
        QString reason;      // why nothing was found
    };

    TargetDetector() = default;
    explicit TargetDetector(const Options& options) : m_options(options) {}
    const Options& options() const { return m_options; }

    // The target nearest to (column, row) of a grey photo (8 bits, one channel,
    // the whole photo at full resolution), searched in the window around it.
    Result find(const cv::Mat& photo, double column, double row) const;
    // The same on a part of the photo read at full resolution: its top-left
    // pixel is (left, top) of a photo of photoSize. The part must hold
    // windowOf() of the prediction, or the target is refused at its edge.
    Result find(const cv::Mat& part, int left, int top, const cv::Size& photoSize, double column,
                double row) const;
    // The pixels of a photo the search around (column, row) reads.
    cv::Rect windowOf(const cv::Size& photoSize, double column, double row) const;

private:
    Options m_options;
};
