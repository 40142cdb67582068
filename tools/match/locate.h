// Finding a base photograph's points again in a further photograph of the same scene:
// features matched over the whole frame give a similarity (turn, uniform scale, shift)
// that tells the scene apart from another; the matches around each point give a local
// affine map, which holds under perspective and depth; each point is then refined at
// full resolution by correlating the base's neighbourhood of it, carried by that map,
// with the photograph. A point whose answer could be another place is refused.
// Images are 8-bit, one channel; positions are in pixels, (0, 0) the top-left pixel.
#ifndef TAVRIN_TOOLS_MATCH_LOCATE_H
#define TAVRIN_TOOLS_MATCH_LOCATE_H

#include "tools/common/similarity.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

// The printf pattern filled in with values.
template <typename... Values> std::string format(char const* pattern, Values... values)
{
    int const length = std::snprintf(nullptr, 0, pattern, values...);
    std::string text(static_cast<std::size_t>(std::max(length, 0)), '\0');
    std::snprintf(text.data(), text.size() + 1, pattern, values...);
    return text;
}

// The tools' similarity, carried over OpenCV's points and matrices.
using Similarity = plane::Similarity;
cv::Point2d apply(Similarity const& s, cv::Point2d p);
cv::Matx23d affine(Similarity const& s);
// The one that carries a onto a2 and b onto b2 (a != b).
Similarity through(cv::Point2d a, cv::Point2d b, cv::Point2d a2, cv::Point2d b2);

// One photograph's features, found on a reduced copy, positions in full pixels.
struct Features {
    std::vector<cv::Point2f> at;
    cv::Mat descriptors;
    int kind = 0;      // which detector made them
    double pixel = 1;  // full pixels per reduced pixel
};

enum Detector { kOrb, kSift };
Features describe(cv::Mat const& image, Detector detector);
// The size of the reduced copy that describe looks for features on.
cv::Size workingSize(cv::Size full);

// Why no point can be searched for in a photograph of this size, as a French phrase;
// empty when one can. A further photograph must also hold the least neighbourhood
// that is correlated, with its first search around it.
std::string tooSmallToSearch(cv::Size size, bool further);

struct Estimate {
    bool found = false;
    Similarity t{{0, 0}, {0, 0}, 1, 0};  // the identity until estimated
    int matches = 0;
    int inliers = 0;
    std::vector<cv::Point2f> from;  // the matches that passed the ratio test, base side
    std::vector<cv::Point2f> to;    // and further side
    double pixel = 1;               // full pixels per reduced pixel of the further photograph
    std::string reason;             // why not found
};

// The similarity carrying base positions onto further ones, or the reason there is none
// (too few matches that agree, or a turn and scale no photograph of the scene has).
Estimate estimateSimilarity(Features const& base, Features const& further);

// The affine map q = m (x, y, 1) that a homography fitted by RANSAC to the feature
// matches around one base point gives there; refused when too few agree, or when the
// rest fit another placement as well (a repetitive pattern, or depth).
struct LocalModel {
    bool found = false;
    cv::Matx23d m;
    double within = 0;  // how far off m may put the point: its matches' spread, in pixels
    std::string reason;
};
LocalModel fitLocalModel(Estimate const& e, cv::Point2d a, cv::Size base, char const* name);
// The affine map m applied to p.
cv::Point2d apply(cv::Matx23d const& m, cv::Point2d p);

struct Located {
    bool found = false;
    cv::Point2d at;
    double peak = 0;      // normalised cross-correlation at the best place, up to 1
    double spread = 0;    // how far noise alone could move the peak, in pixels
    double blur = 0;      // the Gaussian the base's neighbourhood took to match the photograph
    int radius = 0;       // half the side of the neighbourhood correlated
    double within = 0;    // how far off the place it was sought around may have been
    cv::Matx23d local;    // the local model locatePoint found it from
    cv::Matx23d carried;  // the map that carried the base's neighbourhood
    std::string reason;
    bool misled = false;  // refused for what the feature matches said, not the correlation
};

// The point found from its local model, refused when the correlation lands away from
// where the matches around it put it.
Located locatePoint(cv::Mat const& base, cv::Mat const& further, Estimate const& e, cv::Point2d a,
                    char const* name);

struct Pair {
    bool found = false;
    cv::Point2d a;  // A' and B'
    cv::Point2d b;
    Located atA;
    Located atB;
    // How far the scene departs from the similarity through A' and B' around each
    // point, in pixels per 100: 0 where that similarity matched best, else the local
    // model's departure.
    double misfitA = 0;
    double misfitB = 0;
    // The error to expect at A' and at B', in pixels of the photograph: what the
    // benchmarks with a known truth found at least 95 % of true errors within.
    double errorA = 0;
    double errorB = 0;
    std::string reason;
    bool misled = false;  // as the refused point's
};

// A' and B' for base points a and b: each found from the matches around it, then again
// with its neighbourhood carried by the similarity that the two points fix, which
// holds the turn and scale far better than the features do, or by its local model
// where the scene departs from that similarity.
Pair refinePair(cv::Mat const& base, cv::Mat const& further, Estimate const& e, cv::Point2d a,
                cv::Point2d b);

#endif
