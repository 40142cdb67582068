// Finding a base photograph's points again in a further photograph of the same scene:
// a similarity (turn, uniform scale, shift) from features matched over the whole frame,
// then each point refined at full resolution by correlating the base's neighbourhood
// of the point, turned and scaled by that similarity, with the photograph.
// Images are 8-bit, one channel; positions are in pixels, (0, 0) the top-left pixel.
#ifndef TAVRIN_TOOLS_MATCH_LOCATE_H
#define TAVRIN_TOOLS_MATCH_LOCATE_H

#include <opencv2/core.hpp>

#include <string>
#include <vector>

// q = m p + t with m = (re, im) a complex factor: |m| the scale, arg m the turn
// (clockwise on screen when positive, y pointing down).
struct Similarity {
    double re = 1;
    double im = 0;
    double tx = 0;
    double ty = 0;

    cv::Point2d operator()(cv::Point2d p) const;
    Similarity inverse() const;
    double scale() const;
    double degrees() const;
    // The one that carries a onto a2 and b onto b2 (a != b).
    static Similarity through(cv::Point2d a, cv::Point2d b, cv::Point2d a2, cv::Point2d b2);
};

// One photograph's features, found on a reduced copy, positions in full pixels.
struct Features {
    std::vector<cv::Point2f> at;
    cv::Mat descriptors;
    int kind = 0;      // which detector made them
    double pixel = 1;  // full pixels per reduced pixel
};

enum Detector { kOrb, kSift };
Features describe(cv::Mat const& image, Detector detector);

struct Estimate {
    bool found = false;
    Similarity t;
    int matches = 0;
    int inliers = 0;
    std::string reason;  // why not found
};

// The similarity carrying base positions onto further ones, or the reason there is none
// (too few matches that agree, or a turn and scale no photograph of the scene has).
Estimate estimateSimilarity(Features const& base, Features const& further);

struct Located {
    bool found = false;
    cv::Point2d at;
    double peak = 0;       // normalised cross-correlation at the best place, up to 1
    double sharpness = 0;  // the photograph's detail around it against the base's
    std::string reason;
};

// Where base point a lies in further, within search pixels of where the estimate t
// puts it. Refused when the neighbourhood leaves either photograph, does not
// correlate, or is too blurred.
Located refinePoint(cv::Mat const& base, cv::Mat const& further, Similarity const& t, cv::Point2d a,
                    int search);

struct Pair {
    bool found = false;
    cv::Point2d a;  // A' and B'
    cv::Point2d b;
    Located atA;
    Located atB;
    std::string reason;
};

// A' and B' for base points a and b: both refined from the estimate, then again from
// the similarity that the two refined points fix, which holds the turn and scale
// far better than the features do.
Pair refinePair(cv::Mat const& base, cv::Mat const& further, Similarity const& t, cv::Point2d a,
                cv::Point2d b);

#endif
