#include "FavouriteFormatsForm.h"

#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>

#include <algorithm>

namespace vexlo::settings {

TFavouriteFormatsForm::TFavouriteFormatsForm(
    QWidget* owner, const std::vector<std::string>& titles, const std::vector<int>& checked)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("FavouriteFormatsForm"));
    setWindowTitle(tr("Favourite formats"));
    lblExplanation = new QLabel(tr("Menus without submenus (Nemo's) offer \"Convert with Vexlo...\" and the formats "
                                   "checked here. The other file managers list every format in their submenu."),
        this);
    lblExplanation->setObjectName(QStringLiteral("lblExplanation"));
    lblExplanation->setWordWrap(true);
    lstFormats = new QListWidget(this);
    lstFormats->setObjectName(QStringLiteral("lstFormats"));
    lstFormats->setAccessibleName(tr("Favourite formats"));
    for (size_t n = 0; n < titles.size(); ++n) {
        auto* row = new QListWidgetItem(QString::fromStdString(titles[n]), lstFormats);
        row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        const bool on = std::find(checked.begin(), checked.end(), int(n)) != checked.end();
        row->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    lstFormats->setCurrentRow(0);
    lblExplanation->setBuddy(lstFormats);
    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* column = new QVBoxLayout(this);
    column->addWidget(lblExplanation);
    column->addWidget(lstFormats, 1);
    column->addWidget(buttons);
    // Wide enough for the catalogue's titles, ten rows high.
    const int rows = std::min(10, std::max(4, lstFormats->count()));
    lstFormats->setMinimumSize(std::min(560, lstFormats->sizeHintForColumn(0) + 40),
        rows * std::max(1, lstFormats->sizeHintForRow(0)) + 2 * lstFormats->frameWidth());
    lstFormats->setFocus();
}

std::vector<int> TFavouriteFormatsForm::checkedFormats() const
{
    std::vector<int> numbers;
    for (int n = 0; n < lstFormats->count(); ++n) {
        if (lstFormats->item(n)->checkState() == Qt::Checked)
            numbers.push_back(n);
    }
    return numbers;
}

} // namespace vexlo::settings
