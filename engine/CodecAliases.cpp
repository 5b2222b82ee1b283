#include "engine/CodecAliases.h"

#include <cstring>

namespace corvina::engine {

const EncoderAlias* FindEncoderAlias(const char* name) {
    for (const EncoderAlias& a : kEncoderAliases)
        if (std::strcmp(a.LegacyName, name) == 0)
            return &a;
    return nullptr;
}

} // namespace corvina::engine
