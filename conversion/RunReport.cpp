// What the user is told about single files, together at the run's end.
#include "RunPass.h"

#include "base/Text.h"
#include "platform/Product.h"

namespace vexlo::conversion {

// "%1" ... "%9" of a translated text replaced by byte strings (file names
// stay as the file system spells them).
std::string fill(const QString& format, std::initializer_list<std::string> values)
{
    std::string out = format.toStdString();
    int n = 1;
    for (const std::string& value : values) {
        const std::string mark = "%" + std::to_string(n++);
        const size_t at = out.find(mark);
        if (at != std::string::npos)
            out.replace(at, mark.size(), value);
    }
    return out;
}

std::string seconds(double s) { return QString::number(s, 'f', 1).toStdString(); }

void RunPass::report(std::string text, bool failure)
{
    m_result.reports.push_back(std::move(text));
    if (failure)
        m_result.filesFailed = true;
}

void RunPass::fail(std::string text)
{
    m_failed = true;
    if (!m_result.error)
        m_result.error = std::move(text);
}

// Nothing more will be converted: the last result is kept, then the lock
// goes (a run that waits may start while a box still waits for its OK), and
// the desktop is told.
void RunPass::nothingMoreToConvert()
{
    settle();
    if (m_ending)
        return;
    m_ending = true;
    m_lock.release();
    m_host.runEnding();
}

// The run cannot go on: the box now.
void RunPass::stopWith(const QString& format, const std::string& value)
{
    nothingMoreToConvert();
    m_host.showMessage(product::kName, text::replacePlaceholder(format.toStdString(), value),
        platform::MessageIcon::Error, platform::MessageButtons::Ok);
}

// A file that could not be converted: told at the run's end, and the run
// goes on with the next file or stops there, as the user chose.
RunPass::Step RunPass::fileFailed(std::string text)
{
    report(std::move(text), true);
    m_failed = true;
    if (m_rs.ContinueOnError)
        return Step::Next;
    m_stoppedByFailureAt = m_row;
    return Step::Stop;
}

// A run that a failed file stopped says which files it left unconverted: a
// user who reads only of the one failed file might take the rest for done.
void RunPass::reportUnconverted(int n)
{
    if (m_stoppedByFailureAt < 0 || m_stoppedByFailureAt + 1 >= n)
        return;
    constexpr int kNamed = 10;
    std::string names;
    const int left = n - m_stoppedByFailureAt - 1;
    for (int i = m_stoppedByFailureAt + 1; i < n && i <= m_stoppedByFailureAt + kNamed; ++i)
        names += "\r\n" + m_host.rowPath(i);
    if (left > kNamed)
        names += "\r\n" + tr("... and %1 more").arg(left - kNamed).toStdString();
    report(fill(tr("The run stopped at '%1'. These %2 files were not converted:%3"),
               {m_host.rowPath(m_stoppedByFailureAt), std::to_string(left), names}),
        true);
}

} // namespace vexlo::conversion
