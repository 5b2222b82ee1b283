#include "engine/OutputNames.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace corvina::engine {

namespace {

constexpr int kReserveAttempts = 1000;

} // namespace

std::string PlainPath(const std::string& name) {
    return name.compare(0, 5, "file:") == 0 ? name.substr(5) : name;
}

std::string ReserveWritePath(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    for (int attempt = 0; attempt < kReserveAttempts; attempt++) {
        const std::string candidate = folder + "." + name + "." + std::to_string(getpid()) + "-" +
                                      std::to_string(counter++) + ".part";
        // The mode the final file would have had (the umask applies).
        const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            return candidate;
        }
        if (errno != EEXIST)
            return {};
    }
    errno = EEXIST;
    return {};
}

bool AnyPacketWritten(const AVFormatContext& ctx) {
    for (unsigned i = 0; i < ctx.nb_streams; i++)
        if (ctx.streams[i]->nb_frames > 0)
            return true;
    return false;
}

} // namespace corvina::engine
