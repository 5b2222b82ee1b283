// The files a catalogue run converts, from its arguments: a file as given, a folder as the
// supported files under it in path order (as a folder dropped on the window), and "-" as
// the paths on standard input, one per line.
#pragma once

#include <istream>
#include <string>
#include <vector>

namespace corvina::cli {

// False with `error` naming the first path that does not exist; nothing is converted then.
bool ExpandInputs(const std::vector<std::string>& arguments, std::istream& standardInput,
                  std::vector<std::string>& files, std::string& error);

} // namespace corvina::cli
