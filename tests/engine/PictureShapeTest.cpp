// The output picture's geometry and colours for the shapes of real sources.
#include "engine/PictureShape.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

using namespace vexlo::engine;

namespace {

VideoStreamInfo source(int64_t w, int64_t h, Rational sar = {1, 1}, int rotation = 0)
{
    VideoStreamInfo v;
    v.width = w;
    v.height = h;
    v.sampleAspect = sar;
    v.rotation = rotation;
    return v;
}

} // namespace

TEST(PictureShape, ThePictureFitsTheFrameWithItsDisplayAspect)
{
    struct Case {
        const char* what;
        VideoStreamInfo in;
        int64_t w, h;
        FrameKind kind;
        int64_t pictureW, pictureH, frameW, frameH, left, top;
        Rational dar;
    };
    const Case cases[] = {
        {"16:9 camcorder into 4:3: letterbox", source(1920, 1080), 640, 480, FrameKind::Square, 640, 360, 640, 480, 0,
            60, {1, 1}},
        {"portrait phone (turned) into 4:3: pillarbox", source(1280, 720, {1, 1}, 90), 640, 480, FrameKind::Square, 270,
            480, 640, 480, 184, 0, {1, 1}},
        {"turned the other way", source(1280, 720, {1, 1}, 270), 368, 208, FrameKind::Square, 118, 208, 368, 208, 124,
            0, {1, 1}},
        {"anamorphic 16:9 DVD", source(720, 480, {32, 27}), 640, 480, FrameKind::Square, 640, 360, 640, 480, 0, 60,
            {1, 1}},
        {"4:3 into 16:9: pillarbox", source(640, 480), 320, 180, FrameKind::Square, 240, 180, 320, 180, 40, 0, {1, 1}},
        {"odd frame asked for: rounded", source(1920, 1080), 853, 480, FrameKind::Square, 854, 480, 854, 480, 0, 0,
            {1, 1}},
        {"one side: the other follows", source(1920, 1080), 640, 0, FrameKind::Square, 640, 360, 640, 360, 0, 0,
            {1, 1}},
        {"one side, anamorphic", source(720, 576, {64, 45}), 0, 360, FrameKind::Square, 640, 360, 640, 360, 0, 0,
            {1, 1}},
        {"DVD, wide source: 16:9 flag, full frame", source(1920, 1080), 720, 480, FrameKind::Dvd, 720, 480, 720, 480, 0,
            0, {16, 9}},
        {"DVD, 4:3 source: 4:3 flag, full frame", source(640, 480), 720, 576, FrameKind::Dvd, 720, 576, 720, 576, 0, 0,
            {4, 3}},
        {"DVD, 3:2 source: 4:3 with thin bars", source(720, 480), 720, 480, FrameKind::Dvd, 720, 426, 720, 480, 0, 26,
            {4, 3}},
        {"DVD, cinema scope: 16:9 with bars", source(1880, 800), 720, 480, FrameKind::Dvd, 720, 364, 720, 480, 0, 58,
            {16, 9}},
        {"VCD, wide source: letterboxed in 4:3", source(1920, 1080), 352, 240, FrameKind::Vcd, 352, 180, 352, 240, 0,
            30, {4, 3}},
        {"VCD, portrait", source(1280, 720, {1, 1}, 90), 352, 288, FrameKind::Vcd, 148, 288, 352, 288, 102, 0, {4, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const PictureShape s = shapePicture(c.in, c.w, c.h, c.kind);
        EXPECT_EQ(s.pictureWidth, c.pictureW);
        EXPECT_EQ(s.pictureHeight, c.pictureH);
        EXPECT_EQ(s.frameWidth, c.frameW);
        EXPECT_EQ(s.frameHeight, c.frameH);
        EXPECT_EQ(s.left, c.left);
        EXPECT_EQ(s.top, c.top);
        EXPECT_EQ(s.displayAspect, c.dar);
        EXPECT_TRUE(s.scale);
        EXPECT_FALSE(s.keepsSourceShape);
        // Every size and offset is even, as 4:2:0 pictures need.
        for (const int64_t v : {s.pictureWidth, s.pictureHeight, s.frameWidth, s.frameHeight, s.left, s.top})
            EXPECT_EQ(v % 2, 0) << v;
    }
}

TEST(PictureShape, TheSourcesSizeIsKeptButMadeEven)
{
    PictureShape s = shapePicture(source(718, 403), 0, 0, FrameKind::Square);
    EXPECT_EQ(s.frameWidth, 718);
    EXPECT_EQ(s.frameHeight, 404);
    EXPECT_TRUE(s.scale);
    EXPECT_TRUE(s.keepsSourceShape); // the pixel shape (and so the display aspect) stays

    s = shapePicture(source(1920, 1080, {1, 1}, 90), 0, 0, FrameKind::Square);
    EXPECT_EQ(s.frameWidth, 1080);
    EXPECT_EQ(s.frameHeight, 1920);
    EXPECT_FALSE(s.scale);
}

TEST(PictureShape, ABoundKeepsTheShapeEitherWayRoundAndNeverEnlarges)
{
    struct Case {
        const char* what;
        VideoStreamInfo in;
        int64_t w, h;
        int64_t outW, outH;
        bool scale;
    };
    const Case cases[] = {
        {"1080 camcorder in 1080: as it is", source(1920, 1080), -1920, -1080, 1920, 1080, false},
        {"1080 camcorder in 720", source(1920, 1080), -1280, -720, 1280, 720, true},
        {"4K in 1080", source(3840, 2160), -1920, -1080, 1920, 1080, true},
        {"4:3 in 720: the height bounds", source(1440, 1080), -1280, -720, 960, 720, true},
        {"cinema scope in 720: the width bounds", source(1880, 800), -1280, -720, 1280, 544, true},
        {"portrait phone (turned) in 1080: held upright", source(1920, 1080, {1, 1}, 90), -1920, -1080, 1080, 1920,
            false},
        {"portrait 4K phone in 720", source(3840, 2160, {1, 1}, 270), -1280, -720, 720, 1280, true},
        {"the bound given the other way round", source(3840, 2160), -1080, -1920, 1920, 1080, true},
        {"HDV 1440 x 1080 anamorphic: square pixels", source(1440, 1080, {4, 3}), -1920, -1080, 1920, 1080, true},
        {"small clip: never enlarged", source(640, 360), -1920, -1080, 640, 360, false},
        {"anamorphic DVD: square pixels at its display size", source(720, 480, {32, 27}), -1280, -720, 854, 480, true},
        {"odd size: made even", source(718, 403), -1920, -1080, 718, 404, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const PictureShape s = shapePicture(c.in, c.w, c.h, FrameKind::Square);
        EXPECT_EQ(s.frameWidth, c.outW);
        EXPECT_EQ(s.frameHeight, c.outH);
        EXPECT_EQ(s.pictureWidth, s.frameWidth); // no bars
        EXPECT_EQ(s.pictureHeight, s.frameHeight);
        EXPECT_EQ(s.scale, c.scale);
        EXPECT_EQ(s.displayAspect, (Rational{1, 1}));
    }
    // Hand-edited bounds at the ends of the range.
    for (const int64_t side : {int64_t(1), int64_t(INT_MAX), int64_t(INT_MAX) + 1}) {
        const PictureShape s = shapePicture(source(1920, 1080), -side, -side, FrameKind::Square);
        EXPECT_GE(s.frameWidth, 2);
        EXPECT_LE(s.frameWidth, 1920);
    }
}

TEST(PictureShape, AnySizeIsHandledWithoutOverflow)
{
    // Hand-edited sizes at the ends of the 32-bit range, and sources that say
    // odd things about themselves: the arithmetic stays defined.
    for (const int64_t side : {int64_t(1), int64_t(3), int64_t(INT_MAX)}) {
        for (const auto& in : {source(1920, 1080), source(1, 1), source(INT_MAX, 1, {INT_MAX, 1}),
                 source(2, INT_MAX, {1, INT_MAX}, 90)}) {
            const PictureShape s = shapePicture(in, side, side, FrameKind::Square);
            EXPECT_GE(s.pictureWidth, 2);
            EXPECT_GE(s.pictureHeight, 2);
            EXPECT_LE(s.pictureWidth, s.frameWidth);
            EXPECT_LE(s.pictureHeight, s.frameHeight);
        }
    }
    // Nothing is ever made smaller than 2: a side of 0 or 1 (rounded to the
    // nearest even value: 0) would be refused by the scaler.
    const struct {
        double in;
        int64_t out;
    } sizes[] = {{-5, 2}, {0, 2}, {0.4, 2}, {0.5, 2}, {0.9, 2}, {1, 2}, {1.9, 2}, {2, 2}, {2.9, 2}, {3, 4},
        {401.9, 402}, {403, 404}, {1e300, 1000000000}, {std::nan(""), 2}, {-HUGE_VAL, 2}};
    for (const auto& c : sizes)
        EXPECT_EQ(evenSize(c.in), c.out) << c.in;
    // A sliver of a source, one side following its aspect, rounds to that least size.
    const PictureShape thin = shapePicture(source(2, 4000), 0, 100, FrameKind::Square);
    EXPECT_EQ(thin.pictureWidth, 2);
    EXPECT_EQ(thin.pictureHeight, 100);
}

TEST(PictureShape, HdStartsAt1280WideOr720High)
{
    // Either side is enough, either way round: the bounded 4:3 camcorder
    // (960 x 720) and the bounded cinema-scope film (1280 x 544) are HD.
    const struct {
        int64_t w, h;
        bool hd;
    } sizes[] = {{1280, 720, true}, {960, 720, true}, {720, 960, true}, {1280, 544, true}, {544, 1280, true},
        {960, 718, false}, {718, 960, false}, {1278, 544, false}, {544, 1278, false}, {720, 576, false}, {0, 0, false}};
    for (const auto& c : sizes)
        EXPECT_EQ(isHdSize(c.w, c.h), c.hd) << c.w << "x" << c.h;
}

TEST(PictureShape, ColoursMatchWhatPlayersAssumeForTheOutputSize)
{
    struct Case {
        const char* what;
        VideoStreamInfo in;
        int64_t outW, outH;
        const char *inMatrix, *outMatrix;
        bool convert;
        const char *tagMatrix, *tagPrimaries;
        bool fullRange = false;
    };
    VideoStreamInfo taggedSd = source(720, 480);
    taggedSd.colorSpace = "smpte170m";
    VideoStreamInfo fullRangeHd = source(1280, 720);
    fullRangeHd.pixelFormat = "yuvj420p";
    VideoStreamInfo pal = source(720, 576);
    VideoStreamInfo hdTagged601 = source(1920, 1080);
    hdTagged601.colorSpace = "bt470bg";
    VideoStreamInfo mjpeg = source(640, 480);
    mjpeg.pixelFormat = "yuvj420p";
    VideoStreamInfo fullRangePhone = source(1080, 1920);
    fullRangePhone.pixelFormat = "yuv420p";
    fullRangePhone.colorRange = "pc";
    VideoStreamInfo limitedJpeg = mjpeg;
    limitedJpeg.colorRange = "tv";
    const Case cases[] = {
        {"untagged HD to SD", source(1920, 1080), 640, 480, "bt709", "bt601", true, "smpte170m", "bt709"},
        {"tagged SD to SD", taggedSd, 320, 240, "bt601", "bt601", false, "smpte170m", "smpte170m"},
        {"full-range HD to HD", fullRangeHd, 1280, 720, "bt709", "bt709", true, "bt709", "bt709", true},
        {"SD to HD", source(640, 480), 1920, 1080, "bt601", "bt709", true, "bt709", "smpte170m"},
        {"PAL SD", pal, 320, 240, "bt601", "bt601", false, "smpte170m", "bt470bg"},
        {"HD tagged BT.601 keeps its tag's meaning", hdTagged601, 640, 360, "bt601", "bt601", false, "smpte170m",
            "bt709"},
        {"portrait HD phone to SD", source(720, 1280, {1, 1}, 0), 270, 480, "bt709", "bt601", true, "smpte170m",
            "bt709"},
        {"4:3 HD camcorder bounded to 960 x 720 stays HD", source(1440, 1080), 960, 720, "bt709", "bt709", false,
            "bt709", "bt709"},
        {"cinema scope bounded to 1280 x 544 stays HD", source(1880, 800), 1280, 544, "bt709", "bt709", false, "bt709",
            "bt709"},
        {"MJPEG at its own size: full range to limited", mjpeg, 640, 480, "bt601", "bt601", true, "smpte170m",
            "smpte170m", true},
        {"phone tagged full range at its own size", fullRangePhone, 1080, 1920, "bt709", "bt709", true, "bt709",
            "bt709", true},
        {"yuvj pixels tagged limited range", limitedJpeg, 640, 480, "bt601", "bt601", false, "smpte170m", "smpte170m"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ColourPlan p = planColours(c.in, c.outW, c.outH);
        EXPECT_EQ(p.inMatrix, c.inMatrix);
        EXPECT_EQ(p.outMatrix, c.outMatrix);
        EXPECT_EQ(p.convert, c.convert);
        EXPECT_EQ(p.fullRangeIn, c.fullRange);
        EXPECT_EQ(p.tagMatrix, c.tagMatrix);
        EXPECT_EQ(p.tagPrimaries, c.tagPrimaries);
        EXPECT_EQ(p.tagRange, "tv");
    }
}
