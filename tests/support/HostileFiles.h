// Crafted inputs that point elsewhere (playlists, concatenation lists, subtitles that are
// really such lists) and the two witnesses that tell whether anything followed them: an
// inotify watch on a marker file (any open of it is recorded by the kernel before the open
// returns, so no timing is involved) and a listening loopback socket (a connection attempt
// lands in its backlog whether or not anyone accepts).
#pragma once

#include <netinet/in.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace corvina::test {

// Records opens and reads of one file from the moment it is constructed.
class FileWatch {
public:
    explicit FileWatch(const std::filesystem::path& path) {
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ >= 0)
            wd_ = inotify_add_watch(fd_, path.c_str(), IN_OPEN | IN_ACCESS);
    }
    ~FileWatch() {
        if (fd_ >= 0)
            close(fd_);
    }
    FileWatch(const FileWatch&) = delete;
    FileWatch& operator=(const FileWatch&) = delete;

    bool Valid() const { return fd_ >= 0 && wd_ >= 0; }
    // Whether the file was opened or read since construction (or the last call).
    bool Touched() {
        alignas(inotify_event) char buf[4096];
        bool touched = false;
        for (;;) {
            const ssize_t n = read(fd_, buf, sizeof buf);
            if (n <= 0)
                break;
            touched = true;
        }
        return touched;
    }

private:
    int fd_ = -1;
    int wd_ = -1;
};

// A TCP listener on 127.0.0.1 at a free port; Contacted() tells whether anyone connected.
class LoopbackListener {
public:
    LoopbackListener() {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        socklen_t len = sizeof addr;
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            listen(fd_, 8) != 0 ||
            getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            port_ = 0;
            return;
        }
        port_ = ntohs(addr.sin_port);
    }
    ~LoopbackListener() {
        if (fd_ >= 0)
            close(fd_);
    }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    int Port() const { return port_; }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + "/" + path;
    }
    bool Contacted() {
        const int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0)
            return false;
        close(c);
        return true;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

inline void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// An HLS media playlist with the given segment lines.
inline std::string HlsPlaylist(const std::string& segment1, const std::string& segment2 = {}) {
    std::string text = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:3\n"
                       "#EXT-X-MEDIA-SEQUENCE:0\n#EXTINF:3.0,\n" +
                       segment1 + "\n";
    if (!segment2.empty())
        text += "#EXTINF:3.0,\n" + segment2 + "\n";
    return text + "#EXT-X-ENDLIST\n";
}

// A concatenation list naming the given files.
inline std::string ConcatList(const std::string& file1, const std::string& file2 = {}) {
    std::string text = "ffconcat version 1.0\nfile " + file1 + "\n";
    if (!file2.empty())
        text += "file " + file2 + "\n";
    return text;
}

inline const char* const kSource = "h264_aac_640x480_25.mov";

// One crafted input: its name and its text; "@MARKER@" stands for the marker file's name
// (relative, beside the input), "@ABSMARKER@" for its full path, "@URL@" for a loopback URL.
struct CraftedInput {
    const char* name;
    const char* marker; // the marker's file name (its extension matters to some demuxers)
    const char* text;
};

// clang-format off
inline const CraftedInput kCraftedInputs[] = {
    {"local.m3u8",     "marker.ts",  "#EXTM3U\n#EXT-X-TARGETDURATION:3\n#EXT-X-MEDIA-SEQUENCE:0\n#EXTINF:3.0,\n@MARKER@\n#EXT-X-ENDLIST\n"},
    {"absolute.m3u8",  "marker.mp4", "#EXTM3U\n#EXT-X-TARGETDURATION:3\n#EXT-X-MEDIA-SEQUENCE:0\n#EXTINF:3.0,\n@ABSMARKER@\n#EXT-X-ENDLIST\n"},
    {"network.m3u8",   "marker.ts",  "#EXTM3U\n#EXT-X-TARGETDURATION:3\n#EXT-X-MEDIA-SEQUENCE:0\n#EXTINF:3.0,\n@URL@\n#EXTINF:3.0,\n@MARKER@\n#EXT-X-ENDLIST\n"},
    {"live.m3u8",      "marker.ts",  "#EXTM3U\n#EXT-X-TARGETDURATION:30\n#EXT-X-MEDIA-SEQUENCE:0\n#EXTINF:30.0,\n@MARKER@\n"},
    {"variant.m3u8",   "marker.m3u8","#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1000\n@MARKER@\n#EXT-X-STREAM-INF:BANDWIDTH=2000\n@URL@\n"},
    {"list.ffconcat",  "marker.mov", "ffconcat version 1.0\nfile @MARKER@\n"},
    {"net.ffconcat",   "marker.mov", "ffconcat version 1.0\nfile @URL@\nfile @MARKER@\n"},
    {"concat.srt",     "marker.mov", "ffconcat version 1.0\nfile @MARKER@\n"},
    {"playlist.srt",   "marker.ts",  "#EXTM3U\n#EXT-X-TARGETDURATION:3\n#EXT-X-MEDIA-SEQUENCE:0\n#EXTINF:3.0,\n@MARKER@\n#EXT-X-ENDLIST\n"},
    {"playlist.vtt",   "marker.ts",  "#EXTM3U\n#EXT-X-TARGETDURATION:3\n#EXT-X-MEDIA-SEQUENCE:0\n#EXTINF:3.0,\n@MARKER@\n#EXT-X-ENDLIST\n"},
    {"cue.vtt",        "marker.ts",  "WEBVTT\n\nNOTE @MARKER@\n\n00:00.000 --> 00:01.000\n@URL@\n"},
};
// clang-format on

inline std::string Expand(std::string text, const std::string& marker, const std::string& absMarker,
                          const std::string& url) {
    auto replace = [&text](const std::string& key, const std::string& value) {
        for (size_t at; (at = text.find(key)) != std::string::npos;)
            text.replace(at, key.size(), value);
    };
    replace("@ABSMARKER@", absMarker);
    replace("@MARKER@", marker);
    replace("@URL@", url);
    return text;
}

// A crafted input beside a real media file (the marker) that only a followed reference
// would open, and a loopback listener only a followed URL would reach.
struct CraftedCase {
    explicit CraftedCase(const CraftedInput& c) : listener() {
        marker = dir / c.marker;
        std::filesystem::copy_file(Fixture(kSource), marker);
        input = dir / c.name;
        WriteText(input, Expand(c.text, c.marker, marker.string(), listener.Url("a.ts")));
        watch = std::make_unique<FileWatch>(marker);
    }
    TempDir dir;
    std::filesystem::path marker, input;
    LoopbackListener listener;
    std::unique_ptr<FileWatch> watch;
};

// A crafted case's test name: its name with every other character than a letter or a
// digit made '_'.
inline std::string CraftedCaseName(const ::testing::TestParamInfo<CraftedInput>& info) {
    std::string name = info.param.name;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return name;
}

} // namespace corvina::test
