// The Linux message boxes, file dialogs and window handling on real widgets.
#include "platform/LinuxServices.h"
#include "platform/LinuxWindowServices.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <filesystem>
#include <fstream>
#include <functional>

using namespace vexlo::platform;

namespace {

// Runs `handle` on the next modal dialog of type T once it is on screen.
template<typename T> void whenModal(std::function<void(T*)> handle)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, handle] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget()); dialog && dialog->isVisible()) {
            timer->stop();
            timer->deleteLater();
            handle(dialog);
        }
    });
    timer->start();
}

TEST(LinuxMessageBoxes, ShowsTitleTextIconAndButtons)
{
    QWidget owner;
    LinuxMessageBoxes boxes;
    QString seenTitle, seenText;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons seenButtons;
    whenModal<QMessageBox>([&](QMessageBox* box) {
        seenTitle = box->windowTitle();
        seenText = box->text();
        seenIcon = box->icon();
        seenButtons = box->standardButtons();
        EXPECT_EQ(box->parentWidget(), &owner);
        box->button(QMessageBox::No)->click();
    });
    const MessageAnswer answer = boxes.show(&owner, "Invalid Output Folder",
        "Output folder is CD-ROM!\r\n\r\n  /media/cd/\r\n\r\nPlease \"Options\".", MessageIcon::Error,
        MessageButtons::YesNo);
    EXPECT_EQ(answer, MessageAnswer::No);
    EXPECT_EQ(seenTitle, "Invalid Output Folder");
    EXPECT_EQ(seenText, "Output folder is CD-ROM!\n\n  /media/cd/\n\nPlease \"Options\".");
    EXPECT_EQ(seenIcon, QMessageBox::Critical);
    EXPECT_EQ(seenButtons, QMessageBox::Yes | QMessageBox::No);

    whenModal<QMessageBox>([&](QMessageBox* box) {
        seenIcon = box->icon();
        seenButtons = box->standardButtons();
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(boxes.show(nullptr, "Q", "Overwrite?", MessageIcon::Question, MessageButtons::YesNo), MessageAnswer::Yes);
    EXPECT_EQ(seenIcon, QMessageBox::Question);

    whenModal<QMessageBox>([&](QMessageBox* box) {
        seenButtons = box->standardButtons();
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(boxes.show(nullptr, "I", "Done", MessageIcon::Information, MessageButtons::Ok), MessageAnswer::Ok);
    EXPECT_EQ(seenButtons, QMessageBox::Ok);
}

class FileDialogTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string base = QFile::encodeName(dir.path()).toStdString();
    void touch(const std::string& name) { std::ofstream(base + "/" + name) << "x"; }
};

TEST_F(FileDialogTest, OpenFilesShowsTheDescriptionsAndAppliesThePatterns)
{
    touch("a.mts");
    touch("b.MTS");
    touch("c.avi");
    const std::vector<FileFilter> filters = {
        {"Video files (*.m2ts;*.mts;*.avi)", "*.m2ts;*.mts;*.avi;*.dvr-ms"},
        {"AVCHD files (*.m2ts;*.mts;*.m2t)", "*.m2ts;*.mts;*.m2t"},
        {"All files (*.*)", "*.*"},
    };
    QStringList shownFilters, appliedPatterns;
    QString shownTitle, shownFolder, selected;
    whenModal<QFileDialog>([&](QFileDialog* dialog) {
        shownTitle = dialog->windowTitle();
        shownFolder = dialog->directory().absolutePath();
        auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(combo, nullptr);
        for (int i = 0; i < combo->count(); ++i)
            shownFilters << combo->itemText(i);
        selected = combo->currentText();
        // Typed into the name box: selectFile() leaves the box alone once it
        // has the focus, which the shown dialog takes when it is activated.
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(edit, nullptr);
        edit->setText(QStringLiteral("\"a.mts\" \"b.MTS\""));
        static_cast<QDialog*>(dialog)->accept();
    });
    LinuxFileDialogs dialogs;
    const auto files = dialogs.openFiles(nullptr, "Please select the video files to convert", base + "/", filters, 1);
    EXPECT_EQ(shownTitle, "Please select the video files to convert");
    EXPECT_EQ(shownFolder, dir.path());
    EXPECT_EQ(shownFilters,
        (QStringList{"Video files (*.m2ts;*.mts;*.avi)", "AVCHD files (*.m2ts;*.mts;*.m2t)", "All files (*.*)"}));
    EXPECT_EQ(selected, "AVCHD files (*.m2ts;*.mts;*.m2t)");
    ASSERT_TRUE(files.has_value());
    EXPECT_EQ(*files, (std::vector<std::string>{base + "/a.mts", base + "/b.MTS"}));

    whenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(dialogs.openFiles(nullptr, "t", base + "/", filters, 0), std::nullopt);
}

TEST_F(FileDialogTest, ChooseFolderAnswersWithoutTrailingSlash)
{
    std::filesystem::create_directories(base + "/Out");
    whenModal<QFileDialog>([&](QFileDialog* dialog) {
        // The chosen folder typed into the name box, as a user may do; the
        // directory listing loads asynchronously, so nothing is clicked.
        dialog->setDirectory(QFile::decodeName(base.c_str()));
        if (auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit"))
            edit->setText(QFile::decodeName((base + "/Out").c_str()));
        static_cast<QDialog*>(dialog)->accept();
    });
    LinuxFileDialogs dialogs;
    const auto folder = dialogs.chooseFolder(nullptr, "Select the output folder", base + "/");
    ASSERT_TRUE(folder.has_value());
    EXPECT_EQ(*folder, base + "/Out");
    whenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(dialogs.chooseFolder(nullptr, "Select the output folder", base), std::nullopt);
}

TEST(LinuxDesktopWindows, NoTaskbarButtonAndActivate)
{
    LinuxDesktop desktop;
    QWidget window;
    window.show();
    desktop.setNoTaskbarButton(&window);
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::Tool));
    EXPECT_TRUE(window.isVisible());

    window.showMinimized();
    desktop.activate(&window);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());

    QWidget hidden;
    desktop.activate(&hidden);
    EXPECT_TRUE(hidden.isVisible());
    desktop.activate(nullptr);
    desktop.setNoTaskbarButton(nullptr);
}

} // namespace

// The suites' watchdog: a modal window that nobody answers fails the test
// (naming the window) and is closed, so the suite goes on instead of hanging.
namespace {
void showAForgottenBox()
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Forgotten question"), QStringLiteral("?"),
        QMessageBox::Yes | QMessageBox::No);
    box.exec();
}
} // namespace

TEST(GuiSuiteWatchdog, UnansweredModalWindowFailsTheTestAndIsClosed)
{
    QElapsedTimer took;
    took.start();
    EXPECT_NONFATAL_FAILURE(showAForgottenBox(), "Forgotten question");
    EXPECT_LT(took.elapsed(), 30000);
}
