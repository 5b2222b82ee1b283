// Helpers shared by the test suites.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace corvina::test {

// Binds the system's libraries once per process; fails the current test when they can't be.
void RequireLibraries();

// The folder of generated media (CORVINA_FIXTURES), e.g. Fixture("h264_aac_640x480_25.mov").
std::filesystem::path FixtureDir();
std::filesystem::path Fixture(const std::string& name);

// A fresh empty folder under the system temp folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// The names in a folder, sorted.
std::vector<std::string> FolderEntries(const std::filesystem::path& folder);

std::filesystem::path BinDir(); // build/bin: the programs and tools
std::filesystem::path LibDir(); // build/lib: plug-ins and test libraries

} // namespace corvina::test
