#include "modes.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <tuple>

namespace gstreamercards {

namespace {

struct ModeNick
{
    BMDDisplayMode code;
    const char* nick;
};

constexpr ModeNick decklinkModes[] = {
    {bmdModeNTSC, "ntsc"},
    {bmdModeNTSC2398, "ntsc2398"},
    {bmdModeNTSCp, "ntsc-p"},
    {bmdModePAL, "pal"},
    {bmdModePALp, "pal-p"},
    {bmdModeHD720p50, "720p50"},
    {bmdModeHD720p5994, "720p5994"},
    {bmdModeHD720p60, "720p60"},
    {bmdModeHD1080p2398, "1080p2398"},
    {bmdModeHD1080p24, "1080p24"},
    {bmdModeHD1080p25, "1080p25"},
    {bmdModeHD1080p2997, "1080p2997"},
    {bmdModeHD1080p30, "1080p30"},
    {bmdModeHD1080i50, "1080i50"},
    {bmdModeHD1080i5994, "1080i5994"},
    {bmdModeHD1080i6000, "1080i60"},
    {bmdModeHD1080p50, "1080p50"},
    {bmdModeHD1080p5994, "1080p5994"},
    {bmdModeHD1080p6000, "1080p60"},
    {bmdMode2k2398, "1556p2398"},
    {bmdMode2k24, "1556p24"},
    {bmdMode2k25, "1556p25"},
    {bmdMode2kDCI2398, "2kdcip2398"},
    {bmdMode2kDCI24, "2kdcip24"},
    {bmdMode2kDCI25, "2kdcip25"},
    {bmdMode4K2160p2398, "2160p2398"},
    {bmdMode4K2160p24, "2160p24"},
    {bmdMode4K2160p25, "2160p25"},
    {bmdMode4K2160p2997, "2160p2997"},
    {bmdMode4K2160p30, "2160p30"},
    {bmdMode4kDCI2398, "4kdcip2398"},
    {bmdMode4kDCI24, "4kdcip24"},
    {bmdMode4kDCI25, "4kdcip25"},
};

// Codes of modes no code of the program names: one per size, rate and scan, for the whole process.
BMDDisplayMode ownCode(int width, int height, int64_t duration, int64_t scale, bool interlaced)
{
    static std::mutex mutex;
    static std::map<std::tuple<int, int, int64_t, int64_t, bool>, BMDDisplayMode> codes;
    std::lock_guard<std::mutex> lock(mutex);
    auto& code = codes[std::make_tuple(width, height, duration, scale, interlaced)];
    if (code == 0)
        code = (static_cast<BMDDisplayMode>('g') << 24) | static_cast<BMDDisplayMode>(codes.size());
    return code;
}

} // namespace

bool isInterlaced(BMDDisplayMode code)
{
    return code == bmdModeNTSC || code == bmdModeNTSC2398 || code == bmdModePAL || code == bmdModeHD1080i50 ||
           code == bmdModeHD1080i5994 || code == bmdModeHD1080i6000;
}

const char* decklinkModeNick(BMDDisplayMode code)
{
    for (const ModeNick& mode : decklinkModes)
        if (mode.code == code)
            return mode.nick;
    return nullptr;
}

DisplayModeInfo modeOf(int width, int height, int rateNumerator, int rateDenominator, bool interlaced)
{
    // Interlaced signals are counted in frames (two fields), as the program's modes are.
    const int64_t duration = rateDenominator, scale = rateNumerator;
    for (const DisplayModeInfo& mode : cardcommon::allDisplayModes())
        if (mode.width == width && mode.height == height && isInterlaced(mode.code) == interlaced &&
            mode.frameDuration * scale == duration * mode.timeScale)
            return mode;
    char name[64];
    const double rate = rateDenominator > 0 ? static_cast<double>(rateNumerator) / rateDenominator : 0.0;
    std::snprintf(name, sizeof name, "%dx%d%c%.2f", width, height, interlaced ? 'i' : 'p', rate);
    std::string text = name;
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.')
        text.pop_back();
    return DisplayModeInfo{ownCode(width, height, duration, scale, interlaced),
                           text,
                           width,
                           height,
                           std::max<int64_t>(duration, 1),
                           std::max<int64_t>(scale, 1)};
}

std::vector<DisplayModeInfo> modesOfCaps(const GstCaps* caps)
{
    std::vector<DisplayModeInfo> modes;
    if (!caps)
        return modes;
    auto add = [&](const DisplayModeInfo& mode) {
        if (std::none_of(modes.begin(), modes.end(),
                         [&](const DisplayModeInfo& m) { return m.code == mode.code; }))
            modes.push_back(mode);
    };
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* s = gst_caps_get_structure(caps, i);
        if (!gst_structure_has_name(s, "video/x-raw"))
            continue;
        int width = 0, height = 0;
        if (!gst_structure_get_int(s, "width", &width) || !gst_structure_get_int(s, "height", &height))
            continue; // ranges of sizes name no mode
        const char* scan = gst_structure_get_string(s, "interlace-mode");
        const bool interlaced = scan && std::string(scan) != "progressive";
        const GValue* rate = gst_structure_get_value(s, "framerate");
        if (!rate)
            continue;
        if (GST_VALUE_HOLDS_FRACTION(rate)) {
            if (gst_value_get_fraction_numerator(rate) > 0)
                add(modeOf(width, height, gst_value_get_fraction_numerator(rate),
                           gst_value_get_fraction_denominator(rate), interlaced));
        } else if (GST_VALUE_HOLDS_LIST(rate)) {
            for (guint j = 0; j < gst_value_list_get_size(rate); ++j) {
                const GValue* r = gst_value_list_get_value(rate, j);
                if (GST_VALUE_HOLDS_FRACTION(r) && gst_value_get_fraction_numerator(r) > 0)
                    add(modeOf(width, height, gst_value_get_fraction_numerator(r),
                               gst_value_get_fraction_denominator(r), interlaced));
            }
        }
    }
    // The program's modes in its own order, then the others as the device lists them.
    const auto& known = cardcommon::allDisplayModes();
    auto rank = [&](const DisplayModeInfo& mode) {
        const auto found = std::find_if(known.begin(), known.end(),
                                        [&](const DisplayModeInfo& m) { return m.code == mode.code; });
        return found - known.begin();
    };
    std::stable_sort(modes.begin(), modes.end(),
                     [&](const DisplayModeInfo& a, const DisplayModeInfo& b) { return rank(a) < rank(b); });
    return modes;
}

std::optional<Colorimetry> colorimetryOf(const GstVideoInfo& info)
{
    using cardcommon::ColourMatrix;
    using cardcommon::ColourRange;
    Colorimetry colours;
    switch (info.colorimetry.matrix) {
    case GST_VIDEO_COLOR_MATRIX_BT601:
    case GST_VIDEO_COLOR_MATRIX_FCC: // within a step of Rec. 601 in 8 bits
        colours.matrix = ColourMatrix::Rec601;
        break;
    case GST_VIDEO_COLOR_MATRIX_BT709:
    case GST_VIDEO_COLOR_MATRIX_SMPTE240M: // within a step of Rec. 709 in 8 bits
        colours.matrix = ColourMatrix::Rec709;
        break;
    case GST_VIDEO_COLOR_MATRIX_BT2020:
        colours.matrix = ColourMatrix::Rec2020;
        break;
    default:
        return std::nullopt;
    }
    colours.range =
        info.colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255 ? ColourRange::Full : ColourRange::Video;
    return colours;
}

} // namespace gstreamercards
