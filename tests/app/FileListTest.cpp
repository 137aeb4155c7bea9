// The file list: the add dialog, drops, duplicates, removal and the Remove
// commands, the getting-started picture; the saved list and the projects.
#include "AppTestSupport.h"
#include "support/MainWindowParts.h"
#include "app/FileRules.h"

#include <QClipboard>
#include <QMimeData>
#include <QUrl>

namespace vexlo::test {
namespace {

class FileListTest : public AppTest {
protected:
    // Drops `paths` on the window as the file manager does.
    static void drop(TMainForm& w, const std::vector<std::string>& paths)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const auto& p : paths)
            urls << QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(p)));
        data.setUrls(urls);
        const QPointF at(test::fileListOf(w)->mapTo(&w, QPoint(20, 20)));
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &enter);
        QDropEvent dropEvent(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &dropEvent);
    }
    static bool removeEnabled(const TMainForm& w)
    {
        return test::actionOf(w, "btnRemoveFile")->isEnabled() && test::actionOf(w, "pmnRemoveFile")->isEnabled()
            && test::actionOf(w, "mniRemoveFile")->isEnabled();
    }
    static bool removeDisabled(const TMainForm& w)
    {
        return !test::actionOf(w, "btnRemoveFile")->isEnabled() && !test::actionOf(w, "pmnRemoveFile")->isEnabled()
            && !test::actionOf(w, "mniRemoveFile")->isEnabled();
    }
};

TEST_F(FileListTest, AddDialogTitleFiltersFoldersAndLastPath)
{
    const std::string clips = folder("Clips");
    auto w = open();
    tp.fileDialogs.nextOpenFiles.push_back(
        std::vector<std::string>{file(clips + "a.m2ts", 1536), file(clips + "b.avi"), file(clips + "c.txt")});
    EXPECT_TRUE(w->SelectAndAddFiles());
    ASSERT_EQ(tp.fileDialogs.openCalls.size(), 1u);
    const auto& call = tp.fileDialogs.openCalls[0];
    EXPECT_EQ(call.title, "Please select the video files to convert");
    EXPECT_EQ(call.initialFolder, root() + "Documents/") << "no LastPath: the Personal folder";
    EXPECT_EQ(call.selectedFilter, 0);
    // Eleven filters; a few telling ones whole: the first lists more patterns
    // than its description names (today's containers too), "All videos" every
    // accepted one in both letter cases, two patterns lack their dot, the
    // last takes all.
    ASSERT_EQ(call.filters.size(), 11u);
    const auto filter = [&](size_t i) { return std::pair{call.filters[i].description, call.filters[i].patterns}; };
    EXPECT_EQ(filter(0).first,
        "Video files (*.m2ts;*.mts;*.m2t;*.avi;*.mpeg;*.mpg;*.wmv;*.qt;*.mpm;*.mpv;*.mpa;*.mov;*.vob;*.mod;*.mp4)");
    EXPECT_EQ(filter(0).second,
        "*.m2ts;*.mts;*.m2t;*.avi;*.mpeg;*.mpg;*.wmv;*.asf;*.qt;*.mpm;*.mpv;*.mpa;*.mov;*.vob;"
        "*.mod;*.mp4;*.3gp;*.3g2;*.dvr-ms;*.flv;*.swf;*.dv;*.M2TS;*.MTS;*.mkv;*.webm;*.ts;*.m4v;*.ogv;*.mxf");
    EXPECT_EQ(filter(1), (std::pair<std::string, std::string>{"All videos", app::acceptedVideoMasks()}));
    EXPECT_EQ(
        filter(2), (std::pair<std::string, std::string>{"AVCHD files (*.m2ts;*.mts;*.m2t)", "*.m2ts;*.mts;*.m2t"}));
    EXPECT_EQ(filter(4).second, "*.mpeg;*mpg;*.mpm;*.mpv;*.mpa;*.mod");
    EXPECT_EQ(filter(5).second, "*.wmv;*asf;*.wma");
    EXPECT_EQ(filter(10), (std::pair<std::string, std::string>{"All files (*.*)", "*.*"}));
    // The others name exactly their patterns: "<kind> files (<patterns>)".
    for (size_t i : {2, 3, 6, 7, 8, 9}) {
        const auto [description, patterns] = filter(i);
        EXPECT_TRUE(description.ends_with(" files (" + patterns + ")")) << description;
    }
    EXPECT_EQ(test::rowCount(*w), 3) << "the dialog applies no extension test of its own";
    const QTreeWidgetItem* first = test::fileListOf(*w)->topLevelItem(0);
    EXPECT_EQ(first->text(0).toStdString(), clips + "a.m2ts");
    EXPECT_EQ(first->text(1), "1.50 KB");
    EXPECT_EQ(first->text(2).toStdString(), clips);
    EXPECT_EQ(panel0(*w), "3 File(s) Ready");
    EXPECT_EQ(iniValue("Options", "LastPath"), clips);
    EXPECT_FALSE(test::pictureOf(*w)->isVisible());

    // The next dialog starts in LastPath; a cancel changes nothing.
    ini("[Options]\nLastPath=" + root() + "Elsewhere/\n");
    const std::string before = iniText();
    EXPECT_FALSE(w->SelectAndAddFiles());
    EXPECT_EQ(tp.fileDialogs.openCalls.back().initialFolder, root() + "Elsewhere/");
    EXPECT_EQ(iniText(), before);
    EXPECT_EQ(test::rowCount(*w), 3);
}

TEST_F(FileListTest, NoLastPathAndNoPersonalFolderStartsInTheDialogsDefaultAndCancelWritesNothing)
{
    tp.desktop.personal.clear();
    auto w = open();
    test::actionOf(*w, "btnAddFile")->trigger();
    ASSERT_EQ(tp.fileDialogs.openCalls.size(), 1u);
    EXPECT_EQ(tp.fileDialogs.openCalls[0].initialFolder, "");
    EXPECT_FALSE(fs::exists(tp.settingsPath()));
}

TEST_F(FileListTest, DuplicatesMissingFilesAndControlCharactersAreNotAdded)
{
    const std::string dir = folder("v");
    auto w = open();
    tp.fileDialogs.nextOpenFiles.push_back(
        std::vector<std::string>{file(dir + "a.avi"), dir + "a.avi", dir + "gone.avi", file(dir + "line\nbreak.avi"),
            file(dir + "tab\tname.avi"), dir, file(dir + "noext"), file(dir + "A.AVI")});
    w->btnAddFileClick();
    // Names are compared as the file system compares them: byte for byte.
    EXPECT_EQ(rows(*w), (std::vector<std::string>{dir + "a.avi", dir + "noext", dir + "A.AVI"}));
    EXPECT_EQ(w->imlFileIcon.count(), 3);
    EXPECT_TRUE(tp.messages.shown.empty());
    // A removed row may come back.
    select(*w, {0});
    w->btnRemoveFileClick();
    EXPECT_FALSE(test::addFile(*w, dir + "A.AVI"));
    EXPECT_TRUE(test::addFile(*w, dir + "a.avi"));
    EXPECT_FALSE(test::addFile(*w, dir + "a.avi"));
    EXPECT_EQ(w->imlFileIcon.count(), 4) << "icons are never taken out";
}

TEST_F(FileListTest, DropsAddSupportedFilesAndRequestARunOnlyWithRows)
{
    const std::string dir = folder("d");
    installEngine();
    auto w = open();
    {
        ModalAnswerer answer(false);
        drop(*w, {file(dir + "clip.swf"), folder("d/folder.avi")});
        deliverPostedEvents();
        EXPECT_EQ(test::rowCount(*w), 0);
        EXPECT_EQ(tp.desktop.activated.size(), 1u) << "the window comes to the front";
        EXPECT_EQ(answer.seen, 0) << "an empty list starts nothing";
    }
    const std::string longName = dir + std::string(240, 'n') + ".AVI";
    const bool longOk = [&] {
        try {
            file(longName);
            return true;
        } catch (...) {
            return false;
        }
    }();
    ini(kDirectRun);
    drop(*w, {clip(dir + "CLIP.AVI"), clip(dir + "clip.mp"), file(dir + "x.srt"), dir + "missing.avi"});
    std::vector<std::string> expected{dir + "CLIP.AVI", dir + "clip.mp"};
    EXPECT_EQ(rows(*w), expected);
    EXPECT_TRUE(engineCalls().empty()) << "the run is requested through a queued call";
    ASSERT_TRUE(waitFor([&] { return engineCalls().size() == 2; }, std::chrono::seconds(10)));
    EXPECT_TRUE(waitFor([&] { return panel0(*w) == "Conversion completed!"; }));
    EXPECT_EQ(tp.desktop.activated.size(), 2u);
    if (longOk) {
        w->WMDropFiles({QFile::decodeName(QByteArray::fromStdString(longName))});
        EXPECT_EQ(test::rowPath(*w, 2), longName) << "dropped names are taken whole";
    }
}

// What the desktop's programs leave on the clipboard (a file manager's URIs, a
// terminal's or an editor's lines), pasted by Ctrl+V or the context menu's
// Paste: the rows a drop of the same files adds, and a run asked for.
TEST_F(FileListTest, PasteAddsTheClipboardsFilesAsADropDoes)
{
    const std::string dir = folder("p q");
    const std::string blank = file(dir + "my clip.m2ts"), quoted = file(dir + "Tom's \"best\".mts"),
                      escaped = file(dir + "100% \xc3\xbc #1.mov"), text = file(dir + "notes.txt");
    folder("p q/folder.avi");
    const auto q = [](const std::string& p) { return QFile::decodeName(QByteArray::fromStdString(p)); };
    const auto uri = [&](const std::string& p) { return QUrl::fromLocalFile(q(p)); };
    struct Case {
        const char* what;
        QList<QUrl> urls; // else `text`
        QString text;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {"a file manager's URIs", {uri(blank), uri(text), uri(escaped), QUrl("https://example.org/a.mts")}, {},
            {blank, escaped}},
        {"paths a line, CRLF, in quotes", {}, q(blank) + "\r\n\"" + q(escaped) + "\"\n  '" + q(quoted) + "'  \n",
            {blank, escaped, quoted}},
        {"URIs as text, %-escaped", {}, uri(escaped).toString(QUrl::FullyEncoded) + "\n" + uri(blank).toString(),
            {escaped, blank}},
        {"a name with quotes of its own", {}, q(quoted), {quoted}},
        {"no file", {}, "hello world\nmy clip.m2ts\nhttps://example.org/a.mts\n~/", {}},
        {"no video", {}, q(text) + "\n" + q(dir + "folder.avi") + "\n" + q(dir + "gone.avi"), {}},
    };
    auto w = open();
    activate(*w);
    QAction* paste = test::actionOf(*w, "pmnPaste");
    EXPECT_EQ(paste->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_V));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.what);
        w->clearList(test::fileListOf(*w));
        auto* data = new QMimeData;
        c.urls.isEmpty() ? data->setText(c.text) : data->setUrls(c.urls);
        QGuiApplication::clipboard()->setMimeData(data);
        EXPECT_EQ(paste->isEnabled(), !c.rows.empty());
        const size_t activations = tp.desktop.activated.size();
        ModalAnswerer answer(false);
        if (i % 2 == 0) {
            activate(*w); // back from the last case's output dialog
            QTest::keyClick(test::fileListOf(*w), Qt::Key_V, Qt::ControlModifier);
        } else {
            // The context menu's entry, by its letter.
            QMenu* menu = test::menuOf(*w, "PopupMenu1");
            menu->popup(w->mapToGlobal(QPoint(40, 120)));
            ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
            EXPECT_EQ(paste->isEnabled(), !c.rows.empty());
            if (i == 1)
                saveScreenshot(menu, "main-window-context-menu");
            QTest::keyClick(menu, Qt::Key_P);
            if (menu->isVisible())
                menu->close();
        }
        EXPECT_EQ(rows(*w), c.rows);
        deliverPostedEvents();
        EXPECT_EQ(answer.seen, c.rows.empty() ? 0 : 1) << "rows ask for a run";
        EXPECT_EQ(tp.desktop.activated.size() - activations, c.rows.empty() ? 0u : 1u);
        if (i == 0)
            saveScreenshot(w.get(), "main-window-pasted");
    }
    // Already listed: nothing to add.
    w->clearList(test::fileListOf(*w));
    test::addFile(*w, blank);
    QGuiApplication::clipboard()->setText(q(blank));
    EXPECT_FALSE(paste->isEnabled());
}

TEST_F(FileListTest, RemovingRowsKeepsOrderAndCountsInTheStatus)
{
    const std::string dir = folder("r");
    auto w = open();
    std::vector<std::string> chosen;
    for (const char* n : {"0.avi", "1.avi", "2.avi", "3.avi", "4.avi"})
        chosen.push_back(file(dir + n));
    tp.fileDialogs.nextOpenFiles.push_back(chosen);
    w->btnAddFileClick();
    EXPECT_EQ(panel0(*w), "5 File(s) Ready");
    EXPECT_EQ(w->hint(), "5 File(s) Ready");
    w->btnRemoveFileClick();
    EXPECT_EQ(test::rowCount(*w), 5) << "no selection: nothing removed";
    select(*w, {0, 2, 4});
    w->btnRemoveFileClick();
    EXPECT_EQ(rows(*w), (std::vector<std::string>{dir + "1.avi", dir + "3.avi"}));
    EXPECT_EQ(panel0(*w), "2 File(s) Ready");
    EXPECT_TRUE(removeDisabled(*w));
    EXPECT_FALSE(test::pictureOf(*w)->isVisible());
    select(*w, {0, 1});
    test::actionOf(*w, "pmnRemoveFile")->trigger();
    EXPECT_EQ(test::rowCount(*w), 0);
    EXPECT_EQ(panel0(*w), "Ready");
    EXPECT_EQ(w->hint(), "Ready");
    EXPECT_TRUE(test::pictureOf(*w)->isVisible()) << "the picture shows again over an empty list";
}

TEST_F(FileListTest, RemoveCommandsFollowWhetherAnyRowIsSelected)
{
    const std::string dir = folder("s");
    auto w = open();
    activate(*w);
    for (const char* n : {"a.avi", "b.avi", "c.avi"})
        test::addFile(*w, file(dir + n));
    EXPECT_TRUE(removeDisabled(*w));
    auto rowCentre
        = [&](int i) { return test::fileListOf(*w)->visualItemRect(test::fileListOf(*w)->topLevelItem(i)).center(); };
    QTest::mouseClick(test::fileListOf(*w)->viewport(), Qt::LeftButton, Qt::NoModifier, rowCentre(0));
    EXPECT_TRUE(removeEnabled(*w));
    QTest::mouseClick(test::fileListOf(*w)->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(2));
    EXPECT_EQ(test::fileListOf(*w)->selectedItems().size(), 2);
    QTest::mouseClick(test::fileListOf(*w)->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(0));
    EXPECT_EQ(test::fileListOf(*w)->selectedItems().size(), 1);
    EXPECT_TRUE(removeEnabled(*w)) << "one row stays selected";
    QTest::mouseClick(test::fileListOf(*w)->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(2));
    EXPECT_TRUE(removeDisabled(*w));
}

TEST_F(FileListTest, DoubleClickOnListAndPictureOpensTheAddDialog)
{
    const std::string dir = folder("c");
    auto w = open();
    ASSERT_TRUE(test::pictureOf(*w)->isVisible());
    QTest::mouseDClick(test::pictureOf(*w), Qt::LeftButton);
    EXPECT_EQ(tp.fileDialogs.openCalls.size(), 1u);
    test::addFile(*w, file(dir + "a.avi"));
    QTest::mouseDClick(test::fileListOf(*w)->viewport(), Qt::LeftButton, Qt::NoModifier,
        test::fileListOf(*w)->visualItemRect(test::fileListOf(*w)->topLevelItem(0)).center());
    EXPECT_EQ(tp.fileDialogs.openCalls.size(), 2u) << "also on a row";
    QTest::mouseDClick(test::fileListOf(*w)->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 150));
    EXPECT_EQ(tp.fileDialogs.openCalls.size(), 3u);
}

// ---------------------------------------------------------------- saved list

class SavedListTest : public FileListTest {};

TEST_F(SavedListTest, RoundTripThroughCloseAndANewWindow)
{
    const std::string dir = folder("p");
    ini("[Options]\nSaveFileList=1\n");
    {
        auto w = open();
        for (const char* n : {"c.avi", "a.avi", "b.avi"})
            test::addFile(*w, file(dir + n));
        ASSERT_TRUE(closeAndWait(*w));
    }
    const auto doc = iniDoc();
    EXPECT_EQ(doc.keys("FileList"), (std::vector<std::string>{"0", "1", "2"}));
    EXPECT_EQ(doc.readText("FileList", "0", ""), dir + "c.avi");
    EXPECT_EQ(doc.readText("FileList", "2", ""), dir + "b.avi");
    auto w = open();
    EXPECT_EQ(rows(*w), (std::vector<std::string>{dir + "c.avi", dir + "a.avi", dir + "b.avi"}));
    EXPECT_EQ(panel0(*w), "3 File(s) Ready");
    EXPECT_FALSE(test::pictureOf(*w)->isVisible());

    // An empty list at closing leaves no section at all.
    select(*w, {0, 1, 2});
    w->btnRemoveFileClick();
    ASSERT_TRUE(closeAndWait(*w));
    EXPECT_FALSE(iniDoc().hasSection("FileList"));
}

TEST_F(SavedListTest, KeyOrderCountsAndMissingFilesAreDroppedAndRenumbered)
{
    const std::string dir = folder("k");
    ini("[Options]\nSaveFileList=1\n[FileList]\nb=" + file(dir + "b.avi") + "\na=" + file(dir + "a.avi") + "\nz=" + dir
        + "gone.avi\n7=" + file(dir + "c.avi") + "\n");
    auto w = open();
    EXPECT_EQ(rows(*w), (std::vector<std::string>{dir + "b.avi", dir + "a.avi", dir + "c.avi"}));
    w->btnSaveClick();
    const auto doc = iniDoc();
    EXPECT_EQ(doc.keys("FileList"), (std::vector<std::string>{"0", "1", "2"}));
    EXPECT_EQ(doc.readText("FileList", "2", ""), dir + "c.avi");
}

TEST_F(SavedListTest, SwitchOffLeavesEverythingAlone)
{
    const std::string dir = folder("o");
    const std::string stored = "[Options]\nSaveFileList=0\n[FileList]\n0=" + file(dir + "a.avi") + "\n";
    ini(stored);
    auto w = open();
    EXPECT_EQ(test::rowCount(*w), 0) << "the stored list is not read";
    test::addFile(*w, file(dir + "b.avi"));
    test::actionOf(*w, "mniOpen")->trigger();
    test::actionOf(*w, "mniSave")->trigger();
    EXPECT_EQ(rows(*w), std::vector<std::string>{dir + "b.avi"});
    EXPECT_EQ(iniText(), stored);
    ASSERT_TRUE(closeAndWait(*w));
    EXPECT_EQ(iniDoc().readText("FileList", "0", ""), dir + "a.avi");
    EXPECT_EQ(iniDoc().keys("FileList").size(), 1u);
}

TEST_F(SavedListTest, OpenProjectAppendsOnlyNewPathsAndTwiceAddsNothing)
{
    const std::string dir = folder("t");
    ini("[Options]\nSaveFileList=1\n[FileList]\n0=" + file(dir + "a.avi") + "\n1=" + file(dir + "b.avi") + "\n");
    ModalAnswerer answer(false);    // the command line's output dialog
    auto w = open({dir + "b.avi"}); // with arguments nothing is restored
    EXPECT_EQ(rows(*w), std::vector<std::string>{dir + "b.avi"});
    w->btnOpenClick();
    EXPECT_EQ(rows(*w), (std::vector<std::string>{dir + "b.avi", dir + "a.avi"}));
    w->btnOpenClick();
    EXPECT_EQ(test::rowCount(*w), 2);
}

TEST_F(SavedListTest, FailedStoreKeepsTheOldListAndReportsIt)
{
    const std::string dir = folder("f");
    const std::string stored
        = "[Options]\nSaveFileList=1\n[FileList]\n0=" + file(dir + "a.avi") + "\n1=" + file(dir + "b.avi") + "\n";
    ini(stored);
    auto w = open();
    select(*w, {0});
    w->btnRemoveFileClick();
    test::addFile(*w, file(dir + "c.avi"));
    // A folder where the temporary file goes stops the write, also for root.
    fs::create_directories(tp.settingsPath() + ".tmp");
    try {
        w->btnSaveClick();
        ADD_FAILURE() << "the failed write is not reported";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + tp.settingsPath());
    }
    EXPECT_EQ(iniText(), stored);
    ASSERT_TRUE(closeAndWait(*w));
    EXPECT_EQ(iniText(), stored) << "neither the list nor the placement got through";
    ASSERT_GE(tp.messages.shown.size(), 1u);
    EXPECT_EQ(tp.messages.shown[0].text, "Unable to write to " + tp.settingsPath());
    EXPECT_EQ(tp.messages.shown[0].icon, platform::MessageIcon::Error);
    fs::remove(tp.settingsPath() + ".tmp");
}

} // namespace
} // namespace vexlo::test
