// Pictures a camera stored sideways or upside down, with a display matrix telling players how
// to turn them: which way that is, the size they are seen at, and turning a decoded picture
// upright. The libraries bound here offer no filter for it, so the planes are moved here.
#pragma once

#include <cstdint>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}

namespace corvina::engine {

// The least moves that show a stored picture as seen: an optional transpose (stored rows
// become columns), and reading the stored picture's x and/or y axis backwards. For the
// displayed pixel (X, Y) of a stored W x H picture:
//   without Transpose: x = FlipX ? W-1-X : X,  y = FlipY ? H-1-Y : Y
//   with Transpose:    x = FlipX ? W-1-Y : Y,  y = FlipY ? H-1-X : X
struct Orientation {
    bool Transpose = false;
    bool FlipX = false;
    bool FlipY = false;

    bool IsIdentity() const { return !Transpose && !FlipX && !FlipY; }
    bool operator==(const Orientation&) const = default;
};

// The orientation a display matrix (9 values, 16.16 and 2.30 fixed point as the libraries
// store it) asks for. Quarter turns and mirrors are read exactly; any other angle is taken to
// the nearest quarter turn; a singular matrix turns nothing.
Orientation OrientationOfMatrix(const int32_t matrix[9]);

// The clockwise quarter turn, as 0, 90, 180 or 270, for a pure rotation; -1 when the
// orientation mirrors.
int ClockwiseDegrees(Orientation o);
Orientation OrientationOfClockwiseDegrees(int degrees);

// The stream's display matrix, identity when it has none.
Orientation OrientationOfStream(const AVStream* st);

// The size a stored picture is seen at; for a transpose, width and height change places.
void DisplayedSize(Orientation o, int width, int height, int& shownWidth, int& shownHeight);

// Whether OrientPicture moves this format's planes as they are. False for bitstream, palette
// and hardware formats, for pixels packed across several sizes (4:2:2 packed), and for a
// transpose of chroma subsampled differently across and down (4:2:2 planar, which would turn
// into 4:4:0): those are converted to a format it takes first.
bool CanOrient(AVPixelFormat format, Orientation o);

// dst (its format, and the displayed size of src, already allocated and writable) gets src
// seen upright. False when CanOrient refuses the format or the sizes do not match.
bool OrientPicture(const AVFrame* src, AVFrame* dst, Orientation o);

} // namespace corvina::engine
