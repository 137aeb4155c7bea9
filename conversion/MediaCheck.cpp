#include "MediaCheck.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include "base/EngineContract.h"

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

std::mutex& bindingMutex()
{
    static std::mutex mutex;
    return mutex;
}

MediaLibraryNames& libraryNames()
{
    static MediaLibraryNames names = defaultMediaLibraryNames();
    return names;
}

bool& bindingLoaded()
{
    static bool loaded = false;
    return loaded;
}

AvFormat& binding()
{
    static AvFormat lib;
    return lib;
}

void* openLibrary(const std::string& name, std::string& error)
{
    void* handle = ::dlopen(name.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!handle && error.empty()) {
        const char* e = ::dlerror();
        error = "ffmpeg's library " + name + " cannot be loaded: " + (e ? e : "unknown reason");
    }
    return handle;
}

const AvFormat& avFormat()
{
    const std::lock_guard<std::mutex> guard(bindingMutex());
    AvFormat& lib = binding();
    if (bindingLoaded())
        return lib;
    bindingLoaded() = true;
    lib = AvFormat();
    {
        void* util = openLibrary(libraryNames().util, lib.error);
        void* format = openLibrary(libraryNames().format, lib.error);
        if (!util || !format)
            return lib;
        lib.openInput = reinterpret_cast<decltype(lib.openInput)>(::dlsym(format, "avformat_open_input"));
        lib.findStreamInfo
            = reinterpret_cast<decltype(lib.findStreamInfo)>(::dlsym(format, "avformat_find_stream_info"));
        lib.closeInput = reinterpret_cast<decltype(lib.closeInput)>(::dlsym(format, "avformat_close_input"));
        lib.setLogLevel = reinterpret_cast<decltype(lib.setLogLevel)>(::dlsym(util, "av_log_set_level"));
        if (!lib.openInput || !lib.findStreamInfo || !lib.closeInput || !lib.setLogLevel) {
            lib.openInput = nullptr;
            lib.error = "ffmpeg's library " + libraryNames().format + " lacks an entry point";
            return lib;
        }
        lib.setLogLevel(AV_LOG_QUIET);
    }
    return lib;
}

} // namespace

MediaLibraryNames defaultMediaLibraryNames()
{
    // The versioned names: the structures read here are those of the major
    // version this program was built against.
    return {"libavutil.so." VEXLO_STR(LIBAVUTIL_VERSION_MAJOR), "libavformat.so." VEXLO_STR(LIBAVFORMAT_VERSION_MAJOR)};
}

void reloadMediaLibraryForTest(const MediaLibraryNames& names)
{
    const std::lock_guard<std::mutex> guard(bindingMutex());
    libraryNames() = names;
    bindingLoaded() = false;
}

bool mediaCheckAvailable(std::string& error)
{
    const AvFormat& av = avFormat();
    if (av.openInput)
        return true;
    error = av.error;
    return false;
}

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
        if (s->codecpar->codec_id == AV_CODEC_ID_NONE)
            continue;
        switch (s->codecpar->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
            if (!(s->disposition & AV_DISPOSITION_ATTACHED_PIC))
                ++facts.videoStreams;
            break;
        case AVMEDIA_TYPE_AUDIO:
            ++facts.audioStreams;
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            ++facts.subtitleStreams;
            break;
        default:
            break;
        }
    }
    facts.video = facts.videoStreams > 0;
    facts.audio = facts.audioStreams > 0;
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

ResultVerdict judgeResult(const MediaFacts& source, const MediaFacts& result)
{
    if (!result.readable || result.durationSeconds <= 0)
        return ResultVerdict::Unreadable;
    if ((source.video && !result.video) || (source.audio && !result.audio))
        return ResultVerdict::MissingStream;
    if (source.durationSeconds <= 0)
        return ResultVerdict::SourceUnknown;
    if (contract::isShortOf(result.durationSeconds, source.durationSeconds))
        return ResultVerdict::Shorter;
    if (contract::runsBeyond(result.durationSeconds, source.durationSeconds))
        return ResultVerdict::Longer;
    return ResultVerdict::Complete;
}

std::vector<TrackCount> missingTracks(const MediaFacts& source, const MediaFacts& result)
{
    std::vector<TrackCount> missing;
    const auto compare = [&](TrackCount::Kind kind, int held, int inSource) {
        if (held < inSource)
            missing.push_back({kind, held, inSource});
    };
    compare(TrackCount::Video, result.videoStreams, source.videoStreams);
    compare(TrackCount::Audio, result.audioStreams, source.audioStreams);
    compare(TrackCount::Subtitle, result.subtitleStreams, source.subtitleStreams);
    return missing;
}

} // namespace vexlo::conversion
