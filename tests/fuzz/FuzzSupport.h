// Shared set-up of the fuzz targets: the libraries bound once, their log silenced, and a
// private scratch folder for the files a target writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvina::fuzz {

// Binds the libraries (aborts when they cannot be bound: a fuzzer without them tests
// nothing), shortens the opening time limit and silences the libraries' own log.
void Init();

// A scratch folder of this process, created on first use.
const std::string& ScratchDir();

// Writes the bytes to ScratchDir()/name and returns the path.
std::string WriteScratchFile(const std::string& name, const uint8_t* data, size_t size);

// The input extensions a file may arrive with; the fuzzers pick one by a byte.
extern const char* const kInputExtensions[];
extern const size_t kInputExtensionCount;

} // namespace corvina::fuzz
