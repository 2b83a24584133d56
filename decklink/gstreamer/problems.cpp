#include "problems.h"

#include <algorithm>
#include <decklink/gstreamercards.h>
#include <vector>

namespace gstreamercards {

namespace {

struct ElementPackage
{
    const char* element;
    const char* package;
};

// Elements a card is commonly made of, and the Debian package that has each.
constexpr ElementPackage elementPackages[] = {
    {"videotestsrc", "gstreamer1.0-plugins-base"},
    {"videoconvert", "gstreamer1.0-plugins-base"},
    {"videoscale", "gstreamer1.0-plugins-base"},
    {"videorate", "gstreamer1.0-plugins-base"},
    {"appsink", "gstreamer1.0-plugins-base"},
    {"decodebin", "gstreamer1.0-plugins-base"},
    {"uridecodebin", "gstreamer1.0-plugins-base"},
    {"playbin", "gstreamer1.0-plugins-base"},
    {"tcpclientsrc", "gstreamer1.0-plugins-base"},
    {"theoradec", "gstreamer1.0-plugins-base"},
    {"v4l2src", "gstreamer1.0-plugins-good"},
    {"rtspsrc", "gstreamer1.0-plugins-good"},
    {"udpsrc", "gstreamer1.0-plugins-good"},
    {"souphttpsrc", "gstreamer1.0-plugins-good"},
    {"rtph264depay", "gstreamer1.0-plugins-good"},
    {"rtpjitterbuffer", "gstreamer1.0-plugins-good"},
    {"jpegdec", "gstreamer1.0-plugins-good"},
    {"qtdemux", "gstreamer1.0-plugins-good"},
    {"matroskademux", "gstreamer1.0-plugins-good"},
    {"deinterlace", "gstreamer1.0-plugins-good"},
    {"videoflip", "gstreamer1.0-plugins-good"},
    {"decklinkvideosrc", "gstreamer1.0-plugins-bad"},
    {"timecodestamper", "gstreamer1.0-plugins-bad"},
    {"srtsrc", "gstreamer1.0-plugins-bad"},
    {"h264parse", "gstreamer1.0-plugins-bad"},
    {"h265parse", "gstreamer1.0-plugins-bad"},
    {"avdec_h264", "gstreamer1.0-libav"},
    {"avdec_h265", "gstreamer1.0-libav"},
};

bool isSink(GstElement* element)
{
    GstElementFactory* factory = gst_element_get_factory(element);
    const char* klass =
        factory ? gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS) : nullptr;
    return !GST_IS_PIPELINE(element) && (GST_OBJECT_FLAG_IS_SET(element, GST_ELEMENT_FLAG_SINK) ||
                                         (klass && std::string(klass).find("Sink") != std::string::npos));
}

// "factory", or "factory" (name) where the description named the element.
std::string elementWords(GstElement* element)
{
    GstElementFactory* factory = gst_element_get_factory(element);
    const std::string type = factory ? GST_OBJECT_NAME(factory) : G_OBJECT_TYPE_NAME(element);
    const std::string name = GST_OBJECT_NAME(element);
    // Unnamed elements are called after their factory and a number.
    const bool named =
        name.rfind(type, 0) != 0 || name.find_first_not_of("0123456789", type.size()) != std::string::npos;
    return "\"" + type + "\"" + (named ? " (" + name + ")" : "");
}

// The sink elements in `element`: itself, or those in a bin, in the order of the description; the
// insides of a sink (a bin such as autovideosink) are its own.
void collectSinks(GstElement* element, std::vector<std::string>& sinks)
{
    if (isSink(element)) {
        sinks.push_back(elementWords(element));
        return;
    }
    if (!GST_IS_BIN(element))
        return;
    std::vector<GstElement*> children;
    GstIterator* iterator = gst_bin_iterate_elements(GST_BIN(element));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(iterator, &item) == GST_ITERATOR_OK) {
        children.push_back(GST_ELEMENT(g_value_get_object(&item))); // the bin keeps it
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(iterator);
    // A bin lists the element added last first.
    for (auto child = children.rbegin(); child != children.rend(); ++child)
        collectSinks(*child, sinks);
}

} // namespace

std::string withPackageHint(const std::string& text, const std::vector<std::string>& missingElements)
{
    std::string result = text;
    for (const std::string& element : missingElements) {
        const auto* found = std::find_if(std::begin(elementPackages), std::end(elementPackages),
                                         [&](const ElementPackage& e) { return element == e.element; });
        if (found != std::end(elementPackages))
            result += std::string("; install the Debian package ") + found->package + " (it has \"" +
                      element + "\")";
        else
            result += "; \"" + element +
                      "\" is in none of the GStreamer plugin packages installed: look for it with "
                      "\"apt-file search " +
                      element + "\" or in gstreamer1.0-plugins-ugly and gstreamer1.0-libav";
    }
    return result;
}

std::string missingElementHints(GstParseContext* context)
{
    // The parser also names an element that is there but refused a property value: only elements
    // without a factory are missing.
    std::vector<std::string> missing;
    if (gchar** names = gst_parse_context_get_missing_elements(context)) {
        for (gchar** name = names; *name; ++name)
            if (GstElementFactory* factory = gst_element_factory_find(*name))
                gst_object_unref(factory);
            else
                missing.emplace_back(*name);
        g_strfreev(names);
    }
    return withPackageHint("", missing);
}

std::string descriptionProblem(const std::string& description)
{
    // Parsed as the card's pipeline parses it, with an element after it, so that caps at its end filter;
    // problems are not fatal to the parse, so that a sink is named even where it breaks a link.
    const std::string parsedText = description + " ! identity";
    GError* error = nullptr;
    GstParseContext* context = gst_parse_context_new();
    GstElement* parsed = gst_parse_launch_full(parsedText.c_str(), context, GST_PARSE_FLAG_NONE, &error);
    std::string problem;
    std::vector<std::string> sinks;
    if (parsed)
        collectSinks(parsed, sinks);
    if (!sinks.empty()) {
        for (const std::string& sink : sinks)
            problem += (problem.empty() ? "" : ", ") + sink;
        problem = "the description holds the sink element" + std::string(sinks.size() > 1 ? "s " : " ") +
                  problem +
                  ", which would write the picture elsewhere; a card is a source: end the "
                  "description at the element that gives the picture";
    } else if (!parsed || error) {
        problem = std::string(error ? error->message : "the description makes no element") +
                  missingElementHints(context);
    }
    if (error)
        g_error_free(error);
    if (parsed)
        gst_object_unref(parsed);
    gst_parse_context_free(context);
    return problem;
}

std::string errorText(GstMessage* message)
{
    GError* error = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(message, &error, &debug);
    std::string text = error && error->message ? error->message : "error";
    // The detail ends with its own sentence after the element's path.
    const std::string debugText = debug ? debug : "";
    const size_t lineEnd = debugText.rfind('\n');
    const std::string detail = lineEnd == std::string::npos ? std::string() : debugText.substr(lineEnd + 1);
    if (!detail.empty() && detail != text)
        text += " (" + detail + ")";
    if (error)
        g_error_free(error);
    g_free(debug);
    return text;
}

} // namespace gstreamercards
