#include "FontWarmUp.h"

#include <fontconfig/fontconfig.h>

// Qt's font database asks fontconfig for its configuration through the same FcInit,
// which returns at once when the configuration is there.
FontWarmUp::FontWarmUp() : m_reader([] { FcInit(); }) {}

FontWarmUp::~FontWarmUp() { wait(); }

void FontWarmUp::wait() {
    if (m_reader.joinable())
        m_reader.join();
}
