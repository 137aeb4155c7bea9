#pragma once
// One file's conversion: runs ffmpeg, reads its progress, and ends in one of
// four outcomes. Driven by the Qt event loop (QCoreApplication is enough).
#include "ChildProcess.h"
#include "FfmpegArguments.h"
#include "ProgressParser.h"

#include <QElapsedTimer>
#include <QObject>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

namespace vexlo::engine {

enum class Outcome {
    Completed,        // the target is complete
    StoppedAfterFile, // complete, and the user asked to stop after this file
    Cancelled,        // stopped by the user or a signal; the target is incomplete
    Failed            // ffmpeg could not start or did not succeed
};

// The AbortFlag value for an outcome: 0, 1, 2, 2.
int abortFlagValue(Outcome outcome);

class Conversion : public QObject {
    Q_OBJECT
public:
    Conversion(std::string program, std::vector<std::string> arguments, QObject* parent = nullptr);
    // ffmpeg run once for each pass, one after the other; the progress spans
    // them all, each pass by its share.
    Conversion(std::string program, std::vector<FfmpegPass> passes, QObject* parent = nullptr);
    ~Conversion() override;

    // The source's running time, for the progress (0: ffmpeg's log tells it).
    void setSourceSeconds(double seconds)
    {
        m_sourceUs = int64_t(seconds * 1e6);
        m_parser.setDuration(m_sourceUs);
    }
    // The pictures a second written (0: unknown), for the progress of a pass
    // that writes none (ProgressParser::setPictureRate()).
    void setPictureRate(double perSecond) { m_pictureRate = perSecond; }
    // The source as ffmpeg's arguments name it ("file:<path>"), for its log.
    void setSourceUrl(std::string url)
    {
        m_sourceUrl = url;
        m_parser.setSourceUrl(std::move(url));
    }
    // Starts ffmpeg (its first pass). When it cannot start, finished()
    // follows with Failed.
    void start();
    // Stops ffmpeg at once; the outcome becomes Cancelled.
    void cancel();
    // Lets ffmpeg finish; a complete target then ends as StoppedAfterFile.
    void stopAfterThisFile();

    bool isFinished() const { return m_finished; }
    bool stopAfterRequested() const { return m_stopAfter; }
    Outcome outcome() const { return m_outcome; }
    const ProgressState& progress() const { return m_parser.state(); }
    // What ffmpeg's log said about reading the source (ProgressParser), in
    // the last pass (which reads all of it, as the ones before did).
    const ProgressParser& log() const { return m_parser; }
    double elapsedSeconds() const;
    // Why the conversion failed (ffmpeg's last log lines, or the start error).
    const std::string& errorText() const { return m_error; }

signals:
    void progressChanged();
    void finished(vexlo::engine::Outcome outcome);

private:
    void readStdout();
    void readStderr();
    void streamEnded();
    void finish(Outcome outcome);
    bool startPass();

    std::string m_program;
    std::vector<FfmpegPass> m_passes;
    size_t m_pass = 0;
    double m_passStart = 0;
    int64_t m_sourceUs = 0;
    double m_pictureRate = 0;
    std::string m_sourceUrl;
    ChildProcess m_child;
    ProgressParser m_parser;
    std::unique_ptr<QSocketNotifier> m_outNotifier;
    std::unique_ptr<QSocketNotifier> m_errNotifier;
    QElapsedTimer m_clock;
    bool m_started = false;
    bool m_cancelled = false;
    bool m_stopAfter = false;
    bool m_finished = false;
    Outcome m_outcome = Outcome::Failed;
    std::string m_error;
};

} // namespace vexlo::engine
