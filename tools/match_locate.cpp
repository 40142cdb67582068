#include "tools/match_locate.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Features are looked for on a copy whose longer side is at most this many pixels: the
// similarity found there is good to a pixel or two of the original, and the
// correlation at full resolution does the rest.
constexpr double kWorkingSide = 1024;
constexpr int kLeastInliers = 12;
constexpr double kLeastScale = 0.25;
constexpr double kMostScale = 4;
// Half the side of the correlated neighbourhood, in pixels of the less detailed of
// the two photographs, and the least that is still worth correlating.
constexpr int kRadius = 24;
constexpr int kLeastRadius = 8;
constexpr double kLeastPeak = 0.5;
constexpr double kLeastSharpness = 0.3;

std::string format(char const* pattern, double a, double b = 0)
{
    char text[200];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

// Mean squared step between neighbouring pixels over the variance: how much of a
// patch's contrast lies in its finest detail, whatever the contrast itself.
double detail(cv::Mat const& patch)
{
    cv::Mat dx, dy;
    cv::Sobel(patch, dx, CV_32F, 1, 0, 1);
    cv::Sobel(patch, dy, CV_32F, 0, 1, 1);
    cv::Scalar mean, deviation;
    cv::meanStdDev(patch, mean, deviation);
    double const variance = deviation[0] * deviation[0];
    return variance > 0 ? (cv::mean(dx.mul(dx))[0] + cv::mean(dy.mul(dy))[0]) / variance : 0;
}

// Offset of the top of a parabola through three samples, from the middle one.
double vertex(float left, float middle, float right)
{
    double const curvature = static_cast<double>(left) - 2.0 * middle + right;
    return curvature < 0 ? 0.5 * (static_cast<double>(left) - right) / curvature : 0;
}

}  // namespace

cv::Point2d Similarity::operator()(cv::Point2d p) const
{
    return {re * p.x - im * p.y + tx, im * p.x + re * p.y + ty};
}

Similarity Similarity::inverse() const
{
    double const n = re * re + im * im;
    Similarity back{re / n, -im / n, 0, 0};
    cv::Point2d const t = back({tx, ty});
    back.tx = -t.x;
    back.ty = -t.y;
    return back;
}

double Similarity::scale() const
{
    return std::hypot(re, im);
}

double Similarity::degrees() const
{
    return std::atan2(im, re) * 57.29577951308232;
}

Similarity Similarity::through(cv::Point2d a, cv::Point2d b, cv::Point2d a2, cv::Point2d b2)
{
    double const bx = b.x - a.x, by = b.y - a.y;
    double const px = b2.x - a2.x, py = b2.y - a2.y;
    double const n = bx * bx + by * by;
    Similarity s{(px * bx + py * by) / n, (py * bx - px * by) / n, 0, 0};
    cv::Point2d const ma = s(a);
    s.tx = a2.x - ma.x;
    s.ty = a2.y - ma.y;
    return s;
}

Features describe(cv::Mat const& image, Detector detector)
{
    double const reduction = std::min(1.0, kWorkingSide / std::max(image.cols, image.rows));
    cv::Mat small = image;
    if (reduction < 1)
        cv::resize(image, small,
                   cv::Size(std::max(1, static_cast<int>(std::lround(image.cols * reduction))),
                            std::max(1, static_cast<int>(std::lround(image.rows * reduction)))),
                   0, 0, cv::INTER_AREA);
    std::vector<cv::KeyPoint> points;
    Features f;
    f.kind = detector;
    if (detector == kOrb)
        cv::ORB::create(3000, 1.2f, 8, 31, 0, 2, cv::ORB::HARRIS_SCORE, 31, 8)
            ->detectAndCompute(small, cv::noArray(), points, f.descriptors);
    else
        cv::SIFT::create(3000)->detectAndCompute(small, cv::noArray(), points, f.descriptors);
    // A reduced pixel's centre lies at the middle of the block of pixels it averages.
    double const sx = static_cast<double>(image.cols) / small.cols;
    double const sy = static_cast<double>(image.rows) / small.rows;
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
        e.reason = "no features to match: a blank or very blurred photograph";
        return e;
    }
    cv::BFMatcher matcher(base.kind == kOrb ? cv::NORM_HAMMING : cv::NORM_L2);
    std::vector<std::vector<cv::DMatch>> pairs;
    matcher.knnMatch(base.descriptors, further.descriptors, pairs, 2);
    std::vector<cv::Point2f> from, to;
    for (auto const& p : pairs) {
        // Lowe's test: the best match clearly better than the second best.
        if (p.size() == 2 && p[0].distance < 0.8f * p[1].distance) {
            from.push_back(base.at[static_cast<std::size_t>(p[0].queryIdx)]);
            to.push_back(further.at[static_cast<std::size_t>(p[0].trainIdx)]);
        }
    }
    e.matches = static_cast<int>(from.size());
    cv::Mat inliers;
    cv::Mat m;
    if (from.size() >= 3)
        m = cv::estimateAffinePartial2D(from, to, inliers, cv::RANSAC, 3 * further.pixel, 5000,
                                        0.999, 10);
    e.inliers = m.empty() ? 0 : cv::countNonZero(inliers);
    if (e.inliers < kLeastInliers) {
        e.reason = "only " + std::to_string(e.inliers) + " of " + std::to_string(e.matches) +
                   " feature matches agree (" + std::to_string(kLeastInliers) +
                   " needed): another scene, too little overlap or too blurred";
        return e;
    }
    e.t = {m.at<double>(0, 0), m.at<double>(1, 0), m.at<double>(0, 2), m.at<double>(1, 2)};
    double const scale = e.t.scale();
    if (!(scale >= kLeastScale && scale <= kMostScale)) {
        e.reason = format("the features agree on a scale of %.3f, beyond 0.25 to 4: "
                          "another scene",
                          scale);
        return e;
    }
    e.found = true;
    return e;
}

Located refinePoint(cv::Mat const& base, cv::Mat const& further, Similarity const& t, cv::Point2d a,
                    int search)
{
    Located l;
    cv::Point2d const predicted = t(a);
    if (!(predicted.x >= 0 && predicted.y >= 0 && predicted.x <= further.cols - 1 &&
          predicted.y <= further.rows - 1)) {
        l.reason = format("falls outside the photograph, at %.1f,%.1f: too little overlap",
                          predicted.x, predicted.y);
        return l;
    }
    double const scale = t.scale();
    int const cx = static_cast<int>(std::lround(predicted.x));
    int const cy = static_cast<int>(std::lround(predicted.y));
    // The neighbourhood, and the search around it, must stay inside the photograph;
    // its image in the base photograph must stay inside the base.
    int radius = static_cast<int>(std::lround(kRadius * std::max(1.0, scale)));
    radius = std::min({radius, cx - search, further.cols - 1 - search - cx, cy - search,
                       further.rows - 1 - search - cy});
    Similarity const back = t.inverse();
    auto const cornerInBase = [&](int corner) {
        return back({static_cast<double>(cx + (corner & 1 ? radius : -radius)),
                     static_cast<double>(cy + (corner & 2 ? radius : -radius))});
    };
    for (; radius >= kLeastRadius; --radius) {
        bool inside = true;
        for (int corner = 0; corner < 4; ++corner) {
            cv::Point2d const p = cornerInBase(corner);
            inside = inside && p.x >= 1 && p.y >= 1 && p.x <= base.cols - 2 && p.y <= base.rows - 2;
        }
        if (inside)
            break;
    }
    if (radius < kLeastRadius) {
        l.reason = "lies too close to the edge of one of the photographs to be refined";
        return l;
    }

    // The base photograph around the point, softened first when the photograph shows
    // the scene smaller, then turned and scaled onto the photograph's pixels.
    double x0 = cornerInBase(0).x, x1 = x0, y0 = cornerInBase(0).y, y1 = y0;
    for (int corner = 1; corner < 4; ++corner) {
        cv::Point2d const p = cornerInBase(corner);
        x0 = std::min(x0, p.x), x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
    }
    double const blur = scale < 1 ? 0.5 * (1 / scale - 1) : 0;
    int const margin = 2 + static_cast<int>(std::ceil(3 * blur));
    cv::Rect const area = cv::Rect(cv::Point(static_cast<int>(std::floor(x0)) - margin,
                                             static_cast<int>(std::floor(y0)) - margin),
                                   cv::Point(static_cast<int>(std::ceil(x1)) + margin + 1,
                                             static_cast<int>(std::ceil(y1)) + margin + 1)) &
                          cv::Rect(0, 0, base.cols, base.rows);
    cv::Mat around;
    base(area).convertTo(around, CV_32F);
    if (blur > 0.1)
        cv::GaussianBlur(around, around, cv::Size(), blur);
    cv::Point2d const origin =
        back({static_cast<double>(cx - radius), static_cast<double>(cy - radius)});
    cv::Matx23d const toBase(back.re, -back.im, origin.x - area.x, back.im, back.re,
                             origin.y - area.y);
    cv::Mat expected;
    cv::warpAffine(around, expected, toBase, cv::Size(2 * radius + 1, 2 * radius + 1),
                   cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);

    cv::Mat window;
    further(cv::Rect(cx - radius - search, cy - radius - search, 2 * (radius + search) + 1,
                     2 * (radius + search) + 1))
        .convertTo(window, CV_32F);
    cv::Scalar mean, deviation;
    cv::meanStdDev(expected, mean, deviation);
    if (deviation[0] < 1) {
        l.reason = "has no detail around it in the base photograph to be found by";
        return l;
    }
    cv::Mat score;
    cv::matchTemplate(window, expected, score, cv::TM_CCOEFF_NORMED);
    cv::Point best;
    cv::minMaxLoc(score, nullptr, &l.peak, nullptr, &best);
    if (best.x == 0 || best.y == 0 || best.x == score.cols - 1 || best.y == score.rows - 1) {
        l.reason = format("matches best at the edge of the search (correlation %.2f): "
                          "another scene, or the features misled",
                          l.peak);
        return l;
    }
    if (l.peak < kLeastPeak) {
        l.reason = format("does not look like the base photograph's (correlation %.2f): "
                          "another scene, or the place has changed",
                          l.peak);
        return l;
    }
    l.sharpness =
        detail(window(cv::Rect(best.x, best.y, expected.cols, expected.rows))) / detail(expected);
    if (l.sharpness < kLeastSharpness) {
        l.reason =
            format("is too blurred (its detail is %.2f of the base photograph's)", l.sharpness);
        return l;
    }
    float const* row = score.ptr<float>(best.y);
    double const dx = vertex(row[best.x - 1], row[best.x], row[best.x + 1]);
    double const dy = vertex(score.at<float>(best.y - 1, best.x), row[best.x],
                             score.at<float>(best.y + 1, best.x));
    l.at = {predicted.x + (best.x - search + dx), predicted.y + (best.y - search + dy)};
    l.found = true;
    return l;
}

Pair refinePair(cv::Mat const& base, cv::Mat const& further, Similarity const& t, cv::Point2d a,
                cv::Point2d b)
{
    Pair p;
    Similarity estimate = t;
    // The first search allows for the features' error at their reduced scale; the
    // second only for what is left.
    for (int search : {12, 3}) {
        p.atA = refinePoint(base, further, estimate, a, search);
        if (!p.atA.found) {
            p.reason = "A' " + p.atA.reason;
            return p;
        }
        p.atB = refinePoint(base, further, estimate, b, search);
        if (!p.atB.found) {
            p.reason = "B' " + p.atB.reason;
            return p;
        }
        estimate = Similarity::through(a, b, p.atA.at, p.atB.at);
    }
    p.a = p.atA.at;
    p.b = p.atB.at;
    p.found = true;
    return p;
}
