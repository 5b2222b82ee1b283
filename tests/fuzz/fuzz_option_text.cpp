// Option texts as a user or a profile could give them: name=value lines applied to a fresh
// job. A refused option raises ETranscodeError (or another std::exception from the
// library's own option parsing); anything else - a crash, a sanitizer report - is a fault.
// The last line, when it starts with "#ranges ", is read as hook ranges "start-end,..." in
// milliseconds and set on the job, the way the component hands them over.
#include "engine/OptionParsing.h"
#include "engine/Transcoder.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>

using namespace corvina;

namespace {

// The component's reading of a hook range list: trimmed items split at ",", each item
// start-end; a number that does not read is -1; kept when 0 <= start <= end.
std::vector<std::pair<int64_t, int64_t>> ParseRanges(const std::string& text) {
    std::vector<std::pair<int64_t, int64_t>> out;
    std::string rest = engine::TrimBlanks(text);
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        std::string item = engine::TrimBlanks(rest.substr(0, comma));
        rest = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
        const size_t dash = item.find('-');
        // Milliseconds that fit microseconds; anything else reads as no number.
        auto number = [](const std::string& s) -> int64_t {
            char* end = nullptr;
            const long long v = std::strtoll(s.c_str(), &end, 10);
            const bool fits = v <= INT64_MAX / 1000 && v >= INT64_MIN / 1000;
            return (s.empty() || *end || !fits) ? -1 : v;
        };
        const int64_t start = number(item.substr(0, dash));
        const int64_t end = dash == std::string::npos ? -1 : number(item.substr(dash + 1));
        if (end >= start && end >= 0)
            out.emplace_back(start * 1000, end * 1000);
    }
    return out;
}

} // namespace

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
        job.SetHookRanges(ParseRanges(ranges));
    // Every line on its own as well: a refused line must not leave the job half-changed in a
    // way that breaks the next one.
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(begin, end - begin);
        const size_t eq = line.find('=');
        try {
            if (eq == std::string::npos)
                job.SetOption(line, "");
            else
                job.SetOption(line.substr(0, eq), line.substr(eq + 1));
        } catch (const std::exception&) {
        }
        begin = end + 1;
    }
    return 0;
}
