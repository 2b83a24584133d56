#pragma once

// GStreamer's problems in the crew's words: what a pipeline card's
// description lacks or holds that no card may, the Debian package of an
// element that is not installed, and the cause an error message gives.

#include <gst/gst.h>
#include <string>

namespace gstreamercards {

// Why the description cannot be a card's source, found without starting it:
// its syntax, elements not installed (with the package to install), property
// values an element refuses, and sink elements (a card is a source: a sink
// would write somewhere when capture starts). Empty for a sound description.
std::string descriptionProblem(const std::string& description);

// The elements a failed parse named that are not installed, each with the package to install.
std::string missingElementHints(GstParseContext* context);

// The text of an error message, with the detail that says more than a generic
// text ("Could not open resource for reading." gains "Failed to connect ...").
std::string errorText(GstMessage* error);

} // namespace gstreamercards
