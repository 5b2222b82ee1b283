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
    int LogLevel = 0; // the engine's level: -1 quiet, 0 errors, 1 info, 2 debug, 3 all
    int Parallel = 1; // tasks run at once
    int Threads = 1;  // per decoder and encoder
};

// Runs the jobs on the engine component, Parallel at a time, inside Qt's event loop;
// returns the process exit status.
int RunRaw(const RawOptions& options);

} // namespace corvina::cli
