// The one exception class of the engine; its message is always one of the engine's texts.
#pragma once

#include <stdexcept>

namespace corvina::engine {

class ETranscodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace corvina::engine
