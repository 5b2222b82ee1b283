#include "engine/ScriptSource.h"

#include <fstream>
#include <regex>
#include <sstream>

namespace corvina::engine {

bool IsScriptFile(const std::string& fileName) {
    if (fileName.size() < 4)
        return false;
    std::string ext = fileName.substr(fileName.size() - 4);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".avs";
}

bool ParseScriptSource(const std::string& text, ScriptSource& out, std::string& error) {
    std::istringstream in(text);
    std::string line;
    std::getline(in, line); // the first line is the plug-in load
    if (!std::getline(in, line)) {
        error = "unsupported script: no source line";
        return false;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    static const std::regex source(
        R"re(^\s*DirectShowSource\("([^"]+)",\s*fps=([0-9]{1,4}),\s*convertfps=true\)\s*$)re");
    std::smatch m;
    if (!std::regex_match(line, m, source)) {
        error = "unsupported script: only DirectShowSource(\"file\", fps=N, convertfps=true) "
                "is understood";
        return false;
    }
    out.File = m[1];
    out.Fps = std::stoi(m[2]);
    if (out.Fps <= 0) {
        error = "unsupported script: frame rate must be positive";
        return false;
    }
    return true;
}

bool ReadScriptSource(const std::string& fileName, ScriptSource& out, std::string& error) {
    std::ifstream f(fileName, std::ios::binary);
    if (!f) {
        error = fileName + ": no such file or directory";
        return false;
    }
    std::string text(4096, '\0');
    f.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(f.gcount()));
    if (!ParseScriptSource(text, out, error)) {
        error = fileName + ": " + error;
        return false;
    }
    return true;
}

} // namespace corvina::engine
