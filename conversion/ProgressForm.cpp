#include "ProgressForm.h"

#include "platform/Product.h"

#include <QCoreApplication>

namespace vexlo::conversion {

void TProgressForm::SetPosition(int value)
{
    Position = value;
    m_display.setProgressBarPosition(value);
    show(false);
}

void TProgressForm::SetTotal(int count) { Total = count; }

void TProgressForm::SetCurrent(int index)
{
    Current = index;
    show(true);
    m_display.setFilesFinished(index - 1, Total);
}

void TProgressForm::show(bool finished)
{
    const QString counter = finished ? QCoreApplication::translate("TProgressForm", "Converting... (%1/%2 Finished)")
                                     : QCoreApplication::translate("TProgressForm", "Converting... (%1/%2)");
    const std::string shown = counter.arg(Current).arg(Total).toStdString();
    m_display.setStatusPanelText(shown);
    m_display.setCaption(shown + " - " + product::kName);
    const QString title = QCoreApplication::translate("TProgressForm", "Converting... %1");
    m_display.setApplicationTitle(title.arg(QLatin1String(product::kName)).toStdString());
}

} // namespace vexlo::conversion
