#include "cli/Inputs.h"

#include "app/core/AddPaths.h"

#include <filesystem>
#include <system_error>

namespace corvina::cli {

bool ExpandInputs(const std::vector<std::string>& arguments, std::istream& standardInput,
                  std::vector<std::string>& files, std::string& error) {
    std::vector<std::string> paths;
    bool readStandardInput = false;
    for (const std::string& argument : arguments) {
        if (argument != "-") {
            paths.push_back(argument);
            continue;
        }
        if (readStandardInput)
            continue; // standard input has been read already
        readStandardInput = true;
        std::string line;
        while (std::getline(standardInput, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (!line.empty())
                paths.push_back(line);
        }
    }
    for (const std::string& path : paths) {
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) {
            error = "no such file or folder: " + path;
            return false;
        }
    }
    files = app::ExpandDroppedPaths(paths);
    return true;
}

} // namespace corvina::cli
