// The probe meets the same crafted inputs as the engine: it reads the file it is given and
// nothing else, and refuses what it cannot read with a text.
#include "engine/InputGuard.h"
#include "hosting/MediaProbe.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>

namespace corvina::hosting {
namespace {

namespace fs = std::filesystem;
using test::CraftedCase;
using test::CraftedInput;

class CraftedProbe : public ::testing::TestWithParam<CraftedInput> {};

TEST_P(CraftedProbe, ReadsNothingButTheInput) {
    test::RequireLibraries();
    CraftedCase c(GetParam());
    ASSERT_TRUE(c.watch->Valid());
    ASSERT_NE(c.listener.Port(), 0);

    TMediaProbe probe;
    if (!probe.LoadFile(c.input.string())) {
        EXPECT_FALSE(probe.LastError().empty());
        EXPECT_FALSE(probe.Loaded());
        EXPECT_EQ(probe.StreamCount(), -1);
    }
    EXPECT_FALSE(c.watch->Touched())
        << GetParam().name << " made the probe open " << c.marker.filename();
    EXPECT_FALSE(c.listener.Contacted()) << GetParam().name << " reached the network";
}

INSTANTIATE_TEST_SUITE_P(Hostile, CraftedProbe, ::testing::ValuesIn(test::kCraftedInputs),
                         test::CraftedCaseName);

TEST(HostileProbe, UnreadableInputsAreErrors) {
    test::RequireLibraries();
    test::TempDir dir;
    const fs::path folder = dir / "movie.mov";
    fs::create_directory(folder);
    const fs::path empty = dir / "empty.mov";
    test::WriteText(empty, "");
    TMediaProbe probe;
    for (const fs::path& p : {folder, empty, dir / "missing.mov"}) {
        EXPECT_FALSE(probe.LoadFile(p.string())) << p;
        EXPECT_EQ(probe.LastError().rfind(p.string() + ": ", 0), 0u) << probe.LastError();
        EXPECT_FALSE(probe.Loaded());
    }
    EXPECT_EQ(probe.LastError(), (dir / "missing.mov").string() + ": no such file or directory");
    // Still usable afterwards.
    EXPECT_TRUE(probe.LoadFile(test::Fixture(test::kSource).string())) << probe.LastError();
}

// The probe reports a picture size the engine would refuse, without decoding pictures that
// large: its decoders get the same limits.
TEST(HostileProbe, OversizedPicturesAreOnlyReported) {
    test::RequireLibraries();
    test::TempDir dir;
    const fs::path path = dir / "huge.y4m";
    test::WriteText(path, "YUV4MPEG2 W16000 H4000 F25:1 Ip A1:1 C420jpeg\nFRAME\n" +
                              std::string(8192, '\x10'));
    TMediaProbe probe;
    ASSERT_TRUE(probe.LoadFile(path.string())) << probe.LastError();
    VideoStreamInfo info;
    probe.GetVideoStreamInfo(info);
    EXPECT_EQ(info.Width, 16000);
    EXPECT_EQ(info.Height, 4000);
    EXPECT_FALSE(engine::FrameSizeAllowed(info.Width, info.Height));
}

} // namespace
} // namespace corvina::hosting
