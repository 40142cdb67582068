// The correlation that places each point to a fraction of a pixel, and the checks that
// refuse a place the photograph does not make unambiguous.
#include "tools/common/point_argument.h"
#include "tools/match/locate.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

// Half the side of the correlated neighbourhood, in pixels of the less detailed of
// the two photographs, and the least that is still worth correlating.
constexpr int kRadius = 24;
constexpr int kLeastRadius = 8;
constexpr double kLeastPeak = 0.5;
// The first search allows for the local model's error; the second only for what is left.
constexpr int kFirstSearch = 12;
constexpr int kSecondSearch = 3;
// Another peak of the correlation this close to the best makes the place ambiguous:
// within twice the first search, where the local model could have erred, kAmbiguity;
// up to the neighbourhood's width beyond, kRepeat, a repeat so exact that every
// feature match could have been fooled by it alike.
constexpr double kAmbiguity = 0.1;
constexpr double kRepeat = 0.04;
// Unless the matches pin the point: the other place lies kPinned times farther from
// where they put it than they may err, or than the best place lies.
constexpr double kPinned = 4;
// The most a place may be off: the shift over which the correlation falls by its own
// shortfall from 1, which noise of that size could move the peak by. Beyond it the
// photograph is too blurred or too plain there to be placed; a blurred photograph
// whose peak is still sharp against its noise is answered.
constexpr double kMostUncertainty = 3;
// The most a point may lie from where the matches around it put it, in reduced pixels:
// the local homography predicts it to a pixel or two, so farther off the correlation
// has locked onto something else (another depth, a repeat).
constexpr double kMostDisagreement = 4;
// Gaussians tried on the base's neighbourhood to match a blurred photograph.
constexpr double kBlurs[] = {0, 0.7, 1, 1.4, 2, 2.8, 4, 5.6};
// The neighbourhood is carried this much wider than it is correlated, so that blurring
// it sees the base's own pixels to its edge: OpenCV's Gaussian reaches four sigmas, and
// a border mirrored in their place pulls the peak toward what the mirror repeats.
constexpr int kBlurMargin = 23;
// A further photograph narrower than the least neighbourhood with the first search on
// both sides can never be refined (fitRadius finds no radius).
constexpr int kLeastFurtherSide = 2 * (kLeastRadius + kFirstSearch) + 1;
// Features are looked for on the reduced copy: SIFT, the more lenient detector, keeps
// none within 5 pixels of the edge of its first octave, which doubles the copy (ORB
// none within 31, and OpenCV's ORB fails on a side of 1 pixel). A copy narrower than
// this has no feature at all.
constexpr int kLeastWorkingSide = 6;

double scaleOf(cv::Matx23d const& m)
{
    return std::sqrt(std::fabs(m(0, 0) * m(1, 1) - m(0, 1) * m(1, 0)));
}

// The part of the search that both photographs hold: the largest neighbourhood radius,
// at most kRadius times the scale, whose search stays inside further and whose image
// in base stays inside base; 0 when none of kLeastRadius does.
int fitRadius(cv::Mat const& base, cv::Mat const& further, cv::Matx23d const& back, cv::Point c,
              int search, double scale)
{
    int radius = static_cast<int>(std::lround(kRadius * std::max(1.0, scale)));
    radius = std::min({radius, c.x - search, further.cols - 1 - search - c.x, c.y - search,
                       further.rows - 1 - search - c.y});
    for (; radius >= kLeastRadius; --radius) {
        bool inside = true;
        for (int corner = 0; corner < 4; ++corner) {
            cv::Point2d const p =
                apply(back, {static_cast<double>(c.x + (corner & 1 ? radius : -radius)),
                             static_cast<double>(c.y + (corner & 2 ? radius : -radius))});
            inside = inside && p.x >= 1 && p.y >= 1 && p.x <= base.cols - 2 && p.y <= base.rows - 2;
        }
        if (inside)
            return radius;
    }
    return 0;
}

// The base photograph around the point, softened first when the photograph shows the
// scene smaller, then carried by back's inverse onto the photograph's pixels c - radius
// to c + radius, and kBlurMargin beyond.
cv::Mat carryBase(cv::Mat const& base, cv::Matx23d const& back, cv::Point c, int radius,
                  double scale)
{
    radius += kBlurMargin;
    double const blur = scale < 1 ? 0.5 * (1 / scale - 1) : 0;
    int const margin = 2 + static_cast<int>(std::ceil(3 * blur));
    double const reach = (std::fabs(back(0, 0)) + std::fabs(back(0, 1)) + std::fabs(back(1, 0)) +
                          std::fabs(back(1, 1))) *
                         radius;
    cv::Point2d const centre = apply(back, {static_cast<double>(c.x), static_cast<double>(c.y)});
    int const half = static_cast<int>(std::ceil(reach)) + margin;
    cv::Rect const area =
        cv::Rect(static_cast<int>(std::floor(centre.x)) - half,
                 static_cast<int>(std::floor(centre.y)) - half, 2 * half + 2, 2 * half + 2) &
        cv::Rect(0, 0, base.cols, base.rows);
    cv::Mat around;
    base(area).convertTo(around, CV_32F);
    if (blur > 0.1)
        cv::GaussianBlur(around, around, cv::Size(), blur);
    cv::Matx23d toBase = back;
    cv::Point2d const corner = apply(back, {static_cast<double>(c.x - radius), 0.0 + c.y - radius});
    toBase(0, 2) = corner.x - area.x;
    toBase(1, 2) = corner.y - area.y;
    cv::Mat expected;
    cv::warpAffine(around, expected, toBase, cv::Size(2 * radius + 1, 2 * radius + 1),
                   cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
    return expected;
}

// The neighbourhood carried with its margin, blurred by sigma, without the margin. OpenCV's
// filters read a part's neighbours from the whole it is part of: only the part is computed.
cv::Mat blurredCentre(cv::Mat const& carried, double sigma)
{
    cv::Mat centre = carried(cv::Rect(kBlurMargin, kBlurMargin, carried.cols - 2 * kBlurMargin,
                                      carried.rows - 2 * kBlurMargin));
    if (sigma == 0)
        return centre;
    cv::Mat blurred;
    cv::GaussianBlur(centre, blurred, cv::Size(), sigma);
    return blurred;
}

// The Gaussian that, applied to the neighbourhood carried, makes it correlate best with
// the window at place: a blurred photograph is then compared with the base as blurred.
double matchBlur(cv::Mat const& window, cv::Mat const& carried, cv::Point place)
{
    cv::Mat const seen = window(cv::Rect(place, blurredCentre(carried, 0).size()));
    double best = -2, chosen = 0;
    for (double sigma : kBlurs) {
        cv::Mat score;
        cv::matchTemplate(seen, blurredCentre(carried, sigma), score, cv::TM_CCOEFF_NORMED);
        if (score.at<float>(0, 0) > best + 0.002)
            best = score.at<float>(0, 0), chosen = sigma;
    }
    return chosen;
}

// The highest local peak of score at least 4 pixels from best: a place that looks
// nearly the same.
double secondPeak(cv::Mat const& score, cv::Point best, cv::Point& at)
{
    cv::Mat top;
    cv::dilate(score, top, cv::Mat::ones(7, 7, CV_8U));
    double second = -1;
    for (int y = 0; y < score.rows; ++y)
        for (int x = 0; x < score.cols; ++x) {
            float const v = score.at<float>(y, x);
            if (v == top.at<float>(y, x) && v > second && std::hypot(x - best.x, y - best.y) > 4)
                second = v, at = {x, y};
        }
    return second;
}

// Offset of the top of a parabola through three samples, from the middle one.
double vertex(float left, float middle, float right)
{
    double const curvature = static_cast<double>(left) - 2.0 * middle + right;
    return curvature < 0 ? 0.5 * (static_cast<double>(left) - right) / curvature : 0;
}

// The peak to a fraction of a pixel, and how far off it may be: the shift, along the
// direction where the peak is flattest, over which a parabola through it falls by the
// correlation's shortfall from 1.
cv::Point2d subpixel(cv::Mat const& score, cv::Point best, double& uncertainty)
{
    auto const at = [&](int dx, int dy) { return score.at<float>(best.y + dy, best.x + dx); };
    double const curvature =
        std::min(2.0 * at(0, 0) - at(-1, 0) - at(1, 0), 2.0 * at(0, 0) - at(0, -1) - at(0, 1));
    uncertainty = curvature > 0 ? std::sqrt(2 * (1 - at(0, 0)) / curvature) : 1e9;
    return {vertex(at(-1, 0), at(0, 0), at(1, 0)), vertex(at(0, -1), at(0, 0), at(0, 1))};
}

// How far noise alone could move the peak at best, in pixels: the shift along the
// flattest direction over which the correlation falls by its shortfall from 1, over the
// square root of the pixels correlated, whose noise averages out.
double noiseSpread(cv::Mat const& score, cv::Point best, double peak, int radius)
{
    auto const at = [&](int dx, int dy) {
        return static_cast<double>(score.at<float>(best.y + dy, best.x + dx));
    };
    double const xx = 2 * at(0, 0) - at(-1, 0) - at(1, 0), yy = 2 * at(0, 0) - at(0, -1) - at(0, 1);
    double const xy = (at(1, -1) + at(-1, 1) - at(1, 1) - at(-1, -1)) / 4;
    double const least = (xx + yy) / 2 - std::sqrt((xx - yy) * (xx - yy) / 4 + xy * xy);
    double const shortfall = std::max(1 - peak, 1e-6);
    return least > 0 ? std::sqrt(2 * shortfall / least) / (2 * radius + 1) : 1;
}

// The correlation of expected over the window, and its best place within the search,
// the search's own square starting at origin.
cv::Mat correlate(cv::Mat const& window, cv::Mat const& expected, cv::Rect search, cv::Point& best,
                  double& peak)
{
    cv::Mat score;
    cv::matchTemplate(window, expected, score, cv::TM_CCOEFF_NORMED);
    cv::minMaxLoc(score(search), nullptr, &peak, nullptr, &best);
    best += search.tl();
    return score;
}

// The photograph around c as floats, reaching the neighbourhood's width beyond the
// search, where a repeat of the pattern would show as a second peak: reach, in the
// photograph; searched, the template's places that the search allows, in the window.
cv::Mat searchWindow(cv::Mat const& further, cv::Point c, int radius, int search, cv::Rect& reach,
                     cv::Rect& searched)
{
    int const wide = search + 2 * radius;
    reach = cv::Rect(c.x - radius - wide, c.y - radius - wide, 2 * (radius + wide) + 1,
                     2 * (radius + wide) + 1) &
            cv::Rect(0, 0, further.cols, further.rows);
    searched = cv::Rect(c.x - radius - search - reach.x, c.y - radius - search - reach.y,
                        2 * search + 1, 2 * search + 1);
    cv::Mat window;
    further(reach).convertTo(window, CV_32F);
    return window;
}

// The correlation over the window of the neighbourhood carried, first blurred as the
// photograph is at the place it matches best; peak takes its best.
cv::Mat correlateMatchingBlur(cv::Mat const& window, cv::Mat const& carried, cv::Rect searched,
                              cv::Point& best, double& peak, double& blur)
{
    cv::Mat score = correlate(window, blurredCentre(carried, 0), searched, best, peak);
    blur = matchBlur(window, carried, best);
    if (blur > 0)
        score = correlate(window, blurredCentre(carried, blur), searched, best, peak);
    return score;
}

// The checks on a correlation peak found at best: inside the search, high enough,
// alone, and sharp enough to place the point. Empty when they pass, the peak's offset
// from best to a fraction of a pixel in fraction.
// True when best lies on the edge of the search: the place sought may lie beyond it.
bool atEdge(cv::Rect search, cv::Point best)
{
    return best.x == search.x || best.y == search.y || best.x == search.br().x - 1 ||
           best.y == search.br().y - 1;
}

std::string checkPeak(cv::Mat const& score, cv::Rect search, cv::Point best, double peak,
                      char const* name, double within, cv::Point2d& fraction)
{
    if (atEdge(search, best))
        return format("%s correspond le mieux au bord de la recherche (corr\xE9lation %s) : une "
                      "autre sc\xE8ne, ou les correspondances ont tromp\xE9",
                      name, french(peak, 2).c_str());
    if (peak < kLeastPeak)
        return format("%s ne ressemble pas au point de la photographie de base (corr\xE9lation "
                      "%s) : une autre sc\xE8ne, ou l'endroit a chang\xE9",
                      name, french(peak, 2).c_str());
    cv::Point other;
    double const second = secondPeak(score, best, other);
    double const apart = std::hypot(other.x - best.x, other.y - best.y);
    // The place sought around is the middle of the search: where the matches say the
    // point lies, within what they allow. A look-alike that far from it is not the point.
    cv::Point const sought = search.tl() + cv::Point(search.width / 2, search.height / 2);
    double const off = std::hypot(best.x - sought.x, best.y - sought.y);
    bool const pinned =
        std::hypot(other.x - sought.x, other.y - sought.y) >= kPinned * std::max(off, within);
    if (!pinned && second >= peak - (apart <= 2 * kFirstSearch + 1 ? kAmbiguity : kRepeat))
        return format("motif r\xE9p\xE9t\xE9 autour de %s : un endroit \xE0 %.0f pixels "
                      "corr\xE8le \xE0 %s, contre %s",
                      name, apart, french(second, 2).c_str(), french(peak, 2).c_str());
    double uncertainty = 0;
    fraction = subpixel(score, best, uncertainty);
    if (uncertainty > kMostUncertainty)
        return format("%s est trop flou ou trop uni pour \xEAtre plac\xE9 : il pourrait se "
                      "trouver \xE0 %s pixels de l\xE0 (corr\xE9lation %s, %.0f pixels au plus)",
                      name, french(uncertainty, 1).c_str(), french(peak, 2).c_str(),
                      kMostUncertainty);
    return {};
}

// Why a point is refused that would lie at place, outside the photograph.
std::string outside(char const* name, cv::Point2d place)
{
    return format("%s tombe hors de la photographie, en %.1f,%.1f : trop peu de recouvrement", name,
                  place.x, place.y);
}

// Where base point a lies in further, within search pixels of where the affine map m
// puts it, with the base's neighbourhood carried by m. Refused, with a reason that
// names the point by name, when the neighbourhood leaves either photograph, does not
// correlate, correlates nearly as well elsewhere, or is too blurred to be placed.
Located refinePoint(cv::Mat const& base, cv::Mat const& further, cv::Matx23d const& m,
                    cv::Point2d a, int search, double within, char const* name)
{
    Located l;
    l.within = within;
    cv::Point2d const predicted = apply(m, a);
    if (!(predicted.x >= 0 && predicted.y >= 0 && predicted.x <= further.cols - 1 &&
          predicted.y <= further.rows - 1)) {
        l.reason = outside(name, predicted);
        return l;
    }
    cv::Matx23d back;
    cv::invertAffineTransform(m, back);
    cv::Point const c(static_cast<int>(std::lround(predicted.x)),
                      static_cast<int>(std::lround(predicted.y)));
    double const scale = scaleOf(m);
    int const radius = fitRadius(base, further, back, c, search, scale);
    if (radius == 0) {
        l.reason = format("%s est trop pr\xE8s du bord de l'une des photographies pour \xEAtre "
                          "pr\xE9"
                          "cis\xE9",
                          name);
        return l;
    }
    cv::Mat const carried = carryBase(base, back, c, radius, scale);
    cv::Scalar mean, deviation;
    cv::meanStdDev(blurredCentre(carried, 0), mean, deviation);
    if (deviation[0] < 1) {
        l.reason = format("%s n'a autour de lui, dans la photographie de base, aucun d\xE9tail "
                          "par lequel le retrouver",
                          name);
        return l;
    }
    cv::Rect reach, searched;
    cv::Mat const window = searchWindow(further, c, radius, search, reach, searched);
    cv::Point best;
    cv::Mat const score = correlateMatchingBlur(window, carried, searched, best, l.peak, l.blur);
    cv::Point2d fraction;
    l.reason = checkPeak(score, searched, best, l.peak, name, within, fraction);
    l.radius = radius;
    if (l.reason.empty())
        l.spread = noiseSpread(score, best, l.peak, radius);
    l.misled = atEdge(searched, best);
    l.at = predicted + fraction +
           cv::Point2d(best.x + reach.x + radius - c.x, best.y + reach.y + radius - c.y);
    l.found = l.reason.empty();
    return l;
}

// The affine map m with its translation moved so that it carries a onto at.
cv::Matx23d movedOnto(cv::Matx23d m, cv::Point2d a, cv::Point2d at)
{
    cv::Point2d const shift = at - apply(m, a);
    m(0, 2) += shift.x;
    m(1, 2) += shift.y;
    return m;
}

// Of the ways to carry the base's neighbourhood onto the photograph, the one whose
// correlation peaks highest: the photograph's evidence decides between a local model
// and a similarity, each of which may be the one that departs from the scene.
Located refineBest(cv::Mat const& base, cv::Mat const& further, cv::Matx23d const (&carry)[2],
                   cv::Point2d a, int search, double within, char const* name)
{
    Located best = refinePoint(base, further, carry[0], a, search, within, name);
    Located other = refinePoint(base, further, carry[1], a, search, within, name);
    best.carried = carry[0];
    other.carried = carry[1];
    return other.peak > best.peak ? other : best;
}

}  // namespace

std::string tooSmallToSearch(cv::Size size, bool further)
{
    int const least = further ? kLeastFurtherSide : kLeastWorkingSide;
    if (std::min(size.width, size.height) < least)
        return format("trop petite pour y chercher les points (%d pixels au moins de chaque "
                      "c\xF4t\xE9)",
                      least);
    cv::Size const reduced = workingSize(size);
    int const narrowest = std::min(reduced.width, reduced.height);
    if (narrowest < kLeastWorkingSide)
        return format("trop mince pour y chercher les points (r\xE9"
                      "duite \xE0 %d pixels de long, elle en aurait %d de large, %d au moins)",
                      std::max(reduced.width, reduced.height), narrowest, kLeastWorkingSide);
    return {};
}

Located locatePoint(cv::Mat const& base, cv::Mat const& further, Estimate const& e, cv::Point2d a,
                    char const* name)
{
    // Where the similarity puts the point comes first: outside, nothing near it matches.
    cv::Point2d const roughly = apply(e.t, a);
    Located refused;
    if (!(roughly.x >= 0 && roughly.y >= 0 && roughly.x <= further.cols - 1 &&
          roughly.y <= further.rows - 1)) {
        refused.reason = outside(name, roughly);
        return refused;
    }
    LocalModel const model = fitLocalModel(e, a, base.size(), name);
    if (!model.found) {
        refused.reason = model.reason;
        refused.misled = true;
        return refused;
    }
    int const search = std::max(kFirstSearch, static_cast<int>(std::ceil(3 * e.pixel)));
    cv::Matx23d const carry[2] = {model.m, movedOnto(affine(e.t), a, apply(model.m, a))};
    Located l = refineBest(base, further, carry, a, search, model.within, name);
    l.local = model.m;
    double const off = cv::norm(l.at - apply(model.m, a));
    if (l.found && off > kMostDisagreement * e.pixel) {
        l.reason = format("la sc\xE8ne est en relief : %s se trouve \xE0 %s pixels de "
                          "l'endroit o\xF9 le placent les correspondances autour de lui",
                          name, french(off, 1).c_str());
        l.found = false;
        l.misled = true;
    }
    return l;
}

namespace {

// How far local departs from s around the point: the largest singular value of the
// difference of their linear parts, in pixels per 100 pixels.
double misfit(cv::Matx23d const& local, Similarity const& s)
{
    double const p = local(0, 0) - s.re, q = local(0, 1) + s.im, r = local(1, 0) - s.im,
                 t = local(1, 1) - s.re;
    double const sum = p * p + q * q + r * r + t * t, det = p * t - q * r;
    return 100 * std::sqrt(0.5 * (sum + std::sqrt(std::max(0.0, sum * sum - 4 * det * det))));
}

// The expected error's terms, in pixels, fitted by quantile regression (97 %) to the
// benchmarks' true errors, then rounded up. Noise alone (spread) accounts for a twenty-fifth of
// the error seen: the rest is what the correlation cannot model, and grows as the peak flattens.
constexpr double kPerSpread = 25;
// Where the scene departs from the turn and scale, the neighbourhood's edge moves by
// misfit / 100 x radius pixels; the peak moves by a share of that.
constexpr double kPerDeparture = 0.04;
// A blurred photograph is matched by one of kBlurs, a step of 1.4 times apart: the
// step left over moves the peak in proportion to the blur.
constexpr double kPerBlur = 0.075;
// A photograph that shows the scene smaller is matched by the base softened as a lens
// would, which no photograph's lens does exactly; per unit of 1 / scale - 1.
constexpr double kPerReduction = 0.065;
// Below the printed hundredths of a pixel nothing is known.
constexpr double kLeastError = 0.03;

// The error to expect at a point found as l, where the scene departs by misfit pixels
// per 100 from the similarity through both points.
double expectedError(Located const& l, double misfit)
{
    double const reduction = std::max(0.0, 1 / scaleOf(l.carried) - 1);
    return std::max(kLeastError, kPerSpread * l.spread + kPerDeparture * misfit / 100 * l.radius +
                                     kPerBlur * l.blur + kPerReduction * reduction);
}

// How far the segment A'B' may depart from the range its ends' local models and the
// features' similarity give, in length (a share) and in turn (degrees): depth moves the
// ends apart or together, by up to 11 % in the benchmarks' stereo pairs; two copies of
// one scene or two look-alikes move them by far more.
constexpr double kMostChordScale = 0.25;
constexpr double kMostChordDegrees = 6;

// How far the segment A'B' departs from what the local models at both ends and the
// features' similarity say of the segment AB: its length, as a share, and its turn, in
// degrees, beyond the range those give. A plane carries a segment between its ends'
// local maps; a segment whose ends were found on two copies of one scene, or at two
// places that look alike, departs from all of them.
struct ChordExcess {
    double scale = 0;
    double degrees = 0;
    double ratio = 1;  // A'B''s length over the nearest that the range gives
};
ChordExcess chordExcess(cv::Point2d a, cv::Point2d b, cv::Point2d a2, cv::Point2d b2,
                        cv::Matx23d const (&locals)[2], Similarity const& global)
{
    cv::Point2d const d = b - a, c = b2 - a2;
    double const chordScale = std::hypot(c.x, c.y) / std::hypot(d.x, d.y);
    double const chordTurn = std::atan2(c.y, c.x) - std::atan2(d.y, d.x);
    double least = global.scale(), most = least;
    double const globalTurn = std::atan2(global.im, global.re);
    double fewest = 0, furthest = 0;  // turns relative to the global one
    for (cv::Matx23d const& m : locals) {
        cv::Point2d const v(m(0, 0) * d.x + m(0, 1) * d.y, m(1, 0) * d.x + m(1, 1) * d.y);
        double const scale = std::hypot(v.x, v.y) / std::hypot(d.x, d.y);
        least = std::min(least, scale);
        most = std::max(most, scale);
        double const turn =
            std::remainder(std::atan2(v.y, v.x) - std::atan2(d.y, d.x) - globalTurn, 2 * CV_PI);
        fewest = std::min(fewest, turn);
        furthest = std::max(furthest, turn);
    }
    double const turn = std::remainder(chordTurn - globalTurn, 2 * CV_PI);
    ChordExcess x;
    x.ratio = chordScale > most ? chordScale / most : chordScale < least ? chordScale / least : 1;
    x.scale = std::max({0.0, chordScale / most - 1, least / chordScale - 1});
    x.degrees = std::max({0.0, turn - furthest, fewest - turn}) * 180 / CV_PI;
    return x;
}

// The point found again, its neighbourhood carried by the similarity s or by the local
// model moved onto the place first found, whichever the photograph bears out best.
Located refineAgain(cv::Mat const& base, cv::Mat const& further, Located const& first,
                    Similarity const& s, cv::Point2d a, char const* name)
{
    cv::Matx23d const carry[2] = {affine(s), movedOnto(first.local, a, first.at)};
    return refineBest(base, further, carry, a, kSecondSearch, first.within, name);
}

}  // namespace

Pair refinePair(cv::Mat const& base, cv::Mat const& further, Estimate const& e, cv::Point2d a,
                cv::Point2d b)
{
    Pair p;
    // True, with the refused point's reason in p, when either point is refused.
    auto const refused = [&p] {
        if (p.atA.found && p.atB.found)
            return false;
        p.reason = p.atA.found ? p.atB.reason : p.atA.reason;
        p.misled = p.atA.found ? p.atB.misled : p.atA.misled;
        return true;
    };
    p.atA = locatePoint(base, further, e, a, "A'");
    p.atB = p.atA.found ? locatePoint(base, further, e, b, "B'") : Located();
    if (refused())
        return p;
    cv::Matx23d const locals[2] = {p.atA.local, p.atB.local};
    Similarity s = through(a, b, p.atA.at, p.atB.at);
    p.atA = refineAgain(base, further, p.atA, s, a, "A'");
    p.atB = p.atA.found ? refineAgain(base, further, p.atB, s, b, "B'") : p.atB;
    if (refused())
        return p;
    // The departure the photograph bears out: none where the similarity carried the
    // neighbourhood best, the local model's where it did.
    s = through(a, b, p.atA.at, p.atB.at);
    p.misfitA = misfit(p.atA.carried, s);
    p.misfitB = misfit(p.atB.carried, s);
    p.errorA = expectedError(p.atA, p.misfitA);
    p.errorB = expectedError(p.atB, p.misfitB);
    // Found each where it looks like itself, the two points may still not be one scene's
    // segment: refused rather than answered wrong.
    ChordExcess const x = chordExcess(a, b, p.atA.at, p.atB.at, locals, e.t);
    if (x.scale > kMostChordScale || x.degrees > kMostChordDegrees) {
        p.reason = format(
            "A'B' ne s'accorde pas avec les correspondances autour des deux points "
            "(longueur %s fois, orientation %s\xB0 au-del\xE0 de ce qu'elles donnent) : les "
            "deux points sont peut-\xEAtre sur deux copies de la sc\xE8ne, ou l'un sur un motif "
            "qui se r\xE9p\xE8te",
            french(x.ratio, 2).c_str(), french(x.degrees, 1).c_str());
        p.misled = true;
        return p;
    }
    p.a = p.atA.at;
    p.b = p.atB.at;
    p.found = true;
    return p;
}
