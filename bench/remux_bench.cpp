// Remux speed: stream copy of a clip into .mp4 and .mkv through the engine, beside the
// floor — reading every packet of the same clip and nothing else. Prints a table.
//   corvina-bench-remux CLIP [REPEATS]
#include "binding/Binding.h"
#include "engine/Transcoder.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace corvina;
using Clock = std::chrono::steady_clock;

double BestOf(int repeats, const std::function<bool()>& run) {
    double best = 1e100;
    for (int i = 0; i < repeats; i++) {
        const auto start = Clock::now();
        if (!run())
            return -1;
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

bool ReadAllPackets(const std::string& clip, int64_t& packets) {
    AVFormatContext* raw = nullptr;
    if (ff::format.avformat_open_input(&raw, clip.c_str(), nullptr, nullptr) < 0)
        return false;
    ff::InputContextPtr ctx(raw);
    if (ff::format.avformat_find_stream_info(ctx.get(), nullptr) < 0)
        return false;
    ff::PacketPtr pkt = ff::MakePacket();
    packets = 0;
    while (ff::format.av_read_frame(ctx.get(), pkt.get()) >= 0) {
        packets++;
        ff::codec.av_packet_unref(pkt.get());
    }
    return true;
}

bool Remux(const std::string& clip, const std::string& out) {
    engine::TCustomTranscoder t;
    t.SetVerbosity(-1);
    if (!t.OpenInput(clip))
        return false;
    t.ApplyOptionText("vcodec=copy\nacodec=copy");
    if (!t.OpenOutput(out))
        return false;
    t.Start(false);
    return t.Finished();
}

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CLIP [REPEATS]\n", argv[0]);
        return 2;
    }
    const std::string clip = argv[1];
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    if (!binding::LoadAll("", true)) {
        std::fprintf(stderr, "%s\n", binding::LoaderErrorText().c_str());
        return 1;
    }
    ff::util.av_log_set_level(AV_LOG_ERROR);
    const auto tmp = std::filesystem::temp_directory_path();
    int64_t packets = 0;
    const double floor = BestOf(repeats, [&] { return ReadAllPackets(clip, packets); });
    std::printf("clip: %s (%lld packets, %.1f MB), best of %d runs\n", clip.c_str(),
                static_cast<long long>(packets), std::filesystem::file_size(clip) / 1048576.0,
                repeats);
    std::printf("%-28s %10s %10s %12s\n", "case", "wall ms", "x floor", "packets/s");
    std::printf("%-28s %10.1f %10.2f %12.0f\n", "read all packets (floor)", floor * 1000, 1.0,
                packets / floor);
    for (const char* ext : {"mp4", "mkv", "mov"}) {
        const std::string out = (tmp / (std::string("corvina-bench-remux.") + ext)).string();
        const double t = BestOf(repeats, [&] { return Remux(clip, out); });
        std::filesystem::remove(out);
        if (t < 0) {
            std::printf("%-28s failed\n", ext);
            return 1;
        }
        std::printf("%-28s %10.1f %10.2f %12.0f\n", (std::string("stream copy to .") + ext).c_str(),
                    t * 1000, t / floor, packets / t);
    }
    std::printf("peak memory: %.1f MB\n", PeakRssKb() / 1024.0);
    return 0;
}
