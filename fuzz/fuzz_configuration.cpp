// Feeds arbitrary text to the card configuration reader. Besides
// the sanitizers' findings, a result that breaks what the driver relies on
// stops the run: a refusal without a reason, or an accepted configuration
// with a nameless or duplicate card (virtual or pipeline), a pipeline card
// among the virtual ones, a signal the card does not list, a
// number that is not finite, or a picture source without its pictures.

#include "configuration/cardconfiguration.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <set>
#include <string>
#include <unistd.h>

namespace {

std::string baseDirectory;

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "configuration reader: %s\n", what);
        std::abort();
    }
}

bool finite(const cardconfig::CameraMisalignment& camera)
{
    return std::isfinite(camera.zoom) && std::isfinite(camera.roll) && std::isfinite(camera.vertical) &&
           std::isfinite(camera.horizontal) && camera.zoom > 0.0;
}

} // namespace

// The pictures the documented examples name, so that their sources are read
// to the end rather than refused as missing.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char pattern[] = "/tmp/fuzz-configuration-XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    baseDirectory = pattern;
    std::filesystem::create_directories(baseDirectory + "/shots");
    const cv::Mat picture(36, 64, CV_8UC3, cv::Scalar(40, 90, 160));
    for (const char* name : {"shots/left.png", "shots/right.png", "shots/side-by-side.png", "a.png", "b.png"})
        cv::imwrite(baseDirectory + "/" + name, picture);
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(baseDirectory, ignored);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    cardconfig::Configuration configuration;
    cardconfig::ConfigurationError error;
    if (!cardconfig::parseConfiguration(text, baseDirectory, configuration, error)) {
        require(!error.reason.empty(), "a refusal without a reason");
        return 0;
    }
    const cardconfig::RigSettings& rig = configuration.rig;
    require(std::isfinite(rig.interaxial) && std::isfinite(rig.boardDistance) &&
                std::isfinite(rig.convergence) && std::isfinite(rig.fieldOfView) && finite(rig.left) &&
                finite(rig.right),
            "a rig number that is not finite");
    require(rig.boardDistance == 0.0 || rig.boardDistance >= 0.1, "a board nearer than 10 cm");
    require(rig.convergence == 0.0 || rig.convergence >= 0.1, "a convergence nearer than 10 cm");
    std::set<std::string> names;
    for (const cardconfig::CardSettings& card : configuration.cards) {
        require(!card.name.empty(), "a card without a name");
        require(names.insert(card.name).second, "two cards of one name");
        require(!card.modes.empty(), "a card without display modes");
        bool listed = !card.signal;
        for (const cardconfig::DisplayModeInfo* mode : card.modes)
            listed = listed || mode == card.signal;
        require(listed, "a signal the card does not list");
        const cardconfig::SourceSettings& source = card.source;
        require(source.kind != cardconfig::SourceKind::Pipeline, "a pipeline card among the virtual ones");
        if (source.kind == cardconfig::SourceKind::Image || source.kind == cardconfig::SourceKind::Video) {
            const size_t files = source.layout == cardconfig::Layout::Single ? 1 : 2;
            require(source.files.size() == files, "a picture source with the wrong number of files");
            if (source.kind == cardconfig::SourceKind::Image) {
                require(source.images.size() == files, "a picture source without its pictures");
                for (const cv::Mat& image : source.images)
                    require(!image.empty() && image.type() == CV_8UC3, "an empty or odd picture");
            }
        }
    }
    for (const cardconfig::PipelineCardSettings& card : configuration.pipelineCards) {
        require(!card.name.empty() && !card.description.empty(), "a pipeline card without a name or source");
        require(names.insert(card.name).second, "two cards of one name");
        require(!card.modes.empty(), "a card without display modes");
    }
    return 0;
}
