// The layers' arrows point down: a file may include headers of its own layer and of the
// layers below it, never above; and only the layers that bind the libraries include their
// headers. A violation names the file, the line and both layers.
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace corvina::test {
namespace {

namespace fs = std::filesystem;

struct Layer {
    const char* folder;                  // relative to the source root, with a trailing slash
    std::vector<const char*> mayInclude; // other layers' folders
    bool libraryHeaders;                 // may include the FFmpeg headers
};

// From the bottom up.
const std::vector<Layer>& Layers() {
    static const std::vector<Layer> layers = {
        {"binding/", {}, true},
        {"engine/", {"binding/"}, true},
        {"hosting/", {"engine/", "binding/"}, true},
        {"profiles/", {"hosting/"}, false},
        {"app/core/", {"profiles/", "hosting/"}, false},
        {"app/qt/", {"app/core/", "profiles/", "hosting/"}, false},
        {"preview/", {"app/qt/", "app/core/", "profiles/", "hosting/"}, false},
        {"app/window/", {"preview/", "app/qt/", "app/core/", "profiles/", "hosting/"}, false},
        {"cli/", {"app/qt/", "app/core/", "profiles/", "hosting/"}, false},
    };
    return layers;
}

const Layer* LayerOf(const std::string& path) {
    const Layer* found = nullptr;
    for (const Layer& layer : Layers())
        if (path.rfind(layer.folder, 0) == 0 &&
            (!found || std::string(layer.folder).size() > std::string(found->folder).size()))
            found = &layer;
    return found;
}

bool IsLibraryHeader(const std::string& header) {
    static const char* const kPrefixes[] = {"libavcodec/", "libavformat/",   "libavutil/",
                                            "libswscale/", "libswresample/", "libavdevice/",
                                            "libavfilter/"};
    return std::any_of(std::begin(kPrefixes), std::end(kPrefixes),
                       [&](const char* p) { return header.rfind(p, 0) == 0; });
}

// Every include of every source file under `root` that goes against the arrows.
std::vector<std::string> Violations(const fs::path& root) {
    static const std::regex kInclude(R"re(^\s*#\s*include\s*([<"])([^>"]+)[>"])re");
    std::vector<std::string> found;
    std::vector<fs::path> files;
    for (const Layer& layer : Layers()) {
        const fs::path dir = root / layer.folder;
        if (!fs::is_directory(dir))
            continue;
        for (const auto& entry : fs::recursive_directory_iterator(dir)) {
            const std::string ext = entry.path().extension().string();
            if (entry.is_regular_file() && (ext == ".h" || ext == ".cpp" || ext == ".c"))
                files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        const std::string relative = fs::relative(file, root).generic_string();
        const Layer* own = LayerOf(relative);
        std::ifstream in(file);
        std::string line;
        for (int number = 1; std::getline(in, line); number++) {
            std::smatch m;
            if (!std::regex_search(line, m, kInclude))
                continue;
            const std::string header = m[2];
            const std::string where = relative + ":" + std::to_string(number) + ": ";
            if (m[1] == "<") {
                if (IsLibraryHeader(header) && !own->libraryHeaders)
                    found.push_back(where + own->folder + " includes the library header " + header);
                continue;
            }
            const Layer* target = LayerOf(header);
            if (!target || target == own)
                continue;
            const bool allowed =
                std::any_of(own->mayInclude.begin(), own->mayInclude.end(),
                            [&](const char* f) { return std::string(f) == target->folder; });
            if (!allowed)
                found.push_back(where + own->folder + " includes " + target->folder + " (" +
                                header + ")");
        }
    }
    return found;
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines)
        text += l + "\n";
    return text;
}

TEST(IncludeDirection, TheSourceTreeHasNoUpwardInclude) {
    const std::vector<std::string> found = Violations(CORVINA_SOURCE_DIR);
    EXPECT_TRUE(found.empty()) << Lines(found);
}

TEST(IncludeDirection, PlantedViolationsAreNamedByFileAndLine) {
    TempDir tree;
    auto write = [&tree](const std::string& path, const std::string& text) {
        fs::create_directories((tree.path() / path).parent_path());
        std::ofstream(tree.path() / path) << text;
    };
    write("engine/Run.cpp", "#include \"engine/Run.h\"\n#include \"binding/Binding.h\"\n"
                            "#include \"hosting/TranscodeEngine.h\"\n");
    write("profiles/Catalogue.cpp", "#include <string>\n#include <libavcodec/avcodec.h>\n");
    write("app/core/Workflow.h", "#pragma once\n#include \"hosting/TranscodeEngine.h\"\n"
                                 "  #  include \"app/window/MainWindow.h\"\n");
    write("cli/main.cpp", "#include \"app/qt/QtScheduler.h\"\n#include \"app/window/X.h\"\n");
    write("app/window/MainWindow.cpp", "#include \"preview/Player.h\"\n#include \"cli/Y.h\"\n");
    write("binding/Binding.cpp", "#include <libavutil/log.h>\n#include \"engine/Z.h\"\n");
    const std::vector<std::string> expected = {
        "app/core/Workflow.h:3: app/core/ includes app/window/ (app/window/MainWindow.h)",
        "app/window/MainWindow.cpp:2: app/window/ includes cli/ (cli/Y.h)",
        "binding/Binding.cpp:2: binding/ includes engine/ (engine/Z.h)",
        "cli/main.cpp:2: cli/ includes app/window/ (app/window/X.h)",
        "engine/Run.cpp:3: engine/ includes hosting/ (hosting/TranscodeEngine.h)",
        "profiles/Catalogue.cpp:2: profiles/ includes the library header libavcodec/avcodec.h",
    };
    EXPECT_EQ(Violations(tree.path()), expected);
}

} // namespace
} // namespace corvina::test
