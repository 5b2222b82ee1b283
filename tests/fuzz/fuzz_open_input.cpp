// Opening and probing input bytes: written to a scratch file whose extension the first byte
// picks (the demuxer guess and the script and playlist handling depend on it), then probed
// with TMediaProbe and opened with TCustomTranscoder::OpenInput. Either may refuse the file;
// neither may crash, hang or take unbounded memory.
#include "engine/Transcoder.h"
#include "hosting/MediaProbe.h"
#include "tests/fuzz/FuzzSupport.h"

#include <exception>

using namespace corvina;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const std::string ext = fuzz::kInputExtensions[data[0] % fuzz::kInputExtensionCount];
    const std::string path = fuzz::WriteScratchFile("input" + ext, data + 1, size - 1);

    hosting::TMediaProbe probe;
    if (probe.LoadFile(path)) {
        hosting::ProbeResult result;
        probe.GetResult(result);
        for (int i = -1; i <= probe.StreamCount(); i++) {
            hosting::VideoStreamInfo info;
            probe.GetVideoStreamInfo(i, info);
        }
    }
    probe.CloseFile();

    engine::TCustomTranscoder job;
    try {
        if (job.OpenInput(path)) {
            bool v, a, s;
            job.HasInputStreams(v, a, s);
        }
    } catch (const std::exception&) {
    }
    return 0;
}
