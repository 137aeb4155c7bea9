#include "WindowPlacement.h"

#include "MainForm.h"
#include "MainFormControls.h"
#include "settings/IniFile.h"

#include <QAction>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cmath>
#include <memory>

namespace vexlo::app {

namespace {

const char* const kMain = "Main";

// The stored bounds as they were read, and the bounds they were fitted to
// on this screen; while the window keeps the fitted ones, the stored ones are
// written back, so that a fit forced by a larger display scale or a smaller
// screen is not taken for the user's choice.
const char* const kStoredBounds = "vexloStoredBounds";
const char* const kFittedBounds = "vexloFittedBounds";

// The screen that shows most of `r`, else the primary one.
QScreen* screenOf(const QRect& r)
{
    QScreen* best = QGuiApplication::primaryScreen();
    qint64 bestArea = 0;
    for (QScreen* s : QGuiApplication::screens()) {
        const QRect common = s->geometry().intersected(r);
        const qint64 area = qint64(common.width()) * common.height();
        if (area > bestArea) {
            best = s;
            bestArea = area;
        }
    }
    return best;
}

// `r` moved and, when it must, shrunk (not below `minimum`) into `area`.
QRect fitted(QRect r, const QRect& area, const QSize& minimum)
{
    r.setWidth(std::clamp(r.width(), minimum.width(), std::max(minimum.width(), area.width())));
    r.setHeight(std::clamp(r.height(), minimum.height(), std::max(minimum.height(), area.height())));
    r.moveLeft(std::clamp(r.left(), area.left(), std::max(area.left(), area.right() + 1 - r.width())));
    r.moveTop(std::clamp(r.top(), area.top(), std::max(area.top(), area.bottom() + 1 - r.height())));
    return r;
}

// Whether the platform tells a window where it is. Wayland gives a client no
// position (Qt reports the frame's offset or 0, 0) and places a new window
// itself: there the stored position is kept as it is, so that the next start
// under X11 opens where the window last was, and the frame is not fitted to
// a place nobody knows; the size is restored and saved as everywhere.
bool positionKnown() { return !QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }

// Equal but for the rounding of a fractional display scale.
bool nearly(const QRect& a, const QRect& b)
{
    return std::abs(a.left() - b.left()) <= 1 && std::abs(a.top() - b.top()) <= 1
        && std::abs(a.width() - b.width()) <= 1 && std::abs(a.height() - b.height()) <= 1;
}

// What a window manager's frame is taken to add before it has framed the
// window (X11 tells it only then): a title bar of two lines of text and
// borders of a third of one. Too much leaves a gap that the real frame
// closes; too little would put the title bar or the bottom edge off the
// screen until then.
QMargins estimatedFrameMargins(const QWidget& form)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return {};
    const int line = form.fontMetrics().height();
    return QMargins(line / 3, 2 * line, line / 3, line / 3);
}

// The client's bounds whose frame, `margins` around them, is `stored`
// (Left/Top the frame's corner, Width/Height the client's) fitted into `available`.
QRect fittedClient(const QRect& stored, const QMargins& margins, const QRect& available, const QSize& minimum)
{
    const QSize grow(margins.left() + margins.right(), margins.top() + margins.bottom());
    const QRect frame = fitted(QRect(stored.topLeft(), stored.size() + grow), available, minimum + grow);
    return QRect(frame.topLeft(), frame.size() - grow);
}

// Once the window manager has framed the window, the bounds are fitted again
// with the real frame in place of the estimate; a window that nobody frames
// gets the bounds of a frame without margins.
void fitFrameOnceFramed(TMainForm& form, const QRect& stored, const QRect& available)
{
    auto* timer = new QTimer(&form);
    timer->setInterval(50);
    auto ticks = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, &form, [&form, timer, ticks, stored, available] {
        const QRect frame = form.frameGeometry();
        const bool framed = form.isVisible() && frame != form.geometry();
        if (!framed && ++*ticks < 60)
            return; // no manager frames it (yet)
        timer->deleteLater();
        const QRect current(form.pos(), form.size());
        if (form.isMaximized() || !nearly(current, form.property(kFittedBounds).toRect()))
            return; // the user has already moved or resized it
        const QMargins margins = framed
            ? QMargins(form.geometry().left() - frame.left(), form.geometry().top() - frame.top(),
                frame.right() - form.geometry().right(), frame.bottom() - form.geometry().bottom())
            : QMargins();
        const QRect fit = fittedClient(stored, margins, available, form.minimumSize());
        if (nearly(fit, current))
            return;
        form.resize(fit.size());
        form.move(fit.topLeft());
        form.setProperty(kFittedBounds, fit);
    });
    timer->start();
}

} // namespace

void WindowPlacement::load(TMainForm& form)
{
    const settings::IniDocument doc = settings::settingsFile().load();
    QScreen* primary = QGuiApplication::primaryScreen();
    const QRect primaryRect = primary ? primary->geometry() : QRect(0, 0, 1024, 768);
    const int width = doc.readInteger(kMain, "Width", 800);
    const int height = doc.readInteger(kMain, "Height", 480);
    const QRect stored(doc.readInteger(kMain, "Left", (primaryRect.width() - width) / 2),
        doc.readInteger(kMain, "Top", (primaryRect.height() - height) / 2), width, height);
    // The stored bounds come inside the available area of the screen that
    // shows most of them (the primary one when none does): a size stored at
    // a smaller display scale, on a larger screen, or by hand would leave the
    // window partly off the screen, its close box and status bar unreachable.
    QScreen* screen = form.Silent ? primary : screenOf(stored);
    QRect available = screen ? screen->availableGeometry() : primaryRect;
    // At a fractional scale the area's last logical pixel may lie partly
    // outside the screen.
    if (screen && screen->devicePixelRatio() != std::floor(screen->devicePixelRatio()))
        available.adjust(0, 0, -1, -1);
    // The frame comes inside too: until the window manager has framed the
    // window, with an estimate of its frame.
    const bool maximized = doc.readFlag(kMain, "Maximized", false);
    const bool fitFrame = !maximized && !form.Silent && positionKnown();
    const QRect bounds
        = fittedClient(stored, fitFrame ? estimatedFrameMargins(form) : QMargins(), available, form.minimumSize());
    form.setProperty(kStoredBounds, stored);
    form.setProperty(kFittedBounds, bounds);
    const int left = bounds.left(), top = bounds.top();
    form.resize(bounds.size());
    form.move(left, top);
    if (maximized)
        form.setWindowState(form.windowState() | Qt::WindowMaximized);
    else if (fitFrame)
        fitFrameOnceFramed(form, stored, available);
    form.ListView1->setColumnWidth(0, doc.readInteger(kMain, "FileNameWidth", 200));
    form.ListView1->setColumnWidth(
        1, doc.readInteger(kMain, "SizeWidth", MainFormControls::defaultSizeColumnWidth(form.ListView1)));
    form.ListView1->setColumnWidth(2, doc.readInteger(kMain, "PathWidth", 300));
    form.mniShowTextLabel->setChecked(doc.readFlag(kMain, "ShowTextLabel", true));
    form.ApplyToolbarLabels();
}

void WindowPlacement::save(const TMainForm& form)
{
    // A silent start showed no window: there is no placement to keep, and a
    // write that may fail (a read-only install) must not stop it from ending.
    if (form.Silent)
        return;
    const bool maximized = form.isMaximized();
    const bool known = positionKnown();
    QPoint position = form.pos();
    QSize size = form.size();
    const QRect fittedBounds = form.property(kFittedBounds).toRect();
    if (nearly(QRect(known ? position : fittedBounds.topLeft(), size), fittedBounds)) {
        const QRect stored = form.property(kStoredBounds).toRect();
        position = stored.topLeft();
        size = stored.size();
    }
    const QTreeWidget* list = form.ListView1;
    const int widths[3] = {list->columnWidth(0), list->columnWidth(1), list->columnWidth(2)};
    settings::settingsFile().update([&](settings::IniDocument& doc) {
        doc.setValue(kMain, "Maximized", maximized ? "1" : "0");
        if (maximized)
            return; // the stored normal bounds stay as they were
        if (known) {
            doc.setValue(kMain, "Left", std::to_string(position.x()));
            doc.setValue(kMain, "Top", std::to_string(position.y()));
        }
        doc.setValue(kMain, "Width", std::to_string(size.width()));
        doc.setValue(kMain, "Height", std::to_string(size.height()));
        doc.setValue(kMain, "FileNameWidth", std::to_string(widths[0]));
        doc.setValue(kMain, "SizeWidth", std::to_string(widths[1]));
        doc.setValue(kMain, "PathWidth", std::to_string(widths[2]));
    });
}

} // namespace vexlo::app
