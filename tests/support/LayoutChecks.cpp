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
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QTabBar>
#include <QToolButton>
#include <QTreeView>
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

// Texts that a widget shows and must show whole, each with the rect it has
// for them (in the widget's coordinates), the font metrics it is drawn with
// and whether it wraps at the rect's width.
struct ShownText {
    QString text;
    QRect room;
    bool wraps = false;
    // When valid: the text is drawn centred in `room` and needs only to lie
    // inside these bounds.
    QRect bounds = {};
};

QSize textSize(const QFontMetrics& fm, const ShownText& t)
{
    if (t.wraps)
        return fm
            .boundingRect(QRect(0, 0, t.room.width(), 1 << 20), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, t.text)
            .size();
    return fm.size(0, t.text);
}

std::vector<ShownText> labelTexts(const QLabel* label)
{
    if (label->text().isEmpty())
        return {};
    const int m = label->margin();
    QRect room = label->contentsRect().adjusted(m, m, -m, -m);
    int indent = label->indent();
    if (indent < 0 && label->frameWidth() > 0)
        indent = label->fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2;
    if (indent > 0)
        room.setWidth(room.width() - indent);
    // The accelerator mark is drawn as an underline only with a buddy.
    const QString text = label->buddy() ? shownText(label->text()) : label->text();
    return {{text, room, label->wordWrap()}};
}

std::vector<ShownText> pushButtonTexts(const QPushButton* button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    if (button->autoDefault() || button->isDefault())
        option.features |= QStyleOptionButton::AutoDefaultButton;
    const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    return {{shownText(button->text()), room}};
}

std::vector<ShownText> checkTexts(const QAbstractButton* button, QStyle::SubElement contents)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    return {{shownText(button->text()), button->style()->subElementRect(contents, &option, button)}};
}

// A tool button's caption: below its picture or beside it, centred in the
// room the style leaves it inside the button's frame.
std::vector<ShownText> toolButtonTexts(const QToolButton* button)
{
    if (button->toolButtonStyle() == Qt::ToolButtonIconOnly || button->text().isEmpty())
        return {};
    QStyleOptionToolButton option;
    option.initFrom(button);
    const int fw = button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, button);
    const QRect inner = button->rect().adjusted(fw, fw, -fw, -fw);
    QRect room = inner;
    if (button->toolButtonStyle() == Qt::ToolButtonTextUnderIcon && !button->icon().isNull()) {
        room.setTop(inner.top() + button->iconSize().height() + 4 - 1);
        room.setBottom(inner.bottom() - 1);
    }
    // Centred in that room, the text may reach beyond it, not beyond the frame.
    return {{shownText(button->text()), room, false, inner}};
}

std::vector<ShownText> groupTexts(const QGroupBox* group)
{
    if (group->title().isEmpty())
        return {};
    QStyleOptionGroupBox option;
    option.initFrom(group);
    option.text = group->title();
    option.textAlignment = group->alignment();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    if (group->isCheckable())
        option.subControls |= QStyle::SC_GroupBoxCheckBox;
    const QRect room = group->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
    return {{shownText(group->title()), room.intersected(group->rect())}};
}

std::vector<ShownText> comboTexts(const QComboBox* box)
{
    QStyleOptionComboBox option;
    option.initFrom(box);
    option.editable = box->isEditable();
    option.frame = box->hasFrame();
    const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box);
    if (box->isEditable())
        return {{QStringLiteral("Xg"), QRect(field.x(), field.y(), 1 << 20, field.height())}}; // a typed path scrolls
    std::vector<ShownText> texts;
    for (int i = 0; i < box->count(); ++i)
        texts.push_back({box->itemText(i), field.adjusted(1, 0, -1, 0)});
    return texts;
}

std::vector<ShownText> tabTexts(const QTabBar* bar)
{
    std::vector<ShownText> texts;
    for (int i = 0; i < bar->count(); ++i) {
        // The room the style gives the tab's text: the bar shortens a text
        // that does not fit it. A tab off the bar is scrolled away.
        QStyleOptionTab option;
        option.initFrom(bar);
        option.rect = bar->tabRect(i);
        option.text = bar->tabText(i);
        option.shape = bar->shape();
        option.documentMode = bar->documentMode();
        QRect room = bar->style()->subElementRect(QStyle::SE_TabBarTabText, &option, bar);
        if (!bar->rect().contains(option.rect))
            room = QRect();
        texts.push_back({shownText(bar->tabText(i)), room});
    }
    return texts;
}

std::vector<ShownText> menuBarTexts(const QMenuBar* bar)
{
    std::vector<ShownText> texts;
    for (QAction* a : bar->actions()) {
        if (!a->isVisible())
            continue;
        const QRect item = bar->actionGeometry(a);
        texts.push_back({shownText(a->text()), item.intersected(bar->rect())});
    }
    return texts;
}

std::vector<ShownText> headerTexts(const QHeaderView* header)
{
    std::vector<ShownText> texts;
    const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    for (int i = 0; i < header->count(); ++i) {
        if (header->isSectionHidden(i))
            continue;
        const QString text = header->model()->headerData(i, header->orientation()).toString();
        const QRect section(header->sectionViewportPosition(i), 0, header->sectionSize(i), header->height());
        texts.push_back({text, section.adjusted(margin, 0, -margin, 0)});
    }
    return texts;
}

std::vector<ShownText> spinBoxTexts(const QAbstractSpinBox* box)
{
    // The longest text the box can show (its size hint measures it) in the
    // room its editor leaves, without the editor's own margins.
    const QLineEdit* edit = box->findChild<QLineEdit*>();
    if (!edit)
        return {};
    QString longest = box->text();
    if (auto* time = qobject_cast<const QDateTimeEdit*>(box))
        for (const QTime& t : {QTime(0, 0, 0), QTime(12, 0, 0), QTime(23, 59, 59), QTime(10, 58, 58)})
            longest = std::max(
                longest, time->locale().toString(t, time->displayFormat()), [&](const QString& a, const QString& b) {
                    return edit->fontMetrics().horizontalAdvance(a) < edit->fontMetrics().horizontalAdvance(b);
                });
    const QRect room = edit->geometry().adjusted(2, 0, -2, 0);
    return {{longest, room}};
}

std::vector<ShownText> textsOf(const QWidget* w)
{
    if (const auto* label = qobject_cast<const QLabel*>(w))
        return labelTexts(label);
    if (const auto* button = qobject_cast<const QPushButton*>(w))
        return pushButtonTexts(button);
    if (const auto* box = qobject_cast<const QCheckBox*>(w))
        return checkTexts(box, QStyle::SE_CheckBoxContents);
    if (const auto* radio = qobject_cast<const QRadioButton*>(w))
        return checkTexts(radio, QStyle::SE_RadioButtonContents);
    if (const auto* tool = qobject_cast<const QToolButton*>(w))
        return toolButtonTexts(tool);
    if (const auto* group = qobject_cast<const QGroupBox*>(w))
        return groupTexts(group);
    if (const auto* box = qobject_cast<const QComboBox*>(w))
        return comboTexts(box);
    if (const auto* bar = qobject_cast<const QTabBar*>(w))
        return tabTexts(bar);
    if (const auto* bar = qobject_cast<const QMenuBar*>(w))
        return menuBarTexts(bar);
    if (const auto* view = qobject_cast<const QTreeView*>(w))
        return view->isHeaderHidden() ? std::vector<ShownText>{} : headerTexts(view->header());
    if (const auto* spin = qobject_cast<const QAbstractSpinBox*>(w))
        return spinBoxTexts(spin);
    return {};
}

// Containers whose children are laid out by the program; the parts of compound
// controls (a combo box's or a time box's editor, a list's header) are the
// control's own.
bool isContainer(const QWidget* w)
{
    return !qobject_cast<const QComboBox*>(w) && !qobject_cast<const QAbstractSpinBox*>(w)
        && !qobject_cast<const QAbstractButton*>(w) && !qobject_cast<const QLabel*>(w)
        && !qobject_cast<const QTabBar*>(w) && !qobject_cast<const QMenuBar*>(w)
        && !qobject_cast<const QAbstractScrollArea*>(w) && !qobject_cast<const QProgressBar*>(w);
}

void checkTexts(const QWidget* w, std::vector<std::string>& faults)
{
    for (const ShownText& t : textsOf(w)) {
        const QSize need = textSize(w->fontMetrics(), t);
        QRect drawn(QPoint(0, 0), need);
        drawn.moveCenter(t.room.center());
        const bool fits = t.bounds.isValid() ? t.bounds.contains(drawn)
                                             : need.width() <= t.room.width() && need.height() <= t.room.height();
        if (!fits)
            faults.push_back(nameOf(w) + ": \"" + t.text.toStdString() + "\" needs " + std::to_string(need.width())
                + "x" + std::to_string(need.height()) + ", has " + rectText(t.room));
    }
    // Nothing of a group's contents lies over its title.
    if (const auto* group = qobject_cast<const QGroupBox*>(w)) {
        const std::vector<ShownText> title = groupTexts(group);
        for (const QWidget* c : w->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (!title.empty() && c->isVisible() && c->geometry().intersects(title.front().room))
                faults.push_back(nameOf(c) + " lies over the title of " + nameOf(w));
        }
    }
}

bool allowedOverlap(const QWidget* a, const QWidget* b, const std::vector<Overlap>& allowed)
{
    // Frames drawn over a picture let the mouse through and show no text.
    if (a->testAttribute(Qt::WA_TransparentForMouseEvents) || b->testAttribute(Qt::WA_TransparentForMouseEvents))
        return true;
    // A tab widget's pages begin under the lower edge of its tabs.
    if (qobject_cast<const QTabWidget*>(a->parentWidget())
        && ((qobject_cast<const QTabBar*>(a) && qobject_cast<const QStackedWidget*>(b))
            || (qobject_cast<const QTabBar*>(b) && qobject_cast<const QStackedWidget*>(a))))
        return true;
    for (const auto& [first, second] : allowed) {
        if ((a->objectName() == first && b->objectName() == second)
            || (a->objectName() == second && b->objectName() == first))
            return true;
    }
    return false;
}

void check(const QWidget* w, const QWidget* root, const std::vector<Overlap>& allowed, std::vector<std::string>& faults)
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
        checkTexts(c, faults);
        for (size_t j = i + 1; j < shown.size(); ++j) {
            if (c->geometry().intersects(shown[j]->geometry()) && !allowedOverlap(c, shown[j], allowed))
                faults.push_back(nameOf(c) + " (" + rectText(c->geometry()) + ") and " + nameOf(shown[j]) + " ("
                    + rectText(shown[j]->geometry()) + ") overlap");
        }
        if (isContainer(c))
            check(c, root, allowed, faults);
    }
}

} // namespace

std::vector<std::string> cutOffTexts(const QWidget* root, const std::vector<Overlap>& allowed)
{
    std::vector<std::string> faults;
    check(root, root, allowed, faults);
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
