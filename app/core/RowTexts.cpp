#include "app/core/RowTexts.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace corvina::app {

namespace {

// Shortest decimal text of a value already rounded to a few decimals.
std::string ShortestDecimal(double value, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    std::string text(buf);
    if (text.find('.') != std::string::npos) {
        while (!text.empty() && text.back() == '0')
            text.pop_back();
        if (!text.empty() && text.back() == '.')
            text.pop_back();
    }
    return text == "-0" ? "0" : text;
}

// Round half to even at `decimals` places.
double RoundTiesToEven(double value, double scale) {
    return std::nearbyint(value * scale) / scale; // default rounding mode: to nearest even
}

bool FileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

} // namespace

std::string Trim(const std::string& text) {
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string FrameRateText(int num, int den) {
    if (den == 0)
        return " ";
    return ShortestDecimal(RoundTiesToEven(static_cast<double>(num) / den, 100), 2);
}

std::string DurationText(int64_t microseconds) {
    const int64_t s = microseconds / 1000000; // toward zero
    const int64_t m = s / 60;
    const int64_t seconds = s - 60 * m;
    const int64_t hours = m / 60;
    const int64_t minutes = m % 60;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(hours),
                  static_cast<long long>(minutes), static_cast<long long>(seconds));
    std::string text(buf);
    return text.find('-') != std::string::npos ? "Unknown" : text;
}

int ProgressPercent(int currentMs, int totalMs) {
    if (totalMs <= 0)
        return 0;
    return static_cast<int>(int64_t{currentMs} * 100 / totalMs);
}

std::string ProgressCellText(int currentMs, int totalMs) {
    const int p = ProgressPercent(currentMs, totalMs);
    return std::to_string(p > 100 ? 100 : p) + "%";
}

int64_t KilobytesTiesToEven(int64_t bytes) {
    const int64_t q = bytes / 1000;
    const int64_t r = bytes % 1000;
    if (r > 500 || (r == 500 && (q % 2) != 0))
        return q + 1;
    return q;
}

std::string FileSizeStatusText(int64_t bytes) {
    return "File Size : " + std::to_string(KilobytesTiesToEven(bytes)) + " KBytes";
}

std::string SourceAspectText(const std::string& videoSizeCell) {
    std::string text = Trim(videoSizeCell);
    if (text.empty())
        text = "640x480";
    try {
        const size_t x = text.find('x');
        if (x == std::string::npos)
            return "1.3333";
        size_t usedW = 0, usedH = 0;
        const std::string w = text.substr(0, x), h = text.substr(x + 1);
        const double width = std::stod(w, &usedW);
        const double height = std::stod(h, &usedH);
        if (usedW != w.size() || usedH != h.size() || height == 0)
            return "1.3333";
        return ShortestDecimal(RoundTiesToEven(width / height, 10000), 4);
    } catch (const std::exception&) {
        return "1.3333";
    }
}

const VolumeStep& VolumeForPosition(int position) {
    // 100% is 255, not the engine's "unchanged" 256; 200% is 600. Kept as users know them.
    static constexpr VolumeStep kSteps[] = {
        {"0%", 1},     {"20%", 50},   {"40%", 100},  {"60%", 150},  {"80%", 200},  {"100%", 255},
        {"120%", 300}, {"140%", 350}, {"160%", 400}, {"180%", 450}, {"200%", 600},
    };
    if (position < 0)
        position = 0;
    if (position > 10)
        position = 10;
    return kSteps[position];
}

std::string FileNamePart(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string UniqueOutputName(const std::string& path, const std::string& extension,
                             const std::set<std::string>& reserved) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    const std::string stem =
        (dot != std::string::npos && (slash == std::string::npos || dot > slash))
            ? path.substr(0, dot)
            : path;
    auto taken = [&reserved](const std::string& name) {
        return FileExists(name) || reserved.count(name) != 0;
    };
    std::string candidate = stem + extension;
    for (int n = 1; taken(candidate); n++)
        candidate = stem + "-" + std::to_string(n) + extension;
    return candidate;
}

std::string ScriptPluginLine(const std::string& programFolder) {
    return "LoadPlugin(\"" + programFolder + "DirectShowSource.dll\")";
}

std::string ScriptSourceLine(const std::string& inputPath) {
    return "DirectShowSource(\"" + inputPath + "\", fps=25, convertfps=true)";
}

bool IsRealMediaInput(const std::string& path) {
    const std::string name = FileNamePart(path);
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos)
        return false;
    std::string ext = name.substr(dot);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".rmvb";
}

} // namespace corvina::app
