// The engine steps: turn the window's current choices into the profile fields of an
// output options record (codec names, frame size, bitrates, sampling rate, channels, and
// whether the output carries video), and the parsers of the item texts.
#pragma once

#include "hosting/TranscodeOptions.h"
#include "profiles/MainWindowBoxes.h"

#include <stdexcept>
#include <string>
#include <string_view>

namespace corvina::profiles {

// A number in a box that is not decimal integer text. The message is
// "'<text>' is not a valid integer value".
class EInvalidInteger : public std::runtime_error {
public:
    explicit EInvalidInteger(std::string_view text);
};

// Decimal text (an optional sign and digits) to a 32-bit integer; anything else, the empty
// text and values out of range included, throws EInvalidInteger.
int StrToInt(std::string_view text);

// The characters before the first blank; a text without a blank has an empty first token.
std::string FirstToken(std::string_view text);

// "320 x 240 (VGA)" -> "320x240": the part before the first "(", without blanks.
std::string ParseFrameSize(std::string_view text);

// "29.97 fps [NTSC]" -> "29.97"; "Auto" (any case, blanks around) -> "25"; the empty text
// stays empty, which sets no rate.
std::string ParseFrameRate(std::string_view text);

// Encoder names for the codec names shown in the window (compared lower-cased; a name not
// in the table passes on lower-cased).
std::string CommonVideoEncoder(std::string_view item);
std::string DeviceVideoEncoder(std::string_view item); // the mobile and Apple steps
std::string CommonAudioEncoder(std::string_view item);

// Whether the common step writes an output with this extension (any case) without video.
bool ExtensionDropsVideo(std::string_view extension);

// The three steps. Each writes only the fields it is responsible for; a number that does not
// convert throws EInvalidInteger and leaves the fields written before it.
void ApplyCommonOptions(const MainWindowBoxes& boxes, hosting::TOutputOptions& options);
void ApplyMobileAmrOptions(const MainWindowBoxes& boxes, hosting::TOutputOptions& options);
void ApplyAppleOptions(const MainWindowBoxes& boxes, hosting::TOutputOptions& options);

} // namespace corvina::profiles
