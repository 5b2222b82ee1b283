// A short conversion of fuzzed input: open it, set up a small MPEG-4/AAC output of at most
// one second and run the job on this thread. Refusals and failed runs are fine; crashes,
// hangs and runaway memory are not.
#include "engine/Transcoder.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdio>
#include <exception>

using namespace corvina;

namespace {

// Output settings, picked by the second byte: video and audio, video only, audio only.
const char* const kOutputOptions[] = {
    "t=1\nvcodec=mpeg4\ns=64x48\nr=10\nacodec=aac\nar=22050\nac=1",
    "t=1\nvcodec=mpeg4\ns=64x48\nr=10\nan=1",
    "t=1\nvn=1\nacodec=aac\nar=22050\nac=1",
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const std::string ext = fuzz::kInputExtensions[data[0] % fuzz::kInputExtensionCount];
    const char* outputOptions = kOutputOptions[data[1] % 3];
    const std::string path = fuzz::WriteScratchFile("input" + ext, data + 2, size - 2);
    const std::string outPath = fuzz::ScratchDir() + "/output.mp4";
    std::remove(outPath.c_str());

    engine::TCustomTranscoder job;
    try {
        if (!job.OpenInput(path))
            return 0;
        job.ApplyOptionText(outputOptions);
        if (!job.OpenOutput(outPath))
            return 0;
        job.Start(false);
    } catch (const std::exception&) {
    }
    return 0;
}
