// ".avs" inputs: the job builder wraps some inputs in a two-line script whose second line
// is  DirectShowSource("file", fps=N, convertfps=true)  — the engine opens that file and
// gives it a constant N frames per second. Nothing else in such a script is understood.
#pragma once

#include <string>

namespace corvina::engine {

struct ScriptSource {
    std::string File;
    int Fps = 0;
};

bool IsScriptFile(const std::string& fileName);

// Parses the script text; on failure returns false with a reason in `error`.
bool ParseScriptSource(const std::string& text, ScriptSource& out, std::string& error);

// Reads and parses a script file; the error names the script.
bool ReadScriptSource(const std::string& fileName, ScriptSource& out, std::string& error);

} // namespace corvina::engine
