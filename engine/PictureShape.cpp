#include "PictureShape.h"

#include <algorithm>
#include <cmath>

namespace vexlo::engine {

int64_t evenSize(double value)
{
    if (!std::isfinite(value) || value < 2)
        return 2;
    if (value > 1e9)
        value = 1e9;
    return int64_t(std::floor(value / 2.0 + 0.5)) * 2;
}

double displayAspectOf(const VideoStreamInfo& video)
{
    if (video.width <= 0 || video.height <= 0)
        return 0;
    const double sar = video.sampleAspect.num > 0 && video.sampleAspect.den > 0
        ? double(video.sampleAspect.num) / double(video.sampleAspect.den)
        : 1.0;
    const double aspect = double(video.width) * sar / double(video.height);
    return video.rotation % 180 == 90 ? 1.0 / aspect : aspect;
}

PictureShape shapePicture(const VideoStreamInfo& video, int64_t width, int64_t height, FrameKind kind)
{
    PictureShape s;
    const bool turned = video.rotation % 180 == 90;
    const int64_t sourceWidth = turned ? video.height : video.width;
    const int64_t sourceHeight = turned ? video.width : video.height;
    double aspect = displayAspectOf(video);
    if (!(aspect > 0))
        aspect = 4.0 / 3.0;
    if (width < 0 && height < 0) {
        // A bound that holds either way round (a portrait phone clip is held
        // to 1080 x 1920 by "1920 x 1080"), the picture never enlarged.
        const double boundLong = double(std::max(-width, -height));
        const double boundShort = double(std::min(-width, -height));
        const double displayHeight = double(sourceHeight > 0 ? sourceHeight : 480);
        const double displayWidth = displayHeight * aspect;
        const double longer = std::max(displayWidth, displayHeight);
        const double shorter = std::min(displayWidth, displayHeight);
        const double factor = std::min({1.0, boundLong / longer, boundShort / shorter});
        s.pictureWidth = s.frameWidth = evenSize(displayWidth * factor);
        s.pictureHeight = s.frameHeight = evenSize(displayHeight * factor);
        s.displayAspect = Rational{1, 1}; // square pixels
        s.scale = s.frameWidth != sourceWidth || s.frameHeight != sourceHeight;
        const bool squareSource = !(video.sampleAspect.num > 0 && video.sampleAspect.den > 0)
            || video.sampleAspect.num == video.sampleAspect.den;
        s.keepsSourceShape = !s.scale && squareSource;
        return s;
    }
    width = std::max<int64_t>(width, 0);
    height = std::max<int64_t>(height, 0);

    if (width == 0 && height == 0) {
        // The source's size and pixel shape, made even where it is odd.
        s.pictureWidth = s.frameWidth = evenSize(double(sourceWidth));
        s.pictureHeight = s.frameHeight = evenSize(double(sourceHeight));
        s.keepsSourceShape = true;
        s.scale = s.frameWidth != sourceWidth || s.frameHeight != sourceHeight;
        return s;
    }
    if (width == 0 || height == 0) {
        // One side given: the other follows the display aspect, square pixels.
        s.pictureWidth = width ? evenSize(double(width)) : evenSize(double(height) * aspect);
        s.pictureHeight = height ? evenSize(double(height)) : evenSize(double(width) / aspect);
        s.frameWidth = s.pictureWidth;
        s.frameHeight = s.pictureHeight;
        s.displayAspect = Rational{1, 1}; // square pixels
        s.scale = true;
        return s;
    }

    s.frameWidth = evenSize(double(width));
    s.frameHeight = evenSize(double(height));
    // The display aspect of the whole frame.
    double frameAspect = double(s.frameWidth) / double(s.frameHeight);
    if (kind == FrameKind::Dvd) {
        const bool wide = aspect > 1.55;
        s.displayAspect = wide ? Rational{16, 9} : Rational{4, 3};
        frameAspect = wide ? 16.0 / 9.0 : 4.0 / 3.0;
    } else if (kind == FrameKind::Vcd) {
        s.displayAspect = Rational{4, 3};
        frameAspect = 4.0 / 3.0;
    } else {
        s.displayAspect = Rational{1, 1}; // square pixels
    }
    // Fit the picture inside the frame with its display aspect kept.
    if (aspect >= frameAspect) {
        s.pictureWidth = s.frameWidth;
        s.pictureHeight = std::min(s.frameHeight, evenSize(double(s.frameHeight) * frameAspect / aspect));
    } else {
        s.pictureHeight = s.frameHeight;
        s.pictureWidth = std::min(s.frameWidth, evenSize(double(s.frameWidth) * aspect / frameAspect));
    }
    // Even offsets keep the chroma samples of 4:2:0 pictures in place.
    s.left = (s.frameWidth - s.pictureWidth) / 4 * 2;
    s.top = (s.frameHeight - s.pictureHeight) / 4 * 2;
    s.scale = true;
    return s;
}

bool isHdSize(int64_t width, int64_t height)
{
    const int64_t longer = std::max(width, height), shorter = std::min(width, height);
    return longer >= 1280 || shorter >= 720;
}

ColourPlan planColours(const VideoStreamInfo& video, int64_t outWidth, int64_t outHeight)
{
    ColourPlan c;
    const bool sourceHd = isHdSize(video.width, video.height);
    const std::string& space = video.colorSpace;
    if (space == "bt709")
        c.inMatrix = "bt709";
    else if (space == "smpte170m" || space == "bt470bg")
        c.inMatrix = "bt601";
    else if (space == "bt2020nc" || space == "bt2020c")
        c.inMatrix = "bt2020";
    else // untagged: what players assume for the size
        c.inMatrix = sourceHd ? "bt709" : "bt601";
    c.outMatrix = isHdSize(outWidth, outHeight) ? "bt709" : "bt601";
    c.fullRangeIn = video.colorRange == "pc" || (video.colorRange.empty() && video.pixelFormat.rfind("yuvj", 0) == 0);
    c.convert = c.inMatrix != c.outMatrix || c.fullRangeIn;

    // The tags say what the pixels are: the matrix converted to; primaries and
    // transfer as the source's (they are not converted), or what its size implies.
    c.tagMatrix = c.outMatrix == "bt709" ? "bt709" : "smpte170m";
    c.tagRange = "tv";
    const bool pal = !sourceHd && video.height == 576;
    c.tagPrimaries = !video.colorPrimaries.empty() ? video.colorPrimaries
        : sourceHd                                 ? "bt709"
        : pal                                      ? "bt470bg"
                                                   : "smpte170m";
    c.tagTransfer = !video.colorTransfer.empty() ? video.colorTransfer : sourceHd ? "bt709" : "smpte170m";
    return c;
}

} // namespace vexlo::engine
