// OpenCV's plain pipeline, for comparison with tavrin-match: features on the whole
// photographs at full resolution, matched with Lowe's ratio test, a similarity from
// cv::estimateAffinePartial2D (RANSAC), A and B mapped through it, nothing refined;
// with sift-homography, a homography from cv::findHomography (RANSAC) instead.
//   match_plain orb|sift|sift-homography BASE AX,AY BX,BY FURTHER
// prints "A'x A'y B'x B'y inliers" or "refused inliers".
#include <opencv2/calib3d.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    cv::Point2d a, b;
    if (argc != 6 || std::sscanf(argv[3], "%lf,%lf", &a.x, &a.y) != 2 ||
        std::sscanf(argv[4], "%lf,%lf", &b.x, &b.y) != 2) {
        std::fputs("usage: match_plain orb|sift|sift-homography BASE AX,AY BX,BY FURTHER\n",
                   stderr);
        return 2;
    }
    bool const orb = std::string(argv[1]) == "orb";
    cv::Ptr<cv::Feature2D> features = orb ? cv::Ptr<cv::Feature2D>(cv::ORB::create(5000))
                                          : cv::Ptr<cv::Feature2D>(cv::SIFT::create());
    std::vector<cv::KeyPoint> kb, kf;
    cv::Mat db, df;
    features->detectAndCompute(cv::imread(argv[2], cv::IMREAD_GRAYSCALE), cv::noArray(), kb, db);
    features->detectAndCompute(cv::imread(argv[5], cv::IMREAD_GRAYSCALE), cv::noArray(), kf, df);
    std::vector<std::vector<cv::DMatch>> pairs;
    if (!db.empty() && !df.empty())
        cv::BFMatcher(orb ? cv::NORM_HAMMING : cv::NORM_L2).knnMatch(db, df, pairs, 2);
    std::vector<cv::Point2f> from, to;
    for (auto const& p : pairs)
        if (p.size() == 2 && p[0].distance < 0.75f * p[1].distance) {
            from.push_back(kb[static_cast<std::size_t>(p[0].queryIdx)].pt);
            to.push_back(kf[static_cast<std::size_t>(p[0].trainIdx)].pt);
        }
    bool const projective = std::string(argv[1]) == "sift-homography";
    cv::Mat inliers, m;
    if (projective && from.size() >= 4)
        m = cv::findHomography(from, to, cv::RANSAC, 3, inliers);
    else if (!projective && from.size() >= 3)
        m = cv::estimateAffinePartial2D(from, to, inliers);
    int const agree = m.empty() ? 0 : cv::countNonZero(inliers);
    if (agree < 12) {
        std::printf("refused %d\n", agree);
        return 1;
    }
    std::vector<cv::Point2d> points{a, b}, mapped;
    if (projective)
        cv::perspectiveTransform(points, mapped, m);
    else
        cv::transform(points, mapped, m);
    for (cv::Point2d p : mapped)
        std::printf("%.4f %.4f ", p.x, p.y);
    std::printf("%d\n", agree);
    return 0;
}
