// The resampling kernel, timed: the literal per-pixel loop against the fast path
// (each compiled variant) and, in a build with OpenCV, cv::warpAffine with
// nearest-neighbour lookup on one thread. Images of 1, 6, 24 and 100 megapixels
// are generated from a fixed seed; the transform is the worked example's points
// scaled to the image. After Google Benchmark's report comes a summary of medians
// in ns per pixel, with ratios.
#include "app/geometry.h"
#include "app/resample_fast.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#if defined(TAVRIN_BENCH_OPENCV)
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

struct Size {
    char const* label;
    int w;
    int h;
};

Size const kSizes[] = {
    {"1MP", 1224, 816}, {"6MP", 3000, 2000}, {"24MP", 6000, 4000}, {"100MP", 12240, 8160}};

// A base image and a further image of one size, with the run's registration.
struct Scene {
    std::unique_ptr<IMAGE> further;
    double ax;
    double ay;
    Transform t;
    long long pixels;
};

// Fixed-seed noise (xorshift): every lookup lands on an unpredictable byte.
std::unique_ptr<IMAGE> noise(int w, int h)
{
    auto im = std::make_unique<IMAGE>(w, h);
    std::uint64_t state = 0x9E3779B97F4A7C15ULL;
    for (long long i = 0; i < static_cast<long long>(w) * h; ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        im->pix[i] = static_cast<unsigned char>(state >> 56);
    }
    return im;
}

Scene& scene(Size const& size)
{
    static std::map<std::string, Scene> scenes;
    auto found = scenes.find(size.label);
    if (found != scenes.end())
        return found->second;
    float const f = size.w / 6000.0f;
    Point a{597 * f, 578 * f};
    Point b{2779 * f, 1846 * f};
    Point a2{162 * f, 3070 * f};
    Point b2{2955 * f, 1468 * f};
    Segment base = measureSegment(a, b);
    Segment further = measureSegment(a2, b2);
    Scene s;
    s.further = noise(size.w, size.h);
    s.ax = a.x;
    s.ay = a.y;
    s.t = registerIMAGE(base.bearing, base.distance, a2, further.bearing, further.distance);
    s.pixels = static_cast<long long>(size.w) * size.h;
    return scenes.emplace(size.label, std::move(s)).first->second;
}

void literal(benchmark::State& state, Size size)
{
    Scene& s = scene(size);
    for (auto _ : state) {
        auto out = resampleIMAGELiteral(*s.further, s.ax, s.ay, size.w, size.h, s.t);
        benchmark::DoNotOptimize(out->pix);
    }
}

void fast(benchmark::State& state, Size size, ResampleKernel kernel)
{
    Scene& s = scene(size);
    IMAGE out(size.w, size.h);
    long long literalPixels = 0;
    for (auto _ : state) {
        resampleInto(out, *s.further, s.ax, s.ay, s.t, kernel, &literalPixels);
        benchmark::DoNotOptimize(out.pix);
    }
    state.counters["literal_px"] = static_cast<double>(literalPixels);
}

#if defined(TAVRIN_BENCH_OPENCV)
// The same similarity as an affine map from output to source (the literal's
// small per-quadrant shifts left out), border = the further image's first pixel.
cv::Mat inverseMap(Scene const& s)
{
    double c = std::cos(s.t.rotation) / s.t.scale;
    double n = std::sin(s.t.rotation) / s.t.scale;
    return (cv::Mat_<double>(2, 3) << c, n, s.t.anchorX - s.ax * c - s.ay * n,  //
            -n, c, s.t.anchorY - s.ay * c + s.ax * n);
}

long long opencvDiffering = -1;

void opencv(benchmark::State& state, Size size)
{
    cv::setNumThreads(1);
    Scene& s = scene(size);
    cv::Mat source(s.further->height, s.further->width, CV_8UC1, s.further->pix);
    cv::Mat out(size.h, size.w, CV_8UC1);
    cv::Mat map = inverseMap(s);
    cv::Scalar border(s.further->pix[0]);
    for (auto _ : state) {
        cv::warpAffine(source, out, map, out.size(), cv::INTER_NEAREST | cv::WARP_INVERSE_MAP,
                       cv::BORDER_CONSTANT, border);
        benchmark::DoNotOptimize(out.data);
    }
    if (std::strcmp(size.label, "24MP") == 0) {
        IMAGE ours(size.w, size.h);
        resampleInto(ours, *s.further, s.ax, s.ay, s.t);
        opencvDiffering = 0;
        for (long long i = 0; i < s.pixels; ++i)
            opencvDiffering += ours.pix[i] != out.data[i];
    }
}
#endif

// Google Benchmark's console report, keeping each median for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    SummaryReporter() : ConsoleReporter(OO_Tabular) {}

    std::map<std::string, double> medianSeconds;

    void ReportRuns(std::vector<Run> const& runs) override
    {
        for (Run const& r : runs)
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
                medianSeconds[r.run_name.function_name] =
                    r.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
        ConsoleReporter::ReportRuns(runs);
    }
};

std::vector<std::string> methods()
{
    std::vector<std::string> m{"literal", "fast_baseline"};
    if (resampleKernelAvailable(ResampleKernel::avx2))
        m.push_back("fast_avx2");
#if defined(TAVRIN_BENCH_OPENCV)
    m.push_back("opencv_warpAffine");
#endif
    return m;
}

void registerAll(int repetitions)
{
    for (Size const& size : kSizes) {
        std::string const at = std::string("/") + size.label;
        benchmark::RegisterBenchmark(("literal" + at).c_str(), literal, size)
            ->Iterations(1)
            ->Repetitions(3);
        benchmark::RegisterBenchmark(("fast_baseline" + at).c_str(), fast, size,
                                     ResampleKernel::baseline)
            ->MinTime(0.3)
            ->Repetitions(repetitions);
        if (resampleKernelAvailable(ResampleKernel::avx2))
            benchmark::RegisterBenchmark(("fast_avx2" + at).c_str(), fast, size,
                                         ResampleKernel::avx2)
                ->MinTime(0.3)
                ->Repetitions(repetitions);
#if defined(TAVRIN_BENCH_OPENCV)
        benchmark::RegisterBenchmark(("opencv_warpAffine" + at).c_str(), opencv, size)
            ->MinTime(0.3)
            ->Repetitions(repetitions);
#endif
    }
}

void printSummary(std::map<std::string, double> const& median)
{
    std::vector<std::string> const names = methods();
    // CPU time: on a shared machine it leaves out the time spent waiting for a core.
    std::printf("\nResampling kernel, one thread, median CPU ns per output pixel\n");
    std::printf("%-8s", "size");
    for (std::string const& n : names)
        std::printf(" %18s", n.c_str());
    std::printf(" %16s\n", "literal/fastest");
    for (Size const& size : kSizes) {
        double const pixels = static_cast<double>(size.w) * size.h;
        std::printf("%-8s", size.label);
        double fastest = 0;
        for (std::string const& n : names) {
            auto it = median.find(n + "/" + size.label);
            double ns = it == median.end() ? 0 : it->second * 1e9 / pixels;
            std::printf(" %18.2f", ns);
            if (n.compare(0, 5, "fast_") == 0 && ns > 0 && (fastest == 0 || ns < fastest))
                fastest = ns;
        }
        auto lit = median.find(std::string("literal/") + size.label);
        if (lit != median.end() && fastest > 0)
            std::printf(" %15.1fx", lit->second * 1e9 / pixels / fastest);
        std::printf("\n");
    }
#if defined(TAVRIN_BENCH_OPENCV)
    auto cv24 = median.find("opencv_warpAffine/24MP");
    std::string best =
        resampleKernelAvailable(ResampleKernel::avx2) ? "fast_avx2" : "fast_baseline";
    auto fast24 = median.find(best + "/24MP");
    if (cv24 != median.end() && fast24 != median.end())
        std::printf("24MP: warpAffine / %s = %.2f (above 1: the fast path is faster); "
                    "warpAffine differs from the literal results on %lld pixels (%.3f %%)\n",
                    best.c_str(), cv24->second / fast24->second, opencvDiffering,
                    100.0 * opencvDiffering / (6000.0 * 4000.0));
#endif
}

}  // namespace

int main(int argc, char** argv)
{
    registerAll(5);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printSummary(reporter.medianSeconds);
    benchmark::Shutdown();
    return 0;
}
