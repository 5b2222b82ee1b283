// The component without running tasks: properties, the record texts, building tasks from
// option records, and the routing of the libraries' log lines.
#include "hosting/LogRouter.h"
#include "tests/hosting/TranscodeEngineTestSupport.h"

#include <cstdarg>
#include <cstdlib>
#include <ctime>
#include <string>

namespace corvina::hosting::testing {
namespace {

using Pairs = std::vector<std::pair<int64_t, int64_t>>;

TEST(TranscodeEngineProperties, DefaultsAndBounds) {
    TEngineComponent engine;
    EXPECT_EQ(engine.LogLevel(), TLogLevel::llInfo);
    EXPECT_EQ(engine.ProgressInterval(), 500);
    EXPECT_EQ(engine.ThreadPriority(), TThreadPriority::tpNormal);
    EXPECT_STREQ(TEngineComponent::Version(), "2.0");
    EXPECT_EQ(engine.TaskCount(), 0);

    engine.SetProgressInterval(50);
    EXPECT_EQ(engine.ProgressInterval(), 100);
    engine.SetProgressInterval(100);
    EXPECT_EQ(engine.ProgressInterval(), 100);
    engine.SetProgressInterval(250);
    EXPECT_EQ(engine.ProgressInterval(), 250);

    engine.SetThreadPriority(TThreadPriority::tpLowest);
    EXPECT_EQ(engine.ThreadPriority(), TThreadPriority::tpLowest);
    engine.SetThreadPriority(TThreadPriority::tpTimeCritical); // beyond the convert range
    EXPECT_EQ(engine.ThreadPriority(), TThreadPriority::tpNormal);
}

TEST(TranscodeEngineProperties, LevelMappings) {
    EXPECT_EQ(LibraryLevel(TLogLevel::llQuiet), -1);
    EXPECT_EQ(LibraryLevel(TLogLevel::llError), 0);
    EXPECT_EQ(LibraryLevel(TLogLevel::llAll), 3);
    EXPECT_EQ(LogLevelOfLibraryLevel(-1), TLogLevel::llQuiet);
    EXPECT_EQ(LogLevelOfLibraryLevel(-8), TLogLevel::llQuiet);
    EXPECT_EQ(LogLevelOfLibraryLevel(0), TLogLevel::llError);
    EXPECT_EQ(LogLevelOfLibraryLevel(2), TLogLevel::llDebug);
    EXPECT_EQ(LogLevelOfLibraryLevel(3), TLogLevel::llAll);
    EXPECT_EQ(LogLevelOfLibraryLevel(9), TLogLevel::llAll);

    // The libraries' own levels on the classic scale.
    EXPECT_EQ(ClassicLogLevel(AV_LOG_QUIET), kDropLevel);
    EXPECT_EQ(ClassicLogLevel(AV_LOG_PANIC), 0);
    EXPECT_EQ(ClassicLogLevel(AV_LOG_FATAL), 0);
    EXPECT_EQ(ClassicLogLevel(AV_LOG_ERROR), 0);
    EXPECT_EQ(ClassicLogLevel(AV_LOG_WARNING), 1);
    EXPECT_EQ(ClassicLogLevel(AV_LOG_INFO), 1);
    EXPECT_EQ(ClassicLogLevel(AV_LOG_VERBOSE), 2);
    EXPECT_EQ(ClassicLogLevel(AV_LOG_DEBUG), 2);
    EXPECT_EQ(ClassicLogLevel(AV_LOG_TRACE), 3);
}

TEST(TranscodeEngineTexts, ExtOptionsLines) {
    using Lines = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(SplitExtOptions("a=1\r\nb"), (Lines{{"a", "1"}, {"b", ""}}));
    // Outer blanks go, inner ones stay; lone CR and LF break lines too; only the first "="
    // splits.
    EXPECT_EQ(SplitExtOptions("  x = 2\ry=a=b\nz=\n "),
              (Lines{{"x ", " 2"}, {"y", "a=b"}, {"z", ""}}));
    EXPECT_TRUE(SplitExtOptions(" \r\n ").empty());
}

TEST(TranscodeEngineTexts, HookRanges) {
    EXPECT_EQ(ParseHookRanges("10-20, 30-25, 40-50"), (Pairs{{10000, 20000}, {40000, 50000}}));
    EXPECT_EQ(ParseHookRanges("x-20"), (Pairs{{-1000, 20000}}));
    EXPECT_TRUE(ParseHookRanges("5").empty());
    EXPECT_TRUE(ParseHookRanges("").empty());
    EXPECT_TRUE(ParseHookRanges("7-x").empty()); // an end that is no number is -1
    EXPECT_EQ(ParseHookRanges(" 0-0 ,"), (Pairs{{0, 0}}));
}

// Switches the process's time zone for one case.
class TimeZone {
public:
    explicit TimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ"))
            saved_ = old, hadOld_ = true;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~TimeZone() {
        if (hadOld_)
            setenv("TZ", saved_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string saved_;
    bool hadOld_ = false;
};

TEST(TranscodeEngineTexts, LocalDaysToUnixTime) {
    // 1 January 2001 12:00 and 1 July 2001 12:00, local time.
    const double january = 36892.5, july = 37073.5;
    {
        TimeZone utc("UTC0");
        EXPECT_EQ(UnixTimeOfLocalDays(25569.0), 0);
        EXPECT_EQ(UnixTimeOfLocalDays(january), 978350400);
        EXPECT_EQ(UnixTimeOfLocalDays(july), 993988800);
    }
    {
        // One hour east of UTC in winter, two in summer: each date uses its own offset.
        TimeZone cet("CET-1CEST,M3.5.0,M10.5.0/3");
        EXPECT_EQ(UnixTimeOfLocalDays(january), 978350400 - 3600);
        EXPECT_EQ(UnixTimeOfLocalDays(july), 993988800 - 7200);
    }
}

TEST(TranscodeEngineTexts, LogList) {
    TLogList list;
    const std::thread::id self = std::this_thread::get_id();
    std::thread::id other;
    std::thread([&] { other = std::this_thread::get_id(); }).join();

    TLogItem& a = list.FindOrAdd(self);
    a.Pending = "x";
    TLogItem& b = list.FindOrAdd(other);
    EXPECT_NE(&a, &b);
    EXPECT_EQ(&list.FindOrAdd(self), &a);
    EXPECT_EQ(list.FindOrAdd(self).Pending, "x");
    list.Clear();
    // The embedded item is free again and goes to whoever asks first.
    TLogItem& c = list.FindOrAdd(other);
    EXPECT_EQ(&c, &a);
    EXPECT_TRUE(c.Pending.empty());
}

// ---------------------------------------------------------------- log routing

void Route(void* context, int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogRouter(context, level, format, args);
    va_end(args);
}

const char* FakeItemName(void*) {
    return "fake-item";
}

struct FakeContext {
    const AVClass* cls;
};

class LogRoutingTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_TRUE(engine_.LoadLibraries("", true));
        journal_.Attach(engine_);
    }
    std::vector<Event> Lines() const { return journal_.Of(Event::Log); }

    Journal journal_; // outlives the engine
    TEngineComponent engine_;
};

TEST_F(LogRoutingTest, PartsJoinIntoOneLine) {
    Route(nullptr, AV_LOG_ERROR, "abc");
    EXPECT_TRUE(Lines().empty()); // held back until a line feed
    Route(nullptr, AV_LOG_ERROR, "%s\n", "def");
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "abcdef");
    EXPECT_EQ(lines[0].index, -1);
    EXPECT_EQ(lines[0].level, TLogLevel::llError);
}

TEST_F(LogRoutingTest, ContextPrefixOnTheFirstPartOnly) {
    AVClass cls{};
    cls.class_name = "fake";
    cls.item_name = FakeItemName;
    FakeContext ctx{&cls};
    Route(&ctx, AV_LOG_INFO, "abc");
    Route(&ctx, AV_LOG_INFO, "def\nghi\n");
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "[fake-item @ %08X]",
                  static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(&cls) & 0xFFFFFFFFu));
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, std::string(prefix) + "abcdef");
    EXPECT_EQ(lines[1].text, "ghi"); // the rest of a message carries no prefix of its own
    EXPECT_EQ(lines[0].level, TLogLevel::llInfo);
}

TEST_F(LogRoutingTest, PendingTextIsPerThread) {
    Route(nullptr, AV_LOG_ERROR, "main-");
    std::thread([] { Route(nullptr, AV_LOG_ERROR, "worker\n"); }).join();
    Route(nullptr, AV_LOG_ERROR, "end\n");
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "worker");
    EXPECT_EQ(lines[1].text, "main-end");
}

TEST_F(LogRoutingTest, LevelFilterFollowsLogLevel) {
    engine_.SetLogLevel(TLogLevel::llError);
    Route(nullptr, AV_LOG_WARNING, "warning\n");
    Route(nullptr, AV_LOG_ERROR, "error\n");
    engine_.SetLogLevel(TLogLevel::llDebug);
    Route(nullptr, AV_LOG_VERBOSE, "verbose\n");
    Route(nullptr, AV_LOG_TRACE, "trace\n");
    engine_.SetLogLevel(TLogLevel::llQuiet);
    Route(nullptr, AV_LOG_PANIC, "panic\n");
    engine_.SetLogLevel(TLogLevel::llAll);
    Route(nullptr, AV_LOG_TRACE, "trace2\n");
    Route(nullptr, AV_LOG_QUIET, "never\n");
    std::vector<std::string> texts;
    for (const Event& e : Lines())
        texts.push_back(e.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"error", "verbose", "trace2"}));
    EXPECT_EQ(Lines().back().level, TLogLevel::llAll);
}

TEST_F(LogRoutingTest, OverlongTextIsCut) {
    const std::string big(5000, 'x');
    Route(nullptr, AV_LOG_ERROR, "%s", big.c_str());
    Route(nullptr, AV_LOG_ERROR, "next\n");
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, std::string(2047, 'x'));
    EXPECT_EQ(lines[1].text, "next");
}

TEST_F(LogRoutingTest, EveryLiveComponentGetsEachLineOnce) {
    Journal second;
    {
        TEngineComponent other;
        second.Attach(other);
        ff::util.av_log(nullptr, AV_LOG_ERROR, "both %d\n", 2); // through the installed callback
    }
    ff::util.av_log(nullptr, AV_LOG_ERROR, "first only\n");
    ASSERT_EQ(Lines().size(), 2u);
    EXPECT_EQ(Lines()[0].text, "both 2");
    EXPECT_EQ(Lines()[1].text, "first only");
    ASSERT_EQ(second.Of(Event::Log).size(), 1u);
    EXPECT_EQ(second.Of(Event::Log)[0].text, "both 2");
}

TEST_F(LogRoutingTest, ProbeMessagesArriveWithoutTask) {
    hosting::FormatInfo info;
    engine_.Probe().GetFormatInfo(info); // no file loaded
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "file not loaded.");
    EXPECT_EQ(lines[0].index, -1);
    EXPECT_EQ(lines[0].level, TLogLevel::llInfo);
}

// ---------------------------------------------------------------- building tasks

class TaskBuildTest : public EngineTest {
protected:
    TEngineComponent engine_;
    test::TempDir dir_;
};

TEST_F(TaskBuildTest, AddTaskFailureLeavesNoTask) {
    const std::string missing = (dir_ / "missing.mov").string();
    EXPECT_EQ(engine_.AddTask(missing), -1);
    EXPECT_NE(engine_.LastError().find("no such file or directory"), std::string::npos)
        << engine_.LastError();
    EXPECT_EQ(engine_.TaskCount(), 0);

    // A rejected option fails the same way, with the engine's text.
    TInputOptions in;
    InitInputOptions(in);
    in.ExtOptions = "vol=loud"; // not a number
    EXPECT_EQ(engine_.AddTask(Clip(), &in), -1);
    EXPECT_FALSE(engine_.LastError().empty());
    EXPECT_EQ(engine_.TaskCount(), 0);

    in = TInputOptions{};
    EXPECT_EQ(engine_.AddTask(Clip(), &in), 0);
    engine_.ClearTasks();
    EXPECT_TRUE(engine_.LastError().empty());
    EXPECT_EQ(engine_.TaskCount(), 0);
}

TEST_F(TaskBuildTest, InputRecordIsApplied) {
    TInputOptions in;
    InitInputOptions(in);
    in.FileFormat = "mov";
    in.StartTime = 1500;
    in.ProgramID = 3;
    in.ExtOptions = "itsoffset=2";
    ASSERT_EQ(engine_.AddTask(Clip(), &in), 0) << engine_.LastError();
    TTranscoder* task = engine_.Task(0);
    EXPECT_EQ(task->InputOptions.FileName, Clip()); // filled in
    EXPECT_EQ(task->Settings().ProgramId, 3);
    EXPECT_STREQ(task->Input(0).Ctx->iformat->name, test::kIsoDemuxer.data());
    EXPECT_EQ(task->Index, 0);

    // ProgramID -1 leaves the engine's default; a forced format that does not fit fails.
    in = TInputOptions{};
    ASSERT_EQ(engine_.AddTask(Clip(), &in), 1);
    EXPECT_EQ(engine_.Task(1)->Settings().ProgramId, 0);
    in.FileFormat = "nosuchdemuxer";
    EXPECT_EQ(engine_.AddTask(Clip(), &in), -1);
    EXPECT_EQ(engine_.LastError(), "Unknown input format: nosuchdemuxer");
}

TEST_F(TaskBuildTest, SetOutputFileFailureKeepsTheTask) {
    ASSERT_EQ(engine_.AddTask(Clip()), 0);
    TOutputOptions out;
    InitOutputOptions(out);
    out.FileFormat = "nosuchformat";
    EXPECT_FALSE(engine_.SetOutputFile(0, (dir_ / "a.mov").string(), &out));
    EXPECT_EQ(engine_.LastError(), "Unknown output format: nosuchformat");
    EXPECT_EQ(engine_.TaskCount(), 1);
    out = TOutputOptions{};
    out.AudioTag = "abc"; // must be four characters
    EXPECT_FALSE(engine_.SetOutputFile(0, (dir_ / "a.mov").string(), &out));
    EXPECT_EQ(engine_.LastError(), "audio tag parameter must be 4 chars");
    EXPECT_FALSE(engine_.SetOutputFile(5, (dir_ / "a.mov").string(), nullptr));
    EXPECT_EQ(engine_.TaskCount(), 1);
}

TEST_F(TaskBuildTest, AlwaysAssignedFieldsOverrideExtOptions) {
    ASSERT_EQ(engine_.AddTask(Clip()), 0);
    TOutputOptions out = CopyOutput();
    out.ExtOptions = "alang=ger\nslang=fre\nasync=3\nvsync=2\ncopyts\nvol=100\ntitle=From text";
    out.Title = std::string("Record title\0ignored", 20);
    out.Year = 1999;
    out.Track = 0; // not applied
    ASSERT_TRUE(engine_.SetOutputFile(0, (dir_ / "a.mov").string(), &out)) << engine_.LastError();
    const engine::EngineSettings& s = engine_.Task(0)->Settings();
    EXPECT_EQ(s.AudioLanguage, "");
    EXPECT_EQ(s.SubtitleLanguage, "");
    EXPECT_EQ(s.AudioSyncMethod, 0);
    EXPECT_EQ(s.VideoSyncMethod, -1);
    EXPECT_EQ(s.CopyTs, 0);
    EXPECT_EQ(s.AudioVolume, 100); // AudioVolume -1 is not assigned
    EXPECT_EQ(s.Title, "Record title");
    EXPECT_EQ(s.Year, 1999);
    EXPECT_EQ(s.Track, 0);
    EXPECT_EQ(engine_.Task(0)->OutputOptions.FileName, (dir_ / "a.mov").string());
}

TEST_F(TaskBuildTest, RecordFieldsReachTheEngine) {
    ASSERT_EQ(engine_.AddTask(Clip()), 0);
    TOutputOptions out;
    InitOutputOptions(out);
    out.FrameSize = "96x64";
    out.FrameRate = "10";
    out.AudioSampleRate = 22050;
    out.AudioChannels = 1;
    out.MuxDelay = 0.25f;
    out.RecordingTime = 1200;
    out.Timestamp = 25569.0 + 1.0; // one day after the epoch, local time
    ASSERT_TRUE(engine_.SetOutputFile(0, (dir_ / "a.avi").string(), &out)) << engine_.LastError();
    const engine::EngineSettings& s = engine_.Task(0)->Settings();
    EXPECT_EQ(s.RecordingTime, 1200000);
    EXPECT_EQ(s.DurationMs, 1200);
    EXPECT_FLOAT_EQ(s.MuxMaxDelay, 0.25f);
    EXPECT_EQ(s.RecordingTimestamp, UnixTimeOfLocalDays(25570.0));
    const engine::OutputFile& file = engine_.Task(0)->Output(0);
    bool sawVideo = false;
    for (const auto& st : file.Streams) {
        if (st->Enc->codec_type == AVMEDIA_TYPE_VIDEO) {
            sawVideo = true;
            EXPECT_EQ(st->Enc->width, 96);
            EXPECT_EQ(st->Enc->height, 64);
        } else if (st->Enc->codec_type == AVMEDIA_TYPE_AUDIO) {
            EXPECT_EQ(st->Enc->sample_rate, 22050);
        }
    }
    EXPECT_TRUE(sawVideo);
}

TEST_F(TaskBuildTest, TargetPresetOverridesFieldsAndText) {
    ASSERT_EQ(engine_.AddTask(Clip()), 0);
    TOutputOptions out;
    InitOutputOptions(out);
    out.FileFormat = "avi";
    out.ExtOptions = "f=mp4";
    out.Target = 3; // dvd
    out.TargetNorm = 1;
    ASSERT_TRUE(engine_.SetOutputFile(0, (dir_ / "a.mpg").string(), &out)) << engine_.LastError();
    EXPECT_STREQ(engine_.Task(0)->Output(0).Ctx->oformat->name, "dvd");
}

TEST_F(TaskBuildTest, ExactlyOneHookSelection) {
    std::vector<std::pair<int, int64_t>> seen;
    engine_.OnBeforeHook = [&seen](int index, int64_t pts, THookAction& action) {
        seen.emplace_back(index, pts);
        action = THookAction::haStop;
    };
    ASSERT_EQ(engine_.AddTask(Clip()), 0);
    ASSERT_EQ(engine_.AddTask(Clip()), 1);

    TOutputOptions out = CopyOutput();
    out.HookRanges = "40-50, 10-20";
    ASSERT_TRUE(engine_.SetOutputFile(0, (dir_ / "a.mov").string(), &out));
    EXPECT_EQ(engine_.Task(0)->HookRanges(), (Pairs{{10000, 20000}, {40000, 50000}}));
    EXPECT_FALSE(engine_.Task(0)->OnBeforeHook);

    out.BeforeHook = true; // wins over the ranges
    ASSERT_TRUE(engine_.SetOutputFile(1, (dir_ / "b.mov").string(), &out));
    TTranscoder* task = engine_.Task(1);
    EXPECT_TRUE(task->HookRanges().empty());
    ASSERT_TRUE(task->OnBeforeHook);
    engine::HookAction action = engine::HookAction::Continue;
    task->OnBeforeHook(123456, action);
    EXPECT_EQ(action, engine::HookAction::Stop);
    EXPECT_EQ(seen, (std::vector<std::pair<int, int64_t>>{{1, 123456}}));

    // The custom hook wins over both, and reaches OnCustomHook with the task's index.
    int customIndex = -2;
    engine_.OnCustomHook = [&customIndex](int index, TBitmap*, int frame, int64_t, bool& update,
                                          bool& stopHook) {
        customIndex = index;
        update = frame > 1;
        stopHook = true;
    };
    ASSERT_EQ(engine_.AddTask(Clip()), 2);
    out.CustomHook = true;
    ASSERT_TRUE(engine_.SetOutputFile(2, (dir_ / "c.mov").string(), &out));
    task = engine_.Task(2);
    EXPECT_FALSE(task->OnBeforeHook);
    EXPECT_TRUE(task->HookRanges().empty());
    ASSERT_TRUE(task->OnCustomHook);
    bool update = true, stopHook = false;
    task->OnCustomHook(nullptr, 1, 0, update, stopHook);
    EXPECT_EQ(customIndex, 2);
    EXPECT_FALSE(update);
    EXPECT_TRUE(stopHook);
}

TEST_F(TaskBuildTest, RemoveTaskRenumbers) {
    for (int i = 0; i < 3; i++)
        ASSERT_EQ(engine_.AddTask(Clip()), i);
    const TTranscoder* second = engine_.Task(1);
    const TTranscoder* third = engine_.Task(2);
    engine_.RemoveTask(0);
    EXPECT_EQ(engine_.TaskCount(), 2);
    EXPECT_EQ(engine_.Task(0), second);
    EXPECT_EQ(engine_.Task(1), third);
    EXPECT_EQ(second->Index, 0);
    EXPECT_EQ(third->Index, 1);
    engine_.RemoveTask(7); // out of range: nothing
    EXPECT_EQ(engine_.TaskCount(), 2);
}

} // namespace
} // namespace corvina::hosting::testing
