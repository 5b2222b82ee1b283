// The seven stored choices: first start, values out of range, a store that lacks a value, a
// store that cannot be written, and what is never stored.
#include "app/core/Settings.h"
#include "app/core/JobText.h"
#include "tests/app/WorkflowTestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <variant>

namespace corvina::app {
namespace {

// A store in memory that keeps the order of its writes and can be told to fail.
class MemoryStore : public ISettingsStore {
public:
    std::map<std::string, std::variant<std::string, int>> values;
    std::vector<std::string> writes; // names, in the order written
    int failWriteAt = -1;            // the index of the write that fails
    bool openFails = false;

    bool Open() override { return !openFails; }
    std::optional<std::string> ReadString(const std::string& name) override {
        auto it = values.find(name);
        if (it == values.end() || !std::holds_alternative<std::string>(it->second))
            return std::nullopt;
        return std::get<std::string>(it->second);
    }
    std::optional<int> ReadInteger(const std::string& name) override {
        auto it = values.find(name);
        if (it == values.end() || !std::holds_alternative<int>(it->second))
            return std::nullopt; // missing, or a text where a number belongs
        return std::get<int>(it->second);
    }
    bool WriteString(const std::string& name, const std::string& value) override {
        return Write(name, value);
    }
    bool WriteInteger(const std::string& name, int value) override { return Write(name, value); }
    bool Close() override { return true; }

private:
    bool Write(const std::string& name, std::variant<std::string, int> value) {
        if (static_cast<int>(writes.size()) == failWriteAt)
            return false;
        writes.push_back(name);
        values[name] = std::move(value);
        return true;
    }
};

const std::vector<std::string> kOrder = {"Output Folder", "ComboOutputFormat", "Overwrite",
                                         "DropDownItems", "LetterBox",         "VideoQuality",
                                         "AudioQuality"};

class Settings : public Workflow {
protected:
    void SetUp() override {
        Workflow::SetUp();
        flow->Initialise();
        flow->SetOutputFolder("");
    }
    int Int(const char* name) { return std::get<int>(store.values.at(name)); }
    MemoryStore store;
};

TEST_F(Settings, FirstStartWritesTheSevenDefaultsInOrder) {
    LoadSettings(store, *flow);
    EXPECT_EQ(store.writes, kOrder);
    EXPECT_EQ(std::get<std::string>(store.values.at("Output Folder")), "");
    EXPECT_EQ(Int("ComboOutputFormat"), 0);
    EXPECT_EQ(Int("Overwrite"), 0);
    EXPECT_EQ(Int("DropDownItems"), 26);
    EXPECT_EQ(Int("LetterBox"), 0);
    EXPECT_EQ(Int("VideoQuality"), 2);
    EXPECT_EQ(Int("AudioQuality"), 2);
    EXPECT_EQ(store.values.size(), 7u); // the aspect ratio is never stored
}

TEST_F(Settings, StoredValuesApplyAndTheDropDownRowsKeepToTheirRange) {
    store.values = {{"Output Folder", std::string("/videos/out")},
                    {"ComboOutputFormat", 26},
                    {"Overwrite", 1},
                    {"DropDownItems", 60},
                    {"LetterBox", 1},
                    {"VideoQuality", 0},
                    {"AudioQuality", 9}}; // past the list's end
    LoadSettings(store, *flow);
    EXPECT_TRUE(store.writes.empty()); // nothing missing: nothing written
    EXPECT_EQ(flow->OutputFolder, "/videos/out");
    EXPECT_EQ(boxes.ComboOutputFormat.Text(), "iPod (*.mp4)");
    EXPECT_TRUE(flow->OverwriteExisting);
    EXPECT_EQ(flow->DropDownItems, 47);
    EXPECT_EQ(boxes.ComboLetterBox.Text(), "LetterBox");
    EXPECT_EQ(boxes.ComboVideoQuality.Text(), "Highest");
    EXPECT_EQ(boxes.ComboAudioQuality.ItemIndex(), -1); // selects nothing

    Settings::TearDown();
    Settings::SetUp();
    store.values["DropDownItems"] = -1;
    LoadSettings(store, *flow);
    EXPECT_EQ(flow->DropDownItems, 26);
}

TEST_F(Settings, AStoreLackingAValueAppliesWhatCameBeforeThenWritesAllSeven) {
    store.values = {{"Output Folder", std::string("/videos/out")}, {"ComboOutputFormat", 8}};
    LoadSettings(store, *flow);
    EXPECT_EQ(flow->OutputFolder, "/videos/out");
    EXPECT_EQ(boxes.ComboOutputFormat.ItemIndex(), 8);
    EXPECT_EQ(store.writes, kOrder);
    EXPECT_EQ(Int("ComboOutputFormat"), 8);
    EXPECT_EQ(Int("Overwrite"), 0);
    EXPECT_EQ(Int("VideoQuality"), 2);
}

TEST_F(Settings, AnUnreadableValueStopsLoadingLikeAMissingOne) {
    store.values = {{"Output Folder", std::string("/o")},
                    {"ComboOutputFormat", 3},
                    {"Overwrite", 1},
                    {"DropDownItems", std::string("x")},
                    {"LetterBox", 1},
                    {"VideoQuality", 0},
                    {"AudioQuality", 0}};
    LoadSettings(store, *flow);
    EXPECT_TRUE(flow->OverwriteExisting);           // read before the bad value
    EXPECT_EQ(boxes.ComboLetterBox.Text(), "None"); // after it: not applied
    EXPECT_EQ(boxes.ComboVideoQuality.Text(), "Normal");
    EXPECT_EQ(Int("DropDownItems"), 26); // written back as the current value
    EXPECT_EQ(Int("LetterBox"), 0);
}

TEST_F(Settings, AFailingStoreIsSilentAndTheProgramRunsOnItsDefaults) {
    store.failWriteAt = 2;
    SaveSettings(store, *flow);
    EXPECT_EQ(store.writes, (std::vector<std::string>{"Output Folder", "ComboOutputFormat"}));
    MemoryStore closed;
    closed.openFails = true;
    EXPECT_NO_THROW(LoadSettings(closed, *flow));
    EXPECT_EQ(boxes.ComboVideoQuality.Text(), "Normal");
    EXPECT_TRUE(closed.writes.empty());
}

TEST_F(Settings, TheAspectRatioIsBackToOriginalAfterARestart) {
    LoadSettings(store, *flow);
    flow->SelectItem(boxes.ComboAspectRatio, 2);
    SaveSettings(store, *flow);
    // A new run: the window's start state, then the store.
    Settings::TearDown();
    Workflow::SetUp();
    flow->Initialise();
    LoadSettings(store, *flow);
    EXPECT_EQ(boxes.ComboAspectRatio.Text(), "Original");
}

TEST_F(Settings, LetterBoxConvertsTheSameAsNone) {
    flow->AddFiles({test::Fixture("h264_aac_640x480_25.mov").string()});
    flow->SelectItem(boxes.ComboLetterBox, 0);
    const EngineJob none = flow->BuildJob(0, ".avi");
    flow->SelectItem(boxes.ComboLetterBox, 1);
    const EngineJob letterBox = flow->BuildJob(0, ".avi");
    EXPECT_EQ(ChangedOutputFields(none.Output), ChangedOutputFields(letterBox.Output));
    EXPECT_EQ(ChangedInputFields(none.Input), ChangedInputFields(letterBox.Input));
}

} // namespace
} // namespace corvina::app
