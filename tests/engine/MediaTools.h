#pragma once
// Running ffmpeg, ffprobe and trevok from the media suites, and reading what
// ffprobe says about a converted file. Safe to use from several threads.
#include "engine/EngineArgument.h"

#include <QFile>
#include <QProcess>
#include <QStringList>

#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace vexlo::engine::test {

struct ToolRun {
    int exitCode = -1; // -1: crashed or timed out
    std::string out, err;
};

inline ToolRun runTool(const QString& program, const QStringList& args,
    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(), int timeoutMs = 180000)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    ToolRun r;
    if (!p.waitForStarted(30000))
        return r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
    } else if (p.exitStatus() == QProcess::NormalExit) {
        r.exitCode = p.exitCode();
    }
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

// ffmpeg with the arguments given, quietly; true when it succeeded.
inline bool makeMedia(const QStringList& args, std::string* error = nullptr)
{
    const ToolRun r = runTool("ffmpeg", QStringList{"-nostdin", "-hide_banner", "-v", "error", "-y"} + args);
    if (error)
        *error = r.err;
    return r.exitCode == 0;
}

// A stream copy of `source` that players show turned by a quarter turn
// clockwise (90) or anticlockwise (270), as phones store clips held upright.
// ffmpeg 5 writes the turn from the stream's "rotate" tag; ffmpeg 6 on
// ignores that tag and takes the turn as -display_rotation (anticlockwise),
// an option ffmpeg 5 does not know.
inline bool makeTurnedCopy(const QString& source, int clockwise, const QString& target, std::string* error = nullptr)
{
    return makeMedia({"-display_rotation:v:0", QString::number(-clockwise), "-i", source, "-c", "copy", target}, error)
        || makeMedia(
            {"-i", source, "-c", "copy", "-metadata:s:v:0", QString("rotate=%1").arg(clockwise), target}, error);
}

// Frames tagged with their colours ("unknown": untagged), for the end of a
// source's filter chain: ffmpeg 7 takes an encoder's tags from the frames
// (its -colorspace, -color_primaries and -color_trc alone leave the primaries
// and transfer unknown, and the scaler converts the frames to the matrix
// named), and its lavfi sources tag their frames BT.601 whatever they draw.
inline QString colourTags(
    const QString& matrix, const QString& primaries, const QString& transfer, const QString& range = "tv")
{
    return QString("setparams=range=%1:colorspace=%2:color_primaries=%3:color_trc=%4")
        .arg(range, matrix, primaries, transfer);
}

inline double fractionValue(const std::string& text)
{
    const auto sep = text.find_first_of("/:");
    if (sep == std::string::npos)
        return std::atof(text.c_str());
    const double den = std::atof(text.substr(sep + 1).c_str());
    return den == 0 ? 0 : std::atof(text.substr(0, sep).c_str()) / den;
}

// The picture rate that the first sequence header of an MPEG-1 or MPEG-2
// video stream declares (its frame_rate_code), as players read it:
// "30000/1001"; "" when the file holds none.
inline std::string mpegSequenceRate(const std::string& file)
{
    QFile f(QString::fromStdString(file));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = f.read(1 << 20);
    const qsizetype at = head.indexOf(QByteArray("\x00\x00\x01\xb3", 4));
    if (at < 0 || at + 7 >= head.size())
        return {};
    static const char* const rates[]
        = {"", "24000/1001", "24/1", "25/1", "30000/1001", "30/1", "50/1", "60000/1001", "60/1"};
    const int code = head[at + 7] & 0x0f;
    return code <= 8 ? rates[code] : "";
}

// The frame rate of `file`'s video `stream` as ffprobe reports it
// ("30000/1001"), for MPEG-1 and MPEG-2 the one their sequence header
// declares: ffprobe from ffmpeg 7 on reports twice that as the r_frame_rate
// of an MPEG-1 stream, and of an MPEG-2 stream of one picture.
inline std::string frameRateOf(const std::map<std::string, std::string>& stream, const std::string& file)
{
    const std::string& codec = stream.at("codec_name");
    return codec == "mpeg1video" || codec == "mpeg2video" ? mpegSequenceRate(file) : stream.at("r_frame_rate");
}

// One converted file as ffprobe sees it, with the time its streams cover.
struct MediaProbe {
    std::map<std::string, std::string> format;
    std::vector<std::map<std::string, std::string>> videos, audios;
    double videoSeconds = 0, audioSeconds = 0;
    const std::map<std::string, std::string>* video() const { return videos.empty() ? nullptr : &videos[0]; }
    const std::map<std::string, std::string>* audio() const { return audios.empty() ? nullptr : &audios[0]; }
};

inline MediaProbe probeMedia(const std::string& file)
{
    const ToolRun r = runTool("ffprobe",
        {"-v", "error", "-show_entries",
            "format=format_name:format_tags=major_brand:stream=index,codec_type,codec_name,"
            "codec_tag_string,width,height,sample_aspect_ratio,r_frame_rate,avg_frame_rate,channels,"
            "sample_rate,pix_fmt,color_range,color_space,color_primaries,color_transfer,field_order:"
            "packet=stream_index,pts_time,duration_time",
            "-of", "flat", QString::fromStdString("file:" + file)});
    MediaProbe m;
    std::map<int, std::map<std::string, std::string>> streams;
    struct Span {
        double first = 1e18, last = -1e18;
    };
    std::map<int, Span> spans;
    std::map<int, std::map<std::string, std::string>> packets;
    for (const QString& line : QString::fromStdString(r.out).split('\n')) {
        const QString key = line.section('=', 0, 0);
        QString value = line.section('=', 1);
        if (value.startsWith('"'))
            value = value.mid(1, value.size() - 2);
        const QStringList parts = key.split('.');
        if (parts.size() >= 4 && parts[0] == "streams")
            streams[parts[2].toInt()][parts.mid(3).join('.').replace("tags.", "").toStdString()] = value.toStdString();
        else if (parts.size() >= 2 && parts[0] == "format")
            m.format[parts.mid(1).join('.').replace("tags.", "").toStdString()] = value.toStdString();
        else if (parts.size() == 4 && parts[0] == "packets")
            packets[parts[2].toInt()][parts[3].toStdString()] = value.toStdString();
    }
    for (auto& [n, p] : packets) {
        if (p["pts_time"] == "N/A" || p["pts_time"].empty())
            continue;
        const double pts = std::atof(p["pts_time"].c_str());
        const double duration = p["duration_time"] == "N/A" ? 0 : std::atof(p["duration_time"].c_str());
        Span& s = spans[std::atoi(p["stream_index"].c_str())];
        s.first = std::min(s.first, pts);
        s.last = std::max(s.last, pts + duration);
    }
    for (auto& [n, s] : streams) {
        const double covered = spans.count(n) ? spans[n].last - spans[n].first : 0;
        if (s["codec_type"] == "video") {
            if (m.videos.empty())
                m.videoSeconds = covered;
            m.videos.push_back(s);
        } else if (s["codec_type"] == "audio") {
            if (m.audios.empty())
                m.audioSeconds = covered;
            m.audios.push_back(s);
        }
    }
    return m;
}

// Decodes the whole file. `errors` gets what ffmpeg reports at level error
// (nothing for a clean file); the picture's area without black bars is
// measured on the way (cropdetect on every frame, the union of all).
struct Decoded {
    bool ran = false;
    std::string errors;
    int contentWidth = 0, contentHeight = 0;
};

inline Decoded decodeMedia(const std::string& file, const std::string& workFile)
{
    Decoded d;
    const bool hasVideo = !probeMedia(file).videos.empty();
    QStringList args = {"-nostdin", "-v", "error", "-i", QString::fromStdString("file:" + file)};
    if (hasVideo)
        args += {"-vf",
            QString::fromStdString(
                "cropdetect=limit=0.08:round=2:skip=0:reset=0,metadata=mode=print:file=" + workFile)};
    args += {"-f", "null", "-"};
    const ToolRun r = runTool("ffmpeg", args);
    d.ran = r.exitCode == 0;
    d.errors = r.err;
    QFile crop(QString::fromStdString(workFile));
    if (hasVideo && crop.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : crop.readAll().split('\n')) {
            if (line.startsWith("lavfi.cropdetect.w="))
                d.contentWidth = line.mid(19).toInt();
            if (line.startsWith("lavfi.cropdetect.h="))
                d.contentHeight = line.mid(19).toInt();
        }
    }
    return d;
}

} // namespace vexlo::engine::test
