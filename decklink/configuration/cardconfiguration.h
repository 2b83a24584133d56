#pragma once

// The card configuration: what the virtual cards are and which pipeline cards
// the GStreamer cards run, read from a configuration file (OpenCV FileStorage
// YAML or JSON) or from the built-in default. Descriptions only: each driver
// builds its own cards from them. docs/cards.md describes every key.

#include "common/displaymodes.h"
#include "common/pipelinecards.h"

#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace cardconfig {

using cardcommon::DisplayModeInfo;
using cardcommon::PipelineCardSettings;

// A timecode to start from.
struct TimecodeStart
{
    int64_t seconds = 0; // since midnight
    int frames = 0;      // kept below the frame rate of the mode
};

// How far one camera of the rig is off: zoom as a factor of the focal length,
// roll in degrees (positive turns the picture clockwise), offsets in pixels of
// the full picture (positive moves it right and down).
struct CameraMisalignment
{
    double zoom = 1.0;
    double roll = 0.0;
    double vertical = 0.0;
    double horizontal = 0.0;
};

struct RigSettings
{
    double interaxial = 30.0;   // mm between the two cameras
    double boardDistance = 0.0; // m; 0: where the board fills 40% of the picture width
    double convergence = 0.0;   // m where the views meet; 0: at the board
    double fieldOfView = 40.0;  // horizontal, degrees
    CameraMisalignment left, right;
};

enum class RigView
{
    Left,
    Right,
    SideBySide,
    UnderOver,
};

// How the views of a signal are arranged.
enum class Layout
{
    Single,
    SideBySide,
    UnderOver,
};

enum class Scaling
{
    Fit,     // whole picture, black bars where the aspect differs
    Stretch, // fills the area
};

enum class SourceKind
{
    Rig,
    Image,
    Video,
    Bars,     // 75% colour bars, as a camera sends them
    Pipeline, // a GStreamer pipeline, run by the GStreamer driver
};

struct SourceSettings
{
    SourceKind kind = SourceKind::Rig;
    RigView view = RigView::Left;   // rig
    Layout layout = Layout::Single; // image, video: one file, or left and right files
    std::vector<std::string> files; // image, video: absolute paths, left first
    std::vector<cv::Mat> images;    // image: the pictures read from the files
    Scaling scaling = Scaling::Fit;
    std::string description; // pipeline: gst-launch syntax
};

struct Faults
{
    bool noInput = false;
    bool noOutput = false;
    bool noDisplayName = false;
    bool enableVideoInputFails = false;
    bool startStreamsFails = false;
};

struct CardSettings
{
    std::string name;
    bool plugged = true;
    const DisplayModeInfo* signal = nullptr; // null: no signal on the input
    std::vector<const DisplayModeInfo*> modes;
    bool formatDetection = true;
    std::string genlock; // empty: the card runs free
    std::vector<BMDTimecodeFormat> timecodes;
    BMDTimecodeUserBits userBits = 0;
    bool hasTimecodeStart = false;
    TimecodeStart timecodeStart;
    bool burnInTimecode = true;
    Faults faults;
    SourceSettings source;
};

struct Configuration
{
    bool installed = true; // false: "none", a machine without the virtual cards
    RigSettings rig;
    std::vector<CardSettings> cards;                 // the virtual cards, in the file's order
    std::vector<PipelineCardSettings> pipelineCards; // the pipeline cards plugged in, in the file's order
};

struct ConfigurationError
{
    std::string key; // e.g. "cards[1].source.kind"; empty for the text as a whole
    std::string reason;
};

// Limits that keep a hostile file from exhausting memory or the stack.
constexpr unsigned long long maximumConfigurationBytes = 4ull * 1024 * 1024;
constexpr int maximumNesting = 16;

// A virtual card's name as shown beside real inputs: with " (virtual)" unless
// it says "virtual" already.
std::string markedVirtualName(const std::string& name);

// The cards when nothing is configured.
const char* defaultConfigurationText();

// Reads a configuration from YAML or JSON text, or "none". Relative file names
// are taken from baseDirectory.
bool parseConfiguration(const std::string& text, const std::string& baseDirectory,
                        Configuration& configuration, ConfigurationError& error);

// Reads the configuration file at path: a regular file of at most
// maximumConfigurationBytes.
bool loadConfigurationFile(const std::string& path, Configuration& configuration, ConfigurationError& error);

} // namespace cardconfig
