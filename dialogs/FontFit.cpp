#include "FontFit.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QPushButton>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>

namespace vexlo::dialogs {

QSize buttonSizeFor(const QPushButton* button, QSize design)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    if (button->autoDefault() || button->isDefault())
        option.features |= QStyleOptionButton::AutoDefaultButton;
    option.rect = QRect(QPoint(0, 0), design);
    const QRect contents = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    const QSize frame = design - contents.size();
    const QSize text = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
    // Some air beside the text, not the style's own minimum button width.
    const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, &option, button);
    const int width = text.width() + std::max(frame.width(), 2 * margin);
    const int height = std::max(text.height() + frame.height(), button->sizeHint().height());
    return design.expandedTo(QSize(width, height));
}

void fitButton(QPushButton* button, QSize design) { button->setFixedSize(buttonSizeFor(button, design)); }

int fieldHeightFor(const QComboBox* box, int design)
{
    QStyleOptionComboBox option;
    option.initFrom(box);
    option.editable = box->isEditable();
    option.frame = box->hasFrame();
    option.rect = QRect(0, 0, 100, design);
    const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box);
    return design + std::max(0, box->fontMetrics().height() - field.height());
}

int widthForItems(QComboBox* box)
{
    QStyleOptionComboBox option;
    option.initFrom(box);
    option.editable = box->isEditable();
    option.frame = box->hasFrame();
    option.rect = QRect(0, 0, 200, 22);
    const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box);
    int widest = 0;
    for (int i = 0; i < box->count(); ++i)
        widest = std::max(widest, box->fontMetrics().size(Qt::TextSingleLine, box->itemText(i)).width());
    // The item is drawn one pixel inside the edit field on either side; the
    // list's own measure of its longest item counts as well.
    const QComboBox::SizeAdjustPolicy policy = box->sizeAdjustPolicy();
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    const int hint = box->sizeHint().width();
    box->setSizeAdjustPolicy(policy);
    return std::max(hint, widest + 2 + (option.rect.width() - field.width()));
}

int fieldHeightFor(const QAbstractSpinBox* box, int design)
{
    QStyleOptionSpinBox option;
    option.initFrom(box);
    option.frame = box->hasFrame();
    option.buttonSymbols = box->buttonSymbols();
    option.subControls = QStyle::SC_SpinBoxEditField | QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown;
    option.rect = QRect(0, 0, 100, design);
    const QRect field = box->style()->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxEditField, box);
    return design + std::max(0, box->fontMetrics().height() - field.height());
}

void fitText(QWidget* widget, int designHeight)
{
    const QSize hint = widget->sizeHint();
    widget->setMinimumSize(hint.width(), std::max(designHeight, hint.height()));
}

} // namespace vexlo::dialogs
