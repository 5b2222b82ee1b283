// What a drop of files and folders adds: a file as it is; a folder, the files under it
// (at any depth) that the open dialog's "All Supported Files" entry shows, sorted by path.
#pragma once

#include <string>
#include <vector>

namespace corvina::app {

// Whether the file name matches "*.mov;*.qt;*.m4v;*.mp4;*.m4a" (in any letter case, as the
// open dialog matches).
bool IsSupportedFileName(const std::string& path);

// Paths in the order given, each folder replaced by its matching files in path order. A path
// that does not exist is left out; an unreadable subfolder is skipped.
std::vector<std::string> ExpandDroppedPaths(const std::vector<std::string>& paths);

} // namespace corvina::app
