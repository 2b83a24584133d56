#include "pipeline/videoframe.h"

QString formatTimeWord(uint32_t word)
{
    return QString::asprintf("%03d:%02d:%02d:%02d", int(word & 0xFF), int(word >> 8 & 0xFF),
                             int(word >> 16 & 0xFF), int(word >> 24 & 0xFF));
}
