// corvina-fuzz-seeds FIXTURES OUT: the seed corpora of the media fuzz targets. Small whole
// files in every container the targets' extensions name, made by the engine from the
// generated fixtures, the start of the bigger fixtures, and short texts of the kinds that
// point elsewhere (playlists, lists, scripts, subtitles). Nothing is committed: the corpus
// is made anew before a run.
#include "engine/Transcoder.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace corvina;
namespace fs = std::filesystem;

namespace {

// One small conversion: source fixture, output extension, output options.
struct SeedConversion {
    const char* source;
    const char* extension;
    const char* options;
};

constexpr const char* kSmallVideo =
    "t=0.4\nvcodec=mpeg4\ns=32x24\nr=5\nb=20000\nacodec=aac\nar=8000\nac=1\nab=16000";
constexpr const char* kSmallAudio = "t=0.4\nvn=1\nacodec=aac\nar=8000\nac=1\nab=16000";

// clang-format off
const SeedConversion kConversions[] = {
    {"h264_aac_mono_176x144_15.mov", ".mov", kSmallVideo},
    {"h264_aac_mono_176x144_15.mov", ".mp4", kSmallVideo},
    {"h264_aac_mono_176x144_15.mov", ".avi", "t=0.4\nvcodec=mpeg4\ns=32x24\nr=5\nb=20000\nacodec=mp2\nar=22050\nac=1\nab=64000"},
    {"h264_aac_mono_176x144_15.mov", ".mkv", kSmallVideo},
    {"h264_aac_mono_176x144_15.mov", ".ts",  "t=0.4\nvcodec=mpeg2video\ns=32x24\nr=25\nb=200000\nacodec=aac\nar=8000\nac=1"},
    {"h264_aac_mono_176x144_15.mov", ".flv", "t=0.4\nvcodec=flv\ns=32x24\nr=5\nb=20000\nacodec=libmp3lame\nar=22050\nac=1"},
    {"h264_aac_mono_176x144_15.mov", ".m4a", kSmallAudio},
    {"h264_aac_mono_176x144_15.mov", ".wav", "t=0.2\nvn=1\nacodec=pcm_s16le\nar=8000\nac=1"},
    {"h264_aac_mono_176x144_15.mov", ".mp3", "t=0.4\nvn=1\nacodec=libmp3lame\nar=22050\nac=1\nab=32000"},
    {"h264_aac_mov_text.mov",        ".mov", "t=0.4\nvcodec=mpeg4\ns=32x24\nr=5\nb=20000\nan=1\nscodec=copy"},
};

// Texts of the kinds that name other files or carry structure in plain text.
struct SeedText {
    const char* extension;
    const char* text;
};
const SeedText kTexts[] = {
    {".m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:3\n#EXT-X-MEDIA-SEQUENCE:0\n#EXTINF:3.0,\nseg0.ts\n#EXTINF:3.0,\nhttp://127.0.0.1:1/seg1.ts\n#EXT-X-ENDLIST\n"},
    {".m3u8", "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1000,RESOLUTION=64x48\nlow.m3u8\n#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"a\",URI=\"a.m3u8\"\n"},
    {".ffconcat", "ffconcat version 1.0\nfile input.mov\nduration 1.0\ninpoint 0.5\nfile 'other file.mp4'\n"},
    {".srt", "1\n00:00:00,000 --> 00:00:01,000\nHello <b>there</b>\n\n2\n00:00:01,500 --> 00:00:02,000\n{\\an8}top\n\n"},
    {".srt", "WEBVTT\n\nNOTE x\n\n00:00.000 --> 00:01.000 align:start\n<v Roger>hi\n\n"},
    {".avs", "LoadPlugin(\"DirectShowSource.dll\")\nDirectShowSource(\"input.mov\", fps=25, convertfps=true)\n"},
    {".avs", "LoadPlugin(\"x\")\r\nDirectShowSource(\"/no/such/file.rmvb\", fps=9999, convertfps=true)\r\n"},
    {".mov", "YUV4MPEG2 W32 H24 F25:1 Ip A1:1 C420jpeg\nFRAME\n"},
    {".avi", "P5\n8 8\n255\n0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef"},
};
// clang-format on

// Bytes of the bigger fixtures kept as prefix seeds.
constexpr size_t kPrefixBytes = 12 * 1024;

std::string ReadFile(const fs::path& path, size_t limit = SIZE_MAX) {
    std::ifstream in(path, std::ios::binary);
    std::string data;
    char buf[65536];
    while (data.size() < limit && in.read(buf, sizeof buf).gcount() > 0)
        data.append(buf, static_cast<size_t>(in.gcount()));
    if (data.size() > limit)
        data.resize(limit);
    return data;
}

int ExtensionIndex(const std::string& ext) {
    for (size_t i = 0; i < fuzz::kInputExtensionCount; i++)
        if (ext == fuzz::kInputExtensions[i])
            return static_cast<int>(i);
    return -1;
}

int seedCount = 0;

// Writes one seed for both targets: open_input takes [ext][bytes], convert takes
// [ext][output choice][bytes].
void WriteSeed(const fs::path& out, const std::string& ext, const std::string& bytes) {
    const int index = ExtensionIndex(ext);
    if (index < 0)
        return;
    const std::string name = "seed" + std::to_string(seedCount++);
    std::ofstream(out / "open_input" / name, std::ios::binary) << static_cast<char>(index) << bytes;
    for (int choice = 0; choice < 3; choice++)
        std::ofstream(out / "convert" / (name + "-" + std::to_string(choice)), std::ios::binary)
            << static_cast<char>(index) << static_cast<char>(choice) << bytes;
}

bool Convert(const fs::path& input, const fs::path& output, const char* options) {
    engine::TCustomTranscoder job;
    try {
        if (!job.OpenInput(input.string()))
            return false;
        job.ApplyOptionText(options);
        if (!job.OpenOutput(output.string()))
            return false;
        job.Start(false);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", output.c_str(), e.what());
        return false;
    }
    return job.Finished() && fs::exists(output);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: corvina-fuzz-seeds FIXTURES OUT\n");
        return 2;
    }
    fuzz::Init();
    const fs::path fixtures = argv[1], out = argv[2];
    fs::create_directories(out / "open_input");
    fs::create_directories(out / "convert");
    const fs::path work = fs::path(fuzz::ScratchDir()) / "seeds";
    fs::create_directories(work);

    int made = 0, failed = 0;
    for (const SeedConversion& c : kConversions) {
        const fs::path target = work / ("small" + std::to_string(made + failed) + c.extension);
        if (Convert(fixtures / c.source, target, c.options)) {
            WriteSeed(out, c.extension, ReadFile(target));
            made++;
        } else {
            std::fprintf(stderr, "no seed from %s to %s\n", c.source, c.extension);
            failed++;
        }
    }
    for (const SeedText& t : kTexts)
        WriteSeed(out, t.extension, t.text);
    for (const auto& entry : fs::directory_iterator(fixtures)) {
        const std::string ext = entry.path().extension().string();
        WriteSeed(out, ext == ".m4v" ? ".mp4" : ext, ReadFile(entry.path(), kPrefixBytes));
    }
    fs::remove_all(work);
    std::printf("%d seeds (%d conversions, %d failed)\n", seedCount, made, failed);
    return made > 0 ? 0 : 1;
}
