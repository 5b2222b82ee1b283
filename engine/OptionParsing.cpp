#include "engine/OptionParsing.h"

#include "engine/StrFormat.h"
#include "engine/TranscodeError.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace corvina::engine {

namespace {

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexDigit(char c) {
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

[[noreturn]] void InvalidInteger(const std::string& value) {
    throw ETranscodeError(StrFormat("'%s' is not a valid integer value", value.c_str()));
}

// The integer conversion for a signed type of `bits` bits (32 or 64).
int64_t ParseInteger(const std::string& value, int bits) {
    const std::string t = TrimBlanks(value);
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        negative = t[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < t.size() && t[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == t.size())
        InvalidInteger(value);

    const uint64_t typeMax =
        bits == 64 ? std::numeric_limits<uint64_t>::max() : (uint64_t{1} << bits) - 1;
    uint64_t magnitude = 0;
    if (hex) {
        for (; i < t.size(); ++i) {
            const int d = HexDigit(t[i]);
            if (d < 0 || magnitude > (typeMax >> 4))
                InvalidInteger(value);
            magnitude = (magnitude << 4) | static_cast<uint64_t>(d);
        }
        // Hexadecimal fills the type's bits: $FFFFFFFF is -1 for 32 bits.
        int64_t result = bits == 64 ? static_cast<int64_t>(magnitude)
                                    : static_cast<int32_t>(static_cast<uint32_t>(magnitude));
        return negative ? static_cast<int64_t>(0 - static_cast<uint64_t>(result)) : result;
    }

    const uint64_t limit = (uint64_t{1} << (bits - 1)) - (negative ? 0 : 1);
    for (; i < t.size(); ++i) {
        if (!IsDigit(t[i]))
            InvalidInteger(value);
        const uint64_t d = static_cast<uint64_t>(t[i] - '0');
        if (magnitude > (limit - d) / 10)
            InvalidInteger(value);
        magnitude = magnitude * 10 + d;
    }
    return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

// A decimal-point float in C syntax (no hex, no inf/nan); nullopt-like through `ok`.
double ParseDecimal(const std::string& value, bool& ok) {
    ok = false;
    const std::string t = TrimBlanks(value);
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    const size_t mantissa = i;
    size_t digits = 0;
    for (; i < t.size() && IsDigit(t[i]); ++i)
        ++digits;
    if (i < t.size() && t[i] == '.')
        for (++i; i < t.size() && IsDigit(t[i]); ++i)
            ++digits;
    if (digits == 0)
        return 0;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            ++i;
        size_t expDigits = 0;
        for (; i < t.size() && IsDigit(t[i]); ++i)
            ++expDigits;
        if (expDigits == 0)
            return 0;
    }
    if (i != t.size())
        return 0;
    double result = 0;
    // from_chars ignores the process locale (the GUI sets the user's), so "1.5" is always
    // one and a half.
    const auto [end, ec] = std::from_chars(t.data() + mantissa, t.data() + t.size(), result);
    if (ec != std::errc() || end != t.data() + t.size() || !std::isfinite(result))
        return 0;
    ok = true;
    return t[0] == '-' ? -result : result;
}

// strtod-like: leading blanks, an optional sign, then the longest decimal number.
double LeadingDouble(const char* p) {
    while (*p && IsBlank(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    double result = 0;
    const char* end = p;
    while (*end)
        ++end;
    if (std::from_chars(p, end, result).ec != std::errc())
        return 0;
    return negative ? -result : result;
}

// C strtol with base 0, advancing `p` past what was read.
int ReadLong(const char*& p) {
    char* end = nullptr;
    const long v = std::strtol(p, &end, 0);
    p = end;
    return static_cast<int>(v);
}

void SkipSeparator(const char*& p) {
    if (*p)
        ++p;
}

} // namespace

std::string TrimBlanks(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

int StrToIntStrict(const std::string& value) {
    return static_cast<int>(ParseInteger(value, 32));
}

int64_t StrToInt64Strict(const std::string& value) {
    return ParseInteger(value, 64);
}

float StrToFloatStrict(const std::string& value) {
    bool ok = false;
    const double d = ParseDecimal(value, ok);
    if (!ok || std::fabs(d) > std::numeric_limits<float>::max())
        throw ETranscodeError(StrFormat("'%s' is not a valid floating point value", value.c_str()));
    return static_cast<float>(d);
}

float StrToFloatDef(const std::string& value, float fallback) {
    bool ok = false;
    const double d = ParseDecimal(value, ok);
    if (!ok || std::fabs(d) > std::numeric_limits<float>::max())
        return fallback;
    return static_cast<float>(d);
}

std::vector<std::pair<std::string, std::string>> SplitOptionText(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> result;
    const std::string t = TrimBlanks(text);
    if (t.empty())
        return result;
    size_t pos = 0;
    for (;;) {
        // A line ends at LF, CR or CR LF.
        size_t end = t.find_first_of("\r\n", pos);
        const std::string line = t.substr(pos, end == std::string::npos ? end : end - pos);
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            result.emplace_back(line, std::string());
        else
            result.emplace_back(line.substr(0, eq), line.substr(eq + 1));
        if (end == std::string::npos)
            break;
        if (t[end] == '\r' && end + 1 < t.size() && t[end + 1] == '\n')
            ++end;
        pos = end + 1;
    }
    return result;
}

StreamMap ParseStreamMap(const std::string& value) {
    StreamMap m;
    const char* p = value.c_str();
    m.File = ReadLong(p);
    SkipSeparator(p);
    m.Stream = ReadLong(p);
    if (*p) {
        ++p;
        m.SyncFile = ReadLong(p);
        SkipSeparator(p);
        m.SyncStream = ReadLong(p);
    } else {
        m.SyncFile = m.File;
        m.SyncStream = m.Stream;
    }
    return m;
}

MetaDataMap ParseMetaDataMap(const std::string& value) {
    MetaDataMap m;
    const char* p = value.c_str();
    m.OutFile = ReadLong(p);
    SkipSeparator(p);
    m.InFile = ReadLong(p);
    return m;
}

std::pair<int, double> ParseTsScale(const std::string& value) {
    const char* p = value.c_str();
    const int stream = ReadLong(p);
    // A negative index would write outside the table just as a large one would.
    if (stream >= kMaxStreams || stream < 0)
        throw ETranscodeError(StrFormat("stream index over MAX_STREAMS(%d)", kMaxStreams));
    SkipSeparator(p);
    return {stream, LeadingDouble(p)};
}

QuantMatrix ParseMatrix(const std::string& value) {
    QuantMatrix m{};
    const char* p = value.c_str();
    for (int i = 0;; ++i) {
        // The leading integer of the field, as atoi reads it.
        m[i] = static_cast<uint16_t>(std::strtol(p, nullptr, 10));
        if (i == 63)
            break;
        while (*p && *p != ',')
            ++p;
        if (!*p)
            throw ETranscodeError(
                StrFormat("Syntax error in matrix \"%s\" at coeff %d", value.c_str(), i));
        ++p;
    }
    return m;
}

PadColorYuv PadColorFromRgb(int rgb) {
    const int r = rgb & 0xFF;
    const int g = (rgb >> 8) & 0xFF;
    const int b = (rgb >> 16) & 0xFF;
    PadColorYuv c;
    c.Y = (307 * r + 602 * g + 117 * b + 512) >> 10;
    c.U = ((-173 * r - 340 * g + 512 * b + 512 - 1) >> 10) + 128;
    c.V = ((512 * r - 429 * g - 84 * b + 512 - 1) >> 10) + 128;
    return c;
}

float ParseAspectRatio(const std::string& value) {
    const size_t colon = value.find(':');
    if (colon == std::string::npos)
        return StrToFloatDef(value, 0);
    const float x = StrToFloatDef(value.substr(0, colon), 0);
    const float y = StrToFloatDef(value.substr(colon + 1), 0);
    return y > 0 ? x / y : 0;
}

std::vector<std::string> SplitHookArgs(const std::string& value) {
    constexpr size_t kMaxWords = 255;
    const char* separators = value.find('|') != std::string::npos ? "|" : " \t";
    std::vector<std::string> words;
    size_t pos = 0;
    while (words.size() < kMaxWords) {
        pos = value.find_first_not_of(separators, pos);
        if (pos == std::string::npos)
            break;
        const size_t end = value.find_first_of(separators, pos);
        words.push_back(value.substr(pos, end == std::string::npos ? end : end - pos));
        if (end == std::string::npos)
            break;
        pos = end;
    }
    return words;
}

uint32_t FourCcTag(const std::string& value) {
    uint32_t tag = 0;
    for (size_t i = 0; i < 4 && i < value.size(); ++i)
        tag |= static_cast<uint32_t>(static_cast<unsigned char>(value[i])) << (8 * i);
    return tag;
}

} // namespace corvina::engine
