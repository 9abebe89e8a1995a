#include "media/GstSupport.h"

bool ensureGstreamer()
{
    static const bool initialised = gst_init_check(nullptr, nullptr, nullptr);
    return initialised;
}
