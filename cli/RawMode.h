// --raw: one engine task per -i/-o pair, with name=value option texts and no catalogue.
#pragma once

#include <string>
#include <vector>

namespace corvina::cli {

struct RawJob {
    std::string Input;
    std::string Output;
};

struct RawOptions {
    std::vector<RawJob> Jobs;
    std::string InputOptions;
    std::string OutputOptions;
    int LogLevel = 0;        // the engine's level: -1 quiet, 0 errors, 1 info, 2 debug
    int LibraryLogLevel = 0; // the libraries' own threshold (AV_LOG_*)
};

// Runs the jobs one after another; returns the process exit status.
int RunRaw(const RawOptions& options);

} // namespace corvina::cli
