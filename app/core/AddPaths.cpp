#include "app/core/AddPaths.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace corvina::app {

namespace {

namespace fs = std::filesystem;

// The extensions of the "All Supported Files" filter entry.
constexpr std::string_view kSupportedExtensions[] = {".mov", ".qt", ".m4v", ".mp4", ".m4a"};

} // namespace

bool IsSupportedFileName(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::find(std::begin(kSupportedExtensions), std::end(kSupportedExtensions), ext) !=
           std::end(kSupportedExtensions);
}

std::vector<std::string> ExpandDroppedPaths(const std::vector<std::string>& paths) {
    std::vector<std::string> files;
    for (const std::string& path : paths) {
        std::error_code ec;
        if (fs::is_directory(path, ec)) {
            std::vector<std::string> found;
            fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied,
                                                ec);
            for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
                std::error_code typeError;
                if (it->is_regular_file(typeError) && IsSupportedFileName(it->path().string()))
                    found.push_back(it->path().string());
            }
            std::sort(found.begin(), found.end());
            files.insert(files.end(), found.begin(), found.end());
        } else if (fs::exists(path, ec)) {
            files.push_back(path);
        }
    }
    return files;
}

} // namespace corvina::app
