#include "engine/LibraryErrors.h"

#include "binding/Binding.h"

extern "C" {
#include <libavutil/error.h>
}

#include <cerrno>

namespace corvina::engine {

namespace {
struct ErrorText {
    int code;
    const char* text; // "%s" stands for the name
};

constexpr ErrorText kErrorTexts[] = {
    {kErrUnknownFormat, "%s: Unknown format"},
    {kErrImageNameSyntax,
     "%s: Incorrect image filename syntax.\r\nUse '%d' to specify the image number:\r\n  for "
     "img1.jpg, img2.jpg, ..., use 'img%d.jpg';\r\n  for img001.jpg, img002.jpg, ..., use "
     "'img%03d.jpg'."},
    {kErrParse, "%s: Error while parsing header"},
    {kErrNoMemory, "%s: memory allocation error occurred"},
    {kErrIo, "%s: I/O error occurred\r\nUsually that means that input file is truncated and/or "
             "corrupted."},
    {kErrNoSuchFile, "%s: no such file or directory"},
};
constexpr const char* kOtherText = "%s: Error while opening file";

} // namespace

int ClassicErrorCode(int r) {
    switch (r) {
    case AVERROR(ENOENT):
    case AVERROR(ENOTDIR):
        return kErrNoSuchFile;
    case AVERROR(EIO):
    case AVERROR_EOF:
        return kErrIo;
    case AVERROR(ENOMEM):
        return kErrNoMemory;
    case AVERROR(EINVAL):
    case AVERROR_INVALIDDATA:
        return kErrParse;
    case AVERROR_DEMUXER_NOT_FOUND:
        return kErrUnknownFormat;
    default:
        return r;
    }
}

namespace {
bool HasOwnText(int classic) {
    for (const ErrorText& e : kErrorTexts)
        if (e.code == classic)
            return true;
    return false;
}
} // namespace

std::string WriteErrorText(const std::string& name, int code) {
    std::string text = LibraryErrorText(name, code);
    if (HasOwnText(ClassicErrorCode(code)))
        return text;
    char reason[AV_ERROR_MAX_STRING_SIZE] = {};
    if (ff::util.av_strerror(code, reason, sizeof reason) == 0 && reason[0])
        text += std::string("\r\n") + reason;
    return text;
}

std::string LibraryErrorText(const std::string& name, int code) {
    const int classic = ClassicErrorCode(code);
    const char* pattern = kOtherText;
    for (const ErrorText& e : kErrorTexts)
        if (e.code == classic)
            pattern = e.text;
    // Only the first "%s" is a placeholder; the rest of the text is literal.
    std::string text(pattern);
    text.replace(text.find("%s"), 2, name);
    return text;
}

} // namespace corvina::engine
