// The folder the job builder writes its wrapper scripts into: a per-user temporary folder
// ($XDG_RUNTIME_DIR, else <temp>/corvina-<uid>, made 0700 and refused when it is a symlink
// or someone else's) with the subfolder "$$7777a/".
#pragma once

#include <string>

namespace corvina::app {

// The script folder's path, with its final '/'. Creates nothing.
std::string DefaultScriptFolder();

// Creates the folder and its missing parents; the per-user base with mode 0700. Errors
// are ignored here: writing the script reports them.
void EnsureScriptFolder(const std::string& folder);

} // namespace corvina::app
