// The user's choices between runs: seven values under the per-user key, read once at start
// (Load) and written when the window closes (Save). The store behind them is an interface:
// QSettings in the program, a stand-in in tests.
#pragma once

#include <optional>
#include <string>

namespace corvina::app {

class ConversionWorkflow;

class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;
    // Opens the key, creating it when missing; false when it cannot be had.
    virtual bool Open() = 0;
    // A missing value reads as nullopt; so does an integer that is no number.
    virtual std::optional<std::string> ReadString(const std::string& name) = 0;
    virtual std::optional<int> ReadInteger(const std::string& name) = 0;
    // False when the value could not be written.
    virtual bool WriteString(const std::string& name, const std::string& value) = 0;
    virtual bool WriteInteger(const std::string& name, int value) = 0;
    // Closes the key, writing what is pending; false when that failed.
    virtual bool Close() = 0;
};

// The value names, in Load's and Save's order.
inline constexpr const char* kValueOutputFolder = "Output Folder";
inline constexpr const char* kValueOutputFormat = "ComboOutputFormat";
inline constexpr const char* kValueOverwrite = "Overwrite";
inline constexpr const char* kValueDropDownItems = "DropDownItems";
inline constexpr const char* kValueLetterBox = "LetterBox";
inline constexpr const char* kValueVideoQuality = "VideoQuality";
inline constexpr const char* kValueAudioQuality = "AudioQuality";

// The options dialog's spin box holds the drop-down rows within this range.
inline constexpr int kMinDropDownItems = 26;
inline constexpr int kMaxDropDownItems = 47;

// Applies the stored values in order, stopping at the first that is missing or unreadable;
// then everything is saved at once, so a first start writes the defaults and a store that
// lacks a value is completed. Nothing escapes.
void LoadSettings(ISettingsStore& store, ConversionWorkflow& workflow);
// Writes the seven values in order; an error stops the writing, silently.
void SaveSettings(ISettingsStore& store, const ConversionWorkflow& workflow);

} // namespace corvina::app
