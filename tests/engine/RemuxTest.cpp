// Opening inputs and outputs, and whole jobs run with stream copy; outputs are verified by
// reading them back with the libraries.
#include "engine/Transcoder.h"
#include "tests/support/Fixtures.h"
#include "tests/support/MediaReadBack.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <thread>

namespace corvina::engine {
namespace {

using test::Fixture;
using test::StreamKind;

struct JobResult {
    bool opened = false;
    std::string error; // LastError of a failed open, or the run's exception message
    bool finished = false;
    bool exception = false;
    std::vector<std::pair<int, std::string>> log;
};

// Runs one job synchronously: option texts, input, output, start.
JobResult RunJob(const std::string& input, const std::string& output,
                 const std::string& inputOptions, const std::string& outputOptions) {
    JobResult result;
    TCustomTranscoder t;
    t.OnLog = [&result](int level, const std::string& text) {
        result.log.emplace_back(level, text);
    };
    t.ApplyOptionText(inputOptions);
    if (!t.OpenInput(input)) {
        result.error = t.LastError();
        return result;
    }
    t.ApplyOptionText(outputOptions);
    if (!t.OpenOutput(output)) {
        result.error = t.LastError();
        return result;
    }
    result.opened = true;
    t.Start(false);
    result.finished = t.Finished();
    result.exception = t.ExceptionRaised();
    if (result.exception)
        result.error = t.ExceptionMessage();
    return result;
}

const char* const kCopyAll = "vcodec=copy\nacodec=copy\nscodec=copy";

} // namespace
} // namespace corvina::engine

// Short parameter names in test output.
namespace corvina::test {
void PrintTo(const FixtureSpec& fixtureRow, std::ostream* os) {
    *os << fixtureRow.name;
}
} // namespace corvina::test

namespace corvina::engine {
namespace {

class StreamCopy : public ::testing::TestWithParam<std::tuple<test::FixtureSpec, std::string>> {};

// Whether the container can carry a codec (the test's own view of the library).
bool ContainerTakes(const std::string& extension, const std::string& codecName) {
    if (codecName.empty())
        return true;
    // Listed in the muxer's tag table, but refused when the header is written.
    if (extension == "mkv" && (codecName == "rv20" || codecName == "rv10"))
        return false;
    const AVOutputFormat* fmt =
        ff::format.av_guess_format(nullptr, ("x." + extension).c_str(), nullptr);
    const AVCodecDescriptor* d = nullptr;
    for (int id = 1; id < 100000 && !d; id++) {
        const AVCodecDescriptor* cand =
            ff::codec.avcodec_descriptor_get(static_cast<AVCodecID>(id));
        if (cand && codecName == cand->name)
            d = cand;
    }
    return fmt && d && ff::format.avformat_query_codec(fmt, d->id, FF_COMPLIANCE_NORMAL) == 1;
}

TEST_P(StreamCopy, KeepsStreamsCodecsAndDuration) {
    test::RequireLibraries();
    const auto& [fixtureRow, extension] = GetParam();
    const std::string input = Fixture(std::string(fixtureRow.name)).string();
    const test::MediaInfo source = test::ReadBack(input);
    ASSERT_TRUE(source.opened) << source.error;

    bool copyable = true;
    for (const test::StreamInfo& s : source.streams)
        copyable = copyable && ContainerTakes(extension, s.codec);
    if (!copyable)
        GTEST_SKIP() << fixtureRow.name << " has a stream ." << extension << " cannot carry";

    test::TempDir dir;
    const std::string output = (dir / ("copy." + extension)).string();
    const JobResult job = RunJob(input, output, "", kCopyAll);
    ASSERT_TRUE(job.opened) << job.error;
    ASSERT_FALSE(job.exception) << job.error;
    EXPECT_TRUE(job.finished);

    const test::MediaInfo copy = test::ReadBack(output);
    ASSERT_TRUE(copy.opened) << copy.error;
    EXPECT_TRUE(copy.DecodesCleanly()) << test::Describe(copy);
    ASSERT_EQ(copy.streams.size(), source.streams.size()) << test::Describe(copy);
    for (size_t i = 0; i < source.streams.size(); i++) {
        const test::StreamInfo& a = source.streams[i];
        const test::StreamInfo* b = nullptr;
        for (const test::StreamInfo& s : copy.streams)
            if (s.kind == a.kind && s.codec == a.codec)
                b = &s;
        ASSERT_NE(b, nullptr) << "no " << a.codec << " stream in " << test::Describe(copy);
        EXPECT_EQ(b->width, a.width);
        EXPECT_EQ(b->height, a.height);
        EXPECT_EQ(b->sampleRate, a.sampleRate);
        EXPECT_EQ(b->channels, a.channels);
        // (The QuickTime muxers add empty samples between subtitles.)
        if (a.kind != StreamKind::Subtitle) {
            EXPECT_EQ(b->packets, a.packets) << StreamKindName(a.kind);
        }
        if (a.kind == StreamKind::Video) {
            const double frame =
                fixtureRow.fpsNum ? double(fixtureRow.fpsDen) / fixtureRow.fpsNum : 0.04;
            EXPECT_NEAR(b->endTime - b->firstTime, a.endTime - a.firstTime, frame + 1e-3);
            EXPECT_EQ(b->frames, a.frames);
        }
        if (a.kind == StreamKind::Audio) {
            EXPECT_NEAR(b->decodedSeconds(), a.decodedSeconds(), 0.05);
        }
    }
}

std::vector<std::tuple<test::FixtureSpec, std::string>> CopyCases() {
    std::vector<std::tuple<test::FixtureSpec, std::string>> cases;
    for (const test::FixtureSpec& fixtureRow : test::kFixtures)
        if (fixtureRow.Has(test::kOpensCleanly))
            for (const char* ext : {"mp4", "mov", "mkv"})
                cases.emplace_back(fixtureRow, ext);
    return cases;
}

std::string CaseName(const ::testing::TestParamInfo<StreamCopy::ParamType>& info) {
    std::string name(std::get<0>(info.param).name);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name + "_to_" + std::get<1>(info.param);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, StreamCopy, ::testing::ValuesIn(CopyCases()), CaseName);

TEST(OpenInput, MissingFileNamesThePathAndAddsNothing) {
    test::RequireLibraries();
    test::TempDir dir;
    const std::string missing = (dir / "missing.mov").string();
    TCustomTranscoder t;
    EXPECT_FALSE(t.OpenInput(missing));
    EXPECT_EQ(t.LastError(), missing + ": no such file or directory");
    EXPECT_EQ(t.InputFileCount(), 0);
}

TEST(OpenInput, GarbageIsAnUnknownFormat) {
    test::RequireLibraries();
    const std::string garbage = Fixture("garbage.mov").string();
    TCustomTranscoder t;
    EXPECT_FALSE(t.OpenInput(garbage));
    EXPECT_EQ(t.LastError(), garbage + ": Unknown format");
}

TEST(OpenInput, DecoderNamesAreCheckedForTheirKind) {
    test::RequireLibraries();
    TCustomTranscoder t;
    t.SetOption("acodec", "mpeg4");
    EXPECT_FALSE(t.OpenInput(Fixture("h264_aac_640x480_25.mov").string()));
    EXPECT_EQ(t.LastError(), "Invalid decoder type 'mpeg4'");
    // The failed open consumed the name: the retry starts clean.
    EXPECT_TRUE(t.OpenInput(Fixture("h264_aac_640x480_25.mov").string())) << t.LastError();

    TCustomTranscoder u;
    u.SetOption("vcodec", "no_such_codec");
    EXPECT_FALSE(u.OpenInput(Fixture("h264_aac_640x480_25.mov").string()));
    EXPECT_EQ(u.LastError(), "Unknown decoder 'no_such_codec'");
}

TEST(OpenInput, StreamParametersBecomeTheOutputDefaults) {
    test::RequireLibraries();
    TCustomTranscoder t;
    ASSERT_TRUE(t.OpenInput(Fixture("h264_aac_640x480_25.mov").string())) << t.LastError();
    const EngineSettings& s = t.Settings();
    EXPECT_EQ(s.FrameWidth, 640);
    EXPECT_EQ(s.FrameHeight, 480);
    EXPECT_NEAR(s.FrameAspectRatio, 4.0 / 3.0, 1e-4);
    EXPECT_EQ(s.FrameRate.num * 1, 25 * s.FrameRate.den);
    EXPECT_EQ(s.AudioSampleRate, 44100);
    EXPECT_EQ(s.AudioChannels, 2);
    EXPECT_NEAR(s.DurationMs, 3000, 50);
    EXPECT_EQ(t.InputFileCount(), 1);

    TCustomTranscoder m;
    ASSERT_TRUE(m.OpenInput(Fixture("h264_aac_mono_176x144_15.mov").string()));
    EXPECT_EQ(m.Settings().AudioChannels, 1);
    EXPECT_EQ(m.Settings().AudioSampleRate, 22050);
}

TEST(OpenInput, TurnedRecordingsGiveTheSizeAsSeen) {
    test::RequireLibraries();
    TCustomTranscoder t;
    ASSERT_TRUE(t.OpenInput(Fixture("portrait_turn90.mov").string())) << t.LastError();
    EXPECT_EQ(t.Settings().FrameWidth, 176);
    EXPECT_EQ(t.Settings().FrameHeight, 320);
    EXPECT_NEAR(t.Settings().FrameAspectRatio, 176.0 / 320.0, 1e-4);
    TCustomTranscoder u;
    ASSERT_TRUE(u.OpenInput(Fixture("upside_down_turn180.mov").string())) << u.LastError();
    EXPECT_EQ(u.Settings().FrameWidth, 320);
    EXPECT_EQ(u.Settings().FrameHeight, 176);
}

// A copied stream keeps its pictures as stored, so the container must keep telling players
// how to turn them; one without a place for it just plays them as stored.
TEST(Run, StreamCopyKeepsTheDisplayMatrix) {
    test::RequireLibraries();
    const std::string input = Fixture("portrait_turn90.mov").string();
    test::TempDir dir;
    for (const char* name : {"copy.mov", "copy.mp4"}) {
        const std::string output = (dir / name).string();
        const JobResult job = RunJob(input, output, "", kCopyAll);
        ASSERT_TRUE(job.finished) << job.error;
        const test::MediaInfo copy = test::ReadBack(output);
        ASSERT_NE(copy.Video(), nullptr) << test::Describe(copy);
        EXPECT_TRUE(copy.Video()->displayMatrix) << name;
        EXPECT_EQ(copy.Video()->width, 320);
    }
    const std::string mkv = (dir / "copy.mkv").string();
    ASSERT_TRUE(RunJob(input, mkv, "", kCopyAll).finished);
    EXPECT_TRUE(test::ReadBack(mkv).DecodesCleanly());
}

TEST(OpenInput, StartTimeSeeksAndIsConsumed) {
    test::RequireLibraries();
    TCustomTranscoder t;
    t.SetOption("ss", "1");
    ASSERT_TRUE(t.OpenInput(Fixture("h264_aac_640x480_25.mov").string())) << t.LastError();
    EXPECT_EQ(t.Settings().StartTime, 0);
    EXPECT_EQ(t.Input(0).TsOffset, -1000000); // the fixture starts at 0
}

TEST(OpenInput, ScriptOpensItsSourceAtTheGivenRate) {
    test::RequireLibraries();
    test::TempDir dir;
    const std::string script = (dir / "r.avs").string();
    {
        std::ofstream f(script);
        f << "LoadPlugin(\"DirectShowSource.dll\")\r\n"
          << "DirectShowSource(\"" << Fixture("rv20_ac3.rmvb").string()
          << "\", fps=30, convertfps=true)\r\n";
    }
    TCustomTranscoder t;
    ASSERT_TRUE(t.OpenInput(script)) << t.LastError();
    EXPECT_EQ(t.Settings().FrameRate.num, 30);
    EXPECT_EQ(t.Settings().FrameRate.den, 1);
    EXPECT_EQ(t.Settings().FrameWidth, 352);

    const std::string other = (dir / "other.avs").string();
    std::ofstream(other) << "Version()\r\nBlankClip()\r\n";
    TCustomTranscoder u;
    EXPECT_FALSE(u.OpenInput(other));
    EXPECT_NE(u.LastError().find("unsupported script"), std::string::npos) << u.LastError();
}

TEST(OpenOutput, RefusesWhatItCannotCreate) {
    test::RequireLibraries();
    test::TempDir dir;
    TCustomTranscoder t;
    const std::string odd = (dir / "out.nosuchext").string();
    EXPECT_FALSE(t.OpenOutput(odd));
    EXPECT_EQ(t.LastError(), "Unable to find a suitable output format for '" + odd + "'");

    TCustomTranscoder v;
    ASSERT_TRUE(v.OpenInput(Fixture("h264_aac_640x480_25.mov").string()));
    v.SetOption("vcodec", "mp2");
    EXPECT_FALSE(v.OpenOutput((dir / "out.avi").string()));
    EXPECT_EQ(v.LastError(), "new_video_stream fail: Invalid encoder type 'mp2'");

    TCustomTranscoder w;
    EXPECT_THROW(w.SetOption("newaudio", ""), ETranscodeError);

    // An output name is a plain file, never another protocol.
    for (const std::string url : {"http://127.0.0.1:9/out.mp4", "pipe:1.mp4"}) {
        TCustomTranscoder u;
        ASSERT_TRUE(u.OpenInput(Fixture("h264_aac_640x480_25.mov").string()));
        u.ApplyOptionText(kCopyAll);
        EXPECT_FALSE(u.OpenOutput(url));
        EXPECT_EQ(u.LastError(), "Could not open '" + url + "'");
    }
}

TEST(OpenOutput, AudioOnlyInputGetsOnlyAnAudioStream) {
    test::RequireLibraries();
    test::TempDir dir;
    TCustomTranscoder t;
    ASSERT_TRUE(t.OpenInput(Fixture("aac_44100_stereo.m4a").string()));
    ASSERT_TRUE(t.OpenOutput((dir / "out.avi").string())) << t.LastError();
    ASSERT_EQ(t.Output(0).Streams.size(), 1u);
    EXPECT_EQ(t.Output(0).Streams[0]->Enc->codec_type, AVMEDIA_TYPE_AUDIO);
}

TEST(OpenOutput, VideoStreamParameters) {
    test::RequireLibraries();
    test::TempDir dir;
    TCustomTranscoder t;
    t.SetOption("vcodec", "mpeg4");
    t.SetOption("s", "720x576");
    t.SetOption("aspect", "16:9");
    t.SetOption("an", "");
    ASSERT_TRUE(t.OpenOutput((dir / "out.avi").string())) << t.LastError();
    const AVCodecContext* enc = t.Output(0).Streams.at(0)->Enc.get();
    EXPECT_EQ(enc->width, 720);
    EXPECT_EQ(enc->height, 576);
    EXPECT_EQ(enc->sample_aspect_ratio.num, 64);
    EXPECT_EQ(enc->sample_aspect_ratio.den, 45);
    // Without a rate the time base is 1/25.
    EXPECT_EQ(enc->time_base.num, 1);
    EXPECT_EQ(enc->time_base.den, 25);
    // The per-kind settings were consumed by the stream.
    EXPECT_TRUE(t.Settings().VideoCodecName.empty());
}

TEST(OpenOutput, NearestSupportedFrameRate) {
    const AVRational ntscOnly[] = {{24000, 1001}, {30000, 1001}, {0, 0}};
    const AVRational r = NearestSupportedRate(ntscOnly, AVRational{25, 1});
    EXPECT_EQ(r.num, 24000);
    EXPECT_EQ(r.den, 1001);
    const AVRational equal[] = {{24, 1}, {26, 1}, {0, 0}};
    EXPECT_EQ(NearestSupportedRate(equal, AVRational{25, 1}).num, 24); // the first of equals
}

TEST(OpenOutput, RateControlOverrides) {
    test::RequireLibraries();
    const std::vector<RcOverride> o = ParseRcOverride("0,100,2/200,300,-50");
    ASSERT_EQ(o.size(), 2u);
    EXPECT_EQ(o[0].start_frame, 0);
    EXPECT_EQ(o[0].end_frame, 100);
    EXPECT_EQ(o[0].qscale, 2);
    EXPECT_FLOAT_EQ(o[0].quality_factor, 1.0f);
    EXPECT_EQ(o[1].start_frame, 200);
    EXPECT_EQ(o[1].end_frame, 300);
    EXPECT_EQ(o[1].qscale, 0);
    EXPECT_FLOAT_EQ(o[1].quality_factor, 0.5f);
    EXPECT_THROW(ParseRcOverride("0,100"), ETranscodeError);
}

TEST(OpenOutput, AnOutputNeverWrittenIsRemoved) {
    test::RequireLibraries();
    test::TempDir dir;
    const auto out = dir / "never.mp4";
    {
        TCustomTranscoder t;
        ASSERT_TRUE(t.OpenInput(Fixture("h264_aac_640x480_25.mov").string()));
        t.ApplyOptionText(kCopyAll);
        ASSERT_TRUE(t.OpenOutput(out.string()));
        // Opened under a hidden name beside its own; the own name comes only at the end.
        EXPECT_FALSE(std::filesystem::exists(out));
        int hidden = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            hidden += entry.path().filename().string().rfind(".never.mp4.", 0) == 0;
        EXPECT_EQ(hidden, 1);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(Run, RefusesWithoutFiles) {
    test::RequireLibraries();
    TCustomTranscoder t;
    std::vector<std::pair<int, std::string>> log;
    int terminations = 0;
    t.OnLog = [&log](int level, const std::string& text) { log.emplace_back(level, text); };
    t.OnTerminate = [&terminations] { terminations++; };
    EXPECT_FALSE(t.Start(false));
    EXPECT_TRUE(t.ExceptionRaised());
    EXPECT_EQ(t.ExceptionMessage(), "Must supply at least one output file");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(),
              std::make_pair(kLevelEnd, std::string("Must supply at least one output file")));
    EXPECT_EQ(terminations, 1);
    EXPECT_TRUE(t.Terminated());
    EXPECT_FALSE(t.Start(false)); // a terminated job does not run again
}

TEST(Run, SetUpRefusals) {
    test::RequireLibraries();
    test::TempDir dir;
    const std::string input = Fixture("h264_aac_640x480_25.mov").string();

    // Two streams out, one map.
    JobResult r = RunJob(input, (dir / "a.mkv").string(), "", std::string(kCopyAll) + "\nmap=0.0");
    EXPECT_TRUE(r.exception);
    EXPECT_EQ(r.error, "Number of stream maps must match number of output streams");
    EXPECT_FALSE(std::filesystem::exists(dir / "a.mkv"));

    // Video output fed from the audio stream.
    r = RunJob(input, (dir / "b.mkv").string(), "", std::string(kCopyAll) + "\nmap=0.1\nmap=0.1");
    EXPECT_EQ(r.error, "Codec type mismatch for mapping #0.1 -> #0.0");

    r = RunJob(input, (dir / "c.mkv").string(), "", std::string(kCopyAll) + "\nmap=0.5\nmap=0.1");
    EXPECT_EQ(r.error, "Could not find input stream #0.5");

    r = RunJob(input, (dir / "d.mkv").string(), "",
               std::string(kCopyAll) + "\nmap=0.0:1.0\nmap=0.1");
    EXPECT_EQ(r.error, "Could not find sync stream #1.0");

    // Swapped maps are fine: output stream 0 is video, so map 0.0 then 0.1.
    r = RunJob(input, (dir / "e.mkv").string(), "", std::string(kCopyAll) + "\nmap=0.0\nmap=0.1");
    EXPECT_FALSE(r.exception) << r.error;
    EXPECT_TRUE(r.finished);
}

TEST(Run, VideoOutputWithoutVideoInput) {
    test::RequireLibraries();
    test::TempDir dir;
    TCustomTranscoder t;
    // The output is opened first, so nothing limits it to the input's kinds.
    t.ApplyOptionText("vcodec=copy\nan");
    ASSERT_TRUE(t.OpenOutput((dir / "v.mkv").string())) << t.LastError();
    ASSERT_TRUE(t.OpenInput(Fixture("aac_44100_stereo.m4a").string()));
    t.Start(false);
    EXPECT_TRUE(t.ExceptionRaised());
    EXPECT_EQ(t.ExceptionMessage(), "Could not find input stream matching output stream #0.0");
    EXPECT_FALSE(std::filesystem::exists(dir / "v.mkv"));
}

TEST(Run, RecordingTimeLimit) {
    test::RequireLibraries();
    test::TempDir dir;
    const std::string out = (dir / "t.mkv").string();
    const JobResult r = RunJob(Fixture("h264_aac_640x480_25.mov").string(), out, "",
                               std::string(kCopyAll) + "\nt=1");
    ASSERT_FALSE(r.exception) << r.error;
    EXPECT_TRUE(r.finished);
    const test::MediaInfo info = test::ReadBack(out);
    ASSERT_TRUE(info.DecodesCleanly()) << test::Describe(info);
    ASSERT_NE(info.Video(), nullptr);
    EXPECT_NEAR(info.Video()->endTime, 1.0, 0.1);
    EXPECT_LT(info.Video()->frames, 40);
}

TEST(Run, StopDuringCopyLeavesAPlayableFile) {
    test::RequireLibraries();
    test::TempDir dir;
    const std::string out = (dir / "stopped.mp4").string();
    TCustomTranscoder t;
    int terminations = 0;
    t.OnTerminate = [&terminations] { terminations++; };
    t.SetOption("re", ""); // read at the input's own pace, so the copy takes its 3 s
    ASSERT_TRUE(t.OpenInput(Fixture("h264_aac_640x480_25.mov").string()));
    t.ApplyOptionText(kCopyAll);
    ASSERT_TRUE(t.OpenOutput(out));
    ASSERT_TRUE(t.Start(true));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    t.RequestStop();
    t.Wait();
    EXPECT_TRUE(t.Terminated());
    EXPECT_FALSE(t.Finished());
    EXPECT_FALSE(t.ExceptionRaised()) << t.ExceptionMessage();
    EXPECT_EQ(terminations, 1);
    const test::MediaInfo info = test::ReadBack(out);
    ASSERT_TRUE(info.DecodesCleanly()) << test::Describe(info);
    ASSERT_NE(info.Video(), nullptr);
    EXPECT_GT(info.Video()->frames, 0);
    EXPECT_LT(info.Video()->endTime, 2.9);
}

TEST(Run, CancelBeforeStartStillTerminates) {
    test::RequireLibraries();
    TCustomTranscoder t;
    std::atomic<int> terminations{0};
    std::thread::id caller = std::this_thread::get_id(), reporter;
    t.OnTerminate = [&] {
        reporter = std::this_thread::get_id();
        terminations++;
    };
    t.Cancel();
    t.Wait();
    EXPECT_EQ(terminations, 1);
    EXPECT_NE(reporter, caller);
    EXPECT_TRUE(t.Terminated());
}

TEST(Run, ProgressReportsCarryFramesSizeAndDuration) {
    test::RequireLibraries();
    test::TempDir dir;
    TCustomTranscoder t;
    std::vector<ProgressInfo> reports;
    t.OnProgress = [&reports](const ProgressInfo& p) { reports.push_back(p); };
    t.ProgressInterval = 0; // every packet
    ASSERT_TRUE(t.OpenInput(Fixture("h264_aac_640x480_25.mov").string()));
    t.ApplyOptionText(kCopyAll);
    ASSERT_TRUE(t.OpenOutput((dir / "p.mkv").string()));
    t.Start(false);
    ASSERT_TRUE(t.Finished()) << t.ExceptionMessage();
    ASSERT_GE(reports.size(), 2u);
    for (const ProgressInfo& p : reports)
        EXPECT_GE(p.FrameNumber, 1); // nothing before the first picture
    const ProgressInfo& last = reports.back();
    EXPECT_EQ(last.FrameNumber, 75);
    EXPECT_NEAR(last.DurationMs, 3000, 50);
    EXPECT_NEAR(last.TimeMs, 3000, 100);
    EXPECT_EQ(last.TotalSize, static_cast<int64_t>(std::filesystem::file_size(dir / "p.mkv")));
    EXPECT_FLOAT_EQ(last.Quality, -1.0f); // a stream copy has no quality
}

} // namespace
} // namespace corvina::engine
