// Legacy encoder names, kept as the profile tables spell them, resolved to what this
// generation of the libraries (or the engine itself) provides.
#pragma once

#include "binding/EntryPoints.h"

namespace corvina::engine {

struct EncoderAlias {
    const char* LegacyName;
    const char* EncoderName; // the library's encoder
    AVCodecID Id;
    bool EngineFallback; // the engine encodes it itself when the library lacks the encoder
};

inline constexpr EncoderAlias kEncoderAliases[] = {
    {"libfaac", "aac", AV_CODEC_ID_AAC, false},
    {"mpeg4aac", "aac", AV_CODEC_ID_AAC, false},
    {"libamr_nb", "libopencore_amrnb", AV_CODEC_ID_AMR_NB, true},
    // The native one is experimental.
    {"vorbis", "libvorbis", AV_CODEC_ID_VORBIS, false},
};

const EncoderAlias* FindEncoderAlias(const char* name);

} // namespace corvina::engine
