#include "app/core/Settings.h"

#include "app/core/Workflow.h"

#include <algorithm>

namespace corvina::app {

namespace {

// A value that is missing or unreadable ends Load.
struct MissingValue {};

int ReadInteger(ISettingsStore& store, const char* name) {
    const std::optional<int> value = store.ReadInteger(name);
    if (!value)
        throw MissingValue{};
    return *value;
}

// The stored index selects an item when it is 0 or more; past the list's end, none.
void SelectStored(ConversionWorkflow& workflow, profiles::ChoiceBox& box, int index) {
    if (index >= 0)
        workflow.SelectItem(box, index);
}

} // namespace

void LoadSettings(ISettingsStore& store, ConversionWorkflow& workflow) {
    profiles::MainWindowBoxes& boxes = workflow.MutableBoxes();
    try {
        if (!store.Open())
            throw MissingValue{};
        workflow.SetOutputFolder(store.ReadString(kValueOutputFolder).value_or(""));
        // The format is selected without its change handler: the window's show applies it.
        SelectStored(workflow, boxes.ComboOutputFormat, ReadInteger(store, kValueOutputFormat));
        workflow.SetOverwrite(ReadInteger(store, kValueOverwrite) != 0);
        const int dropDownItems = ReadInteger(store, kValueDropDownItems);
        if (dropDownItems >= 0)
            workflow.SetDropDownItems(
                std::clamp(dropDownItems, kMinDropDownItems, kMaxDropDownItems));
        SelectStored(workflow, boxes.ComboLetterBox, ReadInteger(store, kValueLetterBox));
        SelectStored(workflow, boxes.ComboVideoQuality, ReadInteger(store, kValueVideoQuality));
        SelectStored(workflow, boxes.ComboAudioQuality, ReadInteger(store, kValueAudioQuality));
        store.Close();
    } catch (...) {
        // What was read stays applied; the rest keeps its start-up value, and all of it is
        // written back.
        store.Close();
        SaveSettings(store, workflow);
    }
}

void SaveSettings(ISettingsStore& store, const ConversionWorkflow& workflow) {
    const profiles::MainWindowBoxes& boxes = workflow.Boxes();
    try {
        if (store.Open() && store.WriteString(kValueOutputFolder, workflow.OutputFolder) &&
            store.WriteInteger(kValueOutputFormat, boxes.ComboOutputFormat.ItemIndex()) &&
            store.WriteInteger(kValueOverwrite, workflow.OverwriteExisting ? 1 : 0) &&
            store.WriteInteger(kValueDropDownItems, workflow.DropDownItems) &&
            store.WriteInteger(kValueLetterBox, boxes.ComboLetterBox.ItemIndex()) &&
            store.WriteInteger(kValueVideoQuality, boxes.ComboVideoQuality.ItemIndex()))
            store.WriteInteger(kValueAudioQuality, boxes.ComboAudioQuality.ItemIndex());
        store.Close();
    } catch (...) {
        // A store that cannot be written is not the user's problem; the choices stay in effect.
    }
}

} // namespace corvina::app
