#include "hosting/TranscodeOptions.h"

namespace corvina::hosting {

void InitInputOptions(TInputOptions& options) {
    options = TInputOptions{};
}

void InitOutputOptions(TOutputOptions& options) {
    options = TOutputOptions{};
}

std::string FixedFieldText(const std::string& value, std::size_t capacity) {
    if (capacity == 0)
        return {};
    std::string text = value.substr(0, value.find('\0'));
    if (text.size() < capacity)
        return text;
    std::size_t end = capacity - 1;
    // Step back over continuation bytes so a cut never leaves half a character.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    text.resize(end);
    return text;
}

} // namespace corvina::hosting
