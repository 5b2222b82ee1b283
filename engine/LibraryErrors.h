// Texts for negative library results: the messages a user-facing caller reports when a
// file cannot be opened. The probe uses them too.
#pragma once

#include <string>

namespace corvina::engine {

// The classic error numbers the texts are keyed by.
inline constexpr int kErrUnknownFormat = -42;
inline constexpr int kErrImageNameSyntax = -33;
inline constexpr int kErrParse = -22;
inline constexpr int kErrNoMemory = -12;
inline constexpr int kErrIo = -5;
inline constexpr int kErrNoSuchFile = -2;

// Maps a library result (AVERROR) to the classic number: a missing file, an I/O error or
// end of file, memory, a header that does not parse (invalid data, invalid argument), no
// demuxer for the data; anything else stays as it is and gets the generic text.
int ClassicErrorCode(int libraryResult);

// "%s: no such file or directory" etc., name in place of %s. Takes a library result or a
// classic number (both are negative; the classic ones are small).
std::string LibraryErrorText(const std::string& name, int code);

// The text for a failed write (a packet, a trailer): LibraryErrorText, and where that can
// only say "Error while opening file", the system's own reason on a second line, because
// a full disk or a file size limit is no opening error and the user needs to know which.
std::string WriteErrorText(const std::string& name, int code);

} // namespace corvina::engine
