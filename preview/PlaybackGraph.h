// The playback graph's volume: a stored volume from 0 (silent) to 10000 (full), turned into
// an attenuation in hundredths of a decibel on a logarithmic ("linear volume") curve, and
// that into the player's linear gain. The volume menu's three levels and their pictures.
#pragma once

namespace corvina::preview {

inline constexpr int kMaxVolume = 10000;

// round(ln(v + 1) * 1085.73) - 10000 for v held within 0..10000: 0 at full, -10000 near 0.
int Attenuation(int volume);
// 10^(attenuation / 2000): the gain the attenuation stands for.
double LinearGain(int attenuation);

struct VolumeLevel {
    const char* item;    // the menu item
    int volume;          // what it asks of the graph (held within 0..10000 there)
    const char* picture; // the speaker picture of the volume button
};
inline constexpr VolumeLevel kVolumeLevels[] = {
    {"Mute", 10, "spkmute"},
    {"Half Volume", 6000, "spkhalf"},
    {"Full Volume", 20000, "spkfull"},
};

} // namespace corvina::preview
