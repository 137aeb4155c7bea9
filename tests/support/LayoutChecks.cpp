#include "LayoutChecks.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QMenu>
#include <QStackedWidget>
#include <QTabWidget>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QWidget>

#include <algorithm>
#include <map>

namespace vexlo::test {

namespace {

std::string nameOf(const QWidget* w)
{
    const QString name = w->objectName();
    return (name.isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : name).toStdString();
}

std::string rectText(const QRect& r)
{
    return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x"
        + std::to_string(r.height());
}

// The text as drawn: the accelerator marks go.
QString shownText(QString text)
{
    text.replace(QLatin1String("&&"), QLatin1String("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

// The width the widget needs to show its text whole; 0 when it shows none or
// its width does not depend on it.
int neededWidth(const QWidget* w)
{
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        if (label->wordWrap() || label->text().isEmpty())
            return 0;
        return label->sizeHint().width();
    }
    if (qobject_cast<const QRadioButton*>(w) || qobject_cast<const QCheckBox*>(w))
        return w->sizeHint().width();
    if (const auto* button = qobject_cast<const QPushButton*>(w)) {
        // The style's own minimum width of push buttons is not what the text needs.
        QStyleOptionButton option;
        option.initFrom(button);
        const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, &option, button);
        return button->fontMetrics().horizontalAdvance(shownText(button->text())) + margin;
    }
    if (const auto* box = qobject_cast<const QComboBox*>(w)) {
        if (box->isEditable() || box->count() == 0)
            return 0; // a typed path scrolls; it has no longest item
        auto* probe = const_cast<QComboBox*>(box);
        const QComboBox::SizeAdjustPolicy policy = probe->sizeAdjustPolicy();
        probe->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        const int need = probe->sizeHint().width();
        probe->setSizeAdjustPolicy(policy);
        return need;
    }
    return 0;
}

// Containers whose children are laid out by the program; the parts of compound
// controls (a combo box's or a time box's editor) are the control's own.
bool isContainer(const QWidget* w)
{
    return !qobject_cast<const QComboBox*>(w) && !qobject_cast<const QAbstractSpinBox*>(w)
        && !qobject_cast<const QAbstractButton*>(w) && !qobject_cast<const QLabel*>(w);
}

void check(const QWidget* w, const QWidget* root, std::vector<std::string>& faults)
{
    const QList<QWidget*> children = w->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    std::vector<const QWidget*> shown;
    for (const QWidget* c : children) {
        if (c->isWindow() || !c->isVisibleTo(root))
            continue;
        shown.push_back(c);
    }
    for (size_t i = 0; i < shown.size(); ++i) {
        const QWidget* c = shown[i];
        if (!w->rect().contains(c->geometry()))
            faults.push_back(nameOf(c) + " (" + rectText(c->geometry()) + ") sticks out of " + nameOf(w) + " ("
                + rectText(w->rect()) + ")");
        const int need = neededWidth(c);
        if (need > c->width())
            faults.push_back(
                nameOf(c) + " is " + std::to_string(c->width()) + " wide; its text needs " + std::to_string(need));
        for (size_t j = i + 1; j < shown.size(); ++j) {
            if (c->geometry().intersects(shown[j]->geometry()))
                faults.push_back(nameOf(c) + " and " + nameOf(shown[j]) + " overlap");
        }
        if (isContainer(c))
            check(c, root, faults);
    }
}

} // namespace

std::vector<std::string> cutOffTexts(const QWidget* root)
{
    std::vector<std::string> faults;
    check(root, root, faults);
    return faults;
}

} // namespace vexlo::test

namespace vexlo::test {

QChar acceleratorOf(const QString& caption)
{
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != QLatin1Char('&'))
            continue;
        if (caption[i + 1] != QLatin1Char('&'))
            return caption[i + 1].toLower();
        ++i; // "&&" is an ampersand
    }
    return QChar();
}

namespace {

using Captions = std::vector<std::pair<QChar, QString>>;

std::vector<std::string> clashesIn(const Captions& captions, const QString& where)
{
    std::vector<std::string> found;
    for (size_t i = 0; i < captions.size(); ++i) {
        for (size_t j = i + 1; j < captions.size(); ++j) {
            if (captions[i].first == captions[j].first)
                found.push_back((where
                    + QStringLiteral(": '%1' in \"%2\" and \"%3\"")
                          .arg(captions[i].first, captions[i].second, captions[j].second))
                                    .toStdString());
        }
    }
    return found;
}

// The tab page that holds `w`, or null when it lies outside every tab.
const QWidget* pageOf(const QWidget* w, const QWidget* window)
{
    for (; w && w != window; w = w->parentWidget()) {
        const QWidget* stack = w->parentWidget();
        if (qobject_cast<const QStackedWidget*>(stack) && qobject_cast<const QTabWidget*>(stack->parentWidget()))
            return w;
    }
    return nullptr;
}

QString captionOf(const QWidget* w)
{
    if (auto* button = qobject_cast<const QAbstractButton*>(w))
        return button->text();
    if (auto* group = qobject_cast<const QGroupBox*>(w))
        return group->title();
    if (auto* label = qobject_cast<const QLabel*>(w))
        return label->buddy() ? label->text() : QString();
    return {};
}

} // namespace

std::vector<std::string> acceleratorClashes(const QWidget* window)
{
    Captions common;
    std::map<const QWidget*, Captions> pages;
    for (const QTabWidget* tabs : window->findChildren<const QTabWidget*>()) {
        for (int i = 0; i < tabs->count(); ++i) {
            pages[tabs->widget(i)];
            if (const QChar c = acceleratorOf(tabs->tabText(i)); !c.isNull())
                common.emplace_back(c, tabs->tabText(i));
        }
    }
    for (const QWidget* w : window->findChildren<const QWidget*>()) {
        const QString caption = captionOf(w);
        const QChar c = acceleratorOf(caption);
        if (c.isNull())
            continue;
        const QWidget* page = pageOf(w, window);
        if (!w->isVisibleTo(page ? page : window))
            continue;
        (page ? pages[page] : common).emplace_back(c, caption);
    }
    if (pages.empty())
        return clashesIn(common, window->objectName());
    std::vector<std::string> found;
    for (const auto& [page, captions] : pages) {
        Captions all = common;
        all.insert(all.end(), captions.begin(), captions.end());
        const auto* tabs = qobject_cast<const QTabWidget*>(page->parentWidget()->parentWidget());
        const auto more = clashesIn(all, window->objectName() + QLatin1Char('/') + tabs->tabText(tabs->indexOf(page)));
        found.insert(found.end(), more.begin(), more.end());
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end()); // a clash among the common ones
    return found;
}

std::vector<std::string> acceleratorClashes(const QMenu* menu)
{
    Captions captions;
    for (const QAction* a : menu->actions()) {
        const QString text = a->text().section(QLatin1Char('\t'), 0, 0);
        if (const QChar c = acceleratorOf(text); a->isVisible() && !c.isNull())
            captions.emplace_back(c, text);
    }
    return clashesIn(captions, menu->objectName());
}

} // namespace vexlo::test
