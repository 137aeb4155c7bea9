#include "ProgressWindow.h"

#include "base/Paths.h"

#include "ProgressParser.h"

#include <QCloseEvent>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace vexlo::engine {

ProgressWindow::ProgressWindow(const std::string& fileName, QWidget* parent) : QWidget(parent)
{
    const size_t slash = fileName.rfind('/');
    const QString name = paths::toQString(slash == std::string::npos ? fileName : fileName.substr(slash + 1));
    setWindowTitle(tr("Converting %1").arg(name));

    lblFileName = new QLabel(name, this);
    lblFileName->setObjectName("lblFileName");
    lblFileName->setTextFormat(Qt::PlainText);
    lblFileName->setToolTip(paths::toQString(fileName));
    lblPercent = new QLabel(QStringLiteral("0%"), this);
    lblPercent->setObjectName("lblPercent");
    lblElapsed = new QLabel(tr("Elapsed: %1").arg(QStringLiteral("00:00:00")), this);
    lblElapsed->setObjectName("lblElapsed");
    lblRemaining = new QLabel(tr("Remaining: %1").arg(QStringLiteral("--:--:--")), this);
    lblRemaining->setObjectName("lblRemaining");
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    // The window's width follows the font; the layout alone sets the window's
    // minimum size, so that longer texts (another language, a larger font)
    // widen it instead of being cut.
    ProgressBar1->setMinimumWidth(fontMetrics().averageCharWidth() * 68); // 420 wide at the standard font
    btnCancel = new QPushButton(tr("Cancel"), this);
    btnCancel->setObjectName("btnCancel");
    btnStopAfter = new QPushButton(tr("Stop after this file"), this);
    btnStopAfter->setObjectName("btnStopAfter");

    auto* times = new QHBoxLayout;
    times->addWidget(lblElapsed);
    times->addStretch();
    times->addWidget(lblRemaining);
    auto* top = new QHBoxLayout;
    top->addWidget(lblFileName, 1);
    top->addWidget(lblPercent);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnStopAfter);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(ProgressBar1);
    layout->addLayout(times);
    layout->addLayout(buttons);
    // The window opens while the user works in another program (the engine
    // is started by a batch run, often minimised): it must not take the
    // keyboard. It is shown without activation (user time 0 for the window
    // manager), and when it does get the focus, the window itself holds it,
    // so that a key typed for another program never presses a button. The
    // buttons take the focus from Tab or a click only.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::StrongFocus);
    btnCancel->setAutoDefault(false);
    btnStopAfter->setAutoDefault(false);
    setFocus(Qt::OtherFocusReason);

    connect(btnCancel, &QPushButton::clicked, this, &ProgressWindow::btnCancelClick);
    connect(btnStopAfter, &QPushButton::clicked, this, &ProgressWindow::btnStopAfterClick);
}

void ProgressWindow::showProgress(const ProgressState& state, double elapsedSeconds)
{
    const auto percent = state.percent();
    if (percent) {
        ProgressBar1->setRange(0, 100);
        ProgressBar1->setValue(*percent);
        lblPercent->setText(QStringLiteral("%1%").arg(*percent));
    } else {
        ProgressBar1->setRange(0, 0); // busy: the length is not known
        lblPercent->setText(QString());
    }
    lblElapsed->setText(tr("Elapsed: %1").arg(QString::fromStdString(formatClock(int64_t(elapsedSeconds)))));
    const auto remaining = state.remainingSeconds(elapsedSeconds);
    lblRemaining->setText(
        tr("Remaining: %1")
            .arg(remaining ? QString::fromStdString(formatClock(*remaining)) : QStringLiteral("--:--:--")));
}

void ProgressWindow::btnCancelClick()
{
    btnCancel->setEnabled(false);
    btnStopAfter->setEnabled(false);
    m_closable = true;
    emit cancelRequested();
}

void ProgressWindow::btnStopAfterClick()
{
    btnStopAfter->setEnabled(false);
    btnStopAfter->setText(tr("Stopping after this file"));
    emit stopAfterRequested();
}

void ProgressWindow::conversionEnded()
{
    m_closable = true;
    btnCancel->setEnabled(false);
    btnStopAfter->setEnabled(false);
}

void ProgressWindow::closeEvent(QCloseEvent* event)
{
    if (!m_closable) {
        event->ignore();
        btnCancelClick();
        return;
    }
    QWidget::closeEvent(event);
}

} // namespace vexlo::engine
