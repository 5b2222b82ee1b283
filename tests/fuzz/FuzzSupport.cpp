#include "tests/fuzz/FuzzSupport.h"

#include "binding/Binding.h"
#include "engine/InputGuard.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace corvina::fuzz {

const char* const kInputExtensions[] = {".mov",  ".mp4", ".m4a",  ".avi",      ".mkv",
                                        ".rmvb", ".avs", ".m3u8", ".ffconcat", ".srt",
                                        ".ts",   ".flv", ".wav",  ".mp3"};
const size_t kInputExtensionCount = sizeof kInputExtensions / sizeof kInputExtensions[0];

void Init() {
    if (!binding::AllLoaded() && !binding::LoadAll("", true)) {
        std::fprintf(stderr, "cannot bind the libraries: %s\n", binding::LoaderErrorText().c_str());
        std::abort();
    }
    // Opening and probing each stop at this limit; one input goes through both, so a hang
    // cut off by the limits still ends well inside the fuzzer's 10 s timeout, and a timeout
    // report means something the limits do not reach.
    engine::SetOpenTimeLimit(std::chrono::seconds(4));
    if (!std::getenv("CORVINA_FUZZ_VERBOSE"))
        ff::util.av_log_set_level(AV_LOG_QUIET);
}

const std::string& ScratchDir() {
    static const std::string dir = [] {
        const std::filesystem::path p =
            std::filesystem::temp_directory_path() / ("corvina-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(p);
        return p.string();
    }();
    return dir;
}

std::string WriteScratchFile(const std::string& name, const uint8_t* data, size_t size) {
    const std::string path = ScratchDir() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

} // namespace corvina::fuzz
