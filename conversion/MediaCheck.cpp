#include "MediaCheck.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <cmath>
#include <dlfcn.h>
#include <mutex>

namespace vexlo::conversion {

namespace {

// The few entry points used, resolved once from the libraries this program
// was built against (the same major versions, so the structures agree).
struct AvFormat {
    decltype(&avformat_open_input) openInput = nullptr;
    decltype(&avformat_find_stream_info) findStreamInfo = nullptr;
    decltype(&avformat_close_input) closeInput = nullptr;
    decltype(&av_log_set_level) setLogLevel = nullptr;
    std::string error;
};

#define VEXLO_STR2(x) #x
#define VEXLO_STR(x) VEXLO_STR2(x)

const AvFormat& avFormat()
{
    static AvFormat lib;
    static std::once_flag once;
    std::call_once(once, [] {
        void* util = ::dlopen("libavutil.so." VEXLO_STR(LIBAVUTIL_VERSION_MAJOR), RTLD_NOW | RTLD_GLOBAL);
        void* format = ::dlopen("libavformat.so." VEXLO_STR(LIBAVFORMAT_VERSION_MAJOR), RTLD_NOW | RTLD_GLOBAL);
        if (!util || !format) {
            const char* e = ::dlerror();
            lib.error = e ? e : "ffmpeg's libraries cannot be loaded";
            return;
        }
        lib.openInput = reinterpret_cast<decltype(lib.openInput)>(::dlsym(format, "avformat_open_input"));
        lib.findStreamInfo
            = reinterpret_cast<decltype(lib.findStreamInfo)>(::dlsym(format, "avformat_find_stream_info"));
        lib.closeInput = reinterpret_cast<decltype(lib.closeInput)>(::dlsym(format, "avformat_close_input"));
        lib.setLogLevel = reinterpret_cast<decltype(lib.setLogLevel)>(::dlsym(util, "av_log_set_level"));
        if (!lib.openInput || !lib.findStreamInfo || !lib.closeInput || !lib.setLogLevel) {
            lib.openInput = nullptr;
            lib.error = "ffmpeg's libraries lack an entry point";
            return;
        }
        lib.setLogLevel(AV_LOG_QUIET);
    });
    return lib;
}

} // namespace

MediaFacts readMediaFacts(const std::string& path)
{
    MediaFacts facts;
    const AvFormat& av = avFormat();
    if (!av.openInput) {
        facts.error = av.error;
        return facts;
    }
    AVFormatContext* context = nullptr;
    if (av.openInput(&context, path.c_str(), nullptr, nullptr) < 0 || !context) {
        facts.error = "not a media file";
        return facts;
    }
    if (av.findStreamInfo(context, nullptr) < 0) {
        av.closeInput(&context);
        facts.error = "not a media file";
        return facts;
    }
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream* s = context->streams[i];
        if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(s->disposition & AV_DISPOSITION_ATTACHED_PIC))
            facts.video = true;
        else if (s->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            facts.audio = true;
    }
    if (context->duration != AV_NOPTS_VALUE && context->duration > 0) {
        const double seconds = static_cast<double>(context->duration) / AV_TIME_BASE;
        if (std::isfinite(seconds) && seconds < 1e9)
            facts.durationSeconds = seconds;
    }
    facts.readable = facts.video || facts.audio;
    if (!facts.readable)
        facts.error = "holds neither pictures nor sound";
    av.closeInput(&context);
    return facts;
}

double durationTolerance(double sourceSeconds) { return 0.5 + 0.01 * sourceSeconds; }

ResultVerdict judgeResult(const MediaFacts& source, const MediaFacts& result)
{
    if (!result.readable || result.durationSeconds <= 0)
        return ResultVerdict::Unreadable;
    if ((source.video && !result.video) || (source.audio && !result.audio))
        return ResultVerdict::MissingStream;
    if (source.durationSeconds <= 0)
        return ResultVerdict::SourceUnknown;
    const double tolerance = durationTolerance(source.durationSeconds);
    if (result.durationSeconds < source.durationSeconds - tolerance)
        return ResultVerdict::Shorter;
    if (result.durationSeconds > source.durationSeconds + tolerance)
        return ResultVerdict::Longer;
    return ResultVerdict::Complete;
}

} // namespace vexlo::conversion
