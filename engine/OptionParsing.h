// Pure parsing helpers of the engine's option vocabulary: value conversions, the option
// text, stream and metadata maps, matrices, pad colour, aspect ratio and hook arguments.
// They touch no library, so they can be checked on their own.
#pragma once

#include "engine/EngineSettings.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace corvina::engine {

// Strict conversions: optional blanks around, an optional sign, then decimal digits or a
// hexadecimal number with a "$" (or "0x") prefix. Anything else raises ETranscodeError
// "'<value>' is not a valid integer value". Hexadecimal wraps into the type's width, so
// "$FFFFFFFF" is -1; decimal out of range is refused.
int StrToIntStrict(const std::string& value);
int64_t StrToInt64Strict(const std::string& value);
// Decimal-point float, independent of the process locale; raises ETranscodeError
// "'<value>' is not a valid floating point value".
float StrToFloatStrict(const std::string& value);
// The same conversion, giving `fallback` instead of raising.
float StrToFloatDef(const std::string& value, float fallback);

// The option text: trimmed, CR / LF / CR LF lines, each split at its first "=".
std::vector<std::pair<std::string, std::string>> SplitOptionText(const std::string& text);

// file.stream[:syncfile.syncstream], any one-character separators, C-style integers.
StreamMap ParseStreamMap(const std::string& value);
// outfile:infile
MetaDataMap ParseMetaDataMap(const std::string& value);
// stream:scale; raises "stream index over MAX_STREAMS(20)" for an index out of range.
std::pair<int, double> ParseTsScale(const std::string& value);

// 64 comma-separated coefficients; raises "Syntax error in matrix \"%s\" at coeff %d".
QuantMatrix ParseMatrix(const std::string& value);

struct PadColorYuv {
    int Y, U, V;
};
// 0xBBGGRR to the pad colour's Y, U and V.
PadColorYuv PadColorFromRgb(int rgb);

// width:height or a number; 0 when it cannot be read (the caller refuses that).
float ParseAspectRatio(const std::string& value);

// The vhook text: words split at "|" when there is one, else at blanks; at most 255.
std::vector<std::string> SplitHookArgs(const std::string& value);

// Four bytes as a little-endian 32-bit tag; the caller has checked the length.
uint32_t FourCcTag(const std::string& value);

// Leading and trailing blanks and control characters (everything up to ' ') removed.
std::string TrimBlanks(const std::string& s);

} // namespace corvina::engine
