// The generated media, read back with the libraries and held against the fixture table.
#include "tests/support/Fixtures.h"
#include "tests/support/MediaReadBack.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace corvina::test {

// Parameterised names carry the file name; this keeps the printed parameter readable too.
void PrintTo(const FixtureSpec& fixtureRow, std::ostream* os) {
    *os << fixtureRow.name;
}

namespace {

namespace fs = std::filesystem;

std::string ParamName(const ::testing::TestParamInfo<FixtureSpec>& info) {
    std::string name(info.param.name);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

int ExpectedStreams(std::string_view codec) {
    return codec.empty() ? 0 : 1;
}

bool SameRate(Ratio r, int num, int den) {
    return r.den != 0 && static_cast<int64_t>(r.num) * den == static_cast<int64_t>(num) * r.den;
}

std::vector<char> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class GeneratedFixture : public ::testing::TestWithParam<FixtureSpec> {
protected:
    void SetUp() override { RequireLibraries(); }
};

TEST_P(GeneratedFixture, ReadsBackAsTheTableSays) {
    const FixtureSpec& fixtureRow = GetParam();
    const fs::path path = Fixture(std::string(fixtureRow.name));
    ASSERT_TRUE(fs::is_regular_file(path)) << path;
    const MediaInfo info = ReadBack(path);
    SCOPED_TRACE(Describe(info));

    if (fixtureRow.Has(kGarbage)) {
        EXPECT_FALSE(info.opened);
        EXPECT_FALSE(info.error.empty());
        EXPECT_TRUE(info.streams.empty());
        return;
    }
    ASSERT_TRUE(info.opened) << info.error;
    EXPECT_EQ(info.container, fixtureRow.demuxer);
    EXPECT_EQ(info.Count(StreamKind::Video), ExpectedStreams(fixtureRow.videoCodec));
    EXPECT_EQ(info.Count(StreamKind::Audio), ExpectedStreams(fixtureRow.audioCodec));
    EXPECT_EQ(info.Count(StreamKind::Subtitle), ExpectedStreams(fixtureRow.subtitleCodec));
    EXPECT_EQ(info.streams.size(), static_cast<size_t>(ExpectedStreams(fixtureRow.videoCodec) +
                                                       ExpectedStreams(fixtureRow.audioCodec) +
                                                       ExpectedStreams(fixtureRow.subtitleCodec)));

    if (const StreamInfo* v = info.Video()) {
        EXPECT_EQ(v->codec, fixtureRow.videoCodec);
        EXPECT_EQ(v->width, fixtureRow.width);
        EXPECT_EQ(v->height, fixtureRow.height);
        EXPECT_TRUE(SameRate(v->avgFrameRate, fixtureRow.fpsNum, fixtureRow.fpsDen))
            << v->avgFrameRate.num << '/' << v->avgFrameRate.den;
        EXPECT_TRUE(!v->sampleAspect.known() || SameRate(v->sampleAspect, 1, 1))
            << v->sampleAspect.num << ':' << v->sampleAspect.den;
        EXPECT_EQ(v->displayMatrix, fixtureRow.turn != 0);
    }
    if (const StreamInfo* a = info.Audio()) {
        EXPECT_EQ(a->codec, fixtureRow.audioCodec);
        EXPECT_EQ(a->sampleRate, fixtureRow.sampleRate);
        EXPECT_EQ(a->channels, fixtureRow.channels);
    }
    if (const StreamInfo* s = info.Subtitle()) {
        EXPECT_EQ(s->codec, fixtureRow.subtitleCodec);
    }

    const double nominal = fixtureRow.seconds();
    // The index is intact either way, so the container states the full length.
    EXPECT_NEAR(info.duration, nominal, 0.1);

    const StreamInfo* v = info.Video();
    const StreamInfo* a = info.Audio();
    const double frame = fixtureRow.fps() > 0 ? 1.0 / fixtureRow.fps() : 0.0;
    const int64_t expectedFrames = std::llround(nominal * fixtureRow.fps());

    if (fixtureRow.Has(kOpensCleanly)) {
        EXPECT_TRUE(info.DecodesCleanly());
        EXPECT_TRUE(info.readError.empty()) << info.readError;
        if (v) {
            EXPECT_EQ(v->frames, expectedFrames);
            EXPECT_EQ(v->frames, v->packets);
            EXPECT_NEAR(v->endTime - std::max(0.0, v->firstTime), nominal, frame + 1e-6);
            if (v->duration >= 0) {
                EXPECT_NEAR(v->duration, nominal, frame + 1e-6);
            }
        }
        if (a) {
            EXPECT_GT(a->frames, 0);
            EXPECT_NEAR(a->decodedSeconds(), nominal, 0.1);
            EXPECT_NEAR(a->endTime, nominal, 0.1);
        }
    }
    if (fixtureRow.Has(kTruncated)) {
        ASSERT_NE(v, nullptr);
        ASSERT_NE(a, nullptr);
        // It decodes something, but its data stops well before the stated end.
        EXPECT_GT(v->frames, 0);
        EXPECT_LT(v->frames, expectedFrames);
        EXPECT_LT(v->endTime, nominal * 0.8);
        EXPECT_LT(a->decodedSeconds(), nominal * 0.8);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, GeneratedFixture, ::testing::ValuesIn(kFixtures), ParamName);

TEST(GeneratedFixtures, FolderHoldsExactlyTheTableAndNoPartialFiles) {
    std::set<std::string> expected;
    for (const FixtureSpec& f : kFixtures)
        expected.emplace(f.name);
    std::set<std::string> found;
    for (const auto& entry : fs::directory_iterator(FixtureDir()))
        found.insert(entry.path().filename().string());
    found.erase(std::string(kBenchFixture.name)); // present only after a --bench run
    EXPECT_EQ(found, expected);
}

TEST(GeneratedFixtures, SubtitleEventsDecode) {
    RequireLibraries();
    const MediaInfo info = ReadBack(Fixture("h264_aac_mov_text.mov"));
    ASSERT_TRUE(info.opened) << info.error;
    const StreamInfo* s = info.Subtitle();
    ASSERT_NE(s, nullptr);
    // The muxer may add empty samples for the gaps, never fewer than the events.
    EXPECT_GE(s->packets, kMovTextEvents);
    EXPECT_GE(s->frames, kMovTextEvents);
    EXPECT_EQ(s->decodeErrors, 0);
    EXPECT_NEAR(s->endTime, kMovTextEndMs / 1000.0, 0.01);
}

TEST(GeneratedFixtures, GarbageIsTheSeededBytes) {
    const auto bytes = ReadBytes(Fixture("garbage.mov"));
    ASSERT_EQ(bytes.size(), 64u * 1024u);
    // Not a constant fill: plenty of distinct byte values.
    EXPECT_GT(std::set<char>(bytes.begin(), bytes.end()).size(), 200u);
}

// ---- the generator itself -------------------------------------------------------------------

int RunGenerator(const std::string& args, const fs::path& errFile) {
    const std::string cmd =
        (BinDir() / "corvina-make-fixtures").string() + " " + args + " 2>" + errFile.string();
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadText(const fs::path& path) {
    const auto bytes = ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

TEST(FixtureGenerator, SameBytesOnEveryRun) {
    TempDir a, b;
    ASSERT_EQ(RunGenerator(a.path().string(), a / "err.txt"), 0) << ReadText(a / "err.txt");
    ASSERT_EQ(RunGenerator(b.path().string(), b / "err.txt"), 0) << ReadText(b / "err.txt");
    for (const FixtureSpec& f : kFixtures) {
        const std::string name(f.name);
        const auto first = ReadBytes(a / name);
        ASSERT_FALSE(first.empty()) << name;
        EXPECT_TRUE(first == ReadBytes(b / name)) << name << " differs between runs";
    }
}

TEST(FixtureGenerator, FailureNamesTheFileAndExitsOne) {
    TempDir dir;
    // A plain file where the output folder should be: nothing can be created below it.
    std::ofstream(dir / "occupied") << "x";
    const fs::path target = dir / "occupied" / "sub";
    EXPECT_EQ(RunGenerator(target.string(), dir / "err.txt"), 1);
    const std::string err = ReadText(dir / "err.txt");
    EXPECT_NE(err.find(target.string()), std::string::npos) << err;
    EXPECT_NE(err.find("failed"), std::string::npos) << err;
}

TEST(FixtureGenerator, RejectsUnknownArguments) {
    TempDir dir;
    EXPECT_EQ(RunGenerator(dir.path().string() + " --fast", dir / "err.txt"), 2);
    EXPECT_NE(ReadText(dir / "err.txt").find("usage"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "garbage.mov"));
}

// ---- the read-back helper -------------------------------------------------------------------

TEST(ReadBack, MissingAndEmptyFilesDoNotOpen) {
    RequireLibraries();
    TempDir dir;
    const MediaInfo missing = ReadBack(dir / "nothing.mov");
    EXPECT_FALSE(missing.opened);
    EXPECT_FALSE(missing.error.empty());
    EXPECT_FALSE(missing.DecodesCleanly());

    std::ofstream(dir / "empty.mov").close();
    const MediaInfo empty = ReadBack(dir / "empty.mov");
    EXPECT_FALSE(empty.opened);
    EXPECT_FALSE(empty.error.empty());
    EXPECT_NE(Describe(empty).find("not opened"), std::string::npos);
}

TEST(ReadBack, WithoutDecodingCountsPacketsOnly) {
    RequireLibraries();
    const MediaInfo info =
        ReadBack(Fixture("h264_aac_640x480_25.mov"), ReadBackOptions{.decode = false});
    ASSERT_TRUE(info.opened) << info.error;
    const StreamInfo* v = info.Video();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->packets, 75);
    EXPECT_EQ(v->frames, 0);
    EXPECT_FALSE(v->decoderOpened);
}

TEST(ReadBack, DamagedPicturesCountAsDecodeErrors) {
    RequireLibraries();
    TempDir dir;
    auto bytes = ReadBytes(Fixture("h264_aac_640x480_25.mov"));
    ASSERT_GT(bytes.size(), 200000u);
    // Overwrite a stretch of the media data; the index at the end stays intact.
    for (size_t i = 0; i < 4096; ++i)
        bytes[100000 + i] = static_cast<char>((i * 131 + 7) & 0xFF);
    const fs::path damaged = dir / "damaged.mov";
    std::ofstream(damaged, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));

    const MediaInfo info = ReadBack(damaged);
    ASSERT_TRUE(info.opened) << info.error;
    EXPECT_GT(info.TotalDecodeErrors(), 0) << Describe(info);
    EXPECT_FALSE(info.DecodesCleanly());
}

} // namespace
} // namespace corvina::test
