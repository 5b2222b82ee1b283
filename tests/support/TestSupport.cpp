#include "tests/support/TestSupport.h"

#include "binding/Binding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

namespace corvina::test {

void RequireLibraries() {
    if (!binding::AllLoaded())
        ASSERT_TRUE(binding::LoadAll("", true)) << binding::LoaderErrorText();
}

std::filesystem::path FixtureDir() {
    const char* dir = std::getenv("CORVINA_FIXTURES");
    return dir ? std::filesystem::path(dir) : std::filesystem::path("fixtures");
}

std::filesystem::path Fixture(const std::string& name) {
    return FixtureDir() / name;
}

TempDir::TempDir() {
    std::random_device rd;
    for (;;) {
        path_ = std::filesystem::temp_directory_path() /
                ("corvina-test-" + std::to_string(rd()) + std::to_string(rd()));
        if (std::filesystem::create_directory(path_))
            break;
    }
}

std::vector<std::string> FolderEntries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::filesystem::path BinDir() {
    return CORVINA_TEST_BIN_DIR;
}
std::filesystem::path LibDir() {
    return CORVINA_TEST_LIB_DIR;
}

} // namespace corvina::test
