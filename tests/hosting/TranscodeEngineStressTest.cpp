// Random sequences of Start, Pause, Resume and Stop on several tasks: no deadlock, and every
// task reports exactly one termination before the single all-done event.
#include "tests/hosting/TranscodeEngineTestSupport.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <random>

namespace corvina::hosting::testing {
namespace {

class EngineStress : public EngineTest {};

TEST_F(EngineStress, RandomControlSequences) {
    std::mt19937 rng(20261208); // fixed: a failure can be replayed
    constexpr int kRounds = 12;
    for (int round = 0; round < kRounds; round++) {
        test::TempDir dir;
        Journal journal;
        TEngineComponent engine;
        engine.SetLogLevel(TLogLevel::llQuiet);
        journal.Attach(engine);
        const int tasks = 2 + static_cast<int>(rng() % 3);
        for (int i = 0; i < tasks; i++) {
            TInputOptions in = RealTimeInput();
            const int index = engine.AddTask(Clip(), &in);
            ASSERT_EQ(index, i) << engine.LastError();
            TOutputOptions out = CopyOutput();
            ASSERT_TRUE(engine.SetOutputFile(
                index, (dir / ("out" + std::to_string(i) + ".mov")).string(), &out))
                << engine.LastError();
        }
        const int threads = 1 + static_cast<int>(rng() % 3);
        engine.Start(threads);
        const int steps = static_cast<int>(rng() % 6);
        for (int s = 0; s < steps; s++) {
            std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 120));
            switch (rng() % 3) {
            case 0:
                engine.Pause();
                break;
            case 1:
                engine.Resume();
                break;
            default:
                engine.Stop();
                break;
            }
        }
        engine.Resume();
        engine.Stop();
        ASSERT_TRUE(journal.WaitForAllDone()) << "round " << round << ": no all-done event";
        for (int i = 0; i < tasks; i++)
            EXPECT_EQ(journal.Count(Event::Terminate, i), 1) << "round " << round << " task " << i;
        EXPECT_EQ(journal.Count(Event::Terminate, -1), 1) << "round " << round;
        // The all-done event is the last termination.
        const std::vector<Event> ends = journal.Of(Event::Terminate);
        EXPECT_EQ(ends.back().index, -1) << "round " << round;
        // Once the batch is cleared, no output is left empty: a task stopped before it
        // started takes its opened file away again.
        engine.ClearTasks();
        for (int i = 0; i < tasks; i++) {
            const auto file = dir / ("out" + std::to_string(i) + ".mov");
            if (std::filesystem::exists(file)) {
                EXPECT_GT(std::filesystem::file_size(file), 0u);
            }
        }
    }
}

} // namespace
} // namespace corvina::hosting::testing
