// corvina-convert as a batch tool that scripts follow: JSON lines, folders and lists as
// inputs, a bar with time and estimates on a terminal, a summary, and the README's example
// of fanning files out with GNU parallel.
#include "tests/cli/CliRun.h"
#include "tests/support/MediaReadBack.h"
#include "tests/support/TestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace corvina {
namespace {

namespace fs = std::filesystem;
using test::RunCli;
using test::RunOptions;
using test::RunResult;

const std::string kShort = test::Fixture("h264_aac_mono_176x144_15.mov").string();
const std::string kLonger = test::Fixture("h264_aac_640x480_25.mov").string();
const std::string kGarbage = test::Fixture("garbage.mov").string();

std::vector<QJsonObject> JsonLines(const std::string& out) {
    std::vector<QJsonObject> lines;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << "not JSON: " << line;
        EXPECT_TRUE(doc.isObject()) << line;
        lines.push_back(doc.object());
    }
    return lines;
}

void ExpectKeys(const QJsonObject& line, const QStringList& keys) {
    QStringList actual = line.keys();
    QStringList wanted = keys;
    actual.sort();
    wanted.sort();
    EXPECT_EQ(actual, wanted) << QJsonDocument(line).toJson().toStdString();
}

// Checks a batch's JSON lines, whatever the number of jobs: the fields of each kind, each
// file's lines in order, percentages that never go back, and end counts that match.
void CheckBatchLines(const std::vector<QJsonObject>& lines, int files) {
    ASSERT_FALSE(lines.empty());
    std::map<int, std::string> phase; // index -> last event seen
    std::map<int, int> percent;
    std::map<QString, int> statuses;
    for (size_t i = 0; i < lines.size(); i++) {
        const QJsonObject& line = lines[i];
        const QString event = line["event"].toString();
        if (event == "batch_ended") {
            EXPECT_EQ(i, lines.size() - 1) << "the batch's end comes last";
            ExpectKeys(line, {"event", "done", "failed", "aborted", "elapsed_ms"});
            EXPECT_EQ(line["done"].toInt(), statuses["Done"]);
            EXPECT_EQ(line["failed"].toInt(), statuses["Fail"] + statuses["Error"]);
            EXPECT_EQ(line["aborted"].toInt(), statuses["Abort"]);
            EXPECT_GE(line["elapsed_ms"].toInt(), 0);
            continue;
        }
        ASSERT_TRUE(line.contains("index")) << "every file's line names its file";
        const int index = line["index"].toInt();
        EXPECT_GE(index, 0);
        EXPECT_LT(index, files);
        if (event == "file_started") {
            ExpectKeys(line, {"event", "index", "input", "output"});
            EXPECT_EQ(phase[index], "");
            phase[index] = "started";
        } else if (event == "progress") {
            ExpectKeys(line,
                       {"event", "index", "percent", "frame", "fps", "time_ms", "bytes", "speed"});
            EXPECT_EQ(phase[index], "started");
            EXPECT_GE(line["percent"].toInt(), percent[index]);
            EXPECT_LE(line["percent"].toInt(), 100);
            percent[index] = line["percent"].toInt();
            EXPECT_GE(line["bytes"].toInteger(), 0);
        } else if (event == "file_ended") {
            const QString status = line["status"].toString();
            ExpectKeys(line,
                       status == "Fail"
                           ? QStringList{"event", "index", "input", "status", "output", "reason"}
                           : QStringList{"event", "index", "input", "status", "output"});
            EXPECT_NE(phase[index], "ended");
            phase[index] = "ended";
            statuses[status]++;
        } else {
            ADD_FAILURE() << "unknown event " << event.toStdString();
        }
    }
    EXPECT_EQ(static_cast<int>(phase.size()), files);
    for (const auto& [index, last] : phase)
        EXPECT_EQ(last, "ended") << index;
}

TEST(BatchTool, JsonLinesFollowABatchWithADamagedFile) {
    test::TempDir out;
    const RunResult r =
        RunCli({"--json", "-f", "8", "-o", out.path().string(), kShort, kGarbage, kLonger});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const std::vector<QJsonObject> lines = JsonLines(r.out);
    CheckBatchLines(lines, 3);
    EXPECT_EQ(lines.back()["done"].toInt(), 2);
    EXPECT_EQ(lines.back()["failed"].toInt(), 1);
    bool sawReason = false, sawProgress = false;
    for (const QJsonObject& line : lines) {
        if (line["event"] == "file_ended" && line["index"].toInt() == 1) {
            EXPECT_EQ(line["status"], "Fail");
            sawReason = line["reason"].toString().contains("Unknown format");
        }
        sawProgress = sawProgress || line["event"] == "progress";
        if (line["event"] == "file_started" && line["index"].toInt() == 2) {
            EXPECT_EQ(line["output"].toString().toStdString(),
                      (out.path() / "h264_aac_640x480_25.mp4").string());
        }
    }
    EXPECT_TRUE(sawReason);
    EXPECT_TRUE(sawProgress);
    // The summary goes to stderr, whatever stdout is.
    EXPECT_NE(r.err.find("Summary: 2 done, 1 failed, 0 aborted of 3 files in "), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("output folder: " + out.path().string()), std::string::npos);
}

TEST(BatchTool, JsonLinesWithTwoJobsStillNameTheirFiles) {
    test::TempDir out;
    const RunResult r = RunCli(
        {"--json", "--jobs", "2", "-f", "3", "-o", out.path().string(), kLonger, kShort, kLonger});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::vector<QJsonObject> lines = JsonLines(r.out);
    CheckBatchLines(lines, 3);
    EXPECT_EQ(lines.back()["done"].toInt(), 3);
}

TEST(BatchTool, AFolderGivesItsClipsInPathOrder) {
    test::TempDir dir;
    const fs::path library = dir / "library";
    for (const char* name : {"b/second.mov", "a/c/third.m4v", "a/first.MP4", "zz.mp4"}) {
        fs::create_directories((library / name).parent_path());
        fs::copy_file(kShort, library / name);
    }
    std::ofstream(library / "a" / "notes.txt") << "not a clip";
    std::ofstream(library / "cover.jpg") << "not a clip";
    const fs::path out = dir / "out";
    fs::create_directory(out);
    const RunResult r = RunCli({"--print-job", "-f", "8", "-o", out.string(), library.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> inputs;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line))
        if (line.rfind("job: ", 0) == 0)
            inputs.push_back(line.substr(5, line.find(" -> ") - 5));
    const std::vector<std::string> expected = {
        (library / "a/c/third.m4v").string(), (library / "a/first.MP4").string(),
        (library / "b/second.mov").string(), (library / "zz.mp4").string()};
    EXPECT_EQ(inputs, expected);
    EXPECT_TRUE(fs::is_empty(out));
}

TEST(BatchTool, ADashReadsTheListOnStandardInput) {
    test::TempDir out;
    RunOptions options;
    options.standardInput = kShort + "\n\n" + kLonger + "\r\n";
    const RunResult r = RunCli({"-f", "3", "-o", out.path().string(), "-"}, options);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(kShort + " -> "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(kLonger + " -> "), std::string::npos) << r.out;
    EXPECT_TRUE(test::ReadBack(out / "h264_aac_640x480_25.avi").DecodesCleanly());
}

TEST(BatchTool, AMissingPathIsAUsageErrorBeforeAnythingConverts) {
    test::TempDir out;
    const std::string missing = (out / "nowhere" / "clip.mov").string();
    const RunResult r = RunCli({"-f", "8", "-o", out.path().string(), kShort, missing});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("no such file or folder: " + missing), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(out.path()));
    RunOptions listed;
    listed.standardInput = missing + "\n";
    EXPECT_EQ(RunCli({"-f", "8", "-o", out.path().string(), "-"}, listed).exitCode, 2);
    EXPECT_TRUE(fs::is_empty(out.path()));
}

TEST(BatchTool, TheTerminalBarShowsTimeSpeedAndEstimates) {
    test::TempDir out;
    RunOptions options;
    options.pseudoTerminal = true;
    // "PS3 Video (*.mp4)" encodes slowly enough for a few redraws of a short clip.
    const RunResult r = RunCli({"-f", "39", "-o", out.path().string(), kLonger, kLonger}, options);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // Each redraw starts a line anew: the bar, the elapsed time, speed, frames, time left.
    std::vector<std::string> draws;
    std::string current;
    for (char c : r.out) {
        if (c == '\r' || c == '\n') {
            if (current.find("[1/2]") != std::string::npos)
                draws.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    ASSERT_GE(draws.size(), 2u) << r.out;
    for (const std::string& d : draws) {
        EXPECT_NE(d.find("h264_aac_640x480_25.mov ["), std::string::npos) << d;
        EXPECT_NE(d.find("x  frame "), std::string::npos) << d;
        EXPECT_NE(d.find(" left  | 0/2 done, batch "), std::string::npos) << d;
    }
    // The frame count grows from one redraw to the last.
    auto frame = [](const std::string& d) { return std::atoi(d.c_str() + d.find("frame ") + 6); };
    EXPECT_GT(frame(draws.back()), frame(draws.front()));
    EXPECT_NE(draws.back().find(":"), std::string::npos);
    EXPECT_NE(r.err.find("Summary: 2 done, 0 failed, 0 aborted of 2 files"), std::string::npos);
}

// The README's GNU parallel example, run as written (its ~ is a home folder of the test's).
TEST(BatchTool, TheReadmesParallelExampleRunsAsWritten) {
    if (std::system("command -v parallel >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "GNU parallel is not installed";
    const std::string readme = test::ReadFile(fs::path(CORVINA_SOURCE_DIR) / "README.md");
    const std::string marker = "<!-- tested: parallel -->\n```sh\n";
    const size_t start = readme.find(marker);
    ASSERT_NE(start, std::string::npos) << "the README lost its example";
    const size_t end = readme.find("```", start + marker.size());
    const std::string example = readme.substr(start + marker.size(), end - start - marker.size());

    test::TempDir home;
    fs::create_directories(home / "Videos" / "holiday");
    fs::copy_file(kShort, home / "Videos" / "one.mov");
    fs::copy_file(kLonger, home / "Videos" / "holiday" / "two.mov");
    fs::copy_file(kShort, home / "Videos" / "holiday" / "three.mov");
    std::ofstream(home / "example.sh") << "set -e\n" << example;
    const std::string command = "cd '" + home.path().string() + "' && HOME='" +
                                home.path().string() + "' PATH='" + test::BinDir().string() +
                                ":'\"$PATH\" bash example.sh > example.log 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_EQ(status, 0) << test::ReadFile(home / "example.log");
    for (const char* name : {"one.mp4", "two.mp4", "three.mp4"}) {
        const test::MediaInfo info = test::ReadBack(home / "converted" / name);
        EXPECT_TRUE(info.DecodesCleanly()) << name << ": " << test::Describe(info);
    }
}

} // namespace
} // namespace corvina
