// The front end meeting trouble as a user would: the output folder vanishing between files,
// a disk that fills up in the middle of a file, and Ctrl-C at any moment.
#include "tests/cli/CliRun.h"
#include "tests/support/CatalogueSamples.h"
#include "tests/support/MediaReadBack.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>

namespace corvina {
namespace {

namespace fs = std::filesystem;

using test::RunCli;
using test::RunOptions;
using test::RunResult;

const std::string kBigClip = test::Fixture("h264_aac_640x480_25.mov").string();
const std::string kSmallClip = test::Fixture("h264_aac_mono_176x144_15.mov").string();

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// File events of a few watched paths, read in the order they happened.
class FileEvents {
public:
    FileEvents() : fd_(inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {}
    ~FileEvents() {
        if (fd_ >= 0)
            close(fd_);
    }
    FileEvents(const FileEvents&) = delete;
    FileEvents& operator=(const FileEvents&) = delete;

    bool ok() const { return fd_ >= 0; }
    int Watch(const fs::path& path, uint32_t mask) {
        return inotify_add_watch(fd_, path.c_str(), mask);
    }
    // Reads events until one satisfies `match` (watch, mask, name); false after 30 s.
    bool WaitFor(const std::function<bool(int, uint32_t, const std::string&)>& match) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        alignas(inotify_event) char buffer[4096];
        while (std::chrono::steady_clock::now() < limit) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
                pending_.push_back({e->wd, e->mask, e->len ? std::string(e->name) : ""});
            }
            while (!pending_.empty()) {
                const Event e = pending_.front();
                pending_.erase(pending_.begin());
                if (match(e.wd, e.mask, e.name))
                    return true;
            }
        }
        return false;
    }

private:
    struct Event {
        int wd;
        uint32_t mask;
        std::string name;
    };
    int fd_;
    std::vector<Event> pending_; // read but not yet looked at
};

// The folder goes as soon as the first file's output has its name, and comes back once the
// second file's job has given its input up again (its output was refused): the jobs start
// 400 ms apart, so both changes fall between two jobs.
TEST(CliFaults, OutputFolderGoneBeforeTheSecondFile) {
    test::TempDir dir;
    const fs::path in = dir / "in", out = dir / "out";
    fs::create_directory(in);
    fs::create_directory(out);
    for (const char* name : {"a.mov", "b.mov", "c.mov"})
        fs::copy_file(kSmallClip, in / name);
    FileEvents events;
    ASSERT_TRUE(events.ok());
    // A finished output is written under a hidden name and moved to its own.
    const int outWatch = events.Watch(out, IN_MOVED_TO);
    const int secondInput = events.Watch(in / "b.mov", IN_CLOSE_NOWRITE);
    ASSERT_GE(outWatch, 0);
    ASSERT_GE(secondInput, 0);
    bool removed = false, recreated = false;
    RunOptions options;
    options.whileRunning = [&](pid_t) {
        removed = events.WaitFor([&](int wd, uint32_t, const std::string& name) {
            return wd == outWatch && name == "a.avi";
        });
        if (!removed)
            return;
        fs::remove_all(out);
        // The probe closed b.mov long before; the next close is the second job's.
        recreated =
            events.WaitFor([&](int wd, uint32_t, const std::string&) { return wd == secondInput; });
        fs::create_directory(out);
    };
    const RunResult r =
        RunCli({"-f", "AVI - XviD Video (*.avi)", "-o", out.string(), (in / "a.mov").string(),
                (in / "b.mov").string(), (in / "c.mov").string()},
               options);
    ASSERT_TRUE(removed && recreated) << r.out << r.err;
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_TRUE(
        Contains(r.out, (in / "a.mov").string() + " -> " + (out / "a.avi").string() + ": Done\n"))
        << r.out;
    EXPECT_TRUE(
        Contains(r.out, (in / "b.mov").string() + " -> " + (out / "b.avi").string() + ": Fail\n"))
        << r.out;
    EXPECT_TRUE(
        Contains(r.out, (in / "c.mov").string() + " -> " + (out / "c.avi").string() + ": Done\n"))
        << r.out;
    EXPECT_TRUE(Contains(r.err, "Could not open '" + (out / "b.avi").string() + "'\n" +
                                    out.string() + ": no such file or directory\n"))
        << r.err;
    EXPECT_EQ(test::FolderEntries(out), std::vector<std::string>{"c.avi"});
    const test::MediaInfo info = test::ReadBack(out / "c.avi");
    EXPECT_TRUE(info.DecodesCleanly()) << test::Describe(info);
}

// The folder goes while a file is being written into it: the job writes on into a file
// that no longer has a name, so it must end as a failure with the cause, not as done.
TEST(CliFaults, OutputFolderGoneWhileWriting) {
    test::TempDir dir;
    const fs::path out = dir / "out";
    fs::create_directory(out);
    const fs::path file = out / "copy.mov";
    FileEvents events;
    ASSERT_TRUE(events.ok());
    const int outWatch = events.Watch(out, IN_CREATE);
    ASSERT_GE(outWatch, 0);
    bool removed = false;
    RunOptions options;
    options.whileRunning = [&](pid_t) {
        // The file is written under a hidden name beside its own until it is complete.
        if (!events.WaitFor([&](int wd, uint32_t, const std::string& name) {
                return wd == outWatch && name.rfind(".copy.mov.", 0) == 0;
            }))
            return;
        // Read at the input's own pace, the copy takes three seconds: well inside it.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        fs::remove_all(out);
        removed = true;
    };
    const RunResult r = RunCli({"--raw", "--input-options", "re", "--output-options",
                                "vcodec=copy\nacodec=copy", "-i", kBigClip, "-o", file.string()},
                               options);
    ASSERT_TRUE(removed) << r.out << r.err;
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, kBigClip + " -> " + file.string() + ": Fail\n")) << r.out;
    EXPECT_TRUE(Contains(r.err, file.string() + ": no such file or directory")) << r.err;
    EXPECT_FALSE(fs::exists(out));
}

// Entries whose output of the big clip exceeds the limit and of the small clip stays under.
constexpr rlim_t kFileLimit = 300 * 1024;
const test::CatalogueSample kFullDiskSamples[] = {
    test::kCatalogueSamples[1], // MP4: the index goes in last
    test::kCatalogueSamples[2], // AVI: the header is rewritten last
    test::kCatalogueSamples[3], // FLV
    test::kCatalogueSamples[5], // MPEG-2 program stream
};

std::string OutputName(const std::string& clip, const std::string& entry) {
    const size_t dot = entry.rfind("(*.");
    return fs::path(clip).stem().string() + entry.substr(dot + 2, entry.size() - dot - 3);
}

// What a run with a full disk must leave: the big file failed with a reason and left
// nothing behind, the small one after it converted.
void ExpectFullDiskOutcome(const RunResult& r, const std::string& entry,
                           const fs::path& reportedFolder, const fs::path& folder,
                           const std::string& reason) {
    const std::string big = OutputName(kBigClip, entry), small = OutputName(kSmallClip, entry);
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, kBigClip + " -> " + (reportedFolder / big).string() + ": Fail\n"))
        << r.out;
    EXPECT_TRUE(
        Contains(r.out, kSmallClip + " -> " + (reportedFolder / small).string() + ": Done\n"))
        << r.out;
    // The reason names the write that failed or the file, and says what the system said.
    EXPECT_TRUE(Contains(r.err, "av_interleaved_write_frame(): ") ||
                Contains(r.err, (reportedFolder / big).string() + ": "))
        << r.err;
    EXPECT_TRUE(Contains(r.err, reason)) << r.err;
    EXPECT_EQ(test::FolderEntries(folder), std::vector<std::string>{small});
    const test::MediaInfo info = test::ReadBack(folder / small);
    EXPECT_TRUE(info.DecodesCleanly()) << test::Describe(info);
}

class CliFullDisk : public ::testing::TestWithParam<test::CatalogueSample> {};

// A file size limit stands in for the full disk: writes past it fail (EFBIG) instead of
// raising the signal, which the child ignores.
TEST_P(CliFullDisk, FileSizeLimitMidWrite) {
    const std::string entry(GetParam().Entry);
    test::TempDir out;
    RunOptions options;
    options.inChild = [] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{kFileLimit, kFileLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
    };
    const RunResult r =
        RunCli({"-f", entry, "-o", out.path().string(), kBigClip, kSmallClip}, options);
    ExpectFullDiskOutcome(r, entry, out.path(), out.path(), "File too large");
}

INSTANTIATE_TEST_SUITE_P(Catalogue, CliFullDisk, ::testing::ValuesIn(kFullDiskSamples),
                         test::SampleCaseName);

// A real full disk: a small tmpfs mounted in a mount namespace of the run's own. What the
// run left there is copied out before the namespace goes.
TEST(CliFaults, FullTmpfsMidWrite) {
    test::TempDir dir;
    const fs::path mountPoint = dir / "small", kept = dir / "kept";
    fs::create_directory(mountPoint);
    std::vector<std::string> unshare{"unshare", "-m"};
    if (geteuid() != 0)
        unshare.push_back("-r");
    std::string probe;
    for (const std::string& a : unshare)
        probe += a + " ";
    probe += "sh -c 'mount -t tmpfs -o size=64k corvina-probe \"$1\"' sh '" + mountPoint.string() +
             "' >/dev/null 2>&1";
    if (std::system(probe.c_str()) != 0)
        GTEST_SKIP() << "no private tmpfs can be mounted here (" << probe << " failed)";

    for (std::size_t k : {std::size_t{1}, std::size_t{5}}) { // MP4, MPEG-2
        const std::string entry(test::kCatalogueSamples[k].Entry);
        SCOPED_TRACE(entry);
        fs::remove_all(kept);
        fs::create_directory(kept);
        RunOptions options;
        options.wrapper = unshare;
        for (const char* a :
             {"sh", "-c",
              "mount -t tmpfs -o size=300k corvina-full \"$1\" || exit 97\n"
              "d=$1; k=$2; shift 2\n\"$@\"; rc=$?\ncp -a \"$d/.\" \"$k/\" || exit 98\nexit $rc",
              "sh"})
            options.wrapper.push_back(a);
        options.wrapper.push_back(mountPoint.string());
        options.wrapper.push_back(kept.string());
        const RunResult r =
            RunCli({"-f", entry, "-o", mountPoint.string(), kBigClip, kSmallClip}, options);
        ASSERT_NE(r.exitCode, 97) << r.err;
        ASSERT_NE(r.exitCode, 98) << r.err;
        ExpectFullDiskOutcome(r, entry, mountPoint, kept, "No space left on device");
    }
}

// Ctrl-C at seeded random moments between the program's start and the end of an
// uninterrupted run of the same file (timed first, so the moments fall inside the work on
// any machine and build): the program ends with 130 (or 0 when it was done first), and the
// output is absent or a non-empty file that decodes cleanly.
class CliInterrupt : public ::testing::TestWithParam<test::CatalogueSample> {};

TEST_P(CliInterrupt, OutputIsAbsentOrDecodes) {
    const std::string entry(GetParam().Entry);
    const fs::path name = OutputName(kBigClip, entry);
    int wholeRunMs = 0;
    {
        test::TempDir out;
        const auto start = std::chrono::steady_clock::now();
        const RunResult r = RunCli({"-f", entry, "-o", out.path().string(), kBigClip});
        wholeRunMs = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - start)
                                          .count());
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    }
    std::mt19937 rng(test::SeedOf(GetParam().Name) ^ 0x5a5a5a5au);
    constexpr int kRounds = 3;
    for (int round = 0; round < kRounds; round++) {
        const int delayMs = static_cast<int>(rng() % static_cast<unsigned>(wholeRunMs));
        SCOPED_TRACE("Ctrl-C after " + std::to_string(delayMs) + " of " +
                     std::to_string(wholeRunMs) + " ms");
        test::TempDir out;
        const RunResult r = RunCli({"-f", entry, "-o", out.path().string(), kBigClip}, delayMs);
        EXPECT_TRUE(r.exitCode == 130 || r.exitCode == 0) << r.exitCode << r.out << r.err;
        const fs::path file = out / name;
        if (r.exitCode == 0) {
            EXPECT_TRUE(Contains(r.out, ": Done\n")) << r.out;
            EXPECT_TRUE(fs::exists(file));
        } else if (!r.signaled) {
            // The handler saw it: one result line, the file stopped or done.
            EXPECT_TRUE(Contains(r.out, ": Abort\n") || Contains(r.out, ": Done\n")) << r.out;
        }
        const std::vector<std::string> entries = test::FolderEntries(out.path());
        EXPECT_LE(entries.size(), 1u);
        if (!fs::exists(file))
            continue;
        EXPECT_GT(fs::file_size(file), 0u);
        const test::MediaInfo info = test::ReadBack(file);
        EXPECT_TRUE(info.DecodesCleanly()) << test::Describe(info);
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, CliInterrupt, ::testing::ValuesIn(test::kCatalogueSamples),
                         test::SampleCaseName);

} // namespace
} // namespace corvina
