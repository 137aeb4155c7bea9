// Reading a source's streams inside trevok with ffmpeg's own libraries.
// Starting ffprobe costs a tenth of a second per file (it loads every library
// ffmpeg was built with); the demuxing libraries alone load in a third of that.
// The result is the same SourceInfo that ffprobe's report gives.
#include "SourceProbe.h"
#include "base/Text.h"

#include "RecordingDate.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <type_traits>
#include <vector>

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
class SizeMeasure {
public:
    SizeMeasure(AVFormatContext* context, int index) : m_index(index), m_size(context->pb ? avio_size(context->pb) : -1)
    {
        if (m_index >= 0)
            m_base = context->streams[m_index]->time_base;
    }
    bool wanted() const { return m_index >= 0 && m_size > 0 && !m_done; }
    void take(const AVPacket* packet)
    {
        if (packet->stream_index != m_index || packet->pos < 0 || packet->dts == AV_NOPTS_VALUE)
            return;
        const double t = double(packet->dts) * av_q2d(m_base);
        if (m_firstPos < 0) {
            m_firstPos = packet->pos;
            m_first = m_last = t;
            return;
        }
        if (t < m_last - 0.1 || t > m_last + 10) {
            m_done = true;
            return;
        }
        m_last = t;
        m_lastPos = packet->pos;
        m_done = m_lastPos - m_firstPos > (4 << 20);
    }
    double seconds() const
    {
        if (m_size <= 0 || m_lastPos <= m_firstPos || m_last - m_first < 1)
            return 0;
        return plausibleDuration(double(m_size) * (m_last - m_first) / double(m_lastPos - m_firstPos));
    }

private:
    int m_index;
    int64_t m_size;
    AVRational m_base{1, 1};
    int64_t m_firstPos = -1, m_lastPos = -1;
    double m_first = 0, m_last = 0;
    bool m_done = false;
};

// The sums of ffmpeg's idet over the picture's samples (luma): how well each
// line of the frames before and after fits between the lines around it in
// this frame (alpha, by the line's field), how well this frame's own lines
// do (delta), and how far each field moved since the frame before (gamma).
template<typename Sample>
void fieldSums(
    const AVFrame* prev, const AVFrame* cur, const AVFrame* next, int64_t alpha[2], int64_t& delta, int64_t gamma[2])
{
    const auto row = [](const AVFrame* f, int y) {
        return reinterpret_cast<const Sample*>(f->data[0] + ptrdiff_t(y) * f->linesize[0]);
    };
    // Every other pair of lines (one line of each field) tells as much.
    for (int y = 2; y < cur->height - 2; y += (y & 1) ? 3 : 1) {
        const Sample *above = row(cur, y - 1), *here = row(cur, y), *below = row(cur, y + 1);
        const Sample *before = row(prev, y), *after = row(next, y);
        // A line of 8-bit samples sums in 32 bits (at most 1020 a sample),
        // so that the loop runs in vector registers.
        using Sum = std::conditional_t<sizeof(Sample) == 1, int32_t, int64_t>;
        Sum a0 = 0, a1 = 0, d = 0, g = 0;
        for (int x = 0; x < cur->width; ++x) {
            const int around = above[x] + below[x];
            a0 += std::abs(around - 2 * before[x]);
            a1 += std::abs(around - 2 * after[x]);
            d += std::abs(around - 2 * here[x]);
            g += std::abs(here[x] - before[x]);
        }
        alpha[y & 1] += a0;
        alpha[(y ^ 1) & 1] += a1;
        delta += d;
        gamma[(y ^ 1) & 1] += g;
    }
}

// Whether a picture shows flat colour with sharp edges (a screen, slides,
// drawn animation) rather than a camera's picture, by its luma (green for
// RGB): at least 30 % of its 8 x 8 blocks are one value throughout, and at
// least 0.5 % of the samples beside each other differ by 48 or more (in 8
// bits: text, lines, window edges). Camera pictures hold noise, so that no
// block is flat; compressed hard, their blocks are flat but their edges
// blurred. `step`: samples from one pixel's to the next's.
template<typename Sample>
bool flatSamples(const uint8_t* plane, ptrdiff_t stride, int step, int width, int height, int depth)
{
    const auto at = [&](int x, int y) {
        return reinterpret_cast<const Sample*>(plane + ptrdiff_t(y) * stride)[ptrdiff_t(x) * step];
    };
    int64_t blocks = 0, flat = 0;
    for (int top = 0; top + 8 <= height; top += 8)
        for (int left = 0; left + 8 <= width; left += 8) {
            const Sample value = at(left, top);
            bool same = true;
            for (int y = top; y < top + 8 && same; ++y)
                for (int x = left; x < left + 8 && same; ++x)
                    same = at(x, y) == value;
            ++blocks;
            flat += same;
        }
    // Every other line tells as much of the edges.
    const int edge = 48 << std::max(depth - 8, 0);
    int64_t pairs = 0, edges = 0;
    for (int y = 0; y < height; y += 2) {
        for (int x = 1; x < width; ++x)
            edges += std::abs(int(at(x, y)) - int(at(x - 1, y))) >= edge;
        pairs += width - 1;
    }
    return blocks > 0 && flat * 10 >= blocks * 3 && edges * 200 >= pairs;
}

bool flatPicture(const AVFrame* frame)
{
    const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(AVPixelFormat(frame->format));
    if (!format || (format->flags & (AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_PAL))
        || frame->width < 8 || frame->height < 8)
        return false;
    const AVComponentDescriptor& c = format->comp[(format->flags & AV_PIX_FMT_FLAG_RGB) ? 1 : 0];
    const uint8_t* plane = frame->data[c.plane];
    if (!plane || c.shift != 0 || c.depth < 8 || c.depth > 16)
        return false;
    if (c.depth == 8)
        return flatSamples<uint8_t>(plane + c.offset, frame->linesize[c.plane], c.step, frame->width, frame->height, 8);
    // Deeper samples in 16 bits of the machine's order.
    if ((format->flags & AV_PIX_FMT_FLAG_BE) || c.step % 2 || c.offset % 2)
        return false;
    return flatSamples<uint16_t>(
        plane + c.offset, frame->linesize[c.plane], c.step / 2, frame->width, frame->height, c.depth);
}

// Decodes the first frames of the picture stream: the picture's size,
// pixel shape and colours where the libraries were told not to decode them
// (`fill`), what the fields of a stream flagged interlaced hold (`judge`,
// judgeFields()), and whether the first picture is flat (`look`,
// flatPicture()).
// The packets are those the libraries read to find the streams, and what
// follows them: nothing is read twice, and no frame is decoded twice.
class FirstFrames {
public:
    FirstFrames(AVStream* stream, bool fill, bool judge, bool look)
        : m_stream(stream), m_fill(fill), m_judge(judge), m_looked(!look)
    {
        const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
        m_codec = decoder ? avcodec_alloc_context3(decoder) : nullptr;
        for (AVFrame*& f : m_frames)
            f = av_frame_alloc();
        m_frame = av_frame_alloc();
        if (!m_codec || avcodec_parameters_to_context(m_codec, stream->codecpar) < 0)
            return;
        // The deblocking filter smooths block edges, not fields: left out,
        // it saves a tenth of the decoding.
        m_codec->skip_loop_filter = AVDISCARD_ALL;
        // One thread decodes only the frames asked for, at the least CPU time.
        m_codec->thread_count = 1;
        m_open = avcodec_open2(m_codec, decoder, nullptr) >= 0;
    }
    ~FirstFrames()
    {
        avcodec_free_context(&m_codec);
        for (AVFrame*& f : m_frames)
            av_frame_free(&f);
        av_frame_free(&m_frame);
    }
    FirstFrames(const FirstFrames&) = delete;
    FirstFrames& operator=(const FirstFrames&) = delete;

    // The first picture is looked at in its first 30 packets, or not at all.
    bool wanted() const
    {
        return m_open && ((m_fill && !m_filled) || (m_judge && !m_result) || (!m_looked && m_packets < 30));
    }
    void take(const AVPacket* packet)
    {
        if (packet->stream_index != m_stream->index || !wanted())
            return;
        ++m_packets;
        if (avcodec_send_packet(m_codec, packet) >= 0)
            receive();
    }
    // After the last packet: the frames the decoder still holds.
    void finish()
    {
        if (wanted() && avcodec_send_packet(m_codec, nullptr) >= 0)
            receive();
    }
    FieldContent fields() const
    {
        return m_result.value_or(judgeFields(m_verdicts, true).value_or(FieldContent::AsFlagged));
    }
    bool flat() const { return m_flat; }

private:
    void receive()
    {
        while (wanted() && avcodec_receive_frame(m_codec, m_frame) >= 0) {
            if (m_fill && !m_filled)
                fillParameters();
            if (!m_looked) {
                m_looked = true;
                m_flat = flatPicture(m_frame);
            }
            av_frame_unref(m_frames[0]);
            std::swap(m_frames[0], m_frames[1]);
            std::swap(m_frames[1], m_frames[2]);
            av_frame_move_ref(m_frames[2], m_frame);
            if (m_judge && !m_result && ++m_seen >= 3)
                judge();
        }
    }
    // What the libraries' own decoding would have told of the stream; the
    // field order their parser found stays.
    void fillParameters()
    {
        m_filled = true;
        AVCodecParameters* decoded = avcodec_parameters_alloc();
        if (!decoded || avcodec_parameters_from_context(decoded, m_codec) < 0) {
            avcodec_parameters_free(&decoded);
            return;
        }
        AVCodecParameters* par = m_stream->codecpar;
        par->width = decoded->width;
        par->height = decoded->height;
        par->format = decoded->format;
        par->sample_aspect_ratio = decoded->sample_aspect_ratio;
        par->color_range = decoded->color_range;
        par->color_primaries = decoded->color_primaries;
        par->color_trc = decoded->color_trc;
        par->color_space = decoded->color_space;
        par->chroma_location = decoded->chroma_location;
        par->profile = decoded->profile;
        par->level = decoded->level;
        par->video_delay = decoded->video_delay;
        if (par->field_order == AV_FIELD_UNKNOWN)
            par->field_order = decoded->field_order;
        avcodec_parameters_free(&decoded);
    }
    void judge()
    {
        const AVFrame *prev = m_frames[0], *cur = m_frames[1], *next = m_frames[2];
        const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(AVPixelFormat(cur->format));
        if (!format || (format->flags & (AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM)) || cur->height < 6
            || prev->width != cur->width || prev->height != cur->height || next->width != cur->width
            || next->height != cur->height || prev->format != cur->format || next->format != cur->format) {
            m_result = FieldContent::AsFlagged;
            return;
        }
        int64_t alpha[2] = {}, delta = 0, gamma[2] = {};
        if (format->comp[0].depth > 8)
            fieldSums<uint16_t>(prev, cur, next, alpha, delta, gamma);
        else
            fieldSums<uint8_t>(prev, cur, next, alpha, delta, gamma);
        FieldVerdict v;
        v.combed = alpha[0] * 100 > alpha[1] * 104 || alpha[1] * 100 > alpha[0] * 104;
        v.progressive = !v.combed && std::min(alpha[0], alpha[1]) * 2 > delta * 5;
        v.repeated = gamma[0] > gamma[1] * 3 || gamma[1] > gamma[0] * 3;
        m_verdicts.push_back(v);
        m_result = judgeFields(m_verdicts, false);
    }

    AVStream* m_stream;
    bool m_fill, m_judge;
    bool m_looked;
    AVCodecContext* m_codec = nullptr;
    AVFrame* m_frames[3] = {};
    AVFrame* m_frame = nullptr;
    bool m_open = false;
    bool m_filled = false;
    bool m_flat = false;
    int m_packets = 0;
    int m_seen = 0;
    std::vector<FieldVerdict> m_verdicts;
    std::optional<FieldContent> m_result;
};

bool flaggedInterlaced(const std::string& fieldOrder) { return !fieldOrder.empty() && fieldOrder != "progressive"; }

// The stream describeStreams() takes for the pictures (the first video
// stream with a picture size, not a cover picture; `deferred` counts as
// one), else -1.
int pictureStream(AVFormatContext* context, int deferred)
{
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream* stream = context->streams[i];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)
            && ((stream->codecpar->width > 0 && stream->codecpar->height > 0) || int(i) == deferred))
            return int(i);
    }
    return -1;
}

int firstSoundStream(AVFormatContext* context)
{
    for (unsigned i = 0; i < context->nb_streams; ++i)
        if (context->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            return int(i);
    return -1;
}

// H.264 in MPEG-TS or program streams (AVCHD camcorders, broadcasts): the
// libraries decode its first frames to find the picture's size and the
// stream's delay, and read the first megabytes of such files whatever they
// decode. Told not to decode them, they leave the size to the first frames
// decoded here, which also judge the fields: each frame is decoded once.
// Other files keep the libraries' own decoding (they would read further
// for a stream they do not decode). The first video stream as the file's
// header names it, before its streams are read; -1 for none.
int deferredStream(AVFormatContext* context)
{
    if (!(context->iformat->flags & AVFMT_TS_DISCONT))
        return -1;
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream* stream = context->streams[i];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
            return stream->codecpar->codec_id == AV_CODEC_ID_H264 ? int(i) : -1;
    }
    return -1;
}

// What the first packets after the streams are found tell; read once for
// all that needs them.
struct FirstPackets {
    double sizeSeconds = 0;
    std::optional<FieldContent> fields;
    bool flatPictures = false;
    bool cameraTimeRead = false;
    std::optional<int64_t> cameraTime;
};

// The camcorder's recording time in the first 30 pictures of an H.264
// stream (readCameraRecordingTime(), on the packets read here anyway).
class CameraTime {
public:
    explicit CameraTime(const AVStream* stream) : m_index(stream->index)
    {
        const AVCodecParameters* par = stream->codecpar;
        m_wanted = par->codec_id == AV_CODEC_ID_H264;
        if (par->extradata_size >= 7 && par->extradata[0] == 1)
            m_lengthSize = (par->extradata[4] & 0x03) + 1;
    }
    void take(const AVPacket* packet)
    {
        if (!m_wanted || m_time || m_pictures >= 30 || packet->stream_index != m_index)
            return;
        ++m_pictures;
        m_time = accessUnitRecordingTime(packet->data, size_t(packet->size), m_lengthSize);
    }
    bool read() const { return m_wanted && (m_time || m_pictures >= 30); }
    std::optional<int64_t> time() const { return m_time; }

private:
    int m_index;
    bool m_wanted = false;
    int m_lengthSize = 0;
    int m_pictures = 0;
    std::optional<int64_t> m_time;
};

// Reads the file's next packets while `wanted()` holds (at most 20000),
// handing each to `take`.
template<typename Wanted, typename Take> void readPackets(AVFormatContext* context, Wanted wanted, Take take)
{
    AVPacket* packet = av_packet_alloc();
    for (int n = 0; packet && n < 20000 && wanted() && av_read_frame(context, packet) >= 0; ++n) {
        take(packet);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
}

// Whether the picture in the middle of the picture stream `video` is flat
// too (its first one was): a title card before camera footage leaves the
// footage to the settings for camera pictures. A stream of unknown length,
// without a key frame after its middle, or whose middle gives no picture in
// 30 packets, is not taken for flat; a clip under 4 s is judged by its first
// picture. The file's read state (an error, its end) stays as the reading
// of its streams left it.
bool flatInTheMiddle(AVFormatContext* context, int video)
{
    const int64_t length = context->duration;
    if (length == AV_NOPTS_VALUE || length <= 0)
        return false;
    if (length < 4 * int64_t(AV_TIME_BASE))
        return true;
    const int64_t start = context->start_time == AV_NOPTS_VALUE ? 0 : context->start_time;
    AVIOContext* io = context->pb;
    const int error = io ? io->error : 0;
    const int ended = io ? io->eof_reached : 0;
    bool flat = false;
    // The first key frame from the middle on: one before it could be the first picture again.
    if (av_seek_frame(context, -1, start + length / 2, 0) >= 0) {
        FirstFrames middle(context->streams[video], false, false, true);
        // Files without an index (MPEG-TS) are read from where the stamps
        // say; the pictures start at the next key frame.
        bool key = false;
        readPackets(
            context, [&] { return middle.wanted(); },
            [&](const AVPacket* packet) {
                key = key || (packet->stream_index == video && (packet->flags & AV_PKT_FLAG_KEY));
                if (key)
                    middle.take(packet);
            });
        middle.finish();
        flat = middle.flat();
    }
    if (io) {
        io->error = error;
        io->eof_reached = ended;
    }
    return flat;
}

// The time line's length by the file's size (where the stamps may jump:
// `measure`), the size of the pictures of the `deferred` stream, what the
// fields of a picture stream flagged interlaced hold, and whether its
// pictures are flat (the first and the middle one; `look`).
FirstPackets readFirstPackets(AVFormatContext* context, bool measure, int deferred, bool look)
{
    const int video = pictureStream(context, deferred), audio = firstSoundStream(context);
    SizeMeasure size(context, video >= 0 ? video : audio);
    std::optional<FirstFrames> frames;
    std::optional<CameraTime> camera;
    if (video >= 0) {
        camera.emplace(context->streams[video]);
        AVStream* stream = context->streams[video];
        const bool judge = flaggedInterlaced(fieldOrderName(stream->codecpar->field_order));
        if (judge || look || video == deferred)
            frames.emplace(stream, video == deferred, judge, look);
    }
    readPackets(
        context, [&] { return (measure && size.wanted()) || (frames && frames->wanted()); },
        [&](const AVPacket* packet) {
            if (measure && size.wanted())
                size.take(packet);
            if (frames)
                frames->take(packet);
            if (camera)
                camera->take(packet);
        });
    FirstPackets first;
    if (measure)
        first.sizeSeconds = size.seconds();
    if (camera && camera->read()) {
        first.cameraTimeRead = true;
        first.cameraTime = camera->time();
    }
    if (frames) {
        frames->finish();
        if (flaggedInterlaced(fieldOrderName(context->streams[video]->codecpar->field_order)))
            first.fields = frames->fields();
        first.flatPictures = look && frames->flat() && flatInTheMiddle(context, video);
    }
    return first;
}

// readSource() with the pictures of H.264 in MPEG-TS decoded here alone
// (`defer`, deferredStream()), or with the libraries' own reading. nullopt
// with `error` "" when the deferred pictures gave no frame.
std::optional<SourceInfo> readOnce(const std::string& source, std::string& error, bool defer, bool look)
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
    const int deferred = defer ? deferredStream(context) : -1;
    std::vector<AVDictionary*> options(context->nb_streams, nullptr);
    if (deferred >= 0)
        av_dict_set(&options[size_t(deferred)], "skip_frame", "all", 0);
    const int code = avformat_find_stream_info(context, options.empty() ? nullptr : options.data());
    for (AVDictionary*& o : options)
        av_dict_free(&o);
    if (code < 0)
        return failed(code);

    const bool discontinuous = context->iformat->flags & AVFMT_TS_DISCONT;
    const FirstPackets first = readFirstPackets(context, discontinuous, deferred, look);
    if (deferred >= 0 && context->streams[deferred]->codecpar->width <= 0) {
        error.clear();
        return std::nullopt;
    }
    SourceInfo info = describeStreams(context);
    info.discontinuousTimes = discontinuous;
    info.sizeSeconds = first.sizeSeconds;
    if (info.video && info.video->index == pictureStream(context, -1)) {
        info.cameraTimeRead = first.cameraTimeRead;
        info.cameraTime = first.cameraTime;
        info.video->flatPictures = first.flatPictures;
    }
    if (info.video && first.fields)
        info.video->fields = *first.fields;
    // The libraries take a failed read for the file's end (the duration is
    // then read from what came before): the error stays with the file.
    if (context->pb && context->pb->error < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(context->pb->error, text, sizeof text);
        info.readError = "file:" + source + ": " + text;
    }
    return usableSource(info, error);
}

} // namespace

std::optional<double> readRunningTime(const std::string& file)
{
    {
        AVFormatContext* context = nullptr;
        if (avformat_open_input(&context, ("file:" + file).c_str(), nullptr, nullptr) < 0)
            return std::nullopt;
        struct Closer {
            AVFormatContext** context;
            ~Closer() { avformat_close_input(context); }
        } closer{&context};
        if (!(context->ctx_flags & AVFMTCTX_NOHEADER) && !(context->iformat->flags & AVFMT_TS_DISCONT)) {
            const int video = pictureStream(context, -1), audio = firstSoundStream(context);
            const bool known = (video >= 0 || audio >= 0) && (video < 0 || streamSeconds(context->streams[video]) > 0)
                && (audio < 0 || streamSeconds(context->streams[audio]) > 0);
            if (known)
                return describeStreams(context).durationSeconds;
        }
    }
    std::string error;
    const auto info = readSource(file, error);
    return info ? std::optional<double>(info->durationSeconds) : std::nullopt;
}

std::optional<SourceInfo> readSource(const std::string& source, std::string& error, bool lookForFlat)
{
    // Pictures that gave no frame here (damaged from the start) are left to
    // the libraries' own reading, which searches further.
    error.clear();
    if (auto info = readOnce(source, error, true, lookForFlat); info || !error.empty())
        return info;
    return readOnce(source, error, false, lookForFlat);
}

} // namespace vexlo::engine
