#include "ProgressForm.h"

#include "platform/Product.h"

namespace vexlo::conversion {

void TProgressForm::SetPosition(int value)
{
    Position = value;
    m_display.setProgressBarPosition(value);
    show(")");
}

void TProgressForm::SetTotal(int count)
{
    Total = count;
}

void TProgressForm::SetCurrent(int index)
{
    Current = index;
    show(" Finished)");
    m_display.setFilesFinished(index - 1, Total);
}

void TProgressForm::show(const char* ending)
{
    const std::string text =
        "Converting... (" + std::to_string(Current) + "/" + std::to_string(Total) + ending;
    m_display.setStatusPanelText(text);
    m_display.setCaption(text + " - " + product::kName);
    m_display.setApplicationTitle(std::string("Converting... ") + product::kName);
}

} // namespace vexlo::conversion
