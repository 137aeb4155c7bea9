#include "BaseForm.h"
#include "base/Paths.h"

#include "dialogs/AboutForm.h"
#include "platform/UserFolders.h"
#include "settings/IniFile.h"
#include "shellutil/ConvertPublic.h"
#include "shellutil/FileTypeIcon.h"

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QStatusTipEvent>
#include <QTreeWidget>

namespace vexlo::app {

// ---------------------------------------------------------------- TStatusBar

TStatusBar::TStatusBar(QWidget* parent) : QStatusBar(parent)
{
    setObjectName("StatusBar1");
    setSizeGripEnabled(false);
    for (int i = 0; i < 2; ++i) {
        m_panels[i] = new QLabel(this);
        m_panels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        m_panels[i]->setFrameShape(QFrame::StyledPanel);
        m_panels[i]->setFrameShadow(QFrame::Sunken);
        m_panels[i]->setContentsMargins(2, 0, 2, 0);
    }
    m_simpleLabel = new QLabel(this);
    m_simpleLabel->setObjectName("StatusSimplePanel");
    m_simpleLabel->hide();
    setMinimumHeight(21);
    layoutPanels();
}

void TStatusBar::setPanelWidth(int index, int width)
{
    m_widths[index] = width;
    layoutPanels();
}

QString TStatusBar::panelText(int index) const { return m_panels[index]->text(); }
void TStatusBar::setPanelText(int index, const QString& text) { m_panels[index]->setText(text); }
QString TStatusBar::simpleText() const { return m_simpleLabel->text(); }
void TStatusBar::setSimpleText(const QString& text) { m_simpleLabel->setText(text); }

void TStatusBar::setSimplePanel(bool on)
{
    m_simple = on;
    m_simpleLabel->setVisible(on);
    for (QLabel* p : m_panels)
        p->setVisible(!on);
}

void TStatusBar::resizeEvent(QResizeEvent* event)
{
    QStatusBar::resizeEvent(event);
    layoutPanels();
}

void TStatusBar::layoutPanels()
{
    const int h = height();
    m_panels[0]->setGeometry(0, 0, m_widths[0], h);
    m_panels[1]->setGeometry(m_widths[0] + 2, 0, m_widths[1], h);
    m_simpleLabel->setGeometry(0, 0, width(), h);
}

// ----------------------------------------------------------------- TBaseForm

TBaseForm::TBaseForm(QWidget* parent) : QMainWindow(parent)
{
    StatusBar1 = new TStatusBar(this);
    setStatusBar(StatusBar1);
}

TBaseForm::~TBaseForm() = default;

void TBaseForm::FormCreate()
{
    CreateStatusProgressBar();
    setHint(QCoreApplication::translate("TMainForm", "Ready"));
}

void TBaseForm::CreateStatusProgressBar()
{
    StatusProgressBar = new QProgressBar(StatusBar1);
    StatusProgressBar->setObjectName("StatusProgressBar");
    StatusProgressBar->setMinimum(0);
    StatusProgressBar->setMaximum(100);
    StatusProgressBar->setValue(0);
    StatusProgressBar->setTextVisible(false);
    StatusProgressBar->setGeometry(StatusBar1->panelWidth(0) + 2, 2, StatusBar1->panelWidth(1) - 5, 17);
    StatusProgressBar->hide();
}

void TBaseForm::setHint(const QString& text)
{
    m_hint = text;
    refreshStatusHint();
}

QString TBaseForm::currentHint() const
{
    if (!m_pointerTip.isEmpty())
        return m_pointerTip;
    return m_pointerInside ? m_hint : QString();
}

void TBaseForm::ShowStatusHint(const QString& currentHint)
{
    if (!StatusProgressBar || !StatusProgressBar->isHidden())
        return; // a run is busy: the status bar is left alone
    if (currentHint.isEmpty()) {
        StatusBar1->setSimplePanel(false);
    } else {
        StatusBar1->setSimplePanel(true);
        StatusBar1->setSimpleText(QLatin1Char(' ') + currentHint);
    }
}

bool TBaseForm::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::StatusTip: {
        // The hint of the control under the pointer; an empty one when the
        // pointer has left that control (the window's own hint then shows).
        m_pointerTip = static_cast<QStatusTipEvent*>(event)->tip();
        if (!m_pointerTip.isEmpty())
            m_pointerInside = true;
        refreshStatusHint();
        return true;
    }
    case QEvent::Enter:
        m_pointerInside = true;
        refreshStatusHint();
        break;
    case QEvent::Leave:
        // The pointer has left the window (or a menu or dialog took it over):
        // no hint, the panels come back.
        m_pointerInside = false;
        m_pointerTip.clear();
        refreshStatusHint();
        break;
    default:
        break;
    }
    return QMainWindow::event(event);
}

bool TBaseForm::IsFileInList(QTreeWidget*, const std::string& path) const { return m_files.contains(path); }

void TBaseForm::removeListRows(QTreeWidget* listView, const std::vector<int>& indexes)
{
    for (const int row : m_files.removeRows(indexes))
        delete listView->topLevelItem(row);
}

void TBaseForm::clearList(QTreeWidget* listView)
{
    listView->clear();
    m_files.clear();
}

bool TBaseForm::AddFileToList(TImageList& imageList, QTreeWidget* listView, const std::string& path)
{
    if (!m_files.accepts(path) || !paths::existsNotFolder(path))
        return false;
    const std::string ext = paths::extensionOf(path);
    const QImage icon = shellutil::GetFileTypeIcon("*" + ext, 0);
    const int image = imageList.add(icon.isNull() ? QIcon() : QIcon(QPixmap::fromImage(icon)));

    auto* item = new QTreeWidgetItem;
    item->setText(0, paths::toQString(path));
    item->setText(1, QString::fromStdString(shellutil::GetFileSizeText(path)));
    item->setText(2, paths::toQString(shellutil::folderPart(path)));
    item->setIcon(0, imageList.at(image));
    listView->addTopLevelItem(item);
    m_files.add(path);
    return true;
}

void TBaseForm::LoadRunSettings()
{
    const settings::IniDocument doc = settings::settingsFile().load();
    RunSettings = settings::loadRunSettings(doc, platform::defaultDestinationFolder());
}

void TBaseForm::LoadProfileSettings(int32_t n)
{
    const settings::IniDocument doc = settings::settingsFile().load();
    settings::loadProfileSettings(doc, n, RunSettings);
}

void TBaseForm::ShowAboutBox() { dialogs::ShowAboutBox(this); }

} // namespace vexlo::app
