// Option texts as a user or a profile could give them: name=value lines applied to a fresh
// job. A refused option raises ETranscodeError (or another std::exception from the
// library's own option parsing); anything else - a crash, a sanitizer report - is a fault.
// The texts go the component's ways too: as an ExtOptions record field (split by the
// component, applied line by line) and, after a last line starting "#ranges ", as the
// HookRanges field ("start-end,..." in milliseconds) the component parses and sets.
#include "engine/Transcoder.h"
#include "hosting/EngineComponent.h"
#include "tests/fuzz/FuzzSupport.h"

#include <exception>
#include <string>

using namespace corvina;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string ranges;
    if (const size_t at = text.rfind("\n#ranges "); at != std::string::npos) {
        ranges = text.substr(at + 9);
        text.resize(at);
    }
    engine::TCustomTranscoder job;
    try {
        job.ApplyOptionText(text);
    } catch (const engine::ETranscodeError&) {
    } catch (const std::exception&) {
    }
    if (!ranges.empty())
        job.SetHookRanges(hosting::ParseHookRanges(ranges));
    // Every line on its own as well, as the component applies ExtOptions: a refused line
    // must not leave the job half-changed in a way that breaks the next one.
    for (const auto& [name, value] : hosting::SplitExtOptions(text)) {
        try {
            job.SetOption(name, value);
        } catch (const std::exception&) {
        }
    }
    return 0;
}
