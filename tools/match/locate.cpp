// The features, the similarity they agree on, and the local model they give around each
// point.
#include "tools/match/locate.h"
#include "tools/common/point_argument.h"

#include "tools/common/similarity.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>  // the processor's feature list
#endif

namespace {

// Features are looked for on a copy whose longer side is at most this many pixels: the
// similarity found there is good to a pixel or two of the original, and the
// correlation at full resolution does the rest.
constexpr double kWorkingSide = 1024;
constexpr int kLeastInliers = 12;
constexpr double kLeastScale = 0.25;
constexpr double kMostScale = 4;
// A point's local model is fitted to the matches nearest it, within a quarter of the
// base's diagonal; fewer than this many that agree leave it unfounded.
constexpr std::size_t kLocalMatches = 120;
constexpr int kLeastLocalInliers = 8;

// The two nearest of further's 32-byte descriptors (as four words each) to descriptor
// a, by Hamming distance, as OpenCV's brute-force matcher finds them: the first met
// wins a tie.
struct Nearest {
    int best = INT_MAX, second = INT_MAX, at = -1, next = -1;
};

inline Nearest scan(std::uint64_t const* a, std::uint64_t const* t, int rows)
{
    Nearest n;
    for (int j = 0; j < rows; ++j, t += 4) {
        int const d = __builtin_popcountll(a[0] ^ t[0]) + __builtin_popcountll(a[1] ^ t[1]) +
                      __builtin_popcountll(a[2] ^ t[2]) + __builtin_popcountll(a[3] ^ t[3]);
        if (d >= n.second)
            continue;
        if (d < n.best)
            n.second = n.best, n.next = n.at, n.best = d, n.at = j;
        else
            n.second = d, n.next = j;
    }
    return n;
}

// The same, with the processor's own count of bits, which nearly every x86-64 has (the
// processor says so in bit 23 of the second word of its feature list).
#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("popcnt")]] Nearest scanCounting(std::uint64_t const* a, std::uint64_t const* t,
                                               int rows)
{
    return scan(a, t, rows);
}

bool countsBits()
{
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (ecx & bit_POPCNT) != 0;
}
#endif

// The two nearest of ORB's descriptors to each base descriptor, as OpenCV's
// brute-force matcher gives them, in a fraction of its time.
void twoNearest(cv::Mat const& base, cv::Mat const& further,
                std::vector<std::vector<cv::DMatch>>& pairs)
{
    auto words = [](cv::Mat const& d) {
        std::vector<std::uint64_t> w(static_cast<std::size_t>(d.rows) * 4);
        for (int r = 0; r < d.rows; ++r)
            std::memcpy(&w[static_cast<std::size_t>(r) * 4], d.ptr(r), 32);
        return w;
    };
    std::vector<std::uint64_t> const q = words(base), t = words(further);
#if defined(__x86_64__) || defined(__i386__)
    auto nearest = countsBits() ? scanCounting : scan;
#else
    auto nearest = scan;
#endif
    pairs.assign(static_cast<std::size_t>(base.rows), {});
    for (int i = 0; i < base.rows; ++i) {
        Nearest const n = nearest(&q[static_cast<std::size_t>(i) * 4], t.data(), further.rows);
        for (auto [j, d] : {std::pair{n.at, n.best}, std::pair{n.next, n.second}})
            if (j >= 0)
                pairs[static_cast<std::size_t>(i)].emplace_back(i, j, static_cast<float>(d));
    }
}

// Lowe's test: each base feature's best match in further, when clearly better than the
// second best.
void matchByRatio(Features const& base, Features const& further, Estimate& e)
{
    std::vector<std::vector<cv::DMatch>> pairs;
    if (base.kind == kOrb && base.descriptors.type() == CV_8UC1 && base.descriptors.cols == 32 &&
        further.descriptors.type() == CV_8UC1 && further.descriptors.cols == 32)
        twoNearest(base.descriptors, further.descriptors, pairs);
    else
        cv::BFMatcher(base.kind == kOrb ? cv::NORM_HAMMING : cv::NORM_L2)
            .knnMatch(base.descriptors, further.descriptors, pairs, 2);
    for (auto const& p : pairs) {
        if (p.size() == 2 && p[0].distance < 0.8f * p[1].distance) {
            e.from.push_back(base.at[static_cast<std::size_t>(p[0].queryIdx)]);
            e.to.push_back(further.at[static_cast<std::size_t>(p[0].trainIdx)]);
        }
    }
    e.matches = static_cast<int>(e.from.size());
    e.pixel = further.pixel;
}

// The matches whose base side lies nearest a, within reach, nearest first.
void nearestMatches(Estimate const& e, cv::Point2d a, double reach, std::vector<cv::Point2f>& from,
                    std::vector<cv::Point2f>& to)
{
    std::vector<std::pair<double, std::size_t>> near;
    for (std::size_t i = 0; i < e.from.size(); ++i) {
        double const d = std::hypot(e.from[i].x - a.x, e.from[i].y - a.y);
        if (d <= reach)
            near.emplace_back(d, i);
    }
    std::sort(near.begin(), near.end());
    near.resize(std::min(near.size(), kLocalMatches));
    for (auto const& n : near) {
        from.push_back(e.from[n.second]);
        to.push_back(e.to[n.second]);
    }
}

// RANSAC's homography for the matches, and how many agree with it; empty when none.
cv::Mat fitHomography(std::vector<cv::Point2f> const& from, std::vector<cv::Point2f> const& to,
                      double tolerance, cv::Mat& inliers, int& agree)
{
    cv::Mat h;
    if (from.size() >= 4)
        h = cv::findHomography(from, to, cv::RANSAC, tolerance, inliers, 2000, 0.995);
    agree = h.empty() ? 0 : cv::countNonZero(inliers);
    return h;
}

// The affine map that agrees with the homography h at a to first order.
cv::Matx23d tangent(cv::Mat const& h, cv::Point2d a)
{
    cv::Matx33d const m(h);
    double const w = m(2, 0) * a.x + m(2, 1) * a.y + m(2, 2);
    double const u = (m(0, 0) * a.x + m(0, 1) * a.y + m(0, 2)) / w;
    double const v = (m(1, 0) * a.x + m(1, 1) * a.y + m(1, 2)) / w;
    cv::Matx23d t((m(0, 0) - u * m(2, 0)) / w, (m(0, 1) - u * m(2, 1)) / w, 0,
                  (m(1, 0) - v * m(2, 0)) / w, (m(1, 1) - v * m(2, 1)) / w, 0);
    t(0, 2) = u - t(0, 0) * a.x - t(0, 1) * a.y;
    t(1, 2) = v - t(1, 0) * a.x - t(1, 1) * a.y;
    return t;
}

}  // namespace

cv::Point2d apply(Similarity const& s, cv::Point2d p)
{
    plane::Place const q = s.apply({p.x, p.y});
    return {q.x, q.y};
}

cv::Matx23d affine(Similarity const& s)
{
    cv::Point2d const origin = apply(s, {0, 0});
    return {s.re, -s.im, origin.x, s.im, s.re, origin.y};
}

Similarity through(cv::Point2d a, cv::Point2d b, cv::Point2d a2, cv::Point2d b2)
{
    return plane::similarityOf({a.x, a.y}, {b.x, b.y}, {a2.x, a2.y}, {b2.x, b2.y});
}

cv::Size workingSize(cv::Size full)
{
    double const reduction = std::min(1.0, kWorkingSide / std::max(full.width, full.height));
    if (reduction == 1)
        return full;
    return {std::max(1, static_cast<int>(std::lround(full.width * reduction))),
            std::max(1, static_cast<int>(std::lround(full.height * reduction)))};
}

namespace {

// The copy that features are looked for on: blocks of k x k pixels averaged first,
// which OpenCV does several times faster than averaging over fractions of pixels, then
// brought to the working size. The last rows and columns that fill no whole block are
// left out; covered is the part of the image the copy shows.
cv::Mat reduced(cv::Mat const& image, cv::Size& covered)
{
    cv::Size const working = workingSize(image.size());
    covered = image.size();
    if (working == image.size())
        return image;
    int const k = std::max(1, std::min(image.cols / working.width, image.rows / working.height));
    cv::Mat const whole = image(cv::Rect(0, 0, image.cols / k * k, image.rows / k * k));
    covered = whole.size();
    cv::Mat small = whole;
    if (k > 1)
        cv::resize(whole, small, cv::Size(whole.cols / k, whole.rows / k), 0, 0, cv::INTER_AREA);
    if (small.size() != working)
        cv::resize(small, small, working, 0, 0, cv::INTER_AREA);
    return small;
}

}  // namespace

Features describe(cv::Mat const& image, Detector detector)
{
    cv::Size covered;
    cv::Mat const small = reduced(image, covered);
    std::vector<cv::KeyPoint> points;
    Features f;
    f.kind = detector;
    if (detector == kOrb)
        cv::ORB::create(3000, 1.2f, 8, 31, 0, 2, cv::ORB::HARRIS_SCORE, 31, 8)
            ->detectAndCompute(small, cv::noArray(), points, f.descriptors);
    else
        cv::SIFT::create(3000)->detectAndCompute(small, cv::noArray(), points, f.descriptors);
    // A reduced pixel's centre lies at the middle of the block of pixels it averages.
    double const sx = static_cast<double>(covered.width) / small.cols;
    double const sy = static_cast<double>(covered.height) / small.rows;
    for (cv::KeyPoint const& k : points)
        f.at.emplace_back(static_cast<float>((k.pt.x + 0.5) * sx - 0.5),
                          static_cast<float>((k.pt.y + 0.5) * sy - 0.5));
    f.pixel = std::max(sx, sy);
    return f;
}

Estimate estimateSimilarity(Features const& base, Features const& further)
{
    Estimate e;
    if (base.at.size() < 2 || further.at.size() < 2) {
        e.reason = "aucun d\xE9tail \xE0 apparier : une photographie unie ou tr\xE8s floue";
        return e;
    }
    matchByRatio(base, further, e);
    cv::Mat inliers;
    cv::Mat m;
    if (e.from.size() >= 3)
        m = cv::estimateAffinePartial2D(e.from, e.to, inliers, cv::RANSAC, 3 * further.pixel, 5000,
                                        0.999, 10);
    e.inliers = m.empty() ? 0 : cv::countNonZero(inliers);
    if (e.inliers < kLeastInliers) {
        e.reason = format("seules %d des %d correspondances de d\xE9tails concordent (%d au "
                          "moins) : une autre sc\xE8ne, trop peu de recouvrement ou trop de flou",
                          e.inliers, e.matches, kLeastInliers);
        return e;
    }
    e.t = {
        {0, 0}, {m.at<double>(0, 2), m.at<double>(1, 2)}, m.at<double>(0, 0), m.at<double>(1, 0)};
    double const scale = e.t.scale();
    if (!(scale >= kLeastScale && scale <= kMostScale)) {
        e.reason = "les d\xE9tails s'accordent sur une \xE9"
                   "chelle de " +
                   french(scale, 3) + ", hors de 0,25 \xE0 4 : une autre sc\xE8ne";
        return e;
    }
    e.found = true;
    return e;
}

cv::Point2d apply(cv::Matx23d const& m, cv::Point2d p)
{
    return {m(0, 0) * p.x + m(0, 1) * p.y + m(0, 2), m(1, 0) * p.x + m(1, 1) * p.y + m(1, 2)};
}

LocalModel fitLocalModel(Estimate const& e, cv::Point2d a, cv::Size base, char const* name)
{
    LocalModel l;
    std::vector<cv::Point2f> from, to;
    nearestMatches(e, a, std::hypot(base.width, base.height) / 4, from, to);
    int const near = static_cast<int>(from.size());
    cv::Mat inliers;
    int agreeing = 0;
    cv::Mat const h = fitHomography(from, to, 3 * e.pixel, inliers, agreeing);
    if (agreeing < kLeastLocalInliers) {
        l.reason = format("seules %d des %d correspondances autour de %s concordent (%d au "
                          "moins) : trop peu de d\xE9tails \xE0 cet endroit, ou une sc\xE8ne en "
                          "relief",
                          agreeing, near, name, kLeastLocalInliers);
        return l;
    }
    l.m = tangent(h, a);
    // The agreeing matches' spread about the homography, twice, and never less than a
    // pixel of the copy the features come from.
    std::vector<cv::Point2f> carried;
    cv::perspectiveTransform(from, carried, h);
    double squares = 0;
    for (std::size_t i = 0; i < from.size(); ++i)
        if (inliers.at<unsigned char>(static_cast<int>(i))) {
            cv::Point2f const off = carried[i] - to[i];
            squares += static_cast<double>(off.dot(off));
        }
    l.within = std::max(e.pixel, 2 * std::sqrt(squares / agreeing));
    double const det = l.m(0, 0) * l.m(1, 1) - l.m(0, 1) * l.m(1, 0);
    if (!(det >= kLeastScale * kLeastScale && det <= kMostScale * kMostScale)) {
        l.reason =
            format("les correspondances autour de %s le montrent invers\xE9 en miroir ou \xE0 "
                   "une \xE9"
                   "chelle hors de 0,25 \xE0 4",
                   name);
        return l;
    }
    // The matches left over must not fit another placement of the point nearly as well.
    std::vector<cv::Point2f> restFrom, restTo;
    for (std::size_t i = 0; i < from.size(); ++i)
        if (!inliers.at<unsigned char>(static_cast<int>(i)))
            restFrom.push_back(from[i]), restTo.push_back(to[i]);
    int agree = 0;
    cv::Mat restInliers;
    cv::Mat const other = fitHomography(restFrom, restTo, 3 * e.pixel, restInliers, agree);
    double const apart = other.empty() ? 0 : cv::norm(apply(tangent(other, a), a) - apply(l.m, a));
    if (agree >= std::max(kLeastLocalInliers, agreeing / 2) && apart > 3 * e.pixel) {
        l.reason = format("motif r\xE9p\xE9t\xE9 ou relief autour de %s : ses correspondances "
                          "s'accordent sur deux places \xE0 %.0f pixels l'une de l'autre (%d et "
                          "%d correspondances)",
                          name, apart, agreeing, agree);
        return l;
    }
    l.found = true;
    return l;
}
