#include "capture/decklinkcodenames.h"

#include <QHash>
#include <QMutex>
#include <decklink/DeckLinkAPI.h>

namespace {

struct CodeName
{
    uint32_t code;
    const char* text;
};

struct ModeName
{
    uint32_t code;
    const char* text;
    double framesPerSecond; // frames, not fields, for the interlaced modes
};

constexpr CodeName pixelFormats[] = {
    {bmdFormat8BitARGB, "ARGB"},
    {bmdFormat8BitYUV, "8-bit YUV (UYVY)"},
    {bmdFormat8BitBGRA, "BGRA"},
    {bmdFormat10BitRGBX, "10-bit RGBX (R10b)"},
    {bmdFormat10BitRGBXLE, "10-bit RGBXLE (R10I)"},
    {bmdFormat10BitRGB, "10-bit RGB (r210)"},
    {bmdFormat10BitYUV, "10-bit YUV (v210)"},
};

constexpr ModeName displayModes[] = {
    {bmdModeNTSC, "NTSC", 30000.0 / 1001},
    {bmdModeNTSC2398, "NTSC 23.98", 24000.0 / 1001},
    {bmdModeNTSCp, "NTSCp", 60000.0 / 1001},
    {bmdModePAL, "PAL", 25},
    {bmdModePALp, "PALp", 50},
    {bmdModeHD720p50, "HD 720p50", 50},
    {bmdModeHD720p5994, "HD 720p5994", 60000.0 / 1001},
    {bmdModeHD720p60, "HD 720p60", 60},
    {bmdModeHD1080p2398, "HD 1080p23.98", 24000.0 / 1001},
    {bmdModeHD1080p24, "HD 1080p24", 24},
    {bmdModeHD1080p25, "HD 1080p25", 25},
    {bmdModeHD1080p2997, "HD 1080p29.97", 30000.0 / 1001},
    {bmdModeHD1080p30, "HD 1080p30", 30},
    {bmdModeHD1080i50, "HD 1080i50", 25},
    {bmdModeHD1080i5994, "HD 1080i59.94", 30000.0 / 1001},
    {bmdModeHD1080i6000, "HD 1080i60", 30},
    {bmdModeHD1080p50, "HD 1080p50", 50},
    {bmdModeHD1080p5994, "HD 1080p59.94", 60000.0 / 1001},
    {bmdModeHD1080p6000, "HD 1080p60", 60},
    {bmdMode2k2398, "2K 23.98", 24000.0 / 1001},
    {bmdMode2k24, "2K 24", 24},
    {bmdMode2k25, "2K 25", 25},
    {bmdMode2kDCI2398, "2KDCI 23.98", 24000.0 / 1001},
    {bmdMode2kDCI24, "2KDCI 24", 24},
    {bmdMode2kDCI25, "2KDCI 25", 25},
    {bmdMode4K2160p2398, "4K 2160p23.98", 24000.0 / 1001},
    {bmdMode4K2160p24, "4K 2160p24", 24},
    {bmdMode4K2160p25, "4K 2160p25", 25},
    {bmdMode4K2160p2997, "4K 2160p29.97", 30000.0 / 1001},
    {bmdMode4K2160p30, "4K 2160p30", 30},
    {bmdMode4kDCI2398, "4KDCI 23.98", 24000.0 / 1001},
    {bmdMode4kDCI24, "4KDCI 24", 24},
    {bmdMode4kDCI25, "4KDCI 25", 25},
};

constexpr CodeName timecodeFormats[] = {
    {bmdTimecodeRP188LTC, "RP188 LTC"},
    {bmdTimecodeRP188VITC1, "RP188 VITC1"},
    {bmdTimecodeRP188VITC2, "RP188 VITC2"},
    {bmdTimecodeSerial, "Serial"},
    {bmdTimecodeVITC, "VITC"},
    {bmdTimecodeVITCField2, "VITC Field2"},
};

const QString unknown = QStringLiteral("Unknown");

template <typename Entry, size_t N> QString lookUp(const Entry (&table)[N], uint32_t code)
{
    for (const Entry& entry : table)
        if (entry.code == code)
            return QString::fromLatin1(entry.text);
    return unknown;
}

struct MadeUpMode
{
    QString name;
    double framesPerSecond = 0;
};

QMutex madeUpModesMutex;
QHash<uint32_t, MadeUpMode> madeUpModes;

} // namespace

QString pixelFormatToString(uint32_t code)
{
    return lookUp(pixelFormats, code);
}
QString displayModeToString(uint32_t code)
{
    const QString name = lookUp(displayModes, code);
    if (name != unknown)
        return name;
    const QMutexLocker lock(&madeUpModesMutex);
    const auto madeUp = madeUpModes.constFind(code);
    return madeUp == madeUpModes.constEnd() ? name : madeUp->name;
}

double displayModeFrameRate(uint32_t code)
{
    for (const ModeName& entry : displayModes)
        if (entry.code == code)
            return entry.framesPerSecond;
    const QMutexLocker lock(&madeUpModesMutex);
    return madeUpModes.value(code).framesPerSecond;
}

void rememberDisplayMode(uint32_t code, const QString& name, double framesPerSecond)
{
    const QMutexLocker lock(&madeUpModesMutex);
    madeUpModes.insert(code, {name, framesPerSecond > 0 ? framesPerSecond : 0});
}
QString timecodeFormatToString(uint32_t code)
{
    return lookUp(timecodeFormats, code);
}
