#include "cardconfiguration.h"

#include "configurationtext.h"
#include "videofile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <opencv2/imgcodecs.hpp>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace cardconfig {

using namespace cardcommon;

namespace {

const char* const defaultText = R"yaml(%YAML:1.0
# Two cameras of a stereo rig on two genlocked cards, and both views side by
# side on a third card. The right camera is a little off so that the
# alignment indicators have something to show.
rig:
  right: { zoom: 1.01, roll: 0.3, vertical: 2 }
cards:
  - name: "Virtual Card 1 (Left)"
    genlock: rig
    source: { kind: rig, view: left }
  - name: "Virtual Card 2 (Right)"
    genlock: rig
    source: { kind: rig, view: right }
  - name: "Virtual Card 3 (Side by Side)"
    genlock: rig
    source: { kind: rig, view: sideBySide }
)yaml";

struct TimecodeFormatName
{
    BMDTimecodeFormat code;
    const char* name;
};

constexpr TimecodeFormatName timecodeFormatNames[] = {
    {bmdTimecodeRP188LTC, "RP188 LTC"},     {bmdTimecodeRP188VITC1, "RP188 VITC1"},
    {bmdTimecodeRP188VITC2, "RP188 VITC2"}, {bmdTimecodeVITC, "VITC"},
    {bmdTimecodeVITCField2, "VITC Field2"}, {bmdTimecodeSerial, "Serial"},
};

std::string child(const std::string& path, const std::string& key)
{
    return path.empty() ? key : path + "." + key;
}
std::string item(const std::string& path, size_t index)
{
    return path + "[" + std::to_string(index) + "]";
}

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

const char* const noSuchFile = "no such file";

std::string systemError(int code)
{
    return std::strerror(code);
}

// Why `path` cannot be read as a file; empty for a regular file. Checked
// before opening: opening a FIFO blocks, a device never ends.
std::string fileProblem(const std::string& path)
{
    struct stat info = {};
    if (::stat(path.c_str(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? noSuchFile : "cannot be read: " + systemError(errno);
    if (S_ISDIR(info.st_mode))
        return "is a directory, not a file";
    if (!S_ISREG(info.st_mode))
        return "is not a regular file (a device, FIFO or socket)";
    return {};
}

std::string tooLarge()
{
    return "is too large (more than " + std::to_string(maximumConfigurationBytes / (1024 * 1024)) +
           " MiB); a configuration file has a few kilobytes";
}

// Reads a configuration file whole, up to the size limit.
std::string readWhole(const std::string& path, std::string& content)
{
    std::string problem = fileProblem(path);
    if (!problem.empty())
        return problem;
    // Without blocking, should the file have been swapped for a FIFO since.
    const int file = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (file < 0)
        return errno == ENOENT ? noSuchFile : "cannot be read: " + systemError(errno);
    struct stat info = {};
    if (::fstat(file, &info) != 0 || !S_ISREG(info.st_mode))
        problem = "is not a regular file (a device, FIFO or socket)";
    else if (static_cast<unsigned long long>(info.st_size) > maximumConfigurationBytes)
        problem = tooLarge();
    // Files of /proc tell no size: the limit holds for what is read as well.
    char buffer[65536];
    while (problem.empty()) {
        const ssize_t n = ::read(file, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno != EINTR)
                problem = "cannot be read: " + systemError(errno);
            continue;
        }
        content.append(buffer, static_cast<size_t>(n));
        if (content.size() > maximumConfigurationBytes)
            problem = tooLarge();
    }
    ::close(file);
    if (!problem.empty())
        content.clear();
    return problem;
}

// Walks the nodes of one configuration and keeps the first error.
class Parser
{
public:
    Parser(std::string baseDirectory, ConfigurationError& error)
        : m_baseDirectory(std::move(baseDirectory)), m_error(error)
    {}

    bool configuration(const cv::FileNode& root, Configuration& result)
    {
        if (!root.isMap())
            return fail("", "expected a map with the key \"cards\"");
        if (!keys(root, "", {"rig", "cards"}))
            return false;
        if (!root["rig"].empty() && !rig(root["rig"], "rig", result.rig))
            return false;
        const cv::FileNode cards = root["cards"];
        if (cards.empty() && !cards.isSeq())
            return fail("cards", "missing");
        if (!cards.isSeq())
            return fail("cards", "expected a list of cards");
        std::set<std::string> names;
        std::map<std::string, size_t> shown; // name as the program shows it -> card
        size_t i = 0;
        // Indexing a FileNode list walks it from the start: iterate it once instead.
        for (auto it = cards.begin(); it != cards.end(); ++it, ++i) {
            CardSettings card;
            if (!this->card(*it, item("cards", i), card))
                return false;
            if (!names.insert(card.name).second)
                return fail(item("cards", i) + ".name", "another card has the name \"" + card.name + "\"");
            // Virtual cards are marked as such beside real ones: "Bars" shows as "Bars (virtual)".
            const std::string shownName =
                card.source.kind == SourceKind::Pipeline ? card.name : markedVirtualName(card.name);
            const auto [other, added] = shown.emplace(shownName, i);
            if (!added)
                return fail(item("cards", i) + ".name", "shows as \"" + shownName + "\", as " +
                                                            item("cards", other->second) +
                                                            " does: give it a name of its own");
            result.cards.push_back(std::move(card));
        }
        if (!sameStartPerGroup(result.cards))
            return false;
        // The pipeline cards are the GStreamer driver's; one not plugged in is not made at all.
        std::vector<CardSettings> virtualCards;
        for (CardSettings& card : result.cards)
            if (card.source.kind != SourceKind::Pipeline)
                virtualCards.push_back(std::move(card));
            else if (card.plugged)
                result.pipelineCards.push_back(PipelineCardSettings{
                    card.name, card.source.description, card.modes, card.formatDetection, card.timecodes});
        result.cards = std::move(virtualCards);
        return true;
    }

private:
    // Cards of one genlock group share one clock, so one start timecode.
    bool sameStartPerGroup(const std::vector<CardSettings>& cards)
    {
        std::map<std::string, size_t> firstStart; // genlock group -> first card with a start
        for (size_t i = 0; i < cards.size(); ++i) {
            const CardSettings& b = cards[i];
            if (b.genlock.empty() || !b.hasTimecodeStart)
                continue;
            const auto [found, added] = firstStart.emplace(b.genlock, i);
            const size_t j = found->second;
            const CardSettings& a = cards[j];
            if (!added && (a.timecodeStart.seconds != b.timecodeStart.seconds ||
                           a.timecodeStart.frames != b.timecodeStart.frames))
                return fail(item("cards", i) + ".timecodeStart", "differs from that of " + item("cards", j) +
                                                                     " in genlock group \"" + b.genlock +
                                                                     "\"");
        }
        return true;
    }

    bool fail(const std::string& key, const std::string& reason)
    {
        m_error = ConfigurationError{key, reason};
        return false;
    }

    // A map whose keys are all known and none repeated.
    bool keys(const cv::FileNode& node, const std::string& path, std::initializer_list<const char*> known)
    {
        if (!node.isMap())
            return fail(path, "expected a map");
        std::set<std::string> seen;
        for (const std::string& key : node.keys()) {
            if (std::none_of(known.begin(), known.end(), [&](const char* k) { return key == k; })) {
                std::string list;
                for (const char* k : known)
                    list += std::string(list.empty() ? "" : ", ") + k;
                return fail(child(path, key), "unknown key (known here: " + list + ")");
            }
            if (!seen.insert(key).second)
                return fail(child(path, key), "given twice");
        }
        return true;
    }

    bool text(const cv::FileNode& node, const std::string& path, std::string& value)
    {
        if (!node.isString())
            return fail(path, "expected text");
        value = static_cast<std::string>(node);
        return true;
    }

    // A number from minimum to maximum, or 0 where 0 stands for a default.
    // Written as "not within" so that NaN fails as well.
    bool number(const cv::FileNode& node, const std::string& path, double& value, double minimum,
                double maximum, bool zeroForDefault = false)
    {
        if (!node.isInt() && !node.isReal())
            return fail(path, "expected a number");
        const double read =
            node.isInt() ? static_cast<double>(static_cast<int>(node)) : static_cast<double>(node);
        if (!std::isfinite(read))
            return fail(path, "expected a finite number");
        if (!(read >= minimum && read <= maximum) && !(zeroForDefault && read == 0.0)) {
            std::ostringstream range;
            range << "out of range (" << minimum << " to " << maximum;
            if (zeroForDefault)
                range << ", or 0 for the default";
            range << ")";
            return fail(path, range.str());
        }
        value = read;
        return true;
    }

    bool flag(const cv::FileNode& node, const std::string& path, bool& value)
    {
        if (node.isInt() && (static_cast<int>(node) == 0 || static_cast<int>(node) == 1)) {
            value = static_cast<int>(node) == 1;
            return true;
        }
        if (node.isString()) {
            const std::string word = static_cast<std::string>(node);
            if (word == "true" || word == "yes" || word == "on")
                return value = true, true;
            if (word == "false" || word == "no" || word == "off")
                return value = false, true;
        }
        return fail(path, "expected true or false");
    }

    // One of the words, as its index.
    bool choice(const cv::FileNode& node, const std::string& path, std::initializer_list<const char*> words,
                int& index)
    {
        std::string word;
        if (!text(node, path, word))
            return false;
        index = 0;
        std::string list;
        for (const char* w : words) {
            if (word == w)
                return true;
            ++index;
            list += std::string(list.empty() ? "" : ", ") + w;
        }
        return fail(path, "\"" + word + "\" is none of " + list);
    }

    bool displayMode(const cv::FileNode& node, const std::string& path, const DisplayModeInfo*& mode)
    {
        std::string word;
        if (!text(node, path, word))
            return false;
        mode = findDisplayMode(word);
        if (!mode)
            return fail(path, "unknown display mode \"" + word +
                                  "\" (a code such as Hp25 or a name such as HD 1080p25)");
        return true;
    }

    bool rig(const cv::FileNode& node, const std::string& path, RigSettings& rig)
    {
        if (!keys(node, path, {"interaxial", "boardDistance", "convergence", "fieldOfView", "left", "right"}))
            return false;
        // A board or a convergence nearer than 10 cm leaves the scene without a
        // sensible size; 0 picks the default distance.
        const struct
        {
            const char* key;
            double* value;
            double minimum, maximum;
            bool zeroForDefault;
        } numbers[] = {
            {"interaxial", &rig.interaxial, 0.0, 1000.0, false},
            {"boardDistance", &rig.boardDistance, 0.1, 100.0, true},
            {"convergence", &rig.convergence, 0.1, 1000.0, true},
            {"fieldOfView", &rig.fieldOfView, 5.0, 150.0, false},
        };
        for (const auto& n : numbers)
            if (!node[n.key].empty() &&
                !number(node[n.key], child(path, n.key), *n.value, n.minimum, n.maximum, n.zeroForDefault))
                return false;
        return (node["left"].empty() || camera(node["left"], child(path, "left"), rig.left)) &&
               (node["right"].empty() || camera(node["right"], child(path, "right"), rig.right));
    }

    bool camera(const cv::FileNode& node, const std::string& path, CameraMisalignment& camera)
    {
        if (!keys(node, path, {"zoom", "roll", "vertical", "horizontal"}))
            return false;
        const struct
        {
            const char* key;
            double* value;
            double minimum, maximum;
        } numbers[] = {
            {"zoom", &camera.zoom, 0.1, 10.0},
            {"roll", &camera.roll, -180.0, 180.0},
            {"vertical", &camera.vertical, -10000.0, 10000.0},
            {"horizontal", &camera.horizontal, -10000.0, 10000.0},
        };
        for (const auto& n : numbers)
            if (!node[n.key].empty() &&
                !number(node[n.key], child(path, n.key), *n.value, n.minimum, n.maximum))
                return false;
        return true;
    }

    bool card(const cv::FileNode& node, const std::string& path, CardSettings& card)
    {
        if (!keys(node, path,
                  {"name", "plugged", "signal", "modes", "formatDetection", "genlock", "timecodes",
                   "userBits", "timecodeStart", "burnInTimecode", "faults", "source"}))
            return false;
        if (node["name"].empty())
            return fail(child(path, "name"), "missing");
        if (!text(node["name"], child(path, "name"), card.name))
            return false;
        if (card.name.empty())
            return fail(child(path, "name"), "empty");
        if (!node["plugged"].empty() && !flag(node["plugged"], child(path, "plugged"), card.plugged))
            return false;
        const cv::FileNode kind = node["source"].isMap() ? node["source"]["kind"] : cv::FileNode();
        const bool pipeline = kind.isString() && static_cast<std::string>(kind) == "pipeline";
        if (!modes(node["modes"], child(path, "modes"), card.modes) ||
            (!pipeline && !signal(node, path, card)))
            return false;
        if (!node["formatDetection"].empty() &&
            !flag(node["formatDetection"], child(path, "formatDetection"), card.formatDetection))
            return false;
        if (!node["genlock"].empty() && !text(node["genlock"], child(path, "genlock"), card.genlock))
            return false;
        if (!timecodes(node["timecodes"], child(path, "timecodes"), card.timecodes) ||
            !userBits(node["userBits"], child(path, "userBits"), card.userBits))
            return false;
        if (!node["timecodeStart"].empty()) {
            card.hasTimecodeStart = true;
            if (!timecodeStart(node["timecodeStart"], child(path, "timecodeStart"), card.timecodeStart))
                return false;
        }
        if (!faults(node["faults"], child(path, "faults"), card.faults))
            return false;
        if (node["source"].empty())
            return fail(child(path, "source"), "missing");
        if (!source(node["source"], child(path, "source"), card.source))
            return false;
        if (card.source.kind == SourceKind::Pipeline) {
            // The picture, its clock and its timecode come from the pipeline itself.
            for (const char* key :
                 {"signal", "genlock", "userBits", "timecodeStart", "burnInTimecode", "faults"})
                if (!node[key].empty())
                    return fail(child(path, key), "a pipeline card takes its signal from the pipeline");
            card.burnInTimecode = false;
            return true;
        }
        // A burnt-in timecode helps on the synthetic rig; recorded pictures are shown untouched.
        card.burnInTimecode = card.source.kind == SourceKind::Rig;
        return node["burnInTimecode"].empty() ||
               flag(node["burnInTimecode"], child(path, "burnInTimecode"), card.burnInTimecode);
    }

    bool modes(const cv::FileNode& node, const std::string& path, std::vector<const DisplayModeInfo*>& modes)
    {
        if (node.empty() && !node.isSeq()) {
            for (const DisplayModeInfo& mode : allDisplayModes())
                modes.push_back(&mode);
            return true;
        }
        if (!node.isSeq() || node.size() == 0)
            return fail(path, "expected a list of display modes");
        size_t i = 0;
        for (auto it = node.begin(); it != node.end(); ++it, ++i) {
            const DisplayModeInfo* mode = nullptr;
            if (!displayMode(*it, item(path, i), mode))
                return false;
            if (std::find(modes.begin(), modes.end(), mode) != modes.end())
                return fail(item(path, i), "listed twice");
            modes.push_back(mode);
        }
        // The cards list their modes in one fixed order, whatever the order given.
        std::sort(modes.begin(), modes.end());
        return true;
    }

    bool signal(const cv::FileNode& node, const std::string& path, CardSettings& card)
    {
        const std::string key = child(path, "signal");
        if (node["signal"].empty()) {
            card.signal = findDisplayMode(bmdModeHD1080p25);
        } else if (node["signal"].isString() && static_cast<std::string>(node["signal"]) == "none") {
            card.signal = nullptr;
            return true;
        } else if (!displayMode(node["signal"], key, card.signal)) {
            return false;
        }
        if (std::find(card.modes.begin(), card.modes.end(), card.signal) == card.modes.end())
            return fail(key, std::string("the card does not list ") + card.signal->name + " among its modes");
        return true;
    }

    bool timecodes(const cv::FileNode& node, const std::string& path, std::vector<BMDTimecodeFormat>& formats)
    {
        if (node.empty() && !node.isSeq()) {
            formats = {bmdTimecodeRP188LTC};
            return true;
        }
        if (!node.isSeq())
            return fail(path, "expected a list of timecode formats");
        size_t i = 0;
        for (auto it = node.begin(); it != node.end(); ++it, ++i) {
            std::string word;
            if (!text(*it, item(path, i), word))
                return false;
            const auto* found = std::find_if(
                std::begin(timecodeFormatNames), std::end(timecodeFormatNames),
                [&](const TimecodeFormatName& f) { return word == f.name || word == fourCCText(f.code); });
            if (found == std::end(timecodeFormatNames))
                return fail(item(path, i), "unknown timecode format \"" + word +
                                               "\" (rplt, rpv1, rp12, vitc, vit2 or seri)");
            formats.push_back(found->code);
        }
        return true;
    }

    bool userBits(const cv::FileNode& node, const std::string& path, BMDTimecodeUserBits& bits)
    {
        if (node.empty())
            return true;
        if (node.isInt() && static_cast<int>(node) >= 0) {
            bits = static_cast<BMDTimecodeUserBits>(static_cast<int>(node));
            return true;
        }
        if (node.isString()) {
            const std::string word = static_cast<std::string>(node);
            char* end = nullptr;
            const unsigned long long value = std::strtoull(word.c_str(), &end, 0);
            if (!word.empty() && *end == '\0' && value <= 0xFFFFFFFFull) {
                bits = static_cast<BMDTimecodeUserBits>(value);
                return true;
            }
        }
        return fail(path, "expected a 32-bit unsigned number (e.g. 0x12345678)");
    }

    bool timecodeStart(const cv::FileNode& node, const std::string& path, TimecodeStart& start)
    {
        std::string word;
        if (!text(node, path, word))
            return false;
        // Four fields of one or two digits: no sign, no overflow.
        int fields[4] = {};
        size_t at = 0;
        bool good = true;
        for (int i = 0; i < 4 && good; ++i) {
            size_t digits = 0;
            while (at < word.size() && digits < 3 && word[at] >= '0' && word[at] <= '9')
                fields[i] = fields[i] * 10 + (word[at++] - '0'), ++digits;
            good = digits >= 1 && digits <= 2 &&
                   (i == 3 ? at == word.size() : at < word.size() && word[at++] == ':');
        }
        const auto [h, m, s, f] = fields;
        if (!good || h > 23 || m > 59 || s > 59 || f > 59)
            return fail(path, "expected hh:mm:ss:ff, e.g. \"10:00:00:00\"");
        start = TimecodeStart{h * 3600 + m * 60 + s, f};
        return true;
    }

    bool faults(const cv::FileNode& node, const std::string& path, Faults& faults)
    {
        if (node.empty() && !node.isSeq())
            return true;
        if (!node.isSeq())
            return fail(path, "expected a list of faults");
        size_t i = 0;
        for (auto it = node.begin(); it != node.end(); ++it, ++i) {
            int index = 0;
            if (!choice(
                    *it, item(path, i),
                    {"noInput", "noOutput", "noDisplayName", "enableVideoInputFails", "startStreamsFails"},
                    index))
                return false;
            bool* flags[] = {&faults.noInput, &faults.noOutput, &faults.noDisplayName,
                             &faults.enableVideoInputFails, &faults.startStreamsFails};
            *flags[index] = true;
        }
        return true;
    }

    bool source(const cv::FileNode& node, const std::string& path, SourceSettings& source)
    {
        if (!node.isMap())
            return fail(path, "expected a map with the key \"kind\"");
        if (node["kind"].empty())
            return fail(child(path, "kind"), "missing");
        int kind = 0;
        if (!choice(node["kind"], child(path, "kind"), {"rig", "image", "video", "bars", "pipeline"}, kind))
            return false;
        source.kind = static_cast<SourceKind>(kind);
        if (source.kind == SourceKind::Bars)
            return keys(node, path, {"kind"});
        if (source.kind == SourceKind::Pipeline) {
            if (!keys(node, path, {"kind", "description"}))
                return false;
            if (node["description"].empty())
                return fail(child(path, "description"), "missing");
            if (!text(node["description"], child(path, "description"), source.description))
                return false;
            if (trimmed(source.description).empty())
                return fail(child(path, "description"), "empty");
            return true;
        }
        if (source.kind == SourceKind::Rig) {
            if (!keys(node, path, {"kind", "view"}))
                return false;
            int view = 0;
            if (!node["view"].empty() && !choice(node["view"], child(path, "view"),
                                                 {"left", "right", "sideBySide", "underOver"}, view))
                return false;
            source.view = static_cast<RigView>(view);
            return true;
        }
        if (!keys(node, path, {"kind", "file", "left", "right", "layout", "scaling"}) ||
            !files(node, path, source))
            return false;
        int scaling = 0;
        if (!node["scaling"].empty() &&
            !choice(node["scaling"], child(path, "scaling"), {"fit", "stretch"}, scaling))
            return false;
        source.scaling = static_cast<Scaling>(scaling);
        for (size_t i = 0; i < source.files.size(); ++i) {
            const std::string key = source.layout == Layout::Single ? child(path, "file")
                                                                    : child(path, i == 0 ? "left" : "right");
            if (!readable(source, source.files[i], key))
                return false;
        }
        return true;
    }

    // One picture ("file"), or a left and a right one in a layout.
    bool files(const cv::FileNode& node, const std::string& path, SourceSettings& source)
    {
        const bool single = !node["file"].empty();
        const bool pair = !node["left"].empty() || !node["right"].empty();
        if (single == pair)
            return fail(path, "expected either \"file\" or both \"left\" and \"right\"");
        if (single) {
            if (!node["layout"].empty())
                return fail(child(path, "layout"), "only for a left and a right file");
            std::string file;
            if (!text(node["file"], child(path, "file"), file))
                return false;
            source.files = {resolved(file)};
            return true;
        }
        for (const char* side : {"left", "right"}) {
            std::string file;
            if (node[side].empty())
                return fail(child(path, side), "missing");
            if (!text(node[side], child(path, side), file))
                return false;
            source.files.push_back(resolved(file));
        }
        int layout = 0;
        if (!node["layout"].empty() &&
            !choice(node["layout"], child(path, "layout"), {"sideBySide", "underOver"}, layout))
            return false;
        source.layout = layout == 0 ? Layout::SideBySide : Layout::UnderOver;
        return true;
    }

    bool readable(SourceSettings& source, const std::string& file, const std::string& key)
    {
        const std::string problem = fileProblem(file);
        if (problem == noSuchFile)
            return fail(key, "no such file \"" + file + "\"");
        if (!problem.empty())
            return fail(key, "\"" + file + "\" " + problem);
        // OpenCV throws for pictures it refuses to decode (a header claiming
        // more pixels than it allows, a broken container).
        try {
            if (source.kind == SourceKind::Image) {
                cv::Mat image = cv::imread(file, cv::IMREAD_COLOR);
                if (image.empty())
                    return fail(key, "cannot read the image \"" + file + "\"");
                source.images.push_back(image);
                return true;
            }
            cv::VideoCapture video;
            cv::Mat frame;
            if (!openVideo(video, file) || !video.read(frame) || frame.empty())
                return fail(key, "cannot read the video \"" + file + "\"");
            if (!video.read(frame) || frame.empty())
                return fail(key,
                            "\"" + file + "\" has a single frame: a still picture is a source of kind image");
            // The card loops the video, so it must get back to its start.
            if (!video.set(cv::CAP_PROP_POS_FRAMES, 0) || !video.read(frame) || frame.empty())
                return fail(key,
                            "the video \"" + file + "\" cannot seek back to its start, so it cannot loop");
            return true;
        } catch (const cv::Exception& e) {
            return fail(key, std::string("cannot read the ") +
                                 (source.kind == SourceKind::Image ? "image" : "video") + " \"" + file +
                                 "\": " + e.err);
        } catch (const std::exception& e) { // out of memory for a picture of many pixels
            return fail(key, std::string("cannot read the ") +
                                 (source.kind == SourceKind::Image ? "image" : "video") + " \"" + file +
                                 "\": " + e.what());
        }
    }

    std::string resolved(const std::string& file) const
    {
        if (file.empty() || file[0] == '/' || m_baseDirectory.empty())
            return file;
        return m_baseDirectory + "/" + file;
    }

    std::string m_baseDirectory;
    ConfigurationError& m_error;
};

// OpenCV's parser tells where it stopped as "(line): what" at the end of the
// exception's function name.
std::string parserMessage(const cv::Exception& e, int addedLines)
{
    const std::string& where = e.func;
    for (size_t open = where.rfind('('); open != std::string::npos;
         open = open == 0 ? std::string::npos : where.rfind('(', open - 1)) {
        const size_t close = where.find("): ", open);
        if (close == std::string::npos || close == open + 1 ||
            where.find_first_not_of("0123456789", open + 1) != close)
            continue;
        const int line = std::stoi(where.substr(open + 1, close - open - 1)) - addedLines;
        return "line " + std::to_string(line) + ": " + where.substr(close + 3);
    }
    return e.err;
}

} // namespace

std::string markedVirtualName(const std::string& name)
{
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return lower.find("virtual") == std::string::npos ? name + " (virtual)" : name;
}

const char* defaultConfigurationText()
{
    return defaultText;
}

bool parseConfiguration(const std::string& text, const std::string& baseDirectory,
                        Configuration& configuration, ConfigurationError& error)
{
    configuration = Configuration{};
    std::string content = trimmed(text);
    if (content == "none") {
        configuration.installed = false;
        return true;
    }
    if (content.rfind("<", 0) == 0) {
        error = ConfigurationError{"", "XML is not read; write the configuration in YAML or JSON"};
        return false;
    }
    // FileStorage wants YAML to announce itself; JSON needs nothing.
    int addedLines = 0;
    const bool json = content.rfind("{", 0) == 0;
    if (content.rfind("%YAML", 0) != 0 && !json) {
        content = "%YAML:1.0\n" + content;
        addedLines = 1;
    }
    if (!checkConfigurationText(content, json, addedLines, error))
        return false;
    cv::FileStorage storage;
    try {
        storage.open(content, cv::FileStorage::READ | cv::FileStorage::MEMORY);
    } catch (const cv::Exception& e) {
        error = ConfigurationError{"", "not valid YAML or JSON: " + parserMessage(e, addedLines)};
        return false;
    } catch (const std::exception&) {
        // The parser fails in other ways too on text it does not expect.
        error = ConfigurationError{"", "not valid YAML or JSON"};
        return false;
    }
    if (!storage.isOpened()) {
        error = ConfigurationError{"", "not valid YAML or JSON"};
        return false;
    }
    try {
        return Parser(baseDirectory, error).configuration(storage.root(), configuration);
    } catch (const std::exception& e) {
        // Reading a node the parser left in a shape the reader did not expect.
        error = ConfigurationError{"", std::string("not valid YAML or JSON: ") + e.what()};
        return false;
    }
}

bool loadConfigurationFile(const std::string& path, Configuration& configuration, ConfigurationError& error)
{
    configuration = Configuration{};
    std::string content;
    const std::string problem = readWhole(path, content);
    if (!problem.empty()) {
        error = ConfigurationError{"", problem};
        return false;
    }
    const std::string directory = std::filesystem::path(path).parent_path().string();
    return parseConfiguration(content, directory.empty() ? "." : directory, configuration, error);
}

} // namespace cardconfig
