// Outputs are written under a hidden name beside their final one and get the final name
// only once they are complete, so a file under a final name is never half-written: not
// while a job runs, not after a crash, not after a failure.
#pragma once

#include "binding/EntryPoints.h"

#include <string>

namespace corvina::engine {

// The path of an output name, without the file protocol's "file:" prefix.
std::string PlainPath(const std::string& name);

// Reserves the hidden name a file is written under until it is complete:
// "<folder>/.<name>.<process>-<n>.part", created empty and exclusive to this writer. Empty
// with errno set when the folder cannot take it.
std::string ReserveWritePath(const std::string& path);

// Whether any stream of the file has had a packet written.
bool AnyPacketWritten(const AVFormatContext& ctx);

} // namespace corvina::engine
