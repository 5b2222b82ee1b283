// Shared by the engine component's tests: a journal of the component's events, written from
// whatever thread raised them, and the fixture that binds the libraries and routes their log.
#pragma once

#include "binding/Binding.h"
#include "hosting/EngineComponent.h"
#include "tests/support/Fixtures.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace corvina::hosting::testing {

struct Event {
    enum Kind { Terminate, Progress, Log } kind;
    int index;
    std::thread::id thread;
    bool finished = false, exception = false;
    std::string text; // terminate message or log line
    TLogLevel level = TLogLevel::llQuiet;
    int totalDuration = 0;
    int currentDuration = 0;
};

class Journal {
public:
    void Add(Event e) {
        std::lock_guard lock(m_);
        events_.push_back(std::move(e));
        cv_.notify_all();
    }
    std::vector<Event> Events() const {
        std::lock_guard lock(m_);
        return events_;
    }
    std::vector<Event> Of(Event::Kind kind) const {
        std::vector<Event> out;
        for (const Event& e : Events())
            if (e.kind == kind)
                out.push_back(e);
        return out;
    }
    // Waits until pred holds for the events so far; false after the limit (a broken case
    // must not hang the suite).
    bool WaitFor(const std::function<bool(const std::vector<Event>&)>& pred,
                 std::chrono::seconds limit = std::chrono::seconds(60)) {
        std::unique_lock lock(m_);
        return cv_.wait_for(lock, limit, [&] { return pred(events_); });
    }
    bool WaitForAllDone() {
        return WaitFor([](const std::vector<Event>& ev) {
            for (const Event& e : ev)
                if (e.kind == Event::Terminate && e.index == -1)
                    return true;
            return false;
        });
    }
    int Count(Event::Kind kind, int index) const {
        int n = 0;
        for (const Event& e : Events())
            n += e.kind == kind && e.index == index;
        return n;
    }

    // Hooks the journal to a component's three locked events.
    void Attach(TCustomTranscodeEngine& engine) {
        engine.OnTerminate = [this](int i, bool finished, bool exception, const std::string& m) {
            Add({Event::Terminate, i, std::this_thread::get_id(), finished, exception, m});
        };
        engine.OnProgress = [this](int i, int, int, int current, float, float, int64_t, int total) {
            Event e{Event::Progress, i, std::this_thread::get_id()};
            e.totalDuration = total;
            e.currentDuration = current;
            Add(e);
        };
        engine.OnLog = [this](int i, TLogLevel level, const std::string& text) {
            Event e{Event::Log, i, std::this_thread::get_id()};
            e.level = level;
            e.text = text;
            Add(e);
        };
    }

private:
    mutable std::mutex m_; // guards events_
    std::condition_variable cv_;
    std::vector<Event> events_;
};

// Binds the libraries, lets a component route their log, and puts the process-wide log
// state back afterwards.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::RequireLibraries();
        savedLevel_ = ff::util.av_log_get_level();
        savedCached_ = binding::CachedLogLevel();
    }
    void TearDown() override {
        ff::util.av_log_set_callback(ff::util.av_log_default_callback);
        ff::util.av_log_set_level(savedLevel_);
        binding::SetCachedLogLevel(savedCached_);
    }

    static std::string Fixture(const char* name) { return test::Fixture(name).string(); }
    // The short clip every run uses.
    static std::string Clip() { return Fixture("h264_aac_mono_176x144_15.mov"); }

    // Stream copy into a file of the same kind, so that runs take little time.
    static TOutputOptions CopyOutput() {
        TOutputOptions o;
        InitOutputOptions(o);
        o.VideoCodec = "copy";
        o.AudioCodec = "copy";
        return o;
    }
    // Input read no faster than real time: runs that last long enough to be stopped.
    static TInputOptions RealTimeInput() {
        TInputOptions i;
        InitInputOptions(i);
        i.ExtOptions = "re";
        return i;
    }

private:
    int savedLevel_ = 0;
    int savedCached_ = 0;
};

} // namespace corvina::hosting::testing
