// What makes a result safe to keep and a source safe to delete: the result
// holds the source's running time and kinds of streams (MediaCheck), it is on
// the disk under a name that no other file of this run or before it had
// (FileTransaction, RunNames), and it holds every track of the source a user
// would miss; only then, and while its path still names the file the engine
// read, does the source go.
#include "RunPass.h"

namespace vexlo::conversion {

bool RunPass::commit(FileWork& work, const std::string& name, std::string& finalName, std::string& why)
{
    if (!work.part.flush(why))
        return false;
    // The file that was there before the run, which the user let go, is
    // replaced; anything else that took the name meanwhile is not.
    FileIdentity there;
    const bool replace = work.targetExisted && identityOf(name, there) && there == work.existing;
    std::string candidate = name;
    for (int attempt = 0; attempt < 100; ++attempt) {
        bool taken = false;
        const bool done = work.part.commit(candidate, replace && candidate == name, taken, why);
        // A result under its final name is this run's, even when a check
        // after the rename failed: no later result may replace it.
        if (!work.part.committedName().empty())
            m_names.addWritten(work.part.committedName());
        if (done) {
            finalName = candidate;
            return true;
        }
        if (!taken)
            return false;
        candidate = m_names.freeName(name, work.ignoresCase);
    }
    return false;
}

// The result holds every track of the source a user would miss; otherwise
// the source stays, and the report says what the result lacks.
bool RunPass::keepsEverything(const FileWork& work, const MediaFacts& result)
{
    const std::vector<TrackCount> missing = missingTracks(work.sourceFacts, result);
    if (missing.empty())
        return true;
    std::string lacks;
    for (const TrackCount& track : missing) {
        const QString format = track.kind == TrackCount::Video ? tr("the result holds %1 of %2 video streams")
            : track.kind == TrackCount::Audio                  ? tr("the result holds %1 of %2 sound tracks")
                                                               : tr("the result holds %1 of %2 subtitle tracks");
        lacks += (lacks.empty() ? "" : "; ") + format.arg(track.held).arg(track.inSource).toStdString();
    }
    report(fill(tr("'%1'\r\n%2; the source file was kept."), {work.source, lacks}), true);
    return false;
}

void RunPass::finishResult(FileWork& work, const EngineEnd& end)
{
    const MediaFacts resultFacts = work.part.stillOurs() ? readMediaFacts(work.part.path()) : MediaFacts{};
    const ResultVerdict verdict = judgeResult(work.sourceFacts, resultFacts);
    // The engine found the source itself incomplete or damaged: what it
    // converted is kept (under a name that says so when it ends early), and
    // the source stays.
    const bool troubledSource = end.incompleteSource || end.damagedSource;
    const bool keepAsIncomplete = troubledSource && resultFacts.readable && resultFacts.durationSeconds > 0
        && verdict != ResultVerdict::MissingStream && verdict != ResultVerdict::Longer
        && (end.incompleteSource || verdict == ResultVerdict::Shorter);
    const bool keepAsIs = verdict == ResultVerdict::Complete || verdict == ResultVerdict::SourceUnknown;
    if (!keepAsIs && !keepAsIncomplete) {
        work.part.discard();
        const QString why = verdict == ResultVerdict::MissingStream ? tr("pictures or sound of the source are missing")
            : verdict == ResultVerdict::Longer                      ? tr("it runs far longer than the source")
            : verdict == ResultVerdict::Shorter                     ? tr("it ends before the source does")
                                                                    : tr("it does not read as a video file");
        report(fill(tr("'%1'\r\nThe converted file was broken (%2) and was removed. The source file was kept."),
                   {work.source, why.toStdString()}),
            true);
        return;
    }
    std::string finalName;
    std::string why;
    if (!commit(work, keepAsIncomplete ? incompleteName(work.target) : work.target, finalName, why)) {
        report(fill(tr("'%1'\r\nThe converted file could not be written to the disk (%2). The source file was kept."),
                   {work.source, why}),
            true);
        return;
    }
    if (end.incompleteSource) {
        report(fill(tr("'%1'\r\nThe source is incomplete: %2 of %3 s were converted, kept as '%4'. The source "
                       "file was kept."),
                   {work.source, seconds(resultFacts.durationSeconds), seconds(work.sourceFacts.durationSeconds),
                       finalName}),
            true);
        return;
    }
    if (end.damagedSource) {
        report(fill(tr("'%1'\r\nThe source could not be read without errors, so the converted file '%2' may lack "
                       "pictures or sound. The source file was kept.%3"),
                   {work.source, finalName, end.why.empty() ? std::string() : "\r\n(" + end.why + ")"}),
            true);
        return;
    }
    if (work.isSourceName)
        report(fill(tr("'%1'\r\nwas saved as '%2': '%3' is one of the files this run converts."),
                   {work.source, finalName, work.renamedFrom}),
            false);
    else if (!work.renamedFrom.empty())
        report(fill(tr("'%1'\r\nwas saved as '%2': this run had already written a file named '%3'."),
                   {work.source, finalName, work.renamedFrom}),
            false);
    else if (finalName != work.target)
        report(fill(tr("'%1'\r\nwas saved as '%2': a file named '%3' appeared during its conversion."),
                   {work.source, finalName, work.target}),
            false);
    if (end.value > 0 || !m_rs.DeleteSourceWhenDone)
        return;
    if (verdict == ResultVerdict::SourceUnknown)
        report(fill(tr("'%1'\r\nThe length of the source file could not be read, so the converted file could "
                       "not be checked against it. The source file was kept."),
                   {work.source}),
            true);
    else if (keepsEverything(work, resultFacts))
        deleteSource(work);
}

void RunPass::deleteSource(FileWork& work)
{
    if (!work.isPinned || !work.pinned.unchanged()) {
        report(fill(tr("'%1'\r\nThe source file was changed or replaced while it was converted, so it was kept."),
                   {work.source}),
            true);
        return;
    }
    std::string why;
    if (!deletePinnedSource(work.pinned, why))
        report(fill(tr("'%1'\r\nThe source file could not be deleted: %2"), {work.source, why}), true);
}

} // namespace vexlo::conversion
