#include "RunController.h"
#include "base/Text.h"
#include "base/Paths.h"

#include "MainForm.h"
#include "RunProgressWindow.h"
#include "platform/AppTitle.h"
#include "platform/Product.h"
#include "platform/Services.h"
#include "dialogs/ConvertOptionsForm.h"
#include "settings/IniFile.h"
#include "shellutil/ConvertPublic.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QProgressBar>
#include <cstdio>
#include <stdexcept>

namespace vexlo::app {

using conversion::RunMode;
using platform::MessageAnswer;
using platform::MessageButtons;
using platform::MessageIcon;

namespace {
const char* const kOptions = "Options";
} // namespace

RunController::RunController(TMainForm& form) : m_form(form), m_desktopRun(&form) {}

RunController::~RunController() = default;

void RunController::collectExistingFiles(std::vector<std::string>& list)
{
    list.clear();
    const int n = rowCount();
    for (int i = 0; i < n; ++i) {
        const std::string path = rowPath(i);
        if (!paths::existsNotFolder(path)) {
            list.clear();
            const std::string message = text::replacePlaceholder(
                QCoreApplication::translate("TMainForm", "File is not found!\r\n%s").toStdString(), path);
            const std::string title = QFile::encodeName(m_form.windowTitle()).toStdString();
            m_form.tellUser(title, message, MessageIcon::Error, MessageButtons::Ok);
            return;
        }
        list.push_back(path);
    }
}

void RunController::request()
{
    // One run at a time, whichever road asks. A window closed during a run is
    // no longer busy, but its loop still runs until the engine has ended.
    if (m_form.Busy || m_inRun || m_closing)
        return;
    collectExistingFiles(m_form.ExistingFiles);
    if (m_form.ExistingFiles.empty())
        return;
    const settings::IniDocument doc = settings::settingsFile().load();
    const bool doNotShowConfirm = doc.readFlag(kOptions, "DoNotShowConfirm", false);
    bool anyAudioFlag = false;
    for (const char* key : {"ConvertToMP3", "ConvertToVOX", "ConvertToOGG", "ConvertToWAV", "ConvertToWMA"}) {
        if (doc.readFlag(kOptions, key, false)) {
            anyAudioFlag = true;
            break;
        }
    }
    switch (m_form.RunMode) {
    case RunMode::rmCommandLineAuto:
    case RunMode::rmScheduled:
        prepare();
        break;
    case RunMode::rmCommandLinePrompt:
        if (settings::ShowOutputFormatDialog(&m_form))
            prepare();
        else
            m_form.RunMode = RunMode::rmInteractive;
        break;
    case RunMode::rmInteractive:
        if ((doNotShowConfirm && anyAudioFlag) || settings::ShowOutputFormatDialog(&m_form))
            prepare();
        break;
    }
}

void RunController::prepare()
{
    m_form.LoadRunSettings();
    if (m_form.RunMode == RunMode::rmCommandLineAuto) {
        if (!m_form.CmdDestPath.empty()) {
            m_form.RunSettings.ConvertToSamePath = false;
            m_form.RunSettings.DestPath = m_form.CmdDestPath;
        } else {
            m_form.RunSettings.ConvertToSamePath = true;
        }
        m_form.LoadProfileSettings(m_form.CmdFormatIndex);
    }
    setIdleState(false);
    m_form.Progress->SetPosition(0);
    processPendingEvents();
    // The window may have closed in that round (a logout's SIGTERM taken
    // there): it has wound up already, and no loop may start after it.
    if (m_closing)
        return;
    convertFiles();
}

void RunController::convertFiles()
{
    m_inRun = true;
    m_desktopRun.loopStarted();
    // The run shows its progress in its own window: the engine shows none
    // (engine/README.md, "Progress").
    qputenv("TREVOK_NO_WINDOW", "1");
    const platform::Services& os = platform::services();
    conversion::ConversionJob job(*this, {*os.registry, *os.processes}, m_form.RunSettings, m_form.Silent ? 'S' : 'N');
    const conversion::JobResult result = job.run();
    qunsetenv("TREVOK_NO_WINDOW");
    closeProgressWindow();
    m_inRun = false;
    m_desktopRun.loopEnded(result.converted);
    if (m_closing) {
        // The window was closed during the run and has already wound it up.
        m_commandLineResult = 1;
        m_silentRunResult = 1;
        QMetaObject::invokeMethod(&m_form, &TMainForm::finished, Qt::QueuedConnection);
        return;
    }
    if (result.completed)
        completed();
    else
        aborted();
    if (result.filesFailed) {
        m_commandLineResult = 1;
        m_silentRunResult = 1;
    }
    if (result.error)
        throw std::runtime_error(*result.error);
}

bool RunController::windowClosing()
{
    m_desktopRun.windowClosing();
    m_closing = true; // also before a loop starts: none starts after this
    closeProgressWindow();
    return m_inRun;
}

void RunController::setIdleState(bool idle)
{
    TMainForm& f = m_form;
    for (QAction* a : {f.btnAddFile, f.btnOptions, f.btnHelp, f.pmnAddFile, f.pmnOptions, f.mniConvert, f.pmnConvert})
        a->setEnabled(idle);
    f.btnConvert->setVisible(idle);
    f.btnStop->setVisible(!idle);
    f.mniStop->setEnabled(!idle);
    f.pmnStop->setEnabled(!idle);
    f.Busy = !idle;
    f.updateRemoveCommands(); // busy: disabled; idle: they follow the selection
    f.updatePasteCommand();
    f.armScheduleTimer(idle);
    f.Progress->SetPosition(0);
    if (!idle)
        f.StatusBar1->setSimplePanel(false); // the run's texts show in the panels
    f.StatusProgressBar->setVisible(!idle);
    if (idle)
        f.refreshStatusHint();
    m_desktopRun.setBusy(!idle, f.Silent);
    if (!idle && !f.Silent && !m_progressWindow) {
        m_mainActiveAtStart = f.isActiveWindow();
        m_progressWindow = std::make_unique<RunProgressWindow>(&m_form);
        m_progressWindow->show();
        // The keyboard stays where it was: a platform that gives a new
        // window the focus all the same is asked to give it back.
        if (m_mainActiveAtStart)
            m_form.activateWindow();
    } else if (idle) {
        closeProgressWindow();
    }
}

void RunController::closeProgressWindow()
{
    if (!m_progressWindow)
        return;
    // The user is still in the program when a button of this window was
    // pressed, or when it holds the focus that the main window had at the
    // run's start (where a desktop gives a new window the focus): the focus
    // then goes back to the main window, and the run's end is not announced.
    const bool focusTaken = m_progressWindow->isActiveWindow() && m_mainActiveAtStart;
    const bool userActed = m_progressWindow->cancelRequested() || m_progressWindow->stopAfterRequested();
    m_progressWindow->runEnded();
    m_progressWindow->close();
    m_progressWindow.reset();
    m_desktopRun.progressWindowClosed(userActed || focusTaken);
    if (focusTaken && !m_closing)
        m_form.activateWindow();
}

void RunController::fileStarting(int finished, int total)
{
    m_desktopRun.filesFinished(finished, total);
    if (m_progressWindow && finished < rowCount())
        m_progressWindow->fileStarting(finished + 1, total, rowPath(finished));
}

bool RunController::stopRequested() const
{
    return m_closing || (m_progressWindow && m_progressWindow->cancelRequested());
}

bool RunController::stopAfterThisFile() const { return m_progressWindow && m_progressWindow->stopAfterRequested(); }

void RunController::runEnding()
{
    m_desktopRun.runEnding();
    closeProgressWindow();
}

void RunController::engineWaitTick()
{
    m_desktopRun.engineTick();
    if (m_progressWindow)
        m_progressWindow->engineTick(m_desktopRun.filePercent());
}

RunMode RunController::showRunEnd(bool completed)
{
    TMainForm& f = m_form;
    const RunMode mode = f.RunMode;
    setIdleState(true);
    const QString text = completed ? QCoreApplication::translate("TMainForm", "Conversion completed!")
                                   : QCoreApplication::translate("TMainForm", "Conversion aborted!");
    m_desktopRun.runEnded(text, f.RunSettings.ConvertToSamePath ? std::string() : f.RunSettings.DestPath, f.Silent);
    f.StatusBar1->setPanelText(0, text);
    f.setHint(text);
    f.armScheduleTimer(f.ScheduleSettings.ScheduleConvert);
    f.setWindowTitle(product::kName);
    platform::setApplicationTitle(product::kName);
    return mode;
}

void RunController::completed()
{
    TMainForm& f = m_form;
    const RunMode mode = showRunEnd(true);
    if (f.Silent && m_silentRunResult < 0)
        m_silentRunResult = 0;
    if (mode == RunMode::rmCommandLineAuto) {
        m_commandLineResult = 0;
        QMetaObject::invokeMethod(&f, &QWidget::close, Qt::QueuedConnection);
    }
    if (mode == RunMode::rmScheduled) {
        if (f.ScheduleSettings.ExitWhenDone)
            QMetaObject::invokeMethod(&f, &QWidget::close, Qt::QueuedConnection);
        if (f.ScheduleSettings.ShunDownWhenDone) {
            QMetaObject::invokeMethod(&f, &QWidget::close, Qt::QueuedConnection);
            platform::services().power->powerOff();
        }
    }
    f.RunMode = RunMode::rmInteractive;
}

void RunController::aborted()
{
    TMainForm& f = m_form;
    const RunMode mode = showRunEnd(false);
    f.RunMode = RunMode::rmInteractive;
    if (f.Silent)
        m_silentRunResult = 1;
    if (mode == RunMode::rmCommandLineAuto)
        m_commandLineResult = 1;
}

int RunController::rowCount() const { return m_form.files().count(); }
std::string RunController::rowPath(int index) const { return m_form.files().at(index); }

void RunController::processPendingEvents()
{
    if (m_progressWindow)
        m_progressWindow->releaseHeldInput();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

MessageAnswer RunController::showMessage(
    const std::string& title, const std::string& text, MessageIcon icon, MessageButtons buttons)
{
    return m_form.tellUser(title, text, icon, buttons);
}

conversion::TProgressForm& RunController::progress() { return *m_form.Progress; }

void RunController::waitingForOtherRun(bool waiting)
{
    const QString text = QCoreApplication::translate("TMainForm", "Waiting for another conversion run to end...");
    if (!waiting)
        return;
    m_form.StatusBar1->setPanelText(0, text);
    if (m_form.Silent) {
        std::fprintf(stderr, "vexlo: %s\n", text.toLocal8Bit().constData());
        std::fflush(stderr);
    }
}

} // namespace vexlo::app
