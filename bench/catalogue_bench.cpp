// Conversion speed and memory of every catalogue entry on one clip, beside the floor
// measured in the same run (decode-only plus encode-only with the same libraries), then the
// batch throughput of the headless front end with one task at a time and with two.
//
//   corvina-bench-catalogue CLIP [--entries I,J,...] [--jobs-clip FILE] [--jobs-format I]
//                           [--no-jobs] [--repeat N] [--verbose] [--raw EXT OPTIONS]
//
// --repeat N keeps the best of N runs of everything (1 by default); --verbose shows each
// floor's encoder settings and output size beside what the conversion wrote. --raw adds a
// row that converts with engine option text (one "name=value" per line) into a file of
// that extension through the component alone, as `corvina-convert --raw` does; without
// --entries it is the only row.
//
// Every measurement runs in a child process of its own (this program again): --decode for
// the decode-only pass, then per entry --child for the conversion and --floor for the
// encode-only floor of what it wrote, one after the other so they do not compete. The
// parent only spawns and prints, and never loads the libraries: a child's ru_maxrss starts
// from its parent's resident size at the spawn.
#include "app/core/JobText.h"
#include "app/core/Workflow.h"
#include "bench/BenchScheduler.h"
#include "bench/Floor.h"
#include "binding/Binding.h"
#include "profiles/Catalogue.h"
#include "profiles/QualityPresets.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace corvina::bench {

namespace {

// Keeps the reason of a failed row.
class ReasonView : public corvina::app::WorkflowObserver {
public:
    ReasonView(corvina::app::ConversionWorkflow& flow, std::string& reason)
        : flow_(flow), reason_(reason) {}
    void JobFinished(int row) override {
        if (!flow_.Rows[row].Reason.empty())
            reason_ = flow_.Rows[row].Reason;
    }

private:
    corvina::app::ConversionWorkflow& flow_;
    std::string& reason_;
};

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The children report in "key=value" lines.
std::map<std::string, std::string> ParseLines(const std::string& text) {
    std::map<std::string, std::string> fields;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos)
            fields[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return fields;
}

int64_t IntField(const std::map<std::string, std::string>& f, const std::string& key) {
    auto it = f.find(key);
    return it == f.end() ? 0 : std::atoll(it->second.c_str());
}

std::string TextField(const std::map<std::string, std::string>& f, const std::string& key) {
    auto it = f.find(key);
    return it == f.end() ? std::string() : it->second;
}

double DoubleField(const std::map<std::string, std::string>& f, const std::string& key) {
    auto it = f.find(key);
    return it == f.end() ? 0.0 : std::atof(it->second.c_str());
}

Spent SpentField(const std::map<std::string, std::string>& f, const std::string& key) {
    return {DoubleField(f, key + ".wall"), DoubleField(f, key + ".cpu")};
}

double CpuSeconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// User + system time of every thread of this process so far.
double OwnCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return CpuSeconds(usage);
}

// ------------------------------------------------------------------ the child: one entry

class SilentDialogs : public app::IDialogs {
public:
    void ShowMessage(const std::string& text, const std::string&) override { last = text; }
    bool AskYesNo(const std::string&, const std::string&) override { return true; }
    bool BrowseForFolder(const std::string&, std::string&) override { return false; }
    std::vector<std::string> OpenFiles(const std::string&) override { return {}; }
    std::string last;
};

void SelectEntry(profiles::MainWindowBoxes& boxes, int index) {
    profiles::FillOutputFormatList(boxes);
    boxes.ComboOutputFormat.Select(index);
    profiles::SelectOutputFormat(boxes);
    profiles::ApplyQualityPreset(boxes);
}

// Loads the libraries into the component and silences it; says why not in bench lines.
bool LoadQuietly(hosting::TTranscodeEngine& engine) {
    if (!engine.LoadLibraries(binding::ProgramFolder() + "Common", true)) {
        std::printf("bench.status=NoLibraries\nbench.error=%s\n", engine.LastError().c_str());
        return false;
    }
    engine.SetLogLevel(hosting::TLogLevel::llQuiet);
    return true;
}

// Converts the clip with the entry's start state (one fill, Normal presets) through the
// workflow and the engine component, as the window does, and prints "key=value" lines:
// bench.status, bench.wall (Start until the row's end) and bench.cpu (this process's CPU
// time over the same span, all threads), bench.output, the job's fields.
int RunChild(int index, const std::string& clip, const std::string& outDir) {
    profiles::MainWindowBoxes boxes;
    SelectEntry(boxes, index);
    BenchScheduler scheduler;
    hosting::TTranscodeEngine engine(&scheduler);
    if (!LoadQuietly(engine))
        return 1;
    SilentDialogs dialogs;
    app::ConversionWorkflow flow(engine, boxes, dialogs, scheduler);
    flow.OutputFolder = outDir;
    flow.OverwriteExisting = true;
    flow.ProgramFolder = binding::ProgramFolder();
    std::optional<app::EngineJob> job;
    std::string failure;
    flow.OnJobBuilt = [&job](const app::EngineJob& built) {
        job = built;
        return true;
    };
    ReasonView view(flow, failure);
    flow.AddObserver(&view);
    flow.AddFiles({clip});

    auto rowEnded = [&flow] {
        const app::RowState state = flow.Rows[0].State;
        return state == app::RowState::Done || state == app::RowState::Fail ||
               state == app::RowState::Abort || state == app::RowState::Error;
    };
    const double cpuBefore = OwnCpuSeconds();
    const auto start = Clock::now();
    flow.Start();
    const bool ended = scheduler.RunUntil(rowEnded, std::chrono::seconds(1800));
    const double wall = Since(start);
    const double cpu = OwnCpuSeconds() - cpuBefore;
    // Let the batch finish as the window would, so the engine is idle before it goes.
    scheduler.RunUntil([&flow] { return !flow.TimerEnabled() && !flow.Batch.Converting; },
                       std::chrono::seconds(10));

    std::printf("bench.status=%s\n", ended ? flow.Rows[0].Progress().c_str() : "Timeout");
    std::printf("bench.wall=%.6f\nbench.cpu=%.6f\n", wall, cpu);
    if (job) {
        std::printf("bench.output=%s\n", job->OutputPath.c_str());
        for (const std::string& line : app::ChangedOutputFields(job->Output))
            std::printf("%s\n", line.c_str());
    }
    if (!failure.empty())
        std::printf("bench.error=%s\n", failure.c_str());
    else if (!dialogs.last.empty() && dialogs.last != "All Conversions Completed")
        std::printf("bench.error=%s\n", dialogs.last.c_str());
    std::fflush(stdout);
    engine.Stop();
    engine.ClearTasks();
    return 0;
}

// The job fields the floor reads, from engine option names.
constexpr std::pair<const char*, const char*> kRawFields[] = {
    {"vcodec", "output.VideoCodec"}, {"b", "output.VideoBitrate"},    {"r", "output.FrameRate"},
    {"g", "output.GOPSize"},         {"acodec", "output.AudioCodec"}, {"ab", "output.AudioBitrate"},
};

// Converts the clip with engine option text through the component alone (one task, as
// `corvina-convert --raw` does) and prints the same lines as RunChild.
int RunRawChild(const std::string& clip, const std::string& output, const std::string& options) {
    BenchScheduler scheduler;
    hosting::TTranscodeEngine engine(&scheduler);
    if (!LoadQuietly(engine))
        return 1;
    hosting::TInputOptions input;
    hosting::InitInputOptions(input);
    hosting::TOutputOptions out;
    hosting::InitOutputOptions(out);
    out.ExtOptions = options;
    bool ended = false, finished = false;
    std::string failure;
    engine.OnTerminate = [&](int task, bool done, bool exception, const std::string& message) {
        if (task < 0)
            return;
        scheduler.Post([&, done, exception, message] {
            ended = true;
            finished = done && !exception;
            if (exception)
                failure = message;
        });
    };
    const double cpuBefore = OwnCpuSeconds();
    const auto start = Clock::now();
    const int task = engine.AddTask(clip, &input);
    if (task < 0 || !engine.SetOutputFile(task, output, &out)) {
        std::printf("bench.status=Fail\nbench.error=%s\n", engine.LastError().c_str());
        return 1;
    }
    engine.Start(1);
    scheduler.RunUntil([&ended] { return ended; }, std::chrono::seconds(1800));
    const double wall = Since(start);
    const double cpu = OwnCpuSeconds() - cpuBefore;
    std::printf("bench.status=%s\n", !ended ? "Timeout" : finished ? app::kProgressDone : "Fail");
    std::printf("bench.wall=%.6f\nbench.cpu=%.6f\nbench.output=%s\n", wall, cpu, output.c_str());
    for (const auto& [name, value] : hosting::SplitExtOptions(options))
        for (const auto& [option, field] : kRawFields)
            if (name == option)
                std::printf("%s=%s\n", field, value.c_str());
    if (!failure.empty())
        std::printf("bench.error=%s\n", failure.c_str());
    std::fflush(stdout);
    engine.Stop();
    engine.ClearTasks();
    return 0;
}

bool LoadLibrariesQuietly() {
    if (!binding::LoadAll(binding::ProgramFolder() + "Common", true)) {
        std::printf("decode.error=%s\nfloor.error=%s\n", binding::LoaderErrorText().c_str(),
                    binding::LoaderErrorText().c_str());
        return false;
    }
    ff::util.av_log_set_level(AV_LOG_QUIET);
    return true;
}

void PrintSpent(const char* key, const Spent& s) {
    std::printf("%s.wall=%.6f\n%s.cpu=%.6f\n", key, s.wall, key, s.cpu);
}

// The decode-only pass over the clip, as "decode.*" lines.
int RunDecodeChild(const std::string& clip) {
    if (!LoadLibrariesQuietly())
        return 1;
    const DecodeCost d = MeasureDecode(clip);
    if (!d.ok) {
        std::printf("decode.status=failed\ndecode.error=%s\n", d.error.c_str());
        return 1;
    }
    std::printf("decode.status=ok\n");
    PrintSpent("decode.demux", d.demux);
    PrintSpent("decode.video", d.video);
    PrintSpent("decode.audio", d.audio);
    std::printf("decode.videoFrames=%lld\ndecode.audioSamples=%lld\ndecode.rate.num=%d\n"
                "decode.rate.den=%d\ndecode.audioRate=%d\n",
                static_cast<long long>(d.videoFrames), static_cast<long long>(d.audioSamples),
                d.videoRate.num, d.videoRate.den, d.audioRate);
    return 0;
}

bool GlobalHeader(const std::string& path) {
    const AVOutputFormat* f = ff::format.av_guess_format(nullptr, path.c_str(), nullptr);
    return f && (f->flags & AVFMT_GLOBALHEADER);
}

// The encode-only floor of one conversion: reads back what it wrote, takes the encoders
// and bit rates from its job (the child's lines in jobFile), prints "floor.*" lines.
int RunFloorChild(const std::string& clip, const std::string& output, const std::string& jobFile,
                  int64_t inputFrames, AVRational inputRate, bool onePass) {
    if (!LoadLibrariesQuietly())
        return 1;
    std::stringstream text;
    text << std::ifstream(jobFile).rdbuf();
    const auto f = ParseLines(text.str());
    const OutputInfo out = ReadOutput(output);
    if (!out.opened) {
        std::printf("floor.error=%s\n", out.error.c_str());
        return 1;
    }
    Spent encode;
    std::string described;
    std::string error;
    std::optional<VideoEncodeTarget> videoTarget;
    std::optional<AudioEncodeTarget> audioTarget;
    if (out.hasVideo) {
        VideoEncodeTarget& v = videoTarget.emplace();
        v.encoder = TextField(f, "output.VideoCodec");
        v.id = out.videoId;
        v.width = out.width;
        v.height = out.height;
        v.pixFmt = out.pixFmt;
        const std::string rate = TextField(f, "output.FrameRate");
        if (rate.empty() || ff::util.av_parse_video_rate(&v.rate, rate.c_str()) < 0)
            v.rate = inputRate;
        // A container that leaves out the empty packets of repeated pictures (Ogg) has fewer
        // packets than pictures; its timestamps still span them all.
        v.frames =
            std::max<int64_t>(out.videoPackets, std::llround(out.videoSeconds * av_q2d(v.rate)));
        v.bitRate = IntField(f, "output.VideoBitrate");
        v.maxRate = IntField(f, "output.MaxRate");
        v.minRate = IntField(f, "output.MinRate");
        v.bufSize = IntField(f, "output.BufferSize");
        v.tolerance = IntField(f, "output.BitrateTolerance");
        v.gop = static_cast<int>(IntField(f, "output.GOPSize"));
        v.globalHeader = GlobalHeader(output);
        const EncodeCost c = MeasureVideoEncode(clip, v, inputFrames);
        if (!c.ok)
            error = c.error;
        std::printf("floor.videoFrames=%lld\n", static_cast<long long>(v.frames));
        std::printf("floor.detail.video=video: %s %dx%d %s %d/%d fps, %lld frames, bit rate %lld: "
                    "encode %.2f s (cpu %.2f), %lld bytes; the conversion wrote %lld bytes\n",
                    c.encoder.c_str(), v.width, v.height, c.format.c_str(), v.rate.num, v.rate.den,
                    static_cast<long long>(c.units), static_cast<long long>(v.bitRate),
                    c.spent.wall, c.spent.cpu, static_cast<long long>(c.bytes),
                    static_cast<long long>(out.videoBytes));
        encode += c.spent;
        described = c.encoder + " " + std::to_string(out.width) + "x" + std::to_string(out.height);
    }
    if (out.hasAudio) {
        AudioEncodeTarget& a = audioTarget.emplace();
        a.encoder = TextField(f, "output.AudioCodec");
        a.id = out.audioId;
        a.sampleRate = out.sampleRate;
        a.channels = out.channels;
        a.bitRate = IntField(f, "output.AudioBitrate");
        a.globalHeader = GlobalHeader(output);
        const EncodeCost c = MeasureAudioEncode(clip, a);
        if (!c.ok && error.empty())
            error = c.error;
        std::printf("floor.detail.audio=audio: %s %d Hz %d ch %s, %lld samples, bit rate %lld: "
                    "encode %.2f s (cpu %.2f), %lld bytes; the conversion wrote %lld bytes\n",
                    c.encoder.c_str(), a.sampleRate, a.channels, c.format.c_str(),
                    static_cast<long long>(c.units), static_cast<long long>(a.bitRate),
                    c.spent.wall, c.spent.cpu, static_cast<long long>(c.bytes),
                    static_cast<long long>(out.audioBytes));
        encode += c.spent;
        described += (described.empty() ? "" : " + ") + c.encoder;
    }
    std::printf("floor.hasVideo=%d\nfloor.hasAudio=%d\nfloor.described=%s\n", out.hasVideo ? 1 : 0,
                out.hasAudio ? 1 : 0, described.c_str());
    PrintSpent("floor.encode", encode);
    if (onePass && error.empty()) {
        const PipelineCost p = MeasurePipeline(clip, videoTarget ? &*videoTarget : nullptr,
                                               audioTarget ? &*audioTarget : nullptr, inputFrames);
        if (p.ok)
            PrintSpent("floor.onePass", p.spent);
        else
            std::printf("floor.onePassError=%s\n", p.error.c_str());
    }
    if (!error.empty()) {
        std::printf("floor.error=%s\n", error.c_str());
        return 1;
    }
    std::printf("floor.status=ok\n");
    return 0;
}

// ------------------------------------------------------------------ child processes

struct ChildRun {
    bool started = false;
    int exitStatus = -1;
    double wall = 0;    // spawn until exit, seen from here
    double cpu = 0;     // user + system seconds of the child
    double peakMb = 0;  // its ru_maxrss
    std::string output; // what it printed (when captured)
};

// Runs a program and waits for it; its standard output is captured or dropped, its errors
// are dropped. wait4 gives the child's own peak memory and CPU time.
ChildRun Spawn(const std::vector<std::string>& args, bool capture) {
    ChildRun run;
    int pipeFds[2] = {-1, -1};
    if (capture && pipe2(pipeFds, O_CLOEXEC) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (capture)
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = Clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (capture)
        close(pipeFds[1]);
    if (spawned != 0) {
        if (capture)
            close(pipeFds[0]);
        return run;
    }
    run.started = true;
    if (capture) {
        char buffer[4096];
        ssize_t n;
        while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0)
            run.output.append(buffer, static_cast<size_t>(n));
        close(pipeFds[0]);
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    run.wall = Since(start);
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.cpu = CpuSeconds(usage);
    run.peakMb = usage.ru_maxrss / 1024.0;
    return run;
}

// ------------------------------------------------------------------ the table

struct Entry {
    int index;
    std::string name;
    std::string rawOptions; // set: not a catalogue entry, engine options into rawExtension
    std::string rawExtension;
};

std::vector<Entry> CatalogueEntries() {
    profiles::MainWindowBoxes boxes;
    profiles::FillOutputFormatList(boxes);
    std::vector<Entry> entries;
    for (int i = 0; i < boxes.ComboOutputFormat.Count(); i++) {
        const std::string& text = boxes.ComboOutputFormat.Items()[i];
        if (!profiles::FindProfile(text))
            continue;
        std::string name = text.substr(0, text.rfind(" (*."));
        if (name.size() > 26)
            name = name.substr(0, 25) + "~";
        entries.push_back({i, name});
    }
    return entries;
}

struct Totals {
    double wall = 0, cpu = 0;
    Spent floor;
    int done = 0, failed = 0;
};

constexpr int kOutputWidth = 32;

void PrintHeaderLine() {
    std::printf("%3s %-26s %-*s %6s %7s %1s %7s %7s %6s %6s %6s %6s\n", "#", "entry", kOutputWidth,
                "output (video + audio encoders)", "wall s", "fps", "", "peak MB", "floor s",
                "ratio", "cpu s", "fl cpu", "cpu r");
}

// The decode-only pass, as the --decode child reports it.
DecodeCost DecodeFromFields(const std::map<std::string, std::string>& f) {
    DecodeCost d;
    d.ok = TextField(f, "decode.status") == "ok";
    d.error = TextField(f, "decode.error");
    d.demux = SpentField(f, "decode.demux");
    d.video = SpentField(f, "decode.video");
    d.audio = SpentField(f, "decode.audio");
    d.videoFrames = IntField(f, "decode.videoFrames");
    d.audioSamples = IntField(f, "decode.audioSamples");
    d.videoRate = {static_cast<int>(IntField(f, "decode.rate.num")),
                   static_cast<int>(IntField(f, "decode.rate.den"))};
    d.audioRate = static_cast<int>(IntField(f, "decode.audioRate"));
    return d;
}

// One entry: a child converts, a second child measures the encode floor of what it wrote.
void BenchEntry(const std::string& self, const std::string& clip, const DecodeCost& decode,
                const Entry& entry, const fs::path& workDir, int repeat, bool verbose,
                Totals& totals) {
    const fs::path outDir = workDir / ("entry-" + std::to_string(entry.index));
    fs::create_directories(outDir);
    auto fail = [&](const std::string& why) {
        totals.failed++;
        std::printf("%3d %-26s FAILED: %s\n", entry.index, entry.name.c_str(), why.c_str());
        std::fflush(stdout);
        fs::remove_all(outDir);
    };
    // Best of `repeat`: the conversion and its floor take turns, so both meet the same
    // neighbours on the cores; each time is the least seen, the peak memory the largest.
    double wall = 1e100, cpu = 1e100, peakMb = 0, floorPeakMb = 0;
    Spent encode{1e100, 1e100};
    Spent onePass{1e100, 1e100}; // raw rows: the one-pass floor
    std::map<std::string, std::string> g;
    ChildRun floorRun;
    for (int r = 0; r < repeat; r++) {
        const ChildRun run =
            entry.rawOptions.empty()
                ? Spawn({self, "--child", std::to_string(entry.index), clip, outDir.string()}, true)
                : Spawn({self, "--raw-child", clip,
                         (outDir / ("raw." + entry.rawExtension)).string(), entry.rawOptions},
                        true);
        const auto f = ParseLines(run.output);
        const std::string status = TextField(f, "bench.status");
        if (!run.started)
            return fail("cannot start " + self);
        if (status != app::kProgressDone)
            return fail((status.empty() ? "exit " + std::to_string(run.exitStatus) : status) + " " +
                        TextField(f, "bench.error"));
        wall = std::min(wall, DoubleField(f, "bench.wall"));
        cpu = std::min(cpu, DoubleField(f, "bench.cpu"));
        peakMb = std::max(peakMb, run.peakMb);

        const fs::path jobFile = outDir / "job.txt";
        std::ofstream(jobFile) << run.output;
        std::vector<std::string> floorArgs = {self,
                                              "--floor",
                                              clip,
                                              TextField(f, "bench.output"),
                                              jobFile.string(),
                                              std::to_string(decode.videoFrames),
                                              std::to_string(decode.videoRate.num),
                                              std::to_string(decode.videoRate.den)};
        if (!entry.rawOptions.empty())
            floorArgs.push_back("--one-pass");
        floorRun = Spawn(floorArgs, true);
        g = ParseLines(floorRun.output);
        if (TextField(g, "floor.status") != "ok")
            break;
        const Spent spent = SpentField(g, "floor.encode");
        encode.wall = std::min(encode.wall, spent.wall);
        encode.cpu = std::min(encode.cpu, spent.cpu);
        if (!TextField(g, "floor.onePass.wall").empty()) {
            const Spent pass = SpentField(g, "floor.onePass");
            onePass.wall = std::min(onePass.wall, pass.wall);
            onePass.cpu = std::min(onePass.cpu, pass.cpu);
        }
        floorPeakMb = std::max(floorPeakMb, floorRun.peakMb);
    }
    const bool hasVideo = IntField(g, "floor.hasVideo") != 0;
    const bool hasAudio = IntField(g, "floor.hasAudio") != 0;
    Spent floor = decode.demux;
    if (hasVideo)
        floor += decode.video;
    if (hasAudio)
        floor += decode.audio;
    floor += encode;
    std::string floorError = TextField(g, "floor.error");
    if (floorError.empty() && TextField(g, "floor.status") != "ok")
        floorError = "the floor process ended with " + std::to_string(floorRun.exitStatus);

    std::string described = TextField(g, "floor.described");
    if (described.size() > kOutputWidth)
        described = described.substr(0, kOutputWidth - 1) + "~";
    // Video entries count the frames they wrote; audio-only ones the clip's frames they
    // went through (marked i).
    const bool audioOnly = !hasVideo;
    const double frames =
        static_cast<double>(audioOnly ? decode.videoFrames : IntField(g, "floor.videoFrames"));
    std::printf("%3d %-26s %-*s %6.2f %7.1f %1s %7.1f ", entry.index, entry.name.c_str(),
                kOutputWidth, described.c_str(), wall, frames / wall, audioOnly ? "i" : "", peakMb);
    if (!floorError.empty()) {
        totals.failed++;
        std::printf("floor failed: %s\n", floorError.c_str());
    } else {
        totals.done++;
        totals.wall += wall;
        totals.cpu += cpu;
        totals.floor += floor;
        std::printf("%7.2f %6.2f %6.2f %6.2f %6.2f\n", floor.wall, wall / floor.wall, cpu,
                    floor.cpu, cpu / floor.cpu);
    }
    if (onePass.wall < 1e100)
        std::printf("      one-pass floor (decode, then encode each frame as it comes; no engine, "
                    "no muxing): %.2f s, cpu %.2f s; ratio %.2f, cpu ratio %.2f\n",
                    onePass.wall, onePass.cpu, wall / onePass.wall, cpu / onePass.cpu);
    else if (!TextField(g, "floor.onePassError").empty())
        std::printf("      one-pass floor failed: %s\n",
                    TextField(g, "floor.onePassError").c_str());
    if (verbose) {
        for (const char* key : {"floor.detail.video", "floor.detail.audio"})
            if (!TextField(g, key).empty())
                std::printf("      %s\n", TextField(g, key).c_str());
        std::printf("      floor process: peak %.1f MB\n", floorPeakMb);
    }
    std::fflush(stdout);
    fs::remove_all(outDir);
}

// The front end's batch of four names for one clip, with --jobs 1 and --jobs 2.
void BenchJobs(const std::string& convert, const std::string& clip, int format, int repeat,
               const fs::path& workDir) {
    std::printf("\nBatch of 4 files through corvina-convert -f %d (%s, hard links):\n", format,
                fs::path(clip).filename().c_str());
    if (!fs::exists(convert)) {
        std::printf("  skipped: %s is not built\n", convert.c_str());
        return;
    }
    const fs::path inDir = workDir / "jobs-in";
    fs::create_directories(inDir);
    std::vector<std::string> files;
    for (int i = 1; i <= 4; i++) {
        const fs::path link =
            inDir / ("clip_" + std::to_string(i) + fs::path(clip).extension().string());
        std::error_code ec;
        fs::remove(link, ec);
        fs::create_hard_link(clip, link, ec);
        if (ec)
            fs::copy_file(clip, link, fs::copy_options::overwrite_existing);
        files.push_back(link.string());
    }
    // Best of `repeat`, the two settings taking turns.
    struct Best {
        double wall = 1e100, cpu = 1e100, peakMb = 0;
        bool ok = false;
        int exitStatus = 0;
    } best[2];
    for (int r = 0; r < repeat; r++) {
        for (int k = 0; k < 2; k++) {
            const fs::path outDir = workDir / ("jobs-out-" + std::to_string(k + 1));
            fs::create_directories(outDir);
            std::vector<std::string> args = {
                convert,       "-f",     std::to_string(format), "-o", outDir.string(),
                "--overwrite", "--jobs", std::to_string(k + 1)};
            args.insert(args.end(), files.begin(), files.end());
            const ChildRun run = Spawn(args, false);
            fs::remove_all(outDir);
            if (!run.started || run.exitStatus != 0) {
                best[k].exitStatus = run.exitStatus;
                continue;
            }
            best[k].ok = true;
            best[k].wall = std::min(best[k].wall, run.wall);
            best[k].cpu = std::min(best[k].cpu, run.cpu);
            best[k].peakMb = std::max(best[k].peakMb, run.peakMb);
        }
    }
    std::printf("%6s %8s %8s %9s %8s %8s %9s\n", "--jobs", "wall s", "files/m", "speed-up",
                "peak MB", "cpu s", "cpu/wall");
    for (int k = 0; k < 2; k++) {
        if (!best[k].ok) {
            std::printf("%6d failed (exit %d)\n", k + 1, best[k].exitStatus);
            continue;
        }
        std::printf("%6d %8.2f %8.1f %8.2fx %8.1f %8.2f %9.2f\n", k + 1, best[k].wall,
                    4 * 60 / best[k].wall, best[0].ok ? best[0].wall / best[k].wall : 0.0,
                    best[k].peakMb, best[k].cpu, best[k].cpu / best[k].wall);
    }
    std::printf("(wall and peak MB of the whole front-end process, start-up included; cpu/wall "
                "is the\n cores it kept busy: --jobs 2 can reach 2 only when nobody else uses "
                "the second core)\n");
    fs::remove_all(inDir);
}

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: corvina-bench-catalogue CLIP [--entries I,J,...] [--jobs-clip FILE]\n"
                 "                               [--jobs-format I] [--no-jobs] [--repeat N]\n"
                 "                               [--verbose] [--raw EXT OPTIONS]\n");
    return 2;
}

int RunParent(int argc, char* argv[]) {
    std::string clip;
    std::string jobsClip;
    std::string only;
    int jobsFormat = 8;
    int repeat = 1;
    bool jobs = true;
    bool verbose = false;
    std::optional<Entry> raw;
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        if (a == "--entries" && i + 1 < argc)
            only = argv[++i];
        else if (a == "--raw" && i + 2 < argc) {
            raw = Entry{-1, std::string("raw into .") + argv[i + 1], argv[i + 2], argv[i + 1]};
            i += 2;
        } else if (a == "--jobs-clip" && i + 1 < argc)
            jobsClip = argv[++i];
        else if (a == "--jobs-format" && i + 1 < argc)
            jobsFormat = std::atoi(argv[++i]);
        else if (a == "--no-jobs")
            jobs = false;
        else if (a == "--verbose")
            verbose = true;
        else if (a == "--repeat" && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (!a.empty() && a[0] != '-' && clip.empty())
            clip = a;
        else
            return Usage();
    }
    if (clip.empty())
        return Usage();
    clip = fs::absolute(clip).string();
    if (jobsClip.empty())
        jobsClip = clip;
    std::vector<Entry> entries = CatalogueEntries();
    if (!only.empty()) {
        std::vector<Entry> chosen;
        std::istringstream in(only);
        std::string item;
        while (std::getline(in, item, ',')) {
            const int index = std::atoi(item.c_str());
            auto it = std::find_if(entries.begin(), entries.end(),
                                   [index](const Entry& e) { return e.index == index; });
            if (it == entries.end()) {
                std::fprintf(stderr,
                             "no catalogue entry at %d (see corvina-convert "
                             "--list-formats)\n",
                             index);
                return 2;
            }
            chosen.push_back(*it);
        }
        entries = chosen;
    } else if (raw) {
        entries.clear();
    }
    if (raw)
        entries.push_back(*raw);

    const auto begun = Clock::now();
    const std::string loadBefore = LoadAverage();
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    // This process never loads the libraries: a child's peak memory (ru_maxrss) starts
    // from its parent's resident size at the spawn, so the parent stays small.
    DecodeCost decode;
    for (int r = 0; r < repeat; r++) {
        const DecodeCost d =
            DecodeFromFields(ParseLines(Spawn({self, "--decode", clip}, true).output));
        if (!d.ok || r == 0) {
            decode = d;
            if (!d.ok)
                break;
            continue;
        }
        for (auto [part, seen] :
             {std::pair{&decode.demux, d.demux}, std::pair{&decode.video, d.video},
              std::pair{&decode.audio, d.audio}}) {
            part->wall = std::min(part->wall, seen.wall);
            part->cpu = std::min(part->cpu, seen.cpu);
        }
    }
    if (!decode.ok) {
        std::fprintf(stderr, "decode-only pass failed: %s\n",
                     decode.error.empty() ? "no result" : decode.error.c_str());
        return 1;
    }
    char tmpl[] = "/tmp/corvina-bench-XXXXXX";
    if (!mkdtemp(tmpl)) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path workDir = tmpl;

    std::printf("clip: %s (%lld video frames, %.1f s of audio at %d Hz)\n", clip.c_str(),
                static_cast<long long>(decode.videoFrames),
                decode.audioRate ? static_cast<double>(decode.audioSamples) / decode.audioRate : 0,
                decode.audioRate);
    std::printf("best of %d runs\n", repeat);
    std::printf("decode-only, one pass: demux %.2f s, video %.2f s, audio %.2f s "
                "(cpu %.2f, %.2f, %.2f; one thread per codec, as the engine)\n",
                decode.demux.wall, decode.video.wall, decode.audio.wall, decode.demux.cpu,
                decode.video.cpu, decode.audio.cpu);
    std::printf("load average before: %s; %ld cores online\n\n", loadBefore.c_str(),
                sysconf(_SC_NPROCESSORS_ONLN));
    PrintHeaderLine();
    Totals totals;
    for (const Entry& e : entries)
        BenchEntry(self, clip, decode, e, workDir, repeat, verbose, totals);
    std::printf(
        "\nwall s: Start until the row reads Done (workflow + engine component, opening "
        "included;\n  raw rows: the component alone, from adding the task to its end).\n"
        "fps: output video frames / wall; i: audio-only output, the clip's video frames / wall.\n"
        "peak MB: ru_maxrss of the entry's own process (wait4).\n"
        "floor s: demux + decode of the streams the output keeps + encode-only of what it "
        "wrote\n"
        "  (same encoders, size, rate, bit rate; pictures scaled and samples resampled "
        "beforehand).\n"
        "ratio: wall / floor. cpu s, fl cpu, cpu r: the same in CPU seconds (conversion: all "
        "threads\n"
        "  of the entry's process over the wall span), which others on the cores disturb "
        "less.\n");
    std::printf("%d entries measured, %d failed; sums: wall %.1f s, floor %.1f s (ratio %.2f), "
                "cpu %.1f s, floor cpu %.1f s (ratio %.2f)\n",
                totals.done, totals.failed, totals.wall, totals.floor.wall,
                totals.floor.wall > 0 ? totals.wall / totals.floor.wall : 0.0, totals.cpu,
                totals.floor.cpu, totals.floor.cpu > 0 ? totals.cpu / totals.floor.cpu : 0.0);

    if (jobs)
        BenchJobs((fs::path(self).parent_path() / "corvina-convert").string(),
                  fs::absolute(jobsClip).string(), jobsFormat, repeat, workDir);
    fs::remove_all(workDir);
    std::printf("\nload average after: %s; benchmark took %.0f s\n", LoadAverage().c_str(),
                Since(begun));
    return totals.failed ? 1 : 0;
}

} // namespace

} // namespace corvina::bench

int main(int argc, char* argv[]) {
    using namespace corvina::bench;
    if (argc == 5 && std::strcmp(argv[1], "--child") == 0)
        return RunChild(std::atoi(argv[2]), argv[3], argv[4]);
    if (argc == 5 && std::strcmp(argv[1], "--raw-child") == 0)
        return RunRawChild(argv[2], argv[3], argv[4]);
    if (argc == 3 && std::strcmp(argv[1], "--decode") == 0)
        return RunDecodeChild(argv[2]);
    if ((argc == 8 || argc == 9) && std::strcmp(argv[1], "--floor") == 0)
        return RunFloorChild(argv[2], argv[3], argv[4], std::atoll(argv[5]),
                             AVRational{std::atoi(argv[6]), std::atoi(argv[7])},
                             argc == 9 && std::strcmp(argv[8], "--one-pass") == 0);
    return RunParent(argc, argv);
}
