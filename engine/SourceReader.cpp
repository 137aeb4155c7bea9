// Reading a source's streams inside trevok with ffmpeg's own libraries.
// Starting ffprobe costs a tenth of a second per file (it loads every library
// ffmpeg was built with); the demuxing libraries alone load in a third of that.
// The result is the same SourceInfo that ffprobe's report gives.
#include "SourceProbe.h"
#include "base/Text.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cmath>
#include <mutex>

namespace vexlo::engine {

namespace {

// The libraries' messages at error level, kept for the error text (ffprobe
// prints the same lines with -v error).
std::mutex g_logMutex;
std::string* g_log = nullptr;

void collectLog(void* avcl, int level, const char* format, va_list args)
{
    if (level > AV_LOG_ERROR)
        return;
    char line[1024];
    int prefix = 1;
    av_log_format_line2(avcl, level, format, args, line, sizeof line, &prefix);
    const std::lock_guard<std::mutex> lock(g_logMutex);
    if (g_log && g_log->size() < 4096)
        g_log->append(line);
}

std::optional<Rational> positive(AVRational r)
{
    if (r.num <= 0 || r.den <= 0)
        return std::nullopt;
    return Rational{r.num, r.den};
}

// The libraries give no name (nullptr) for values they do not know.
std::string colourName(const char* name) { return name ? knownName(name) : std::string(); }

std::string fieldOrderName(AVFieldOrder order)
{
    switch (order) {
    case AV_FIELD_PROGRESSIVE:
        return "progressive";
    case AV_FIELD_TT:
        return "tt";
    case AV_FIELD_BB:
        return "bb";
    case AV_FIELD_TB:
        return "tb";
    case AV_FIELD_BT:
        return "bt";
    default:
        return {};
    }
}

const uint8_t* displayMatrix(const AVStream* stream)
{
#if LIBAVFORMAT_VERSION_MAJOR >= 61
    const AVPacketSideData* side = av_packet_side_data_get(
        stream->codecpar->coded_side_data, stream->codecpar->nb_coded_side_data, AV_PKT_DATA_DISPLAYMATRIX);
    return side && side->size >= 9 * sizeof(int32_t) ? side->data : nullptr;
#else
    size_t size = 0;
    const uint8_t* data = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    return data && size >= 9 * sizeof(int32_t) ? data : nullptr;
#endif
}

// Degrees as ffprobe reports them: the display matrix's rotation, or an old
// file's "rotate" tag; turned into 0, 90, 180 or 270.
int rotationOf(const AVStream* stream)
{
    if (const uint8_t* matrix = displayMatrix(stream))
        return quarterTurn(av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix)));
    if (const AVDictionaryEntry* tag = av_dict_get(stream->metadata, "rotate", nullptr, 0))
        return quarterTurn(text::parseNumberOr(tag->value, 0));
    return 0;
}

// A stream's own duration in seconds, 0 when the file does not give it.
double streamSeconds(const AVStream* stream)
{
    if (stream->duration == AV_NOPTS_VALUE || stream->duration <= 0 || stream->time_base.den <= 0)
        return 0;
    return plausibleDuration(double(stream->duration) * av_q2d(stream->time_base));
}

std::string titleOf(const AVStream* stream)
{
    const AVDictionaryEntry* tag = av_dict_get(stream->metadata, "title", nullptr, 0);
    return tag ? tag->value : "";
}

VideoStreamInfo videoStream(AVFormatContext* context, AVStream* stream)
{
    const AVCodecParameters* par = stream->codecpar;
    VideoStreamInfo v;
    v.index = stream->index;
    v.width = par->width;
    v.height = par->height;
    v.sampleAspect = positive(av_guess_sample_aspect_ratio(context, stream, nullptr)).value_or(Rational{1, 1});
    v.rotation = rotationOf(stream);
    v.frameRate = positive(stream->avg_frame_rate).value_or(Rational{0, 1});
    v.baseRate = positive(stream->r_frame_rate).value_or(Rational{0, 1});
    v.fieldOrder = fieldOrderName(par->field_order);
    const char* pixelFormat = av_get_pix_fmt_name(AVPixelFormat(par->format));
    v.pixelFormat = pixelFormat ? pixelFormat : "unknown";
    v.colorRange = colourName(av_color_range_name(par->color_range));
    v.colorSpace = colourName(av_color_space_name(par->color_space));
    v.colorPrimaries = colourName(av_color_primaries_name(par->color_primaries));
    v.colorTransfer = colourName(av_color_transfer_name(par->color_trc));
    return v;
}

SourceInfo describeStreams(AVFormatContext* context)
{
    SourceInfo info;
    double longest = 0;
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        AVStream* stream = context->streams[i];
        const AVCodecParameters* par = stream->codecpar;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO && !info.video
            && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            if (par->width <= 0 || par->height <= 0)
                continue; // a stream without pictures is no picture source
            info.video = videoStream(context, stream);
            info.videoCodec = avcodec_get_name(par->codec_id);
            longest = std::max(longest, streamSeconds(stream));
        } else if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
            info.audioTracks.push_back(
                audioStream(stream->index, par->ch_layout.nb_channels, par->sample_rate, titleOf(stream)));
            if (!info.audio) {
                info.audio = info.audioTracks.back();
                longest = std::max(longest, streamSeconds(stream));
            }
        } else if (par->codec_type == AVMEDIA_TYPE_SUBTITLE) {
            info.subtitles.push_back({stream->index, avcodec_get_name(par->codec_id), titleOf(stream)});
        }
    }
    const double file = context->duration != AV_NOPTS_VALUE ? double(context->duration) / AV_TIME_BASE : 0;
    info.durationSeconds = runningTime(longest, file);
    info.chapters = int(std::min<unsigned>(context->nb_chapters, 100000));
    // Phones write the time into the file's header and into each track's.
    if (const AVDictionaryEntry* tag = av_dict_get(context->metadata, "creation_time", nullptr, 0))
        info.creationTime = tag->value;
    else if (info.video)
        if (const AVDictionaryEntry* own
            = av_dict_get(context->streams[info.video->index]->metadata, "creation_time", nullptr, 0))
            info.creationTime = own->value;
    return info;
}

// The time line's length as the file's size gives it, at the byte rate of
// the first packets of its first picture (or sound) stream: those the
// libraries read to find the streams, up to 4 MB or a jump in the stamps.
// 0 when they span less than a second.
double sizeSeconds(AVFormatContext* context, const SourceInfo& info)
{
    const int index = info.video ? info.video->index : info.audio ? info.audio->index : -1;
    const int64_t size = context->pb ? avio_size(context->pb) : -1;
    if (index < 0 || size <= 0)
        return 0;
    const AVRational base = context->streams[index]->time_base;
    AVPacket* packet = av_packet_alloc();
    int64_t firstPos = -1, lastPos = -1;
    double first = 0, last = 0;
    for (int n = 0; n < 20000 && av_read_frame(context, packet) >= 0; ++n) {
        const bool usable = packet->stream_index == index && packet->pos >= 0 && packet->dts != AV_NOPTS_VALUE;
        const double t = double(packet->dts) * av_q2d(base);
        const int64_t pos = packet->pos;
        av_packet_unref(packet);
        if (!usable)
            continue;
        if (firstPos < 0) {
            firstPos = pos;
            first = last = t;
            continue;
        }
        if (t < last - 0.1 || t > last + 10)
            break;
        last = t;
        lastPos = pos;
        if (lastPos - firstPos > (4 << 20))
            break;
    }
    av_packet_free(&packet);
    if (lastPos <= firstPos || last - first < 1)
        return 0;
    return plausibleDuration(double(size) * (last - first) / double(lastPos - firstPos));
}

} // namespace

std::optional<SourceInfo> readSource(const std::string& source, std::string& error)
{
    std::string log;
    {
        const std::lock_guard<std::mutex> lock(g_logMutex);
        g_log = &log;
    }
    av_log_set_callback(collectLog);
    struct LogReset {
        ~LogReset()
        {
            const std::lock_guard<std::mutex> lock(g_logMutex);
            g_log = nullptr;
        }
    } logReset;

    AVFormatContext* context = nullptr;
    const auto failed = [&](int code) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(code, text, sizeof text);
        while (!log.empty() && (log.back() == '\n' || log.back() == '\r'))
            log.pop_back();
        error = log.empty() ? std::string(text) : log;
        return std::nullopt;
    };
    // "file:" keeps a name with a colon or a leading dash a file name.
    if (const int code = avformat_open_input(&context, ("file:" + source).c_str(), nullptr, nullptr); code < 0)
        return failed(code);
    struct Closer {
        AVFormatContext** context;
        ~Closer() { avformat_close_input(context); }
    } closer{&context};
    if (const int code = avformat_find_stream_info(context, nullptr); code < 0)
        return failed(code);

    SourceInfo info = describeStreams(context);
    if (context->iformat->flags & AVFMT_TS_DISCONT) {
        info.discontinuousTimes = true;
        info.sizeSeconds = sizeSeconds(context, info);
    }
    // The libraries take a failed read for the file's end (the duration is
    // then read from what came before): the error stays with the file.
    if (context->pb && context->pb->error < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(context->pb->error, text, sizeof text);
        info.readError = "file:" + source + ": " + text;
    }
    return usableSource(info, error);
}

} // namespace vexlo::engine
