#include "RunProgressWindow.h"

#include "base/Paths.h"
#include "dialogs/Artwork.h"
#include "platform/ProcessLauncher.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QPointer>
#include <QSet>
#include <QWindow>

#include <algorithm>
#include <utility>
#include <vector>

namespace vexlo::app {

namespace {

// The engine's window says the same: its texts and their translations are
// shared (the engine shows its own window only when started by hand).
const char* const kEngineWindow = "vexlo::engine::ProgressWindow";

QString clock(qint64 seconds)
{
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
        return true;
    default:
        return false;
    }
}

} // namespace

// Holds the user's input to the main window back (its controls, its
// actions' shortcuts) until the run's next round of pending events between
// two files, or the run's end, as the waiting loops did before this window
// needed its own clicks at once; everything else passes: this window, and a
// box the run shows between two files.
class RunProgressWindow::InputGate : public QObject {
public:
    explicit InputGate(QWidget* mainWindow) : m_main(mainWindow)
    {
        qApp->installEventFilter(this);
        platform::setInputFilteredDuringWaits(true);
    }
    ~InputGate() override
    {
        platform::setInputFilteredDuringWaits(false);
        qApp->removeEventFilter(this);
        release(); // delivered once the run has ended
    }
    // Posts what was held back, in its order.
    void release()
    {
        for (auto& [receiver, event] : m_held) {
            if (receiver) {
                m_released.insert(event.get());
                QCoreApplication::postEvent(receiver, event.release());
            }
        }
        m_held.clear();
    }

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        if (m_released.remove(event))
            return false;
        if (!m_main || !isUserInput(event->type()) || !heldBack(receiver))
            return false;
        // A pointer's moves have no lasting effect: they are not kept.
        if (event->type() != QEvent::MouseMove)
            m_held.emplace_back(receiver, std::unique_ptr<QEvent>(event->clone()));
        return true;
    }

private:
    bool heldBack(QObject* receiver) const
    {
        if (auto* window = qobject_cast<QWindow*>(receiver))
            return window == m_main->windowHandle();
        for (QObject* o = receiver; o; o = o->parent()) {
            if (auto* widget = qobject_cast<QWidget*>(o))
                return widget->window() == m_main;
        }
        return false;
    }
    QPointer<QWidget> m_main;
    std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> m_held;
    QSet<QEvent*> m_released;
};

RunProgressWindow::RunProgressWindow(QWidget* mainWindow) : QWidget(nullptr, Qt::Window)
{
    setObjectName("RunProgressWindow");
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowIcon(dialogs::programIcon());
    // Until the first file starts: the title without a name, and without
    // the space left where the name goes.
    setWindowTitle(QCoreApplication::translate(kEngineWindow, "Converting %1").arg(QString()).trimmed());

    lblFileCount = new QLabel(this);
    lblFileCount->setObjectName("lblFileCount");
    lblFileName = new QLabel(this);
    lblFileName->setObjectName("lblFileName");
    lblFileName->setTextFormat(Qt::PlainText);
    // A long name loses its middle instead of widening the window.
    lblFileName->setMinimumWidth(1);
    lblFileName->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lblPercent = new QLabel(this);
    lblPercent->setObjectName("lblPercent");
    lblPercent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblPercent->setMinimumWidth(lblPercent->fontMetrics().horizontalAdvance(QStringLiteral("100%")) + 2);
    lblElapsed = new QLabel(QCoreApplication::translate(kEngineWindow, "Elapsed: %1").arg(clock(0)), this);
    lblElapsed->setObjectName("lblElapsed");
    lblRemaining
        = new QLabel(QCoreApplication::translate(kEngineWindow, "Remaining: %1").arg(QStringLiteral("--:--:--")), this);
    lblRemaining->setObjectName("lblRemaining");
    lblRemaining->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setMinimumWidth(fontMetrics().averageCharWidth() * 68);
    btnCancel = new QPushButton(QCoreApplication::translate(kEngineWindow, "Cancel"), this);
    btnCancel->setObjectName("btnCancel");
    btnStopAfter = new QPushButton(QCoreApplication::translate(kEngineWindow, "Stop after this file"), this);
    btnStopAfter->setObjectName("btnStopAfter");
    // The button keeps its width when its text turns into "Stopping after
    // this file".
    btnStopAfter->setText(QCoreApplication::translate(kEngineWindow, "Stopping after this file"));
    const int stoppingWidth = btnStopAfter->sizeHint().width();
    btnStopAfter->setText(QCoreApplication::translate(kEngineWindow, "Stop after this file"));
    btnStopAfter->setMinimumWidth(std::max(stoppingWidth, btnStopAfter->sizeHint().width()));

    auto* top = new QHBoxLayout;
    top->addWidget(lblFileCount, 1);
    top->addWidget(lblPercent);
    auto* times = new QHBoxLayout;
    times->addWidget(lblElapsed);
    times->addStretch();
    times->addWidget(lblRemaining);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnStopAfter);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(lblFileName);
    layout->addWidget(ProgressBar1);
    layout->addLayout(times);
    layout->addLayout(buttons);

    // The window opens once, when the run starts; on X11 it does not take the
    // keyboard from the program in use. Where a compositor gives it the focus
    // all the same, the window itself holds it: a key typed for another
    // program never presses a button (they take the focus from Tab or a
    // click only).
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::StrongFocus);
    btnCancel->setAutoDefault(false);
    btnStopAfter->setAutoDefault(false);
    setFocus(Qt::OtherFocusReason);

    connect(btnCancel, &QPushButton::clicked, this, &RunProgressWindow::btnCancelClick);
    connect(btnStopAfter, &QPushButton::clicked, this, &RunProgressWindow::btnStopAfterClick);
    m_gate = std::make_unique<InputGate>(mainWindow);
}

RunProgressWindow::~RunProgressWindow() = default;

void RunProgressWindow::releaseHeldInput()
{
    if (m_gate)
        m_gate->release();
}

void RunProgressWindow::fileStarting(int number, int total, const std::string& path)
{
    const size_t slash = path.rfind('/');
    m_fileName = paths::toQString(slash == std::string::npos ? path : path.substr(slash + 1));
    setWindowTitle(QCoreApplication::translate(kEngineWindow, "Converting %1").arg(m_fileName));
    lblFileCount->setText(tr("File %1 of %2").arg(number).arg(total));
    lblFileName->setToolTip(paths::toQString(path));
    showFileName();
    m_fileClock.start();
    m_shownSecond = -1;
    m_shownPercent.reset();
    ProgressBar1->setValue(0);
    lblPercent->setText(QStringLiteral("0%"));
    engineTick(std::nullopt);
}

void RunProgressWindow::engineTick(std::optional<int> percent)
{
    const qint64 elapsed = m_fileClock.isValid() ? m_fileClock.elapsed() / 1000 : 0;
    if (elapsed == m_shownSecond && percent == m_shownPercent)
        return;
    m_shownSecond = elapsed;
    m_shownPercent = percent;
    if (percent) {
        ProgressBar1->setValue(*percent);
        lblPercent->setText(QStringLiteral("%1%").arg(*percent));
    }
    lblElapsed->setText(QCoreApplication::translate(kEngineWindow, "Elapsed: %1").arg(clock(elapsed)));
    QString remaining = QStringLiteral("--:--:--");
    if (percent && *percent >= 1 && elapsed > 0) {
        const double fraction = *percent / 100.0;
        remaining = clock(static_cast<qint64>(elapsed / fraction - elapsed + 0.5));
    }
    lblRemaining->setText(QCoreApplication::translate(kEngineWindow, "Remaining: %1").arg(remaining));
}

void RunProgressWindow::runEnded()
{
    m_ended = true;
    btnCancel->setEnabled(false);
    btnStopAfter->setEnabled(false);
    m_gate.reset();
}

void RunProgressWindow::btnCancelClick()
{
    m_cancel = true;
    btnCancel->setEnabled(false);
    btnStopAfter->setEnabled(false);
}

void RunProgressWindow::btnStopAfterClick()
{
    m_stopAfter = true;
    btnStopAfter->setEnabled(false);
    btnStopAfter->setText(QCoreApplication::translate(kEngineWindow, "Stopping after this file"));
}

void RunProgressWindow::closeEvent(QCloseEvent* event)
{
    if (!m_ended) {
        event->ignore();
        if (!m_cancel)
            btnCancelClick();
        return;
    }
    QWidget::closeEvent(event);
}

void RunProgressWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    showFileName();
}

void RunProgressWindow::showFileName()
{
    lblFileName->setText(lblFileName->fontMetrics().elidedText(m_fileName, Qt::ElideMiddle, lblFileName->width()));
}

} // namespace vexlo::app
