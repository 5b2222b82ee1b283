// The text form of a job's option records: every field that differs from its reset value,
// as "input.Field=value" / "output.Field=value" in record order.
#pragma once

#include "hosting/TranscodeOptions.h"

#include <string>
#include <vector>

namespace corvina::app {

std::vector<std::string> ChangedInputFields(const hosting::TInputOptions& options);
std::vector<std::string> ChangedOutputFields(const hosting::TOutputOptions& options);

// Shortest decimal text that reads back as the same float / double.
std::string ShortestFloatText(double value, bool singlePrecision);

} // namespace corvina::app
