// Every benchmark runs with the heap set as the programs set it, so a timing
// here is what the program sees.

#include "pipeline/heapsettings.h"

namespace {

const bool heapSet = (keepPicturesInHeap(), true);

} // namespace
