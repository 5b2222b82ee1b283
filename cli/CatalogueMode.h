// The catalogue mode of the front end: the window's workflow without the window.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace corvina::cli {

struct CatalogueOptions {
    std::string Format; // display name or item index; empty: the first entry
    std::string OutputDir;
    bool Overwrite = false;
    std::string VideoQuality = "Normal";
    std::string AudioQuality = "Normal";
    std::optional<std::string> Size, FrameRate, Channels, Aspect;
    int Volume = 5; // slider position 0..10
    int Jobs = 1;
    int Threads = 1; // per decoder and encoder
    bool PrintJob = false;
    bool Json = false; // JSON lines on stdout instead of the bar and the result lines
    int LogLevel = 0;
    std::vector<std::string> Files;
};

int ListFormats();
int ListChoices(const std::string& format);
int RunCatalogue(const CatalogueOptions& options);

} // namespace corvina::cli
