// The component running tasks: the start orders of each thread count, termination and the
// all-done event, stop, pause, destruction while running, and where log lines go.
#include "tests/hosting/TranscodeEngineTestSupport.h"
#include "tests/support/ManualScheduler.h"
#include "tests/support/MediaReadBack.h"

#include <algorithm>
#include <memory>
#include <set>

namespace corvina::hosting::testing {
namespace {

using namespace std::chrono_literals;

class EngineRunTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_TRUE(engine_.LoadLibraries("", true));
        engine_.SetProgressInterval(100);
        journal_.Attach(engine_);
    }

    // Adds a stream-copy task of the short clip; its output is out<N>.mov.
    int AddCopyTask(const std::string& name, const TInputOptions* in = nullptr,
                    TOutputOptions out = CopyOutput()) {
        const int index = engine_.AddTask(Clip(), in);
        EXPECT_GE(index, 0) << engine_.LastError();
        if (index >= 0) {
            EXPECT_TRUE(engine_.SetOutputFile(index, Output(name), &out)) << engine_.LastError();
        }
        return index;
    }
    std::string Output(const std::string& name) const { return (dir_ / name).string(); }

    std::vector<int> TerminateOrder() const {
        std::vector<int> order;
        for (const Event& e : journal_.Of(Event::Terminate))
            order.push_back(e.index);
        return order;
    }
    // The libraries' "Output #0" lines that name `name` came with task index `index`, and
    // there is at least one.
    void ExpectOutputLinesOf(const std::string& name, int index) const {
        bool found = false;
        for (const Event& e : journal_.Of(Event::Log))
            if (e.text.find("Output #0") != std::string::npos &&
                e.text.find(name) != std::string::npos) {
                found = true;
                EXPECT_EQ(e.index, index) << e.text;
            }
        EXPECT_TRUE(found) << name;
    }
    bool SawProgress(int index) const { return journal_.Count(Event::Progress, index) > 0; }
    bool WaitForProgress(int index) {
        return journal_.WaitFor([index](const std::vector<Event>& ev) {
            return std::any_of(ev.begin(), ev.end(), [index](const Event& e) {
                return e.kind == Event::Progress && e.index == index;
            });
        });
    }

    // Declared before the engine: its workers may still be reporting when a case ends, and
    // destroying the engine waits for them.
    test::TempDir dir_;
    test::ManualScheduler scheduler_;
    Journal journal_;
    TEngineComponent engine_{&scheduler_};
};

TEST_F(EngineRunTest, ThreadCountZeroRunsOneByOneOnTheMainThread) {
    for (int i = 0; i < 3; i++)
        AddCopyTask("out" + std::to_string(i) + ".mov");
    engine_.Start(0);
    // Nothing runs inside Start: one timer for the first task.
    EXPECT_TRUE(journal_.Of(Event::Terminate).empty());
    EXPECT_TRUE(journal_.Of(Event::Progress).empty());
    EXPECT_EQ(scheduler_.DelayedCount(), 1u);
    scheduler_.Advance(99);
    EXPECT_TRUE(journal_.Of(Event::Terminate).empty());
    scheduler_.Advance(1); // task 0 runs to its end here, then arms the next timer
    EXPECT_EQ(TerminateOrder(), (std::vector<int>{0}));
    EXPECT_EQ(scheduler_.DelayedCount(), 1u);
    scheduler_.Advance(99);
    EXPECT_EQ(TerminateOrder(), (std::vector<int>{0}));
    scheduler_.Advance(1);
    EXPECT_EQ(TerminateOrder(), (std::vector<int>{0, 1}));
    scheduler_.Advance(100);
    EXPECT_EQ(TerminateOrder(), (std::vector<int>{0, 1, 2, -1}));
    EXPECT_EQ(scheduler_.DelayedCount(), 0u);

    for (const Event& e : journal_.Events())
        EXPECT_EQ(e.thread, std::this_thread::get_id()) << e.kind << " of " << e.index;
    for (const Event& e : journal_.Of(Event::Terminate)) {
        EXPECT_TRUE(e.finished);
        EXPECT_FALSE(e.exception);
        EXPECT_EQ(e.text, "");
    }
    // The libraries' lines of each run carry the index of the task then running, even
    // though all three ran on this same thread.
    for (int i = 0; i < 3; i++) {
        const std::string name = "out" + std::to_string(i) + ".mov";
        ExpectOutputLinesOf(name, i);
        EXPECT_TRUE(test::ReadBack(Output(name)).DecodesCleanly());
    }
}

TEST_F(EngineRunTest, TwoThreadsRunTwoAtOnce) {
    const TInputOptions in = RealTimeInput();
    TOutputOptions limited = CopyOutput();
    limited.RecordingTime = 1000;
    for (int i = 0; i < 3; i++)
        AddCopyTask("out" + std::to_string(i) + ".mov", &in, limited);
    engine_.Start(2);
    // Both first tasks run at once; the third waits for one of them.
    ASSERT_TRUE(WaitForProgress(0));
    ASSERT_TRUE(WaitForProgress(1));
    if (TerminateOrder().empty()) {
        EXPECT_TRUE(engine_.Task(0)->Running() || engine_.Task(1)->Running());
        EXPECT_FALSE(engine_.Task(2)->Running());
        EXPECT_FALSE(engine_.Task(2)->Terminated());
    }
    ASSERT_TRUE(journal_.WaitForAllDone());

    const std::vector<Event> events = journal_.Events();
    auto firstOf = [&](Event::Kind kind, int index) {
        for (size_t k = 0; k < events.size(); k++)
            if (events[k].kind == kind && events[k].index == index)
                return k;
        return events.size();
    };
    const size_t firstTerminate =
        std::min(firstOf(Event::Terminate, 0), firstOf(Event::Terminate, 1));
    EXPECT_GT(firstOf(Event::Progress, 2), firstTerminate);
    // Both early tasks reported progress before either ended: they overlapped.
    EXPECT_LT(firstOf(Event::Progress, 0), firstTerminate);
    EXPECT_LT(firstOf(Event::Progress, 1), firstTerminate);

    const auto terminates = journal_.Of(Event::Terminate);
    ASSERT_EQ(terminates.size(), 4u);
    EXPECT_EQ(terminates[2].index, 2);
    EXPECT_EQ(terminates[3].index, -1);
    EXPECT_TRUE(terminates[3].finished);
    EXPECT_FALSE(terminates[3].exception);
    EXPECT_EQ(terminates[3].text, "");
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(journal_.Count(Event::Terminate, i), 1);
        const test::MediaInfo info = test::ReadBack(Output("out" + std::to_string(i) + ".mov"));
        EXPECT_TRUE(info.DecodesCleanly()) << test::Describe(info);
    }
    // Everything of the tasks came from their workers (the opening of the files logged on
    // this thread, without a task).
    for (const Event& e : journal_.Events())
        if (e.index >= 0) {
            EXPECT_NE(e.thread, std::this_thread::get_id()) << e.kind << " " << e.text;
        }
}

TEST_F(EngineRunTest, StopBeforeAnyStart) {
    for (int i = 0; i < 3; i++)
        AddCopyTask("out" + std::to_string(i) + ".mov");
    engine_.Stop();
    ASSERT_TRUE(journal_.WaitForAllDone());
    const auto terminates = journal_.Of(Event::Terminate);
    ASSERT_EQ(terminates.size(), 4u);
    std::set<int> indices;
    for (size_t k = 0; k < 3; k++) {
        indices.insert(terminates[k].index);
        EXPECT_FALSE(terminates[k].finished);
        EXPECT_FALSE(terminates[k].exception);
        EXPECT_EQ(terminates[k].text, "");
        EXPECT_NE(terminates[k].thread, std::this_thread::get_id());
    }
    EXPECT_EQ(indices, (std::set<int>{0, 1, 2}));
    EXPECT_EQ(terminates[3].index, -1);
    // A stopped batch does not start later.
    engine_.Start(1);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(journal_.Of(Event::Terminate).size(), 4u);
}

TEST_F(EngineRunTest, StopDuringConversions) {
    const TInputOptions in = RealTimeInput();
    for (int i = 0; i < 3; i++)
        AddCopyTask("out" + std::to_string(i) + ".mov", &in);
    engine_.Start(2);
    ASSERT_TRUE(WaitForProgress(0));
    ASSERT_TRUE(WaitForProgress(1));
    engine_.Stop();
    ASSERT_TRUE(journal_.WaitForAllDone());

    const auto terminates = journal_.Of(Event::Terminate);
    ASSERT_EQ(terminates.size(), 4u);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(journal_.Count(Event::Terminate, i), 1);
    for (size_t k = 0; k < 3; k++) {
        EXPECT_FALSE(terminates[k].finished) << terminates[k].index;
        EXPECT_FALSE(terminates[k].exception) << terminates[k].text;
    }
    EXPECT_EQ(terminates.back().index, -1);
    // The stopped runs still wrote their trailers; the pending one never started.
    for (int i = 0; i < 2; i++) {
        const test::MediaInfo info = test::ReadBack(Output("out" + std::to_string(i) + ".mov"));
        EXPECT_TRUE(info.opened) << test::Describe(info);
        EXPECT_TRUE(info.readError.empty()) << test::Describe(info);
    }
    EXPECT_FALSE(SawProgress(2));
}

TEST_F(EngineRunTest, PauseHoldsProgressAndResumeContinues) {
    const TInputOptions in = RealTimeInput();
    AddCopyTask("out.mov", &in);
    engine_.Start(1);
    ASSERT_TRUE(WaitForProgress(0));
    engine_.Pause();
    // A report under way when pausing may still arrive; after that, nothing.
    std::this_thread::sleep_for(300ms);
    const int held = journal_.Count(Event::Progress, 0);
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(journal_.Count(Event::Progress, 0), held);
    EXPECT_TRUE(engine_.Task(0)->Running());
    engine_.Resume();
    EXPECT_TRUE(journal_.WaitFor([held](const std::vector<Event>& ev) {
        return std::count_if(ev.begin(), ev.end(), [](const Event& e) {
                   return e.kind == Event::Progress && e.index == 0;
               }) > held;
    }));
    engine_.Stop();
    ASSERT_TRUE(journal_.WaitForAllDone());
}

TEST_F(EngineRunTest, DestructionWhileTasksRun) {
    const TInputOptions in = RealTimeInput();
    auto engine = std::make_unique<TEngineComponent>(&scheduler_);
    Journal journal;
    journal.Attach(*engine);
    engine->SetProgressInterval(100);
    for (int i = 0; i < 3; i++) {
        const int index = engine->AddTask(Clip(), &in);
        ASSERT_EQ(index, i) << engine->LastError();
        TOutputOptions out = CopyOutput();
        ASSERT_TRUE(engine->SetOutputFile(index, Output("d" + std::to_string(i) + ".mov"), &out));
    }
    engine->Start(2);
    ASSERT_TRUE(journal.WaitFor([](const std::vector<Event>& ev) {
        return std::any_of(ev.begin(), ev.end(),
                           [](const Event& e) { return e.kind == Event::Progress; });
    }));
    engine.reset(); // stops the workers and waits for them
    const size_t seen = journal.Events().size();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(journal.Events().size(), seen);
    // What the stopped runs wrote is a complete file.
    const test::MediaInfo info = test::ReadBack(Output("d0.mov"));
    EXPECT_TRUE(info.opened && info.readError.empty()) << test::Describe(info);
}

TEST_F(EngineRunTest, IndicesAfterRemoveTask) {
    for (int i = 0; i < 3; i++)
        AddCopyTask("out" + std::to_string(i) + ".mov");
    engine_.RemoveTask(0);
    engine_.Start(1);
    ASSERT_TRUE(journal_.WaitForAllDone());
    EXPECT_EQ(TerminateOrder(), (std::vector<int>{0, 1, -1}));
    for (const Event& e : journal_.Events())
        EXPECT_TRUE(e.index == 0 || e.index == 1 || e.index == -1) << e.index;
    // The libraries' lines name each task's own output under its new index.
    for (int i = 1; i < 3; i++)
        ExpectOutputLinesOf("out" + std::to_string(i) + ".mov", i - 1);
}

TEST_F(EngineRunTest, FailingTaskDoesNotStopTheOthers) {
    // Task 0 never got an output file: its start is refused and reported as its end.
    ASSERT_EQ(engine_.AddTask(Clip()), 0);
    AddCopyTask("out1.mov");
    engine_.Start(1);
    ASSERT_TRUE(journal_.WaitForAllDone());
    const auto terminates = journal_.Of(Event::Terminate);
    ASSERT_EQ(terminates.size(), 3u);
    EXPECT_EQ(terminates[0].index, 0);
    EXPECT_FALSE(terminates[0].finished);
    EXPECT_TRUE(terminates[0].exception);
    EXPECT_EQ(terminates[0].text, "Must supply at least one output file");
    EXPECT_EQ(terminates[1].index, 1);
    EXPECT_TRUE(terminates[1].finished);
    EXPECT_EQ(terminates[2].index, -1);
    // The refusal also went out as a log line at the level that ends a task.
    bool logged = false;
    for (const Event& e : journal_.Of(Event::Log))
        logged = logged || (e.index == 0 && e.level == TLogLevel::llQuiet &&
                            e.text == "Must supply at least one output file");
    EXPECT_TRUE(logged);
}

TEST_F(EngineRunTest, TotalOutputDurationFollowsRecordingTime) {
    TOutputOptions none = CopyOutput();
    none.RecordingTime = 0;
    TOutputOptions longer = CopyOutput();
    longer.RecordingTime = 5000; // beyond the clip
    TOutputOptions shorter = CopyOutput();
    shorter.RecordingTime = 1000;
    AddCopyTask("none.mov", nullptr, none);
    AddCopyTask("longer.mov", nullptr, longer);
    AddCopyTask("shorter.mov", nullptr, shorter);
    engine_.Start(1);
    ASSERT_TRUE(journal_.WaitForAllDone());
    const int clipMs = test::FindFixture("h264_aac_mono_176x144_15.mov")->durationMs;
    std::map<int, std::set<int>> totals;
    for (const Event& e : journal_.Of(Event::Progress))
        totals[e.index].insert(e.totalDuration);
    ASSERT_EQ(totals.size(), 3u);
    ASSERT_EQ(totals[0].size(), 1u);
    EXPECT_NEAR(*totals[0].begin(), clipMs, 100);
    EXPECT_EQ(totals[1], (std::set<int>{5000}));
    EXPECT_EQ(totals[2], (std::set<int>{1000}));
    const test::MediaInfo cut = test::ReadBack(Output("shorter.mov"));
    EXPECT_LT(cut.duration, 1.5) << test::Describe(cut);
}

} // namespace
} // namespace corvina::hosting::testing
