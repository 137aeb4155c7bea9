// How the engine's run ended: its exit status and the AbortFlag it left.
#include "EngineReport.h"
#include "RunPass.h"

#include "base/EngineContract.h"
#include "base/Text.h"

namespace vexlo::conversion {

// Anything but a normal end with status 0 and a fresh report is a failed
// file (the value 2), except the engine's own "the source is incomplete" and
// "the source did not read cleanly". A failure to tell is in `why`; a
// cancelled file has none.
RunPass::EngineEnd RunPass::judgeEngineEnd(const platform::ProcessResult& ended, const std::string& source)
{
    EngineEnd end;
    const auto failed = [&](const QString& format) {
        m_failed = true;
        end.why = text::replacePlaceholder(format.toStdString(), source);
    };
    if (!ended.normalExit) {
        m_failed = true;
        if (!m_terminating)
            failed(tr("The conversion engine stopped unexpectedly (it was killed or "
                      "crashed) while converting\r\n'%s'\r\n\r\nThe source file was kept."));
        return end;
    }
    const FlagReading flag = readFlag(m_registry);
    if (!flag.present) {
        // An engine that could not even start (a library missing) says why
        // on its standard error, in the loader's words.
        const std::string said = lastLine(ended.errorOutput);
        failed(tr("The conversion engine ended without reporting its result for\r\n"
                  "'%s'\r\n\r\nThe file counts as failed; the source file was kept.")
            + (said.empty() ? QString() : "\r\n\r\n" + QString::fromStdString(said)));
    } else if (!flag.value) {
        fail(invalidFlagError(flag.text));
    } else if ((ended.exitCode == contract::kExitIncomplete || ended.exitCode == contract::kExitSourceDamaged)
        && *flag.value >= 0 && *flag.value <= 1) {
        end.value = *flag.value;
        end.incompleteSource = ended.exitCode == contract::kExitIncomplete;
        end.damagedSource = ended.exitCode == contract::kExitSourceDamaged;
        end.why = engineFailure(ended.errorOutput);
    } else if (ended.exitCode != 0) {
        m_failed = true;
        // The engine's own failure report (2) comes with its reason on its
        // standard error, which a desktop user never sees: it is told here.
        // A cancelled file is no failure to tell; any other pairing is told
        // as it is.
        if (*flag.value != 2) {
            failed(tr("The conversion engine failed with exit status %1 while "
                      "converting\r\n'%s'\r\n\r\nThe source file was kept.")
                       .arg(ended.exitCode));
        } else if (const std::string why = engineFailure(ended.errorOutput); !why.empty() && !m_terminating) {
            // The common reasons in plain words, the engine's own under
            // "Details" (in English, and ffmpeg's words).
            const QString details = QString::fromUtf8(why.data(), static_cast<qsizetype>(why.size()));
            const std::string plain = plainReason(why, source);
            failed(plain.empty()
                    ? tr("The file could not be converted:\r\n'%s'\r\n\r\n%1\r\n\r\nThe source file was kept.")
                          .arg(details)
                    : tr("The file could not be converted:\r\n'%s'\r\n\r\n%1 The source file was kept.\r\n\r\n"
                         "Details:\r\n%2")
                          .arg(QString::fromStdString(plain), details));
        }
    } else {
        end.value = *flag.value;
    }
    return end;
}

} // namespace vexlo::conversion
