// The virtual cards as the only driver of the program.

#include "driver.h"

HRESULT DeckLinkCreateInstance(const char* classId, REFIID iid, void** out)
{
    return virtualcards::Driver::instance().createInstance(classId, iid, out);
}
