// tavrin-match: finds the base photograph's points A and B in each further photograph
// and writes, on standard output, the whole dialogue's answers for tavrin: the base
// name, A, B, then each found photograph's name, A' and B', then a name that cannot be
// opened, which ends the series. One line per photograph on standard error: what was
// found, or why the photograph was refused and left out.
//
// Usage: tavrin-match [--machine] BASE AX,AY BX,BY FURTHER...
//        tavrin-match [--machine] --pick BASE FURTHER...
// With --machine, each photograph's line on standard error is its machine line
// (tools/common/machine_line.h) in place of the French.
// Exit status: 0 every photograph found, 1 some refused (or the base unreadable),
// 2 bad usage.
#include "image/answers.h"
#include "image/file_system.h"
#include "image/image.h"
#include "tools/common/arguments.h"
#include "tools/common/machine_line.h"
#include "tools/common/point_argument.h"
#include "tools/common/tool.h"
#include "tools/match/locate.h"

#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

char const kUsage[] =
    "Usage : tavrin-match [--machine] BASE AX,AY BX,BY PHOTO...\n"
    "        tavrin-match [--machine] --pick BASE PHOTO...\n"
    "Retrouve les points A et B de la photographie de base BASE dans chaque PHOTO suivante\n"
    "(des PGM binaires de la m\xEAme sc\xE8ne, tourn\xE9"
    "e, \xE0 l'\xE9"
    "chelle de 0,5 \xE0 2, "
    "d\xE9"
    "cal\xE9"
    "e,\n"
    "m\xEAme floue ou vue sous un autre angle) et \xE9"
    "crit sur la sortie standard ce que\n"
    "tavrin lit : BASE, A, B, puis le nom, A' et B' de chaque photographie trouv\xE9"
    "e, puis\n"
    "un nom qui ne s'ouvre pas, si bien que\n"
    "  tavrin-match base.pgm 412,357 1236,842 p1.pgm p2.pgm | tavrin\n"
    "redresse toute la s\xE9rie. Avec --pick, il choisit lui-m\xEAme A et B : deux points\n"
    "nets, \xE9loign\xE9s, qu'il retrouve dans chaque photographie. La sortie d'erreur dit,\n"
    "pour chaque photographie, les points trouv\xE9s, sa rotation, son \xE9"
    "chelle, la\n"
    "s\xFBret\xE9 de l'appariement et l'erreur probable, ou pourquoi elle est refus\xE9"
    "e\n"
    "(une autre sc\xE8ne, trop floue, trop peu de recouvrement, un motif r\xE9p\xE9t\xE9 ou un\n"
    "relief qui laisse un point dans le doute). Code de sortie : 0 toutes trouv\xE9"
    "es,\n"
    "1 certaines refus\xE9"
    "es, 2 mauvais usage. Avec --machine, la ligne de chaque photographie est celle,\n"
    "fixe, que lisent les programmes (man tavrin-match).\n"
    "Pour toute une s\xE9rie de JPEG, PNG ou TIFF, d\xE9posez plut\xF4t son dossier sur\n"
    "tavrin-series.\n";

using tool::UsageError;

std::optional<cv::Point2d> parsePoint(char const* text)
{
    cv::Point2d p;
    if (parsePointArgument(text, p.x, p.y))
        return p;
    return std::nullopt;
}

// Why tavrin would read the name back as another, in French: a name in double quotes
// ends at its line's end, a CR before it dropped. Empty when it would not.
std::string lineBreakRefusal(std::string const& name)
{
    if (name.find('\n') == std::string::npos && (name.empty() || name.back() != '\r'))
        return {};
    return "son nom contient un saut de ligne, o\xF9 tavrin arr\xEAte un nom";
}

// Larger photographs are refused: OpenCV reads at most 2^30 pixels.
constexpr long long kMostPixels = 1LL << 30;

// The named photograph as tavrin would take it, or the reason it cannot: its header
// read by the image library's rule, its pixel bytes as they stand, one a pixel whatever
// the maximum says, read straight into the matrix.
cv::Mat load(std::string const& name, std::string& reason)
{
    if (answers::written(name).empty()) {
        reason = "tavrin lit un nom de 1 \xE0 " + std::to_string(answers::kLongestName) +
                 " octets sans guillemet, et celui-ci ne l'est pas";
        return {};
    }
    bool regular = true;
    std::unique_ptr<FILE, int (*)(FILE*)> f(openRegularFile(name.c_str(), regular), std::fclose);
    if (f == nullptr) {
        reason = regular ? "elle ne peut \xEAtre ouverte : " + systemError(errno)
                         : "ce n'est pas un fichier ordinaire";
        return {};
    }
    P5Header const header = readP5Header(f.get());
    if (!header.sized) {
        reason = std::ferror(f.get()) ? "elle ne peut \xEAtre lue"
                                      : "ce n'est pas une image PGM binaire (P5)";
        return {};
    }
    long long const width = header.width, height = header.height;
    if (width > kMostPixels / height) {
        reason = "elle est trop grande pour \xEAtre lue : " + std::to_string(width) + " x " +
                 std::to_string(height) + " pixels";
        return {};
    }
    cv::Mat image;
    try {
        image.create(header.height, header.width, CV_8UC1);
    } catch (std::exception const&) {  // std::bad_alloc, or OpenCV's own
        reason = "elle est trop grande pour \xEAtre lue dans cette m\xE9moire";
        return {};
    }
    std::size_t const pixels = image.total();
    std::size_t const got = pixels - readPixels(f.get(), image.data, pixels);
    if (got < pixels) {
        reason = std::ferror(f.get())
                     ? "elle ne peut \xEAtre lue"
                     : "elle est incompl\xE8te : " + std::to_string(width) + " x " +
                           std::to_string(height) + " pixels annonc\xE9s, " + std::to_string(got) +
                           " octets de pixels";
        return {};
    }
    return image;
}

struct Photograph {
    std::string name;
    cv::Mat image;
    Estimate estimate;
    Pair pair;
    bool sifted = false;  // SIFT's features were tried
    std::string reason;   // empty when found
    std::string leftOut;  // why --pick chose A and B without it; empty when with it
};

// Why OpenCV failed on a photograph, in French: the check that failed, and where.
std::string openCvFailure(cv::Exception const& e)
{
    return "erreur interne d'OpenCV : " + e.err + " (" + e.func + ")";
}

// Why a photograph of this size cannot be searched, in French, its size first; empty
// when it can.
std::string sizeRefusal(cv::Mat const& image, bool further)
{
    std::string const reason = tooSmallToSearch(image.size(), further);
    return reason.empty() ? reason
                          : format("%d x %d pixels : %s", image.cols, image.rows, reason.c_str());
}

class Matcher {
public:
    explicit Matcher(cv::Mat image) : base(std::move(image)), baseOrb(describe(base, kOrb)) {}

    // The similarity from base to photo: ORB features first, being fast; SIFT's, slower
    // but surer, when ORB's do not agree.
    void estimate(Photograph& photo)
    {
        photo.estimate = estimateSimilarity(baseOrb, describe(photo.image, kOrb));
        if (!photo.estimate.found)
            estimateWithSift(photo);
        if (!photo.estimate.found)
            photo.reason = photo.estimate.reason;
    }

    // A' and B'; when the ORB matches misled the search, SIFT's get their chance. A
    // refusal that the correlation itself makes (a repeat, a blur) they cannot mend.
    void locate(Photograph& photo, cv::Point2d a, cv::Point2d b)
    {
        photo.pair = refinePair(base, photo.image, photo.estimate, a, b);
        if (!photo.pair.found && photo.pair.misled && !photo.sifted) {
            estimateWithSift(photo);
            if (photo.estimate.found)
                photo.pair = refinePair(base, photo.image, photo.estimate, a, b);
        }
        photo.reason = photo.pair.found ? "" : photo.pair.reason;
    }

    cv::Mat const base;

private:
    // The base's SIFT features, made once whichever worker needs them first.
    void estimateWithSift(Photograph& photo)
    {
        std::call_once(siftMade, [this] { baseSift = describe(base, kSift); });
        Estimate e = estimateSimilarity(baseSift, describe(photo.image, kSift));
        if (e.found || !photo.estimate.found)
            photo.estimate = e;
        photo.sifted = true;
    }

    Features baseOrb;
    Features baseSift;
    std::once_flag siftMade;
};

std::string decimal(cv::Point2d p)
{
    char text[80];
    std::snprintf(text, sizeof text, "%.2f,%.2f", p.x, p.y);
    return text;
}

std::string whole(cv::Point2d p)
{
    char text[80];
    std::snprintf(text, sizeof text, "%.0f,%.0f", p.x, p.y);
    return text;
}

// tavrin places the photograph by A' truncated to whole pixels and turns and scales it
// by the segment A'B'. So A' is written rounded, and B' moved so that what rounding
// shifts is least over the base frame: the error is then the similarity that is
// round(A') - A' at A, with its turn and scale chosen by least squares over the frame's
// pixels. Measured on tavrin's rectified images, this beats plain decimals, whole
// pixels, and B' moved as much as A'.
void writeAnswers(Photograph const& photo, cv::Point2d a, cv::Point2d b, cv::Size frame)
{
    cv::Point2d const rounded(std::round(photo.pair.a.x), std::round(photo.pair.a.y));
    std::complex<double> const e(rounded.x - photo.pair.a.x, rounded.y - photo.pair.a.y);
    double const w = frame.width, h = frame.height;
    std::complex<double> const centre((w - 1) / 2 - a.x, (h - 1) / 2 - a.y);
    // The mean of |e + d z|^2 over the frame's offsets z from A is least for this d.
    std::complex<double> const d =
        -e * std::conj(centre) / (std::norm(centre) + (w * w + h * h - 2) / 12);
    std::complex<double> const bPrime = std::complex<double>(photo.pair.b.x, photo.pair.b.y) + e +
                                        d * std::complex<double>(b.x - a.x, b.y - a.y);
    std::printf("%s\n%s\n%s\n", answers::written(photo.name).c_str(), whole(rounded).c_str(),
                decimal({bPrime.real(), bPrime.imag()}).c_str());
}

// The most that errors eA at A' and eB at B' can move the rectified photograph at a
// corner of the frame, in base pixels: base point p lands at A' + u (B' - A'), with
// u = (p - A) / (B - A) complex, so it moves by eA |1 - u| + eB |u| there, over the scale.
double cornerError(cv::Point2d a, cv::Point2d b, cv::Size frame, double eA, double eB, double scale)
{
    cv::Point2d const along = b - a;
    double most = 0;
    for (int corner = 0; corner < 4; ++corner) {
        cv::Point2d const p(corner & 1 ? frame.width - 1 : 0, corner & 2 ? frame.height - 1 : 0);
        double const u = std::hypot(p.x - a.x, p.y - a.y) / std::hypot(along.x, along.y);
        double const v = std::hypot(p.x - b.x, p.y - b.y) / std::hypot(along.x, along.y);
        most = std::max(most, eA * v + eB * u);  // |1 - u| is |p - B| / |B - A|
    }
    return most / scale;
}

// A' and B' as tavrin reads points, decimal points; the figures as French prose, or
// with machine as the machine line: "found", A', B', the three expected errors (px),
// the name; or "refused", the reason, the name.
void report(Photograph const& photo, cv::Point2d a, cv::Point2d b, cv::Size frame, bool machine)
{
    if (!photo.reason.empty() && machine) {
        tell(stderr, machine::line("tavrin-match", {"refused", photo.reason, photo.name}));
        return;
    }
    if (!photo.reason.empty()) {
        tell(stderr, photo.name +
                         " : refus\xE9"
                         "e, " +
                         photo.reason + "\n");
        return;
    }
    Similarity const t = through(a, b, photo.pair.a, photo.pair.b);
    Pair const& p = photo.pair;
    double const corners = cornerError(a, b, frame, p.errorA, p.errorB, t.scale());
    if (machine) {
        tell(stderr, machine::line("tavrin-match",
                                   {"found", decimal(p.a), decimal(p.b),
                                    machine::number(p.errorA, 2), machine::number(p.errorB, 2),
                                    machine::number(corners, 1), photo.name}));
        return;
    }
    // The figures in French: their decimals after a comma, the only dots of this text.
    char figures[400];
    std::snprintf(figures, sizeof figures,
                  ", tourn\xE9"
                  "e de %.2f\xB0 dans le sens %s, \xE9"
                  "chelle %.3f, %d "
                  "correspondances sur %d concordent, corr\xE9lation %.2f en A' et %.2f en B', la "
                  "sc\xE8ne s'\xE9"
                  "carte de cette rotation et de cette \xE9"
                  "chelle de %.1f et "
                  "%.1f pixels pour 100 autour de A' et B', erreur probable : A' %.2f px, B' %.2f "
                  "px, aux coins %.1f px\n",
                  std::fabs(t.degrees()), t.degrees() >= 0 ? "horaire" : "antihoraire", t.scale(),
                  photo.estimate.inliers, photo.estimate.matches, p.atA.peak, p.atB.peak, p.misfitA,
                  p.misfitB, p.errorA, p.errorB, corners);
    tell(stderr,
         photo.name + " : A' " + decimal(p.a) + " B' " + decimal(p.b) + withDecimalCommas(figures));
}

// A name that nothing here answers to, so that tavrin's next open fails and the series
// ends. The page closes its answers by the same rule (view/answers.js, TV.closingName);
// man/tavrin-match.1 describes the answers.
std::string endOfSeries()
{
    return answers::closingName(
        [](std::string const& name) { return fs::exists(fs::symlink_status(name)); });
}

// The part of the base that every photograph found shows, as far as the similarity of
// its features tells (the box around its frame carried back); the whole base when they
// share less than a pixel.
cv::Rect sharedPart(cv::Mat const& base, std::vector<Photograph*> const& found)
{
    cv::Rect const whole(0, 0, base.cols, base.rows);
    cv::Rect shared = whole;
    for (Photograph const* p : found) {
        cv::Matx23d back;
        cv::invertAffineTransform(affine(p->estimate.t), back);
        double const w = p->image.cols - 1, h = p->image.rows - 1;
        double left = HUGE_VAL, top = HUGE_VAL, right = -HUGE_VAL, bottom = -HUGE_VAL;
        for (cv::Point2d const corner : {cv::Point2d(0, 0), {w, 0}, {0, h}, {w, h}}) {
            cv::Point2d const q = apply(back, corner);
            left = std::min(left, q.x), right = std::max(right, q.x);
            top = std::min(top, q.y), bottom = std::max(bottom, q.y);
        }
        left = std::max(left, 0.0), top = std::max(top, 0.0);
        right = std::min(right, base.cols - 1.0), bottom = std::min(bottom, base.rows - 1.0);
        if (!(left < right && top < bottom))
            return whole;
        shared &=
            cv::Rect(cv::Point(static_cast<int>(std::ceil(left)), static_cast<int>(std::ceil(top))),
                     cv::Point(static_cast<int>(std::floor(right)) + 1,
                               static_cast<int>(std::floor(bottom)) + 1));
    }
    return shared.width > 1 && shared.height > 1 ? shared : whole;
}

// True when p lies far enough inside a frame of that size for a picked point: a
// twentieth of its smaller side, and never less than the widest neighbourhood that is
// correlated around a point with its search, so that no answer is cut by the edge.
bool farFromEdges(cv::Point2d p, cv::Size size)
{
    double const margin = std::max(std::min(size.width, size.height) / 20.0, 64.0);
    return p.x >= margin && p.y >= margin && p.x <= size.width - 1 - margin &&
           p.y <= size.height - 1 - margin;
}

// --pick's candidates: corners of the base photograph within part and far from the
// base's edges, found on a copy reduced to 1024 pixels at most, in full pixels.
std::vector<cv::Point2d> baseCorners(cv::Mat const& whole, cv::Rect part)
{
    cv::Mat small;
    cv::Mat const base = whole(part);
    double const reduction = std::min(1.0, 1024.0 / std::max(base.cols, base.rows));
    cv::resize(base, small, cv::Size(), reduction, reduction, cv::INTER_AREA);
    std::vector<cv::Point2f> corners;
    cv::goodFeaturesToTrack(small, corners, 60, 0.01, std::hypot(small.cols, small.rows) / 25,
                            cv::noArray(), 7);
    std::vector<cv::Point2d> at;
    at.reserve(corners.size());
    for (cv::Point2f const& c : corners) {
        cv::Point2d const p(part.x + std::round(c.x / reduction),
                            part.y + std::round(c.y / reduction));
        if (farFromEdges(p, whole.size()))
            at.push_back(p);
    }
    return at;
}

// peaks[c][p]: corner c's correlation in photograph p, 0 where it fails any check or
// lies, as the photograph's features place it, near its edge.
std::vector<std::vector<double>> cornerPeaks(Matcher const& m,
                                             std::vector<Photograph*> const& found,
                                             std::vector<cv::Point2d> const& corners)
{
    std::vector<std::vector<double>> peaks(corners.size(), std::vector<double>(found.size()));
    for (std::size_t c = 0; c < corners.size(); ++c)
        for (std::size_t p = 0; p < found.size(); ++p) {
            Photograph const& photo = *found[p];
            if (!farFromEdges(apply(photo.estimate.t, corners[c]), photo.image.size()))
                continue;
            Located const l =
                locatePoint(m.base, photo.image, photo.estimate, corners[c], "le point");
            peaks[c][p] = l.found ? l.peak / (1 + l.spread) : 0;
        }
    return peaks;
}

// The pairs of corners at least a third of diagonal apart that every photograph holds,
// best first: by the worse correlation over the photographs, a little favouring the
// farther apart.
std::vector<std::pair<cv::Point2d, cv::Point2d>>
rankedPairs(std::vector<cv::Point2d> const& corners, std::vector<std::vector<double>> const& peaks,
            double diagonal)
{
    std::vector<double> score(corners.size(), 1);
    for (std::size_t c = 0; c < corners.size(); ++c)
        for (double const peak : peaks[c])
            score[c] = std::min(score[c], peak);
    std::vector<std::pair<double, std::pair<cv::Point2d, cv::Point2d>>> valued;
    for (std::size_t i = 0; i < corners.size(); ++i)
        for (std::size_t j = i + 1; j < corners.size(); ++j) {
            double const apart = cv::norm(corners[i] - corners[j]);
            if (apart >= diagonal / 3 && std::min(score[i], score[j]) > 0)
                valued.push_back({std::min(score[i], score[j]) + 0.1 * apart / diagonal,
                                  {corners[i], corners[j]}});
        }
    std::stable_sort(valued.begin(), valued.end(),
                     [](auto const& x, auto const& y) { return x.first > y.first; });
    std::vector<std::pair<cv::Point2d, cv::Point2d>> pairs;
    pairs.reserve(valued.size());
    for (auto const& v : valued)
        pairs.push_back(v.second);
    return pairs;
}

// True when A' and B' of the pair are found in every photograph as they will be
// answered: a neighbourhood that correlates for the first search may still be refused
// when refined (a repeat within the wider one, the edge).
bool answeredEverywhere(Matcher const& m, std::vector<Photograph*> const& kept, cv::Point2d a,
                        cv::Point2d b)
{
    for (Photograph const* photo : kept)
        if (!refinePair(m.base, photo->image, photo->estimate, a, b).found)
            return false;
    return true;
}

// The photograph in which fewest corners are found.
std::size_t poorestPhotograph(std::vector<std::vector<double>> const& peaks, std::size_t photos)
{
    std::size_t poorest = 0;
    std::size_t fewest = peaks.size() + 1;
    for (std::size_t p = 0; p < photos; ++p) {
        std::size_t held = 0;
        for (auto const& corner : peaks)
            held += corner[p] > 0 ? 1 : 0;
        if (held < fewest)
            fewest = held, poorest = p;
    }
    return poorest;
}

// --pick: of the base photograph's corners found in the photographs, with every check
// passed and far from every frame's edges, the two far enough apart (a third of the
// diagonal of the part that every photograph shows) that correlate best everywhere, of
// the best kPairsTried pairs the first whose answers every photograph gives. When none
// is, the photograph that holds fewest corners is left out of the choice, with its
// reason, and the choice made again among the others.
constexpr std::size_t kPairsTried = 8;

bool pick(Matcher const& m, std::vector<Photograph*> kept, cv::Point2d& a, cv::Point2d& b)
{
    while (!kept.empty()) {
        cv::Rect const shared = sharedPart(m.base, kept);
        std::vector<cv::Point2d> const corners = baseCorners(m.base, shared);
        std::vector<std::vector<double>> const peaks = cornerPeaks(m, kept, corners);
        auto const pairs = rankedPairs(corners, peaks, std::hypot(shared.width, shared.height));
        for (std::size_t k = 0; k < std::min<std::size_t>(pairs.size(), kPairsTried); ++k)
            if (answeredEverywhere(m, kept, pairs[k].first, pairs[k].second)) {
                a = pairs[k].first, b = pairs[k].second;
                return true;
            }
        std::size_t const poorest = poorestPhotograph(peaks, kept.size());
        kept[poorest]->leftOut = "les points nets et loin des bords qui s'y retrouvent ne "
                                 "se retrouvent pas dans les autres photographies";
        kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(poorest));
    }
    return false;
}

struct Request {
    bool machine = false;  // each photograph's line the machine line
    bool picking = false;
    std::string baseName;
    cv::Point2d a, b;
    std::string textA, textB;  // as typed, or as picked
    std::vector<std::string> further;
};

// The command line, or a UsageError that says what is wrong with it.
Request parseRequest(int argc, char** argv)
{
    Request r;
    r.picking = argc > 1 && std::strcmp(argv[1], "--pick") == 0;
    int const first = r.picking ? 3 : 4;
    if (argc < first + 1)
        throw UsageError{"il manque des arguments"};
    r.baseName = argv[r.picking ? 2 : 1];
    if (!r.picking) {
        std::optional<cv::Point2d> pa = parsePoint(argv[2]), pb = parsePoint(argv[3]);
        if (!pa || !pb)
            throw UsageError{std::string("le point ") + (pa ? "B" : "A") +
                             " s'\xE9"
                             "crit x,y (deux nombres et une virgule, sans espace), pas "
                             "\xAB " +
                             argv[pa ? 3 : 2] + " \xBB"};
        if (*pa == *pb)
            throw UsageError{"A et B doivent \xEAtre deux points diff\xE9rents"};
        r.a = *pa, r.b = *pb;
        r.textA = argv[2], r.textB = argv[3];
    }
    for (int k = r.picking ? 2 : 1; k < argc; ++k)
        if (argv[k][0] == '-' && !(k >= 2 && k < first && !r.picking))
            throw UsageError{std::string("option inconnue ") + argv[k]};
    r.further.assign(argv + first, argv + argc);
    return r;
}

// A and B, typed, must lie on the base photograph.
void checkPointsInside(Request const& r, cv::Mat const& base)
{
    for (int k = 0; k < 2 && !r.picking; ++k) {
        cv::Point2d const p = k == 0 ? r.a : r.b;
        if (!(p.x >= 0 && p.y >= 0 && p.x <= base.cols - 1 && p.y <= base.rows - 1))
            throw UsageError{std::string(k == 0 ? "A " : "B ") + (k == 0 ? r.textA : r.textB) +
                             " est hors de la photographie de base, de " +
                             std::to_string(base.cols) + " x " + std::to_string(base.rows) +
                             " pixels"};
    }
}

// Tasks 0 to count - 1, taken in turn by one worker per core (the calling thread
// among them); fewer when threads cannot be had.
template <class Task> void onEveryCore(std::size_t count, Task task)
{
    std::size_t const jobs = std::min<std::size_t>(count, std::thread::hardware_concurrency());
    std::atomic<std::size_t> next{0};
    auto const work = [&] {
        for (std::size_t k; (k = next++) < count;)
            task(k);
    };
    std::vector<std::thread> workers;
    try {
        for (std::size_t j = 1; j < jobs; ++j)
            workers.emplace_back(work);
    } catch (std::system_error const&) {  // the workers started do the rest
    }
    work();
    for (std::thread& w : workers)
        w.join();
}

// What a photograph gets done to it by a worker: OpenCV failing on it, or memory
// running short, refuses it alone.
template <class Step> void guarded(Photograph& photo, Step step)
{
    try {
        step();
    } catch (cv::Exception const& e) {
        photo.reason = openCvFailure(e);
    } catch (std::bad_alloc const&) {
        photo.reason = "elle est trop grande pour y chercher les points dans cette m\xE9moire";
    }
    if (!photo.reason.empty())
        photo.image.release();
}

// The photograph read and its similarity estimated, or its reason for refusal.
void estimate(Matcher& matcher, Photograph& photo)
{
    photo.reason = lineBreakRefusal(photo.name);
    if (photo.reason.empty())
        photo.image = load(photo.name, photo.reason);
    if (photo.image.empty())
        return;
    photo.reason = sizeRefusal(photo.image, true);
    if (photo.reason.empty())
        matcher.estimate(photo);
}

// --pick's choice of A and B, told on standard error; false, with the refusals and why
// nothing was picked, when no two points pass.
bool pickPoints(Matcher const& matcher, std::vector<Photograph>& photos, Request& r)
{
    std::vector<Photograph*> estimated;
    for (Photograph& photo : photos)
        if (photo.reason.empty())
            estimated.push_back(&photo);
    if (estimated.empty() || !pick(matcher, estimated, r.a, r.b)) {
        for (Photograph const& photo : photos)
            if (!photo.reason.empty())
                report(photo, r.a, r.b, matcher.base.size(), r.machine);
        tell(stderr, "tavrin-match : aucun couple de points assez \xE9loign\xE9s ne se retrouve "
                     "dans " +
                         r.baseName + " et dans chaque photographie\n");
        return false;
    }
    r.textA = whole(r.a), r.textB = whole(r.b);
    for (Photograph const* photo : estimated)
        if (!photo->leftOut.empty())
            tell(stderr, r.machine ? machine::line("tavrin-match",
                                                   {"left-out", photo->leftOut, photo->name})
                                   : photo->name +
                                         " : laiss\xE9"
                                         "e hors du choix de A et B, " +
                                         photo->leftOut + "\n");
    tell(stderr, "tavrin-match : points choisis A " + r.textA + " et B " + r.textB + "\n");
    return true;
}

// The whole dialogue's answers, each photograph's told as soon as those before it are,
// the photographs searched on every core; with estimated false, each is read and
// estimated first, and let go once answered, so that only one photograph per core is
// held at a time. 1 when some were refused or the answers could not be written.
int answerAll(Matcher& matcher, std::vector<Photograph>& photos, Request const& r, bool estimated)
{
    std::printf("%s\n%s\n%s\n", answers::written(r.baseName).c_str(), r.textA.c_str(),
                r.textB.c_str());
    std::fflush(stdout);
    int status = 0;
    std::mutex told;
    std::vector<bool> done(photos.size());
    std::size_t next = 0;
    onEveryCore(photos.size(), [&](std::size_t k) {
        Photograph& photo = photos[k];
        guarded(photo, [&] {
            if (!estimated)
                estimate(matcher, photo);
            if (photo.reason.empty())
                matcher.locate(photo, r.a, r.b);
        });
        photo.image.release();
        std::lock_guard<std::mutex> hold(told);
        for (done[k] = true; next < photos.size() && done[next]; ++next) {
            report(photos[next], r.a, r.b, matcher.base.size(), r.machine);
            if (photos[next].reason.empty())
                writeAnswers(photos[next], r.a, r.b, matcher.base.size());
            else
                status = 1;
            std::fflush(stdout);
        }
    });
    std::printf("%s\n", endOfSeries().c_str());
    // Answers cut short (a full disk, /dev/full) must not pass for answers.
    if (!stdoutWritten()) {
        tell(stderr, "tavrin-match : les r\xE9ponses n'ont pu \xEAtre \xE9"
                     "crites : " +
                         systemError(errno) + "\n");
        return 1;
    }
    return status;
}

// The base refused for a reason of its own: the whole run ends (status 1).
int refuseBase(std::string const& name, std::string const& reason)
{
    tell(stderr, "tavrin-match : la photographie de base " + name +
                     " est refus\xE9"
                     "e, " +
                     reason + "\n");
    return 1;
}

int run(int argc, char** argv)
{
    bool const machine = machine::asked(argc, argv);
    Request r = parseRequest(argc, argv);
    r.machine = machine;
    std::string reason = lineBreakRefusal(r.baseName);
    if (!reason.empty())
        return refuseBase(r.baseName, reason);
    cv::Mat baseImage = load(r.baseName, reason);
    if (baseImage.empty()) {
        return refuseBase(r.baseName, reason);
    }
    reason = sizeRefusal(baseImage, false);
    if (!reason.empty())
        return refuseBase(r.baseName, reason);
    checkPointsInside(r, baseImage);
    Matcher matcher(baseImage);
    std::vector<Photograph> photos(r.further.size());
    for (std::size_t k = 0; k < photos.size(); ++k)
        photos[k].name = r.further[k];
    if (!r.picking)
        return answerAll(matcher, photos, r, false);
    // --pick looks for its points in every photograph: all are held until answered.
    onEveryCore(photos.size(),
                [&](std::size_t k) { guarded(photos[k], [&] { estimate(matcher, photos[k]); }); });
    if (!pickPoints(matcher, photos, r))
        return 1;
    return answerAll(matcher, photos, r, true);
}

}  // namespace

int main(int argc, char** argv)
{
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    return tool::main(argc, argv,
                      {"tavrin-match", kUsage, "pas assez de m\xE9moire pour les photographies"},
                      [](int count, char** values) {
                          try {
                              return run(count, values);
                          } catch (cv::Exception const& e) {  // on the base, before any answer
                              throw tool::Stop{openCvFailure(e)};
                          }
                      });
}
