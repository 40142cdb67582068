#include "app/resample_fast.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

// Why the fast path gives the literal bytes
// -----------------------------------------
// sourceOf computes u = aX + sin(phi + rot) * rho / scale and v likewise with cos,
// phi being the bearing of (dx, dy). Off the row of base A, phi is the true
// bearing plus a fixed shift: kHalfTurn - pi above A (dy < 0), kFullTurn - 2 pi
// below A and left of it (dx < 0), 0 below and right. With A = shift + rot, exactly
//     u = aX + (dx cos A + dy sin A) / scale,   v = aY + (dy cos A - dx sin A) / scale,
// which the row loops evaluate as u = baseU + l cu and v = baseV - l su, with
// cu = cos(A) / scale, su = sin(A) / scale, baseU = (aX + dy su) - ax cu and
// baseV = (aY + dy cu) + ax su, each operation rounded once.
//
// The bound. e = 2^-53; atan, sin and cos are assumed off by at most 16 ulp of 1
// (K = 16, so 2K e absolutely), sqrt by 1 ulp. Q = (|ax| + W - 1 + max|dy|) / |scale|
// over the canvas and U = max(|aX|, |aY|) + Q bound every radius and every |u|, |v|.
// - Literal: the roundings of dx, dy and their quotient, then atan, move the angle
//   by (1.5 + 2K) e; the sums phi and psi by 4 e and (7 + |rot|) e; sin or cos adds
//   2K e. The radius is off by 5 e relative (dx, dy, squares, sqrt, division), the
//   product and the sum add e Q and e U: e ((18.5 + 4K + |rot|) Q + U) in all.
// - Fast: A is off by (5 + |rot|) e (the double of pi, the sum), its cosine and
//   sine by 2K e, the division by e; dy and the three products add 2 e of Q; the
//   three sums e U each: e ((8 + 2K + |rot|) Q + 3 U) in all.
// - The literal's own rounding of 0.5 + u moves it by at most e (U + 2).
// E = 2 e ((28 + 6K + 2 |rot|) Q + 5 U + 2) exceeds the sum of the three, with room
// for the second-order terms. Hence a fast u at least E from every half integer
// has the literal's floor(0.5 + u), in the further image or outside it (where the
// literal's u may also be out of the int range: outside all the same). Any other
// pixel, the row of base A (where dy = 0 becomes 0.01) and every transform whose E
// exceeds 1/16 are left to sourceOf. Transforms that send every pixel to one place
// (scale 0, infinite or NaN; a point, anchor or rotation not finite) fill the image
// with the literal's value at (0, 0).

namespace {

constexpr double kUnitRoundoff = 0x1p-53;
constexpr double kLibmUlps = 16;
constexpr double kLargestBound = 1.0 / 16;
constexpr double kPi = 3.141592653589793;  // the double nearest pi
// Adding and subtracting 1.5 * 2^52 rounds any |x| < 2^51 to the nearest whole value.
constexpr double kRoundingShift = 0x1.8p52;
// Column strips: where the source rows go by fast along an output row (more than
// one every other pixel), a strip narrow enough that one of its rows reads at most
// this many cache lines (24 KiB) finds them in the first-level cache on the next
// row. Whole rows suit a small rotation, where the hardware prefetches them.
constexpr double kStripCacheLines = 384;
constexpr int kNarrowestStrip = 128;

// One output row's part that shares one angle shift, with what decides a pixel:
// u = baseU + l cu and v = baseV - l su.
struct SpanPlan {
    unsigned char const* source;  // the further image; source[0] is the fallback
    double sourceWidth;
    double lastColumn;  // of the further image
    double lastRow;
    double baseU;  // aX + dy su - ax cu
    double baseV;  // aY + dy cu + ax su
    double cu;
    double su;
    double roundLimit;  // 0.5 - E: the largest distance to the nearest whole value
};

// The byte of pixel l, or -1 when the bound cannot vouch for it. The rounding
// by kRoundingShift is exact: E <= 1/16 keeps |u| and |v| below 2^46.
int decidePixel(SpanPlan const& p, int l)
{
    double u = p.baseU + l * p.cu;
    double v = p.baseV - l * p.su;
    double ru = (u + kRoundingShift) - kRoundingShift;
    double rv = (v + kRoundingShift) - kRoundingShift;
    if (!(std::fabs(u - ru) <= p.roundLimit && std::fabs(v - rv) <= p.roundLimit))
        return -1;  // in doubt, or not a number
    if (ru >= 0 && ru <= p.lastColumn && rv >= 0 && rv <= p.lastRow)
        return p.source[static_cast<std::ptrdiff_t>(ru + rv * p.sourceWidth)];
    return p.source[0];
}

// The group loops below write the bytes of row[l, end) four at a time while the
// bound vouches for all four, and return where they stopped: at end, fewer than
// four before it, or at the first group with a pixel in doubt. They do what
// decidePixel does, lane by lane; an outside lane reads offset 0, the fallback.
// The offset is read from the low 32 bits of index + kRoundingShift. They call
// nothing, so no wide value is saved around a call (the Windows stack is only
// 16-byte aligned).

#if defined(__SSE2__)
#define TAVRIN_HAS_SSE2_VARIANT 1

// Two lanes: whether both are sure, and their source offsets (as 64-bit lanes).
inline bool sureOffsets(__m128d u, __m128d v, __m128d limit, __m128d lastColumn, __m128d lastRow,
                        __m128d width, __m128i& offsets)
{
    __m128d const shift = _mm_set1_pd(kRoundingShift);
    __m128d const magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL));
    __m128d const zero = _mm_setzero_pd();
    __m128d ru = _mm_sub_pd(_mm_add_pd(u, shift), shift);
    __m128d rv = _mm_sub_pd(_mm_add_pd(v, shift), shift);
    __m128d sure = _mm_and_pd(_mm_cmple_pd(_mm_and_pd(_mm_sub_pd(u, ru), magnitude), limit),
                              _mm_cmple_pd(_mm_and_pd(_mm_sub_pd(v, rv), magnitude), limit));
    __m128d inside = _mm_and_pd(_mm_and_pd(_mm_cmpge_pd(ru, zero), _mm_cmple_pd(ru, lastColumn)),
                                _mm_and_pd(_mm_cmpge_pd(rv, zero), _mm_cmple_pd(rv, lastRow)));
    __m128d index = _mm_and_pd(inside, _mm_add_pd(ru, _mm_mul_pd(rv, width)));
    offsets = _mm_castpd_si128(_mm_add_pd(index, shift));
    return _mm_movemask_pd(sure) == 3;
}

int decideGroupsSse2(SpanPlan const& p, int l, int end, unsigned char* row)
{
    unsigned char const* const source = p.source;
    __m128d const baseU = _mm_set1_pd(p.baseU);
    __m128d const baseV = _mm_set1_pd(p.baseV);
    __m128d const cu = _mm_set1_pd(p.cu);
    __m128d const su = _mm_set1_pd(p.su);
    __m128d const limit = _mm_set1_pd(p.roundLimit);
    __m128d const lastColumn = _mm_set1_pd(p.lastColumn);
    __m128d const lastRow = _mm_set1_pd(p.lastRow);
    __m128d const width = _mm_set1_pd(p.sourceWidth);
    __m128d const step = _mm_set1_pd(4);
    __m128d columnA = _mm_setr_pd(l, l + 1.0);
    __m128d columnB = _mm_setr_pd(l + 2.0, l + 3.0);
    for (; end - l >= 4; l += 4) {
        __m128d uA = _mm_add_pd(baseU, _mm_mul_pd(columnA, cu));
        __m128d vA = _mm_sub_pd(baseV, _mm_mul_pd(columnA, su));
        __m128d uB = _mm_add_pd(baseU, _mm_mul_pd(columnB, cu));
        __m128d vB = _mm_sub_pd(baseV, _mm_mul_pd(columnB, su));
        __m128i offsetsA;
        __m128i offsetsB;
        bool sureA = sureOffsets(uA, vA, limit, lastColumn, lastRow, width, offsetsA);
        bool sureB = sureOffsets(uB, vB, limit, lastColumn, lastRow, width, offsetsB);
        if (!(sureA && sureB))
            break;
        std::uint64_t offsets[4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(offsets), offsetsA);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(offsets + 2), offsetsB);
        row[l] = source[static_cast<std::uint32_t>(offsets[0])];
        row[l + 1] = source[static_cast<std::uint32_t>(offsets[1])];
        row[l + 2] = source[static_cast<std::uint32_t>(offsets[2])];
        row[l + 3] = source[static_cast<std::uint32_t>(offsets[3])];
        columnA = _mm_add_pd(columnA, step);
        columnB = _mm_add_pd(columnB, step);
    }
    return l;
}

#else

int decideGroupsPortable(SpanPlan const&, int l, int, unsigned char*)
{
    return l;  // no vector unit assumed: every pixel goes through decidePixel
}

#endif

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define TAVRIN_HAS_AVX2_VARIANT 1

__attribute__((target("avx2"))) int decideGroupsAvx2(SpanPlan const& p, int l, int end,
                                                     unsigned char* row)
{
    unsigned char const* const source = p.source;
    __m256d const baseU = _mm256_set1_pd(p.baseU);
    __m256d const baseV = _mm256_set1_pd(p.baseV);
    __m256d const cu = _mm256_set1_pd(p.cu);
    __m256d const su = _mm256_set1_pd(p.su);
    __m256d const limit = _mm256_set1_pd(p.roundLimit);
    __m256d const lastColumn = _mm256_set1_pd(p.lastColumn);
    __m256d const lastRow = _mm256_set1_pd(p.lastRow);
    __m256d const width = _mm256_set1_pd(p.sourceWidth);
    __m256d const shift = _mm256_set1_pd(kRoundingShift);
    __m256d const magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL));
    __m256d const zero = _mm256_setzero_pd();
    __m256d column = _mm256_setr_pd(l, l + 1.0, l + 2.0, l + 3.0);
    for (; end - l >= 4; l += 4) {
        __m256d u = _mm256_add_pd(baseU, _mm256_mul_pd(column, cu));
        __m256d v = _mm256_sub_pd(baseV, _mm256_mul_pd(column, su));
        __m256d ru = _mm256_sub_pd(_mm256_add_pd(u, shift), shift);
        __m256d rv = _mm256_sub_pd(_mm256_add_pd(v, shift), shift);
        __m256d sure = _mm256_and_pd(
            _mm256_cmp_pd(_mm256_and_pd(_mm256_sub_pd(u, ru), magnitude), limit, _CMP_LE_OQ),
            _mm256_cmp_pd(_mm256_and_pd(_mm256_sub_pd(v, rv), magnitude), limit, _CMP_LE_OQ));
        if (_mm256_movemask_pd(sure) != 15)
            break;
        __m256d inside = _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(ru, zero, _CMP_GE_OQ),
                                                     _mm256_cmp_pd(ru, lastColumn, _CMP_LE_OQ)),
                                       _mm256_and_pd(_mm256_cmp_pd(rv, zero, _CMP_GE_OQ),
                                                     _mm256_cmp_pd(rv, lastRow, _CMP_LE_OQ)));
        __m256d index = _mm256_and_pd(inside, _mm256_add_pd(ru, _mm256_mul_pd(rv, width)));
        std::uint64_t offsets[4];
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(offsets),
                            _mm256_castpd_si256(_mm256_add_pd(index, shift)));
        row[l] = source[static_cast<std::uint32_t>(offsets[0])];
        row[l + 1] = source[static_cast<std::uint32_t>(offsets[1])];
        row[l + 2] = source[static_cast<std::uint32_t>(offsets[2])];
        row[l + 3] = source[static_cast<std::uint32_t>(offsets[3])];
        column = _mm256_add_pd(column, _mm256_set1_pd(4));
    }
    return l;
}
#endif

using GroupLoop = int (*)(SpanPlan const&, int, int, unsigned char*);

bool processorHasAvx2()
{
#if defined(TAVRIN_HAS_AVX2_VARIANT)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

GroupLoop baselineGroupLoop()
{
#if defined(TAVRIN_HAS_SSE2_VARIANT)
    return decideGroupsSse2;
#else
    return decideGroupsPortable;
#endif
}

GroupLoop groupLoopFor(ResampleKernel kernel)
{
    static bool const hasAvx2 = processorHasAvx2();
#if defined(TAVRIN_HAS_AVX2_VARIANT)
    if (kernel != ResampleKernel::baseline && hasAvx2)
        return decideGroupsAvx2;
#else
    (void)kernel;
    (void)hasAvx2;
#endif
    return baselineGroupLoop();
}

// What the literal loop gives at (l, k).
unsigned char literalByte(IMAGE const& further, int l, int k, double ax, double ay,
                          Transform const& t)
{
    SourcePixel s = sourceOf(l, k, ax, ay, t);
    return s.found ? *further.getpix(s.x, s.y) : further.pix[0];
}

struct Resampling {
    IMAGE& out;
    IMAGE const& further;
    double ax;
    double ay;
    Transform const& t;
    GroupLoop groups;
    long long literalPixels;

    void literalSpan(int k, int l, int end)
    {
        unsigned char* row = out.pix + static_cast<std::ptrdiff_t>(k) * out.width;
        literalPixels += end - l;
        for (; l < end; ++l)
            row[l] = literalByte(further, l, k, ax, ay, t);
    }

    void fastSpan(SpanPlan const& p, int k, int l, int end)
    {
        unsigned char* row = out.pix + static_cast<std::ptrdiff_t>(k) * out.width;
        while (l < end) {
            l = groups(p, l, end, row);
            for (int stop = l + std::min(end - l, 4); l < stop; ++l) {
                int value = decidePixel(p, l);
                if (value < 0) {
                    ++literalPixels;
                    value = literalByte(further, l, k, ax, ay, t);
                }
                row[l] = static_cast<unsigned char>(value);
            }
        }
    }
};

// Transforms that send every pixel to one place. With scale +-inf the radius is 0 for
// every pixel and (u, v) is the anchor; in every other case here u or v is infinite
// or NaN for every pixel, hence outside.
bool sendsEveryPixelToOnePlace(double ax, double ay, Transform const& t)
{
    return !std::isfinite(ax) || !std::isfinite(ay) || !std::isfinite(t.anchorX) ||
           !std::isfinite(t.anchorY) || !std::isfinite(t.rotation) || std::isnan(t.scale) ||
           t.scale == 0 || std::isinf(t.scale);
}

// The bound on how far the fast path's u and v may lie from the literal steps' over
// the whole canvas (see the note at the top of this file).
double errorBound(Resampling const& run)
{
    int const w = run.out.width;
    int const h = run.out.height;
    Transform const& t = run.t;
    double const maxDy = std::max(std::fabs(run.ay), std::fabs((h - 1) - run.ay));
    double const q = (std::fabs(run.ax) + (w - 1) + maxDy) / std::fabs(t.scale);
    double const bound = std::max(std::fabs(t.anchorX), std::fabs(t.anchorY)) + q;
    return 2 * kUnitRoundoff *
           ((28 + 6 * kLibmUlps + 2 * std::fabs(t.rotation)) * q + 5 * bound + 2);
}

// The row loops' plans for the three angle shifts: above A, below and left of it,
// below and right of it; planFor(i, dy) then gives row dy's.
struct ShiftPlans {
    SpanPlan plan[3] = {};

    ShiftPlans(Resampling const& run, double e)
    {
        double const shifts[3] = {kHalfTurn - kPi, kFullTurn - 2 * kPi, 0};
        for (int i = 0; i < 3; ++i) {
            double const angle = shifts[i] + run.t.rotation;
            SpanPlan& p = plan[i];
            p = SpanPlan{};
            p.source = run.further.pix;
            p.sourceWidth = run.further.width;
            p.lastColumn = run.further.width - 1;
            p.lastRow = run.further.height - 1;
            p.roundLimit = 0.5 - e;
            p.cu = std::cos(angle) / run.t.scale;
            p.su = std::sin(angle) / run.t.scale;
        }
    }

    SpanPlan planFor(Resampling const& run, int i, double dy) const
    {
        SpanPlan p = plan[i];
        p.baseU = (run.t.anchorX + dy * p.su) - run.ax * p.cu;
        p.baseV = (run.t.anchorY + dy * p.cu) + run.ax * p.su;
        return p;
    }
};

// Columns per strip: narrow enough that the source lines a strip's rows touch stay
// in the cache when the turn makes each output row cross many of them.
int stripWidth(SpanPlan const& belowRight, int w)
{
    double const linesPerPixel = std::fabs(belowRight.su) + std::fabs(belowRight.cu) / 64;
    if (linesPerPixel > 0.5 && linesPerPixel * w > kStripCacheLines)
        return std::max(kNarrowestStrip, static_cast<int>(kStripCacheLines / linesPerPixel));
    return w;
}

// The fast path, strip by strip and row by row; the row of A goes the literal way.
void resampleFast(Resampling& run, ShiftPlans const& plans)
{
    int const w = run.out.width;
    int const h = run.out.height;
    // Columns left of base A: l < ax.
    int const split = static_cast<int>(std::min(std::max(std::ceil(run.ax), 0.0), double(w)));
    int const strip = stripWidth(plans.plan[2], w);
    for (int l0 = 0, l1 = 0; l0 < w; l0 = l1) {
        l1 = l0 + std::min(strip, w - l0);
        for (int k = 0; k < h; ++k) {
            double const dy = k - run.ay;
            if (dy == 0) {
                run.literalSpan(k, l0, l1);
            } else if (dy < 0) {
                run.fastSpan(plans.planFor(run, 0, dy), k, l0, l1);
            } else {
                int const middle = std::min(std::max(split, l0), l1);
                run.fastSpan(plans.planFor(run, 1, dy), k, l0, middle);
                run.fastSpan(plans.planFor(run, 2, dy), k, middle, l1);
            }
        }
    }
}

// The whole canvas: one value, the literal loop, or the fast path row by row.
void resampleAll(Resampling& run)
{
    IMAGE& out = run.out;
    if (sendsEveryPixelToOnePlace(run.ax, run.ay, run.t)) {
        run.literalPixels = 1;
        std::memset(out.pix, literalByte(run.further, 0, 0, run.ax, run.ay, run.t),
                    static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
        return;
    }
    double const e = errorBound(run);
    if (!(e <= kLargestBound) || !(std::fabs(run.t.scale) >= 0x1p-1000)) {
        for (int k = 0; k < out.height; ++k)
            run.literalSpan(k, 0, out.width);
        return;
    }
    resampleFast(run, ShiftPlans(run, e));
}

}  // namespace

bool resampleKernelAvailable(ResampleKernel kernel)
{
    if (kernel != ResampleKernel::avx2)
        return true;
    return groupLoopFor(ResampleKernel::avx2) != baselineGroupLoop();
}

void resampleInto(IMAGE& out, IMAGE const& further, double ax, double ay, Transform const& t,
                  ResampleKernel kernel, long long* literalPixels)
{
    if (literalPixels != nullptr)
        *literalPixels = 0;
    if (out.pix == nullptr || out.width <= 0 || out.height <= 0)
        return;
    Resampling run{out, further, ax, ay, t, groupLoopFor(kernel), 0};
    resampleAll(run);
    if (literalPixels != nullptr)
        *literalPixels = run.literalPixels;
}

std::unique_ptr<IMAGE> resampleIMAGE(IMAGE const& further, double ax, double ay, int w, int h,
                                     Transform const& t)
{
    if (further.pix == nullptr || further.width <= 0 || further.height <= 0)
        return std::make_unique<IMAGE>(w, h);  // no first pixel to fall back on: all 0
    auto out = std::make_unique<IMAGE>(w, h, IMAGE::Unset{});  // every pixel is written
    resampleInto(*out, further, ax, ay, t);
    return out;
}
