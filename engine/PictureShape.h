#pragma once
// The output picture: its frame size, where the scaled picture sits in it,
// the pixel shape, and the colour matrix. Plain arithmetic on 64-bit and
// floating-point values, so that no field of any size can overflow.
#include "SourceProbe.h"

#include <cstdint>
#include <string>

namespace vexlo::engine {

// How the output frame is shaped.
enum class FrameKind {
    Square, // square pixels; a fixed W x H frame is letterboxed or pillarboxed
    Dvd,    // MPEG-2 at a DVD size: 4:3 or 16:9 display with non-square pixels
    Vcd     // MPEG-1: a 4:3 display with non-square pixels
};

struct PictureShape {
    // The scaled picture and the frame around it (equal when there are no bars).
    int64_t pictureWidth = 0, pictureHeight = 0;
    int64_t frameWidth = 0, frameHeight = 0;
    int64_t left = 0, top = 0;     // the picture's place in the frame
    Rational displayAspect{0, 1};  // of the whole frame; {0,1}: keep what the pixels say
    bool scale = false;            // the picture's size differs from the source's
    bool keepsSourceShape = false; // the source's pixel shape is kept (size as the source's)
};

// Rounds to the nearest even value of at least 2 (halves round up), as 4:2:0
// pictures need.
int64_t evenSize(double value);

// The source's display aspect after rotation (width / height); 0 when unknown.
double displayAspectOf(const VideoStreamInfo& video);

// The shape of the output for a requested frame of `width` x `height` (0 x 0:
// the source's size; one side 0: that side follows the source's display aspect;
// both negative: a bound, the source's display shape with its longer side at
// most the larger of -W and -H and its shorter side at most the smaller, never
// enlarged, square pixels).
PictureShape shapePicture(const VideoStreamInfo& video, int64_t width, int64_t height, FrameKind kind);

// Colour handling. Matrices are named as ffmpeg's scale filter names them.
struct ColourPlan {
    std::string inMatrix;     // the source's: "bt709", "bt601", "bt2020"
    std::string outMatrix;    // the output's: "bt709" (HD sizes) or "bt601" (SD sizes)
    bool fullRangeIn = false; // the source's samples use the full 0..255 range
    bool convert = false;     // pixels must be converted (matrix or range differ)
    // Tags written into the output (as ffmpeg's -colorspace etc. name them).
    std::string tagMatrix, tagPrimaries, tagTransfer, tagRange;
};

// An HD picture is 1280 wide or 720 high or more (either way round).
bool isHdSize(int64_t width, int64_t height);

ColourPlan planColours(const VideoStreamInfo& video, int64_t outWidth, int64_t outHeight);

} // namespace vexlo::engine
