#include "RecordingDate.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace vexlo::engine {

namespace {

constexpr int64_t kEarliest = 365 * 86400; // 1971-01-01: earlier dates are unset clocks

bool plausibleTime(int64_t seconds) { return seconds >= kEarliest && seconds <= int64_t(std::time(nullptr)) + 86400; }

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
int64_t daysFromCivil(int64_t y, int64_t m, int64_t d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool validClock(int year, int month, int day, int hour, int minute, int second)
{
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return year >= 1900 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= kDays[month - 1] && hour >= 0
        && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 60;
}

int64_t secondsOf(int year, int month, int day, int hour, int minute, int second)
{
    return daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

// `count` decimal digits at `at`, or -1.
int digits(std::string_view text, size_t at, size_t count)
{
    if (at + count > text.size())
        return -1;
    int value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// A BCD byte (0x59 = 59), or -1 when a nibble is no decimal digit.
int bcd(uint8_t byte)
{
    const int high = byte >> 4, low = byte & 0x0f;
    return high > 9 || low > 9 ? -1 : high * 10 + low;
}

// The payload with the emulation prevention bytes (00 00 03) taken out.
std::string unescaped(std::string_view payload)
{
    std::string out;
    out.reserve(payload.size());
    int zeros = 0;
    for (const char c : payload) {
        const auto byte = uint8_t(c);
        if (zeros >= 2 && byte == 3) {
            zeros = 0;
            continue;
        }
        zeros = byte == 0 ? zeros + 1 : 0;
        out += c;
    }
    return out;
}

constexpr unsigned char kMdpmUuid[16]
    = {0x17, 0xee, 0x8c, 0x60, 0xf8, 0x4d, 0x11, 0xd9, 0x8c, 0xd6, 0x08, 0x00, 0x20, 0x0c, 0x9a, 0x66};

// The date in an MDPM block: `entries` five-byte entries (a tag, four data bytes).
std::optional<int64_t> mdpmDate(std::string_view block, int entries)
{
    const uint8_t* date = nullptr;
    const uint8_t* time = nullptr;
    for (int i = 0; i < entries && size_t(i) * 5 + 5 <= block.size(); ++i) {
        const auto* entry = reinterpret_cast<const uint8_t*>(block.data()) + i * 5;
        if (entry[0] == 0x18)
            date = entry + 1;
        else if (entry[0] == 0x19)
            time = entry + 1;
    }
    if (!date || !time)
        return std::nullopt;
    const int century = bcd(date[1]), yearInCentury = bcd(date[2]);
    const int year = century < 0 || yearInCentury < 0 ? -1 : century * 100 + yearInCentury;
    const int month = bcd(date[3]), day = bcd(time[0]), hour = bcd(time[1]), minute = bcd(time[2]),
              second = bcd(time[3]);
    if (!validClock(year, month, day, hour, minute, second))
        return std::nullopt;
    // The camera's clock is local time; its zone: 0x20 west of Greenwich,
    // 0x1e the whole hours, 0x01 half an hour more, 0x40 summer time (one
    // hour more).
    const uint8_t zone = date[0];
    int64_t offset = ((zone >> 1) & 0x0f) * 3600 + (zone & 0x01) * 1800;
    if (zone & 0x20)
        offset = -offset;
    if (zone & 0x40)
        offset += 3600;
    const int64_t utc = secondsOf(year, month, day, hour, minute, second) - offset;
    return plausibleTime(utc) ? std::optional<int64_t>(utc) : std::nullopt;
}

} // namespace

std::optional<int64_t> parseContainerTime(std::string_view text)
{
    // YYYY-MM-DD[T ]hh:mm:ss[.fraction][Z|+hh:mm|-hh:mm]
    if (text.size() < 19 || text[4] != '-' || text[7] != '-' || (text[10] != 'T' && text[10] != ' ') || text[13] != ':'
        || text[16] != ':')
        return std::nullopt;
    const int year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2),
              hour = digits(text, 11, 2), minute = digits(text, 14, 2), second = digits(text, 17, 2);
    if (!validClock(year, month, day, hour, minute, second))
        return std::nullopt;
    size_t at = 19;
    if (at < text.size() && text[at] == '.')
        for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {}
    int64_t offset = 0;
    if (at < text.size() && text[at] == 'Z') {
        ++at;
    } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        const int hours = digits(text, at + 1, 2);
        const bool colon = at + 3 < text.size() && text[at + 3] == ':';
        const int minutes = digits(text, at + (colon ? 4 : 3), 2);
        if (hours < 0 || hours > 14 || minutes < 0 || minutes > 59)
            return std::nullopt;
        offset = (text[at] == '-' ? -1 : 1) * (hours * 3600 + minutes * 60);
        at += colon ? 6 : 5;
    }
    if (at != text.size())
        return std::nullopt;
    const int64_t utc = secondsOf(year, month, day, hour, minute, second) - offset;
    return plausibleTime(utc) ? std::optional<int64_t>(utc) : std::nullopt;
}

std::string containerTimeText(int64_t secondsUtc)
{
    const std::time_t t = std::time_t(secondsUtc);
    std::tm parts{};
    gmtime_r(&t, &parts);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &parts);
    return text;
}

std::optional<int64_t> mdpmRecordingTime(std::string_view seiPayload)
{
    const std::string sei = unescaped(seiPayload);
    size_t at = 0;
    // SEI messages: a type and a size, each coded as a run of 0xff bytes
    // plus a last byte, then the payload; the RBSP trailing bits (0x80) end them.
    while (at < sei.size() && uint8_t(sei[at]) != 0x80) {
        size_t type = 0, size = 0;
        while (at < sei.size() && uint8_t(sei[at]) == 0xff)
            type += 255, ++at;
        if (at >= sei.size())
            return std::nullopt;
        type += uint8_t(sei[at++]);
        while (at < sei.size() && uint8_t(sei[at]) == 0xff)
            size += 255, ++at;
        if (at >= sei.size())
            return std::nullopt;
        size += uint8_t(sei[at++]);
        if (size > sei.size() - at)
            return std::nullopt;
        const std::string_view payload = std::string_view(sei).substr(at, size);
        at += size;
        // user_data_unregistered: a 16-byte UUID, then "MDPM", a count, the entries.
        if (type != 5 || size < 21 || std::memcmp(payload.data(), kMdpmUuid, 16) != 0
            || payload.substr(16, 4) != "MDPM")
            continue;
        if (const auto time = mdpmDate(payload.substr(21), uint8_t(payload[20])))
            return time;
    }
    return std::nullopt;
}

std::optional<int64_t> accessUnitRecordingTime(const uint8_t* data, size_t size, int lengthSize)
{
    const auto seiTime = [](const uint8_t* nal, size_t length) -> std::optional<int64_t> {
        if (length < 2 || (nal[0] & 0x1f) != 6)
            return std::nullopt;
        return mdpmRecordingTime(std::string_view(reinterpret_cast<const char*>(nal) + 1, length - 1));
    };
    if (lengthSize >= 1 && lengthSize <= 4) {
        for (size_t at = 0; at + size_t(lengthSize) <= size;) {
            size_t length = 0;
            for (int i = 0; i < lengthSize; ++i)
                length = length << 8 | data[at + size_t(i)];
            at += size_t(lengthSize);
            if (length > size - at)
                break;
            if (const auto time = seiTime(data + at, length))
                return time;
            at += length;
        }
        return std::nullopt;
    }
    // Annex B: each NAL unit follows a 00 00 01 start code and runs up to
    // the next one (whose leading zero bytes are not the unit's).
    const auto startCode = [&](size_t at) { return data[at] == 0 && data[at + 1] == 0 && data[at + 2] == 1; };
    size_t start = std::string::npos;
    for (size_t at = 0; at <= size; ++at) {
        const bool code = at + 2 < size && startCode(at);
        if (!code && at < size)
            continue;
        if (start != std::string::npos) {
            size_t end = at;
            while (end > start && data[end - 1] == 0)
                --end;
            if (const auto time = seiTime(data + start, end - start))
                return time;
        }
        start = at + 3;
        at += 2;
    }
    return std::nullopt;
}

std::optional<int64_t> readCameraRecordingTime(const std::string& source, int videoIndex)
{
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, ("file:" + source).c_str(), nullptr, nullptr) < 0)
        return std::nullopt;
    struct Closer {
        AVFormatContext** context;
        ~Closer() { avformat_close_input(context); }
    } closer{&context};
    if (videoIndex < 0 || unsigned(videoIndex) >= context->nb_streams)
        return std::nullopt;
    const AVCodecParameters* par = context->streams[videoIndex]->codecpar;
    if (par->codec_id != AV_CODEC_ID_H264)
        return std::nullopt;
    // MP4 and Matroska keep the unit lengths' size in the avcC record.
    int lengthSize = 0;
    if (par->extradata_size >= 7 && par->extradata[0] == 1)
        lengthSize = (par->extradata[4] & 0x03) + 1;
    // Camcorders write the message with every picture group: the first
    // pictures hold it. A stream without it is given up on soon.
    AVPacket* packet = av_packet_alloc();
    std::optional<int64_t> time;
    for (int pictures = 0, packets = 0; !time && pictures < 30 && packets < 2000; ++packets) {
        if (av_read_frame(context, packet) < 0)
            break;
        if (packet->stream_index == videoIndex) {
            ++pictures;
            time = accessUnitRecordingTime(packet->data, size_t(packet->size), lengthSize);
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    return time;
}

std::optional<RecordingDate> recordingDateOf(const std::string& source, const SourceInfo& info)
{
    if (const auto time = parseContainerTime(info.creationTime))
        return RecordingDate{*time, DateOrigin::Container};
    if (info.video && info.videoCodec == "h264")
        if (const auto time
            = info.cameraTimeRead ? info.cameraTime : readCameraRecordingTime(source, info.video->index))
            return RecordingDate{*time, DateOrigin::Camera};
    struct stat st {};
    if (::stat(source.c_str(), &st) != 0)
        return std::nullopt;
    return RecordingDate{int64_t(st.st_mtim.tv_sec), DateOrigin::FileTime};
}

bool keepRecordingDateWanted()
{
    const char* value = std::getenv("VEXLO_KEEP_RECORDING_DATE");
    return !(value && std::strcmp(value, "0") == 0);
}

bool setFileTime(const std::string& path, int64_t secondsUtc)
{
    const timespec times[2] = {{time_t(secondsUtc), 0}, {time_t(secondsUtc), 0}};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

} // namespace vexlo::engine
