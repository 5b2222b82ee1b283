#include "preview/PlaybackGraph.h"

#include <algorithm>
#include <cmath>

namespace corvina::preview {

int Attenuation(int volume) {
    const int v = std::clamp(volume, 0, kMaxVolume);
    return static_cast<int>(std::lround(std::log(v + 1.0) * 1085.73)) - kMaxVolume;
}

double LinearGain(int attenuation) {
    return std::pow(10.0, attenuation / 2000.0);
}

} // namespace corvina::preview
