// A stand-in for ffmpeg in the engine's tests. It records its arguments (one a
// line) into $FAKE_FFMPEG_RECORD, prints a source duration of 10 s on standard
// error and a -progress block on standard output every 50 ms. $FAKE_FFMPEG_MODE:
// "ok" (default) ends after 5 blocks with status 0 and writes "done" into the
// target named by the last argument (after "file:"); "fail" ends with status 1; "trailer" as "ok" but reports a failed
// trailer; "empty" as "ok" but leaves the target empty; Asked with -show_entries it answers as ffprobe would for a
// short clip. "slow" keeps going for 60 s. $FAKE_FFMPEG_BLOCKS changes the number of blocks of "ok". $FAKE_FFMPEG_PID
// names a file for its process id.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

int main(int argc, char** argv)
{
    // Asked as ffprobe: a 10-second 320 x 240 clip with stereo sound.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-show_entries") == 0) {
            std::printf("streams.stream.0.index=0\nstreams.stream.0.codec_type=\"video\"\n"
                        "streams.stream.0.width=320\nstreams.stream.0.height=240\n"
                        "streams.stream.0.avg_frame_rate=\"25/1\"\nstreams.stream.1.index=1\n"
                        "streams.stream.1.codec_type=\"audio\"\nstreams.stream.1.channels=2\n"
                        "streams.stream.1.sample_rate=\"48000\"\nformat.duration=\"10.000000\"\n");
            return 0;
        }
    const char* mode = std::getenv("FAKE_FFMPEG_MODE");
    const std::string m = mode ? mode : "ok";
    if (const char* record = std::getenv("FAKE_FFMPEG_RECORD")) {
        std::ofstream out(record, std::ios::binary);
        for (int i = 1; i < argc; ++i)
            out << argv[i] << '\n';
    }
    if (const char* pidFile = std::getenv("FAKE_FFMPEG_PID")) {
        std::ofstream out(pidFile);
        out << getpid();
    }
    std::fprintf(stderr, "Input #0, mpegts, from 'x':\n  Duration: 00:00:10.00, start: 0.0, bitrate: 1 kb/s\n");
    std::fflush(stderr);
    if (m == "fail") {
        std::fprintf(stderr, "x: Invalid data found when processing input\n");
        return 1;
    }
    const char* blockCount = std::getenv("FAKE_FFMPEG_BLOCKS");
    const int blocks = m == "slow" ? 1200 : blockCount ? std::atoi(blockCount) : 5;
    for (int i = 1; i <= blocks; ++i) {
        std::printf("frame=%d\nout_time_us=%d\nout_time=00:00:0%d.000000\nprogress=continue\n", i, i * 1000000, i % 10);
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const std::string last = argc > 1 ? argv[argc - 1] : "";
    if (last.rfind("file:", 0) == 0) {
        std::ofstream target(last.substr(5), std::ios::binary);
        if (m != "empty")
            target << "done";
    }
    if (m == "trailer") // as ffmpeg 5 does for AVI and Matroska on a full disk
        std::fprintf(stderr, "[avi @ 0x1] Error writing trailer of file:x.avi: No space left on device\n");
    std::printf("out_time_us=10000000\nprogress=end\n");
    return 0;
}
