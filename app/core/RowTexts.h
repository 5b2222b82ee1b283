// The texts the file list and the job builder compute: frame rate, duration, progress,
// sizes, the source aspect, the volume steps, output names and the RealMedia script.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>

namespace corvina::app {

// Frame rate rounded to two decimals, shortest text: 30000/1001 -> "29.97", 25/1 -> "25".
// A zero denominator gives a single blank, as for a file without video.
std::string FrameRateText(int num, int den);

// Whole seconds as hh:mm:ss (hours may have more digits); negative -> "Unknown".
std::string DurationText(int64_t microseconds);

// "p%" with p = current*100/total (integer division) capped at 100; the uncapped value for
// the progress bar. A total of 0 or less counts as unknown: 0.
int ProgressPercent(int currentMs, int totalMs);
std::string ProgressCellText(int currentMs, int totalMs);

// Bytes / 1000 rounded to nearest, ties to even: "File Size : 2 KBytes".
int64_t KilobytesTiesToEven(int64_t bytes);
std::string FileSizeStatusText(int64_t bytes);

// "Original" aspect from a "Video Size" cell such as "720x576" -> "1.25"; "1.3333" when
// the cell is empty or not a size.
std::string SourceAspectText(const std::string& videoSizeCell);

// Volume slider positions 0..10: label text and the engine volume.
struct VolumeStep {
    const char* Label;
    int Volume;
};
const VolumeStep& VolumeForPosition(int position);

// `path` without its extension + extension, numbered "-1", "-2", ... while taken. A name is
// taken when a file of that name exists or `reserved` holds it.
std::string UniqueOutputName(const std::string& path, const std::string& extension,
                             const std::set<std::string>& reserved = {});

// The two lines of the RealMedia wrapper script (without line ends).
std::string ScriptPluginLine(const std::string& programFolder);
std::string ScriptSourceLine(const std::string& inputPath);

// The file-name part of a path (after the last separator).
std::string FileNamePart(const std::string& path);
// Whether the path's extension is ".rmvb", in any letter case.
bool IsRealMediaInput(const std::string& path);

// Trims blanks (spaces, tabs, line ends) at both ends.
std::string Trim(const std::string& text);

} // namespace corvina::app
