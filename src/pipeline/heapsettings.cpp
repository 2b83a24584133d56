#include "pipeline/heapsettings.h"

// Any standard header defines __GLIBC__ where the C library is glibc.
#include <cstdlib>
#ifdef __GLIBC__
#include <malloc.h>
#endif

void keepPicturesInHeap()
{
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
}
