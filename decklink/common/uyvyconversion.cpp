#include "uyvyconversion.h"

#include <algorithm>
#include <cmath>
#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/core/utility.hpp>
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif

namespace cardcommon {

namespace {

constexpr int fractionBits = 16;
constexpr double one = 1 << fractionBits;

struct LumaWeights
{
    double red, blue; // Kr, Kb; green is the rest
};

LumaWeights weightsOf(ColourMatrix matrix)
{
    switch (matrix) {
    case ColourMatrix::Rec709:
        return {0.2126, 0.0722};
    case ColourMatrix::Rec2020:
        return {0.2627, 0.0593};
    case ColourMatrix::Rec601:
        break;
    }
    return {0.299, 0.114};
}

// Per code value contributions in 16.16 fixed point, rounding bias folded
// into the luma table, so a channel is one or two additions and a shift.
struct DecodeTables
{
    int32_t luma[256];
    int32_t redFromCr[256];
    int32_t greenFromCb[256];
    int32_t greenFromCr[256];
    int32_t blueFromCb[256];

    int lumaOffset;

    explicit DecodeTables(const Colorimetry& colorimetry)
    {
        const LumaWeights k = weightsOf(colorimetry.matrix);
        const double kg = 1.0 - k.red - k.blue;
        const bool full = colorimetry.range == ColourRange::Full;
        lumaOffset = full ? 0 : 16;
        const double lumaScale = full ? 1.0 : 255.0 / 219.0;
        // Chroma spans 255 codes in full range, 224 in video range, around 128.
        const double chromaScale = full ? 2.0 : 255.0 / 112.0;
        const double crToRed = chromaScale * (1.0 - k.red);
        const double cbToBlue = chromaScale * (1.0 - k.blue);
        const double cbToGreen = cbToBlue * k.blue / kg;
        const double crToGreen = crToRed * k.red / kg;
        for (int i = 0; i < 256; ++i) {
            luma[i] = static_cast<int32_t>(std::lround(lumaScale * (i - lumaOffset) * one)) +
                      (1 << (fractionBits - 1));
            redFromCr[i] = static_cast<int32_t>(std::lround(crToRed * (i - 128) * one));
            greenFromCb[i] = static_cast<int32_t>(std::lround(-cbToGreen * (i - 128) * one));
            greenFromCr[i] = static_cast<int32_t>(std::lround(-crToGreen * (i - 128) * one));
            blueFromCb[i] = static_cast<int32_t>(std::lround(cbToBlue * (i - 128) * one));
        }
    }
};

const DecodeTables& decodeTables(const Colorimetry& colorimetry)
{
    static const DecodeTables tables[3][2] = {
        {DecodeTables({ColourMatrix::Rec601, ColourRange::Video}),
         DecodeTables({ColourMatrix::Rec601, ColourRange::Full})},
        {DecodeTables({ColourMatrix::Rec709, ColourRange::Video}),
         DecodeTables({ColourMatrix::Rec709, ColourRange::Full})},
        {DecodeTables({ColourMatrix::Rec2020, ColourRange::Video}),
         DecodeTables({ColourMatrix::Rec2020, ColourRange::Full})},
    };
    return tables[static_cast<int>(colorimetry.matrix)][static_cast<int>(colorimetry.range)];
}

inline uint8_t saturate(int32_t value)
{
    value >>= fractionBits;
    return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

// The same contributions as 16-bit coefficients in 3.13 fixed point, for the
// vector path: products and sums stay exact in 32 bits.
struct DecodeCoefficients
{
    int16_t luma, redFromCr, greenFromCb, greenFromCr, blueFromCb, lumaOffset;

    explicit DecodeCoefficients(const DecodeTables& t)
        : luma(narrow(t.luma[17] - t.luma[16])), redFromCr(narrow(t.redFromCr[129])),
          greenFromCb(narrow(t.greenFromCb[129])), greenFromCr(narrow(t.greenFromCr[129])),
          blueFromCb(narrow(t.blueFromCb[129])), lumaOffset(static_cast<int16_t>(t.lumaOffset))
    {}
    // From the 16.16 step of one code value to 3.13.
    static int16_t narrow(int32_t step) { return static_cast<int16_t>((step + 4) >> 3); }
};
constexpr int vectorFractionBits = 13;

// channels 3 (BGR) or 4 (BGRA, alpha 255).
template <int channels>
void decodePairs(const uint8_t* source, uint8_t* out, int pairs, const DecodeTables& t)
{
    for (int i = 0; i < pairs; ++i, source += 4, out += 2 * channels) {
        const int32_t red = t.redFromCr[source[2]];
        const int32_t green = t.greenFromCb[source[0]] + t.greenFromCr[source[2]];
        const int32_t blue = t.blueFromCb[source[0]];
        for (int pixel = 0; pixel < 2; ++pixel) {
            const int32_t luma = t.luma[source[1 + 2 * pixel]];
            uint8_t* p = out + pixel * channels;
            p[0] = saturate(luma + blue), p[1] = saturate(luma + green), p[2] = saturate(luma + red);
            if (channels == 4)
                p[3] = 0xFF;
        }
    }
}

#if CV_SIMD128
// Eight pairs: chroma U, V (centred) and luma Y0, Y1 (offset removed) to the
// blue, green and red of the first and the second pixel of each pair.
struct EightPairs
{
    cv::v_int16x8 blue[2], green[2], red[2];
};

inline cv::v_int16x8 channel(const cv::v_int32x4& luma0, const cv::v_int32x4& luma1,
                             const cv::v_int32x4& chroma0, const cv::v_int32x4& chroma1)
{
    return cv::v_pack((luma0 + chroma0) >> vectorFractionBits, (luma1 + chroma1) >> vectorFractionBits);
}

inline EightPairs decodeEightPairs(const cv::v_int16x8& u, const cv::v_int16x8& v,
                                   const cv::v_int16x8 (&y)[2], const DecodeCoefficients& k)
{
    cv::v_int32x4 red0, red1, blue0, blue1;
    cv::v_mul_expand(v, cv::v_setall_s16(k.redFromCr), red0, red1);
    cv::v_mul_expand(u, cv::v_setall_s16(k.blueFromCb), blue0, blue1);
    cv::v_int16x8 uv0, uv1;
    cv::v_zip(u, v, uv0, uv1);
    const cv::v_int16x8 greenWeights = cv::v_reinterpret_as_s16(
        cv::v_setall_u32(static_cast<uint16_t>(k.greenFromCb) |
                         static_cast<uint32_t>(static_cast<uint16_t>(k.greenFromCr)) << 16));
    const cv::v_int32x4 green0 = cv::v_dotprod(uv0, greenWeights), green1 = cv::v_dotprod(uv1, greenWeights);
    const cv::v_int32x4 rounding = cv::v_setall_s32(1 << (vectorFractionBits - 1));
    EightPairs result;
    for (int pixel = 0; pixel < 2; ++pixel) {
        cv::v_int32x4 luma0, luma1;
        cv::v_mul_expand(y[pixel], cv::v_setall_s16(k.luma), luma0, luma1);
        luma0 += rounding, luma1 += rounding;
        result.blue[pixel] = channel(luma0, luma1, blue0, blue1);
        result.green[pixel] = channel(luma0, luma1, green0, green1);
        result.red[pixel] = channel(luma0, luma1, red0, red1);
    }
    return result;
}

inline cv::v_int16x8 centred(const cv::v_uint16x8& value, int16_t offset)
{
    return cv::v_reinterpret_as_s16(value) - cv::v_setall_s16(offset);
}

// Thirty-two pixels, given as two runs of sixteen blue, green and red bytes,
// stored interleaved (alpha 255 with four channels).
template <int channels>
inline void storeThirtyTwoPixels(uint8_t* out, const cv::v_uint8x16 (&b)[2], const cv::v_uint8x16 (&g)[2],
                                 const cv::v_uint8x16 (&r)[2])
{
    if (channels == 4) {
        const cv::v_uint8x16 alpha = cv::v_setall_u8(0xFF);
        cv::v_store_interleave(out, b[0], g[0], r[0], alpha);
        cv::v_store_interleave(out + 64, b[1], g[1], r[1], alpha);
    } else {
        cv::v_store_interleave(out, b[0], g[0], r[0]);
        cv::v_store_interleave(out + 48, b[1], g[1], r[1]);
    }
}

// Sixteen pairs (64 bytes in, 32 pixels out) per step.
template <int channels>
int decodeVector(const uint8_t* source, uint8_t* out, int pairs, const DecodeCoefficients& k)
{
    int done = 0;
    for (; done + 16 <= pairs; done += 16, source += 64, out += 32 * channels) {
        cv::v_uint8x16 u8, y08, v8, y18;
        cv::v_load_deinterleave(source, u8, y08, v8, y18);
        cv::v_uint16x8 u16[2], v16[2], y016[2], y116[2];
        cv::v_expand(u8, u16[0], u16[1]);
        cv::v_expand(v8, v16[0], v16[1]);
        cv::v_expand(y08, y016[0], y016[1]);
        cv::v_expand(y18, y116[0], y116[1]);
        EightPairs half[2];
        for (int h = 0; h < 2; ++h) {
            const cv::v_int16x8 y[2] = {centred(y016[h], k.lumaOffset), centred(y116[h], k.lumaOffset)};
            half[h] = decodeEightPairs(centred(u16[h], 128), centred(v16[h], 128), y, k);
        }
        // Per pixel of the pair, then the two pixels zipped into picture order.
        cv::v_uint8x16 blue[2], green[2], red[2];
        for (int pixel = 0; pixel < 2; ++pixel) {
            blue[pixel] = cv::v_pack_u(half[0].blue[pixel], half[1].blue[pixel]);
            green[pixel] = cv::v_pack_u(half[0].green[pixel], half[1].green[pixel]);
            red[pixel] = cv::v_pack_u(half[0].red[pixel], half[1].red[pixel]);
        }
        cv::v_uint8x16 b[2], g[2], r[2];
        cv::v_zip(blue[0], blue[1], b[0], b[1]);
        cv::v_zip(green[0], green[1], g[0], g[1]);
        cv::v_zip(red[0], red[1], r[0], r[1]);
        storeThirtyTwoPixels<channels>(out, b, g, r);
    }
    return done;
}

#if defined(__GNUC__) && defined(__x86_64__)
#define DUOSCOPE_AVX2_DECODE 1
// The same decode on 256-bit vectors, for processors with AVX2 (checked at
// run time), in 16-bit arithmetic: every value a pixel needs lies in one
// 16-bit lane in picture order, luma from the high byte of each pair's
// halves, U and V spread over both pixels of their pair. Inputs are scaled by
// 2^6 and the 3.13 coefficients applied with a rounding high multiply
// ((a * b + 2^14) >> 15), which leaves each product in 1/16 of a level, so
// a channel is one addition per term and a rounding shift by 4. Each product
// is within 1/32 of a level and a coefficient within 1/16384 of its value:
// the result stays within one step of the exact value, as the 32-bit path's.
// Packing and interleaving are those of the 128-bit path. Chosen per
// conversion, where OpenCV reports AVX2.
__attribute__((target("avx2"))) inline __m256i scaledDifference(__m256i value, __m256i offset)
{
    return _mm256_slli_epi16(_mm256_sub_epi16(value, offset), 6);
}

__attribute__((target("avx2"))) inline __m256i level(__m256i sixteenths)
{
    return _mm256_srai_epi16(_mm256_add_epi16(sixteenths, _mm256_set1_epi16(8)), 4);
}

// Sixteen pixels (eight pairs, 32 bytes) to their blue, green and red as 16-bit levels.
struct SixteenPixels
{
    __m256i blue, green, red;
};

__attribute__((target("avx2"))) inline SixteenPixels decodeSixteenPixels(const uint8_t* source,
                                                                         const DecodeCoefficients& k)
{
    const __m256i pairs = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source));
    const __m256i luma = _mm256_srli_epi16(pairs, 8);
    const __m256i chroma = _mm256_and_si256(pairs, _mm256_set1_epi16(0x00FF)); // U, V, U, V...
    const __m256i lowHalf = _mm256_set1_epi32(0x0000FFFF);
    const __m256i u = _mm256_or_si256(_mm256_and_si256(chroma, lowHalf), _mm256_slli_epi32(chroma, 16));
    const __m256i v = _mm256_or_si256(_mm256_srli_epi32(chroma, 16), _mm256_andnot_si256(lowHalf, chroma));
    const __m256i y6 = scaledDifference(luma, _mm256_set1_epi16(k.lumaOffset));
    const __m256i u6 = scaledDifference(u, _mm256_set1_epi16(128));
    const __m256i v6 = scaledDifference(v, _mm256_set1_epi16(128));
    const __m256i y = _mm256_mulhrs_epi16(y6, _mm256_set1_epi16(k.luma));
    SixteenPixels result;
    result.blue = level(_mm256_add_epi16(y, _mm256_mulhrs_epi16(u6, _mm256_set1_epi16(k.blueFromCb))));
    result.green = level(_mm256_add_epi16(
        y, _mm256_add_epi16(_mm256_mulhrs_epi16(u6, _mm256_set1_epi16(k.greenFromCb)),
                            _mm256_mulhrs_epi16(v6, _mm256_set1_epi16(k.greenFromCr)))));
    result.red = level(_mm256_add_epi16(y, _mm256_mulhrs_epi16(v6, _mm256_set1_epi16(k.redFromCr))));
    return result;
}

// Two runs of sixteen 16-bit levels to thirty-two bytes in picture order.
__attribute__((target("avx2"))) inline void packLevels(__m256i first, __m256i second, cv::v_uint8x16& low,
                                                        cv::v_uint8x16& high)
{
    // packus works within 128-bit lanes: the quarters come out as first's
    // low, second's low, first's high, second's high.
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(first, second), 0xD8);
    low = cv::v_uint8x16(_mm256_castsi256_si128(packed));
    high = cv::v_uint8x16(_mm256_extracti128_si256(packed, 1));
}

// Sixteen pairs (64 bytes in, 32 pixels out) per step, as decodeVector.
template <int channels>
__attribute__((target("avx2"))) int decodeVectorAvx2(const uint8_t* source, uint8_t* out, int pairs,
                                                      const DecodeCoefficients& k)
{
    int done = 0;
    for (; done + 16 <= pairs; done += 16, source += 64, out += 32 * channels) {
        const SixteenPixels first = decodeSixteenPixels(source, k);
        const SixteenPixels second = decodeSixteenPixels(source + 32, k);
        cv::v_uint8x16 b[2], g[2], r[2];
        packLevels(first.blue, second.blue, b[0], b[1]);
        packLevels(first.green, second.green, g[0], g[1]);
        packLevels(first.red, second.red, r[0], r[1]);
        storeThirtyTwoPixels<channels>(out, b, g, r);
    }
    return done;
}

#endif
#endif

template <int channels>
void decodeRow(const uint8_t* source, uint8_t* out, int width, const DecodeTables& t,
               const DecodeCoefficients& k, bool avx2)
{
    const int pairs = width / 2;
    int done = 0;
#if DUOSCOPE_AVX2_DECODE
    if (avx2)
        done = decodeVectorAvx2<channels>(source, out, pairs, k);
    else
        done = decodeVector<channels>(source, out, pairs, k);
#elif CV_SIMD128
    done = decodeVector<channels>(source, out, pairs, k);
#else
    (void)k;
#endif
    (void)avx2;
    decodePairs<channels>(source + 4 * done, out + 2 * channels * done, pairs - done, t);
    if (width % 2 == 1) {
        // The last pixel is the first of a whole pair.
        uint8_t last[2 * channels];
        decodePairs<channels>(source + 4 * pairs, last, 1, t);
        std::copy(last, last + channels, out + 2 * channels * pairs);
    }
}

} // namespace

ColourMatrix colourMatrixFor(int /*width*/, int height)
{
    return height >= 720 ? ColourMatrix::Rec709 : ColourMatrix::Rec601;
}

Colorimetry modeColorimetry(int width, int height)
{
    return {colourMatrixFor(width, height), ColourRange::Video};
}

void convertUyvy(const uint8_t* source, size_t sourceRowBytes, uint8_t* destination,
                 size_t destinationRowBytes, int width, int height, int channels,
                 const Colorimetry& colorimetry)
{
    CV_Assert(channels == 3 || channels == 4);
    const DecodeTables& tables = decodeTables(colorimetry);
    const DecodeCoefficients coefficients(tables);
    // As OpenCV's own functions choose their code: cv::setUseOptimized(false)
    // leaves the 128-bit path.
    const bool avx2 = cv::checkHardwareSupport(CV_CPU_AVX2);
    cv::parallel_for_(
        cv::Range(0, height),
        [&](const cv::Range& rows) {
            for (int y = rows.start; y < rows.end; ++y) {
                const uint8_t* in = source + y * sourceRowBytes;
                uint8_t* out = destination + y * destinationRowBytes;
                if (channels == 3)
                    decodeRow<3>(in, out, width, tables, coefficients, avx2);
                else
                    decodeRow<4>(in, out, width, tables, coefficients, avx2);
            }
        },
        8);
}

void convertBgrToUyvy(const cv::Mat& bgr, cv::Mat& uyvy, ColourMatrix matrix)
{
    CV_Assert(bgr.type() == CV_8UC3 && bgr.cols % 2 == 0);
    const LumaWeights k = weightsOf(matrix);
    const double kg = 1.0 - k.red - k.blue;
    // 16.16 fixed point weights of video-range Y, Cb and Cr from full-range B, G, R.
    const double ys = 219.0 / 255.0, cs = 224.0 / 255.0;
    const auto fixed = [](double v) { return static_cast<int32_t>(std::lround(v * one)); };
    const int32_t yb = fixed(ys * k.blue), yg = fixed(ys * kg), yr = fixed(ys * k.red);
    const double cbDiv = 2.0 * (1.0 - k.blue), crDiv = 2.0 * (1.0 - k.red);
    const int32_t cbb = fixed(cs * (1.0 - k.blue) / cbDiv), cbg = fixed(-cs * kg / cbDiv),
                  cbr = fixed(-cs * k.red / cbDiv);
    const int32_t crb = fixed(-cs * k.blue / crDiv), crg = fixed(-cs * kg / crDiv),
                  crr = fixed(cs * (1.0 - k.red) / crDiv);
    const int32_t lumaBias = (16 << fractionBits) + (1 << (fractionBits - 1));
    // Chroma of the sum of two pixels: half weights, same bias.
    const int32_t chromaBias = (128 << fractionBits) + (1 << (fractionBits - 1));
    const auto clip = [](int32_t v) { return static_cast<uint8_t>(std::clamp(v >> fractionBits, 0, 255)); };

    uyvy.create(bgr.rows, bgr.cols, CV_8UC2);
    cv::parallel_for_(cv::Range(0, bgr.rows), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const uint8_t* in = bgr.ptr<uint8_t>(y);
            uint8_t* out = uyvy.ptr<uint8_t>(y);
            for (int x = 0; x < bgr.cols; x += 2, in += 6, out += 4) {
                const int32_t b0 = in[0], g0 = in[1], r0 = in[2], b1 = in[3], g1 = in[4], r1 = in[5];
                const int32_t b = b0 + b1, g = g0 + g1, r = r0 + r1;
                out[0] = clip(chromaBias + ((cbb * b + cbg * g + cbr * r) >> 1));
                out[1] = clip(lumaBias + yb * b0 + yg * g0 + yr * r0);
                out[2] = clip(chromaBias + ((crb * b + crg * g + crr * r) >> 1));
                out[3] = clip(lumaBias + yb * b1 + yg * g1 + yr * r1);
            }
        }
    });
}

} // namespace cardcommon
