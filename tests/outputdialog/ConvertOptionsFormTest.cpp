// The output format and destination dialog, driven on the real widgets.
#include "support/TestDoubles.h"
#include "dialogs/ConvertOptionsForm.h"
#include "settings/IniFile.h"
#include "settings/RunSettings.h"
#include "support/LayoutChecks.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <QAbstractButton>
#include <QSet>
#include <gtest/gtest.h>

using namespace vexlo;
using platform::MessageAnswer;
using platform::MessageButtons;
using platform::MessageIcon;
using settings::TConvertOptionsForm;

namespace {

const char* const kCatalogue = R"([Options]
OutputFormat=1
[VideoFormat0]
Title=MP4 MPEG-4 Video (*.mp4)
Edit=1
FrameSize=640 x 480
VideoBitrate=768
Framerate=25
AudioBitrate=96
SampleBitrate=48000
Channels=0
[VideoFormat1]
Title=iPod MPEG-4 Video (320x240, 4:3)
Edit=0
FrameSize=320 X 240
VideoBitrate=500
Framerate=29.976
AudioBitrate=160
SampleBitrate=22050
Channels=1
[VideoFormat2]
Title=DivX Video Format (*.avi)
Edit=1
Channels=7
[VideoFormat4]
Title=Never listed
)";

// What the six parameter boxes show; "" is a box without a selection.
struct Shown {
    QString frameSize, videoBitrate, framerate, audioBitrate, sampleRate, channels;
    bool operator==(const Shown&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Shown& s)
{
    const QStringList all{s.frameSize, s.videoBitrate, s.framerate, s.audioBitrate, s.sampleRate, s.channels};
    return out << all.join(" | ").toStdString();
}

Shown shown(const TConvertOptionsForm& f)
{
    return {f.cbxFrameSize->currentText(), f.cbxVideoBitrate->currentText(), f.cbxFramerate->currentText(),
        f.cbxAudioBitrate->currentText(), f.cbxSampleBitrate->currentText(), f.cbxChannels->currentText()};
}

const Shown kDefaults{"320 x 240", "512", "Same as source file", "128", "44100", "Stereo"};

class OutputDialog : public ::testing::Test {
protected:
    platform::TestPlatform tp;

    void writeSettings(const std::string& text) { test::writeFile(tp.settingsPath(), text); }
    settings::IniDocument stored() const { return settings::IniFile(tp.settingsPath()).load(); }
    std::string storedText(const char* section, const char* key) const
    {
        return stored().readText(section, key, "<absent>");
    }
    std::string folder(const std::string& name) const
    {
        std::filesystem::create_directories(tp.root() + name);
        return tp.root() + name;
    }
    // Confirms the dialog with the folder choice and `path` typed in.
    void confirmFolder(const std::string& path)
    {
        TConvertOptionsForm f;
        f.show();
        f.rbtConvertToPath->click();
        f.cbxDestPath->setEditText(QString::fromStdString(path));
        f.btnOK->click();
        ASSERT_EQ(f.result(), QDialog::Accepted) << path;
    }
    std::vector<std::string> recent() const
    {
        const auto doc = stored();
        std::vector<std::string> out;
        for (const auto& key : doc.keys("RecentDestPath"))
            out.push_back(key + "=" + doc.readText("RecentDestPath", key, ""));
        return out;
    }
};

TEST_F(OutputDialog, WindowControlsAndListsAreAsLaidOut)
{
    writeSettings(kCatalogue);
    TConvertOptionsForm f;
    EXPECT_EQ(f.windowTitle(), "Please select output fomat");
    EXPECT_EQ(f.size(), QSize(528, 309));
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    EXPECT_EQ(f.cbxVideoFormat->count(), 18); // the built-in titles until shown
    EXPECT_EQ(f.cbxVideoFormat->itemText(17), "MPEG-2/SVCD/DVD Video (*.mpg)");

    struct Box {
        QComboBox* box;
        int rows;
        int count;
        const char* first;
        const char* last;
    };
    for (const Box& b : {Box{f.cbxVideoFormat, 26, 18, "MP4 MPEG-4 Video (*.mp4)", nullptr},
             Box{f.cbxFrameSize, 20, 23, "80 x 60", "Up to 1920 x 1080"}, Box{f.cbxVideoBitrate, 15, 19, "0", "12000"},
             Box{f.cbxFramerate, 8, 8, "12", "Same as source file"}, Box{f.cbxAudioBitrate, 20, 12, "32", "320"},
             Box{f.cbxSampleBitrate, 8, 9, "8000", "96000"}, Box{f.cbxChannels, 8, 2, "Mono", "Stereo"}}) {
        SCOPED_TRACE(b.box->objectName().toStdString());
        EXPECT_FALSE(b.box->isEditable());
        EXPECT_EQ(b.box->maxVisibleItems(), b.rows);
        EXPECT_EQ(b.box->count(), b.count);
        EXPECT_EQ(b.box->itemText(0), b.first);
        if (b.last) {
            EXPECT_EQ(b.box->itemText(b.count - 1), b.last);
        }
    }
    EXPECT_EQ(f.cbxFramerate->findText("29.976", Qt::MatchExactly), 5);
    EXPECT_EQ(f.cbxFrameSize->findText("853 x 480", Qt::MatchExactly), 16);
    EXPECT_EQ(f.cbxFrameSize->findText("Same as source file", Qt::MatchExactly), 20);

    struct Caption {
        const char* label;
        const char* text;
        QWidget* buddy;
    };
    for (const Caption& c : {Caption{"lblOutputFormat", "&Output Format:", f.cbxVideoFormat},
             Caption{"lblFrameSize", "Frame Size:", f.cbxFrameSize},
             Caption{"lblVideoBitrate", "&Bitrate:", f.cbxVideoBitrate},
             Caption{"lblFramerate", "&Framerate:", f.cbxFramerate},
             Caption{"lblAudioBitrate", "Bi&trate:", f.cbxAudioBitrate},
             Caption{"lblSampleBitrate", "Sample Rate:", f.cbxSampleBitrate},
             Caption{"lblChannels", "Channels:", f.cbxChannels}}) {
        auto* label = f.findChild<QLabel*>(c.label);
        ASSERT_NE(label, nullptr) << c.label;
        EXPECT_EQ(label->text(), c.text);
        EXPECT_EQ(label->buddy(), c.buddy);
    }
    EXPECT_TRUE(f.rbtConvertToSamePath->isChecked());
    EXPECT_FALSE(f.cbxDestPath->isEnabled());
    EXPECT_FALSE(f.btnSelectDestPath->isEnabled());
    EXPECT_TRUE(f.cbxDestPath->isEditable());
    EXPECT_TRUE(f.btnOK->isDefault());

    // Tab order, from the format list to Help.
    const QList<QWidget*> order
        = {f.cbxVideoFormat, f.cbxFrameSize, f.cbxVideoBitrate, f.cbxFramerate, f.btnRestoreVideo, f.cbxAudioBitrate,
            f.cbxSampleBitrate, f.cbxChannels, f.btnRestoreAudio, f.rbtConvertToSamePath, f.rbtConvertToPath,
            f.cbxDestPath, f.btnSelectDestPath, f.btnOK, f.btnCancel, f.btnHelp};
    for (qsizetype i = 1; i < order.size(); ++i) {
        QWidget* next = order[i - 1]->nextInFocusChain();
        while (next->focusPolicy() == Qt::NoFocus || next->focusProxy())
            next = next->nextInFocusChain();
        EXPECT_EQ(next, order[i]) << i;
    }
    // What a screen reader says for each button: its text or a name of its
    // own, never "..." and never the same for two buttons.
    QSet<QString> spoken;
    for (QAbstractButton* button : f.findChildren<QAbstractButton*>()) {
        const QString name = button->accessibleName().isEmpty() ? button->text().remove('&') : button->accessibleName();
        EXPECT_NE(name, "...") << button->objectName().toStdString();
        EXPECT_FALSE(spoken.contains(name)) << name.toStdString();
        spoken.insert(name);
    }

    f.show();
    EXPECT_EQ(f.cbxVideoFormat->count(), 3); // the catalogue replaced them
    test::saveScreenshot(&f, "output-format-dialog");
}

TEST_F(OutputDialog, WithoutSettingsFileShowsDefaultsAndSavesTheEmptyCatalogue)
{
    TConvertOptionsForm f;
    f.show();
    EXPECT_EQ(f.cbxVideoFormat->count(), 0);
    EXPECT_EQ(shown(f), kDefaults);
    EXPECT_FALSE(f.cbxFrameSize->isEnabled());
    EXPECT_EQ(f.cbxDestPath->currentText().toStdString(), tp.programFolder());
    EXPECT_TRUE(f.rbtConvertToSamePath->isChecked());
    EXPECT_FALSE(std::filesystem::exists(tp.settingsPath())); // nothing written on show

    f.btnOK->click();
    EXPECT_EQ(storedText("Options", "OutputFormat"), "-1");
    EXPECT_EQ(storedText("VideoFormat-1", "FrameSize"), "320 x 240");
    EXPECT_EQ(storedText("VideoFormat-1", "Channels"), "1");
    EXPECT_EQ(storedText("Options", "DestPath"), "<absent>"); // path box disabled
    EXPECT_EQ(recent(), std::vector<std::string>{"0=" + tp.programFolder()});
}

TEST_F(OutputDialog, ProfilesLoadTheirStoredValuesAndTheEditRule)
{
    writeSettings(kCatalogue);
    TConvertOptionsForm f;
    f.show();
    ASSERT_EQ(f.cbxVideoFormat->count(), 3); // VideoFormat3 has no title
    EXPECT_EQ(f.cbxVideoFormat->currentIndex(), 1);

    struct Case {
        int index;
        Shown values;
        bool editable;
    };
    const Case cases[] = {
        {1, {"320 x 240", "", "29.976", "160", "22050", "Stereo"}, false}, // case-blind match; 500 unlisted
        {0, {"640 x 480", "768", "25", "96", "48000", "Mono"}, true},
        {2, {"320 x 240", "512", "Same as source file", "128", "44100", ""}, true}, // Channels=7
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        if (c.index != f.cbxVideoFormat->currentIndex()) {
            f.cbxVideoFormat->setCurrentIndex(c.index);
            emit f.cbxVideoFormat->activated(c.index);
        }
        EXPECT_EQ(shown(f), c.values);
        EXPECT_EQ(f.profileEditable(), c.editable);
        for (QComboBox* box : {f.cbxFrameSize, f.cbxFramerate, f.cbxAudioBitrate, f.cbxSampleBitrate, f.cbxChannels})
            EXPECT_EQ(box->isEnabled(), c.editable) << box->objectName().toStdString();
        EXPECT_TRUE(f.cbxVideoBitrate->isEnabled());
        EXPECT_TRUE(f.btnRestoreVideo->isEnabled());
        EXPECT_TRUE(f.btnRestoreAudio->isEnabled());
    }

    // Changes are dropped when another profile is chosen and this one comes back.
    f.cbxVideoFormat->setCurrentIndex(0);
    emit f.cbxVideoFormat->activated(0);
    f.cbxFrameSize->setCurrentIndex(0);
    emit f.cbxVideoFormat->activated(1);
    emit f.cbxVideoFormat->activated(0);
    EXPECT_EQ(f.cbxFrameSize->currentText(), "640 x 480");
}

TEST_F(OutputDialog, ChosenProfileOutsideTheListSelectsNothing)
{
    writeSettings(std::string(kCatalogue) + "[Options]\n");
    settings::IniFile(tp.settingsPath()).writeInteger("Options", "OutputFormat", 7);
    TConvertOptionsForm f;
    f.show();
    EXPECT_EQ(f.cbxVideoFormat->currentIndex(), -1);
    EXPECT_EQ(shown(f), kDefaults);
}

TEST_F(OutputDialog, RestoreButtonsTakeTheFactoryValues)
{
    struct Case {
        bool withDefaultsFile;
        bool video;
        Shown expected;
    };
    const Shown loaded{"320 x 240", "", "29.976", "160", "22050", "Stereo"};
    const Case cases[] = {
        {true, true, {"1280 x 720", "2000", "Same as source file", "160", "22050", "Stereo"}},
        {true, false, {"320 x 240", "", "29.976", "64", "44100", "Mono"}},
        {false, true, {"320 x 240", "512", "Same as source file", "160", "22050", "Stereo"}},
        {false, false, {"320 x 240", "", "29.976", "128", "44100", "Stereo"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.withDefaultsFile << c.video);
        platform::TestPlatform own;
        test::writeFile(own.settingsPath(), kCatalogue);
        if (c.withDefaultsFile)
            test::writeFile(own.programFolder() + "VideoFormat.dat",
                "[VideoFormat1]\nFrameSize=1280 X 720\nVideoBitrate=2000\n"
                "AudioBitrate=64\nChannels=0\n");
        TConvertOptionsForm f;
        f.show();
        ASSERT_EQ(shown(f), loaded);
        (c.video ? f.btnRestoreVideo : f.btnRestoreAudio)->click();
        EXPECT_EQ(shown(f), c.expected); // disabled boxes change too
        EXPECT_EQ(test::readFile(own.settingsPath()), kCatalogue);
    }
}

TEST_F(OutputDialog, OkWritesTheChosenProfileAndDestinationOnly)
{
    writeSettings(kCatalogue);
    const std::string out = folder("Out");
    TConvertOptionsForm f;
    f.show();
    f.cbxVideoFormat->setCurrentIndex(0);
    emit f.cbxVideoFormat->activated(0);
    f.cbxFrameSize->setCurrentIndex(-1); // no selection stores empty text
    f.cbxSampleBitrate->setCurrentText("96000");
    f.cbxChannels->setCurrentIndex(-1);
    f.rbtConvertToPath->click();
    f.cbxDestPath->setEditText(QString::fromStdString(out));
    f.btnOK->click();
    EXPECT_EQ(f.result(), QDialog::Accepted);

    const auto doc = stored();
    EXPECT_EQ(doc.keys("VideoFormat0"),
        (std::vector<std::string>{
            "Title", "Edit", "FrameSize", "VideoBitrate", "Framerate", "AudioBitrate", "SampleBitrate", "Channels"}));
    const std::vector<std::pair<const char*, const char*>> expected = {{"FrameSize", ""}, {"VideoBitrate", "768"},
        {"Framerate", "25"}, {"AudioBitrate", "96"}, {"SampleBitrate", "96000"}, {"Channels", "-1"}};
    for (const auto& [key, value] : expected)
        EXPECT_EQ(doc.readText("VideoFormat0", key, "<absent>"), value) << key;
    EXPECT_EQ(doc.keys("Options"), (std::vector<std::string>{"OutputFormat", "ConvertToSamePath", "DestPath"}));
    EXPECT_EQ(doc.readText("Options", "OutputFormat", ""), "0");
    EXPECT_EQ(doc.readText("Options", "ConvertToSamePath", ""), "0");
    EXPECT_EQ(doc.readText("Options", "DestPath", ""), out + "/");
    EXPECT_EQ(doc.readText("VideoFormat1", "VideoBitrate", ""), "500"); // other profiles untouched
    EXPECT_EQ(recent(), std::vector<std::string>{"0=" + out});
}

TEST_F(OutputDialog, CancelAndTheCloseBoxWriteNothing)
{
    writeSettings(kCatalogue);
    for (bool viaClose : {false, true}) {
        TConvertOptionsForm f;
        f.show();
        f.cbxVideoBitrate->setCurrentIndex(0);
        f.rbtConvertToPath->click();
        f.cbxDestPath->setEditText("/nowhere/at/all");
        if (viaClose)
            f.close();
        else
            f.btnCancel->click();
        EXPECT_EQ(f.result(), QDialog::Rejected);
        EXPECT_TRUE(tp.messages.shown.empty());
        EXPECT_EQ(test::readFile(tp.settingsPath()), kCatalogue);
    }
}

TEST_F(OutputDialog, RecentFoldersKeepTheTenMostRecentFirst)
{
    const std::string x = folder("X"), y = folder("Y"), z = folder("Z");
    confirmFolder(x);
    confirmFolder(y);
    confirmFolder(z);
    const std::vector<std::string> xyz = {"0=" + z, "1=" + y, "2=" + x};
    EXPECT_EQ(recent(), xyz);
    confirmFolder(folder("y")); // listed already, compared without regard to case
    EXPECT_EQ(recent(), xyz);
    for (int i = 4; i <= 11; ++i)
        confirmFolder(folder("F" + std::to_string(i)));
    const auto list = recent();
    ASSERT_EQ(list.size(), 10u);
    EXPECT_EQ(list.front(), "0=" + tp.root() + "F11");
    EXPECT_EQ(list.back(), "9=" + y); // x, the oldest, fell away
}

TEST_F(OutputDialog, RecentFoldersLoadByNumberWhenThePathBoxGetsTheFocus)
{
    writeSettings("[Options]\nConvertToSamePath=0\nDestPath=/typed/\n"
                  "[RecentDestPath]\n0=/a\n1=\n5=/never\n3=/c\n");
    TConvertOptionsForm f;
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    EXPECT_EQ(f.cbxDestPath->count(), 0);
    f.cbxDestPath->setFocus();
    ASSERT_TRUE(test::waitFor([&] { return f.cbxDestPath->count() > 0; }, std::chrono::seconds(5)));
    QStringList items;
    for (int i = 0; i < f.cbxDestPath->count(); ++i)
        items << f.cbxDestPath->itemText(i);
    EXPECT_EQ(items, (QStringList{"/a", "/c"})); // keys 0..3 read; "5" never
    EXPECT_EQ(f.cbxDestPath->currentText(), "/typed/");
}

TEST_F(OutputDialog, SamePathChoiceStillRecordsTheGreyedFolder)
{
    writeSettings("[Options]\nConvertToSamePath=1\nDestPath=/kept/\n");
    TConvertOptionsForm f;
    f.show();
    f.btnOK->click();
    EXPECT_EQ(storedText("Options", "DestPath"), "/kept/");
    EXPECT_EQ(recent(), std::vector<std::string>{"0=/kept/"});
}

TEST_F(OutputDialog, MissingFolderIsOfferedForCreation)
{
    test::writeFile(tp.root() + "plainfile", "x");
    struct Case {
        std::string typed, asked;
        MessageAnswer answer;
        bool accepted;
        std::string error;
    };
    const std::string abc = tp.root() + "a/b/c";
    const Case cases[] = {
        {abc, abc, MessageAnswer::No, false, ""},
        {"  " + abc + "  ", abc, MessageAnswer::Yes, true, ""},
        {tp.root() + "plainfile/sub", tp.root() + "plainfile/sub", MessageAnswer::Yes, false, "Create path error!"},
        {"   ", "", MessageAnswer::Yes, false, "Unable to create directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        std::filesystem::remove_all(tp.root() + "a");
        std::filesystem::remove(tp.settingsPath());
        tp.messages.shown.clear();
        tp.messages.nextAnswers = {c.answer};
        TConvertOptionsForm f;
        f.show();
        f.rbtConvertToPath->click();
        f.cbxDestPath->setEditText(QString::fromStdString(c.typed));
        f.btnOK->click();

        ASSERT_GE(tp.messages.shown.size(), 1u);
        const auto& question = tp.messages.shown[0];
        EXPECT_EQ(question.text, "Directory is not found!\r\n\r\n'" + c.asked + "'\r\n\r\ndo you want to create it?");
        EXPECT_EQ(question.title, "Please select output fomat");
        EXPECT_EQ(question.icon, MessageIcon::Warning);
        EXPECT_EQ(question.buttons, MessageButtons::YesNo);
        if (c.error.empty()) {
            EXPECT_EQ(tp.messages.shown.size(), 1u);
        } else {
            ASSERT_EQ(tp.messages.shown.size(), 2u);
            EXPECT_EQ(tp.messages.shown[1].text, c.error);
            EXPECT_EQ(tp.messages.shown[1].title, "Vexlo");
            EXPECT_EQ(tp.messages.shown[1].icon, MessageIcon::Error);
        }
        EXPECT_EQ(f.isVisible(), !c.accepted);
        EXPECT_EQ(std::filesystem::is_directory(abc), c.accepted);
        EXPECT_EQ(std::filesystem::exists(tp.settingsPath()), c.accepted);
    }
}

TEST_F(OutputDialog, BrowseButtonShowsTheFolderWithoutSlashAndStoresItWithOne)
{
    const std::string chosen = folder("Picked");
    writeSettings("[Options]\nConvertToSamePath=0\nDestPath=/start/here/\n");
    TConvertOptionsForm f;
    f.show();
    f.btnSelectDestPath->click(); // cancelled: nothing changes
    EXPECT_EQ(f.cbxDestPath->currentText(), "/start/here/");
    tp.fileDialogs.nextFolder = {chosen};
    f.btnSelectDestPath->click();
    f.cbxDestPath->setEditText("");
    tp.fileDialogs.nextFolder = {chosen};
    f.btnSelectDestPath->click();

    ASSERT_EQ(tp.fileDialogs.folderCalls.size(), 3u);
    EXPECT_EQ(tp.fileDialogs.folderCalls[0].first, "Please select target directory");
    EXPECT_EQ(tp.fileDialogs.folderCalls[0].second, "/start/here");
    EXPECT_EQ(tp.fileDialogs.folderCalls[1].second, "/start/here");
    EXPECT_EQ(tp.fileDialogs.folderCalls[2].second, tp.programFolder().substr(0, tp.programFolder().size() - 1));
    EXPECT_EQ(f.cbxDestPath->currentText().toStdString(), chosen);
    f.btnOK->click();
    EXPECT_EQ(storedText("Options", "DestPath"), chosen + "/");
}

TEST_F(OutputDialog, HelpOpensTheHelpFileThroughTheDesktop)
{
    TConvertOptionsForm f;
    f.btnHelp->click();
    EXPECT_EQ(tp.shell.opened, std::vector<std::string>{tp.programFolder() + "Vexlo.chm"});
}

TEST_F(OutputDialog, FailedWriteIsReportedAndKeepsTheDialogOpen)
{
    writeSettings(kCatalogue);
    tp.fileDialogs.nextFolder = {tp.root() + "bad\nname"};
    TConvertOptionsForm f;
    f.show();
    f.rbtConvertToPath->click();
    f.btnSelectDestPath->click();
    std::filesystem::create_directories(tp.root() + "bad\nname");
    f.btnOK->click();
    EXPECT_TRUE(f.isVisible());
    ASSERT_EQ(tp.messages.shown.size(), 1u);
    EXPECT_EQ(tp.messages.shown[0].icon, MessageIcon::Error);
    EXPECT_NE(tp.messages.shown[0].text.find("Unable to write to"), std::string::npos);
    EXPECT_EQ(test::readFile(tp.settingsPath()), kCatalogue); // nothing half-written
}

TEST_F(OutputDialog, ShowOutputFormatDialogIsTrueOnlyAfterOk)
{
    writeSettings(kCatalogue);
    for (const char* button : {"btnCancel", "btnOK"}) {
        QTimer::singleShot(0, [button] {
            test::waitFor([] { return QApplication::activeModalWidget() != nullptr; }, std::chrono::seconds(5));
            if (auto* w = QApplication::activeModalWidget())
                w->findChild<QPushButton*>(button)->click();
        });
        const bool ok = settings::ShowOutputFormatDialog(nullptr);
        EXPECT_EQ(ok, std::string(button) == "btnOK");
        EXPECT_EQ(test::readFile(tp.settingsPath()) == kCatalogue, !ok);
    }
}

TEST_F(OutputDialog, EmbeddedFormLoadsOnItsPageAndAppliesOnRequest)
{
    writeSettings(kCatalogue);
    QWidget page;
    auto* f = new TConvertOptionsForm(&page, /*embedded*/ true);
    EXPECT_FALSE(f->isWindow());
    EXPECT_EQ(f->btnOK, nullptr);
    EXPECT_EQ(f->findChildren<QPushButton*>().size(), 3); // two restore buttons and "..."
    page.show();
    EXPECT_EQ(f->cbxVideoFormat->count(), 3);
    QTest::keyClick(f->cbxVideoBitrate, Qt::Key_Escape);
    EXPECT_TRUE(f->isVisible());

    f->rbtConvertToPath->click();
    f->cbxDestPath->setEditText(QString::fromStdString(tp.root() + "new"));
    tp.messages.nextAnswers = {MessageAnswer::No};
    EXPECT_FALSE(f->ApplyOutputSettings());
    EXPECT_EQ(test::readFile(tp.settingsPath()), kCatalogue);
    tp.messages.nextAnswers = {MessageAnswer::Yes};
    EXPECT_TRUE(f->ApplyOutputSettings());
    EXPECT_EQ(storedText("Options", "DestPath"), tp.root() + "new/");
    EXPECT_EQ(storedText("VideoFormat1", "VideoBitrate"), "");
}

} // namespace

namespace {

// A system-wide install: the program folder cannot be written (here it does
// not exist), so the settings are the user's own and the default destination
// is the user's videos folder, never the program folder.
TEST_F(OutputDialog, UnwritableProgramFolderUsesTheUsersSettingsAndVideosFolder)
{
    const std::string home = folder("home");
    folder("home/Videos");
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QByteArray::fromStdString(home));
    qunsetenv("XDG_CONFIG_HOME");
    tp.paths->exe = tp.root() + "system/vexlo";
    {
        TConvertOptionsForm f;
        f.show();
        EXPECT_EQ(f.cbxDestPath->currentText().toStdString(), home + "/Videos/");
        f.rbtConvertToPath->click();
        f.btnOK->click();
        EXPECT_EQ(f.result(), QDialog::Accepted);
    }
    EXPECT_EQ(
        settings::IniFile(home + "/.config/vexlo/vexlo.ini").readText("Options", "DestPath", ""), home + "/Videos/");
    EXPECT_FALSE(std::filesystem::exists(tp.root() + "system"));
    qputenv("HOME", oldHome);
    if (oldConfig.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", oldConfig);
}

} // namespace

// A folder typed with blanks around it is checked, created and stored without
// them: stored with the blank, every conversion into it would fail.
TEST_F(OutputDialog, TypedDestinationIsStoredTrimmed)
{
    const std::string dir = tp.root() + "new dir/sub";
    tp.messages.nextAnswers = {MessageAnswer::Yes};
    confirmFolder("  " + dir + " ");
    EXPECT_TRUE(std::filesystem::is_directory(dir));
    EXPECT_FALSE(std::filesystem::exists(dir + " "));
    EXPECT_EQ(storedText("Options", "DestPath"), dir + "/");
    EXPECT_EQ(recent(), (std::vector<std::string>{"0=" + dir}));
    // The same folder typed again with blanks is already in the recent list.
    confirmFolder(dir + "  ");
    EXPECT_EQ(recent(), (std::vector<std::string>{"0=" + dir}));
}

// Every parameter box of the dialog shows its longest item whole.
TEST_F(OutputDialog, ParameterBoxesShowTheirLongestItem)
{
    writeSettings(kCatalogue);
    TConvertOptionsForm f;
    f.show();
    for (QComboBox* box :
        {f.cbxFrameSize, f.cbxVideoBitrate, f.cbxFramerate, f.cbxAudioBitrate, f.cbxSampleBitrate, f.cbxChannels}) {
        SCOPED_TRACE(box->objectName().toStdString());
        const QComboBox::SizeAdjustPolicy policy = box->sizeAdjustPolicy();
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        EXPECT_GE(box->width(), box->sizeHint().width());
        box->setSizeAdjustPolicy(policy);
        // Nothing sticks out of its group, and nothing lies over the box.
        const QRect group = box->parentWidget()->rect();
        for (QWidget* sibling : box->parentWidget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            EXPECT_TRUE(group.contains(sibling->geometry())) << sibling->objectName().toStdString();
            if (sibling != box && !qobject_cast<QPushButton*>(sibling)) {
                EXPECT_FALSE(sibling->geometry().intersects(box->geometry())) << sibling->objectName().toStdString();
            }
        }
    }
    EXPECT_LE(f.GroupBox1->geometry().right(), f.width() - 1);
    EXPECT_LT(f.grbWhat->geometry().right(), f.GroupBox1->x());
    // No caption or button text is cut either.
    EXPECT_EQ(test::cutOffTexts(&f), std::vector<std::string>{});
}

TEST_F(OutputDialog, InstalledCatalogueListsEveryProfileWithAllItsValues)
{
    // The shipped catalogue and factory values as a fresh install has them.
    writeSettings(test::readFile(VEXLO_SOURCE_DIR "/data/vexlo.ini"));
    test::writeFile(tp.programFolder() + "VideoFormat.dat", test::readFile(VEXLO_SOURCE_DIR "/data/VideoFormat.dat"));
    TConvertOptionsForm f;
    f.show();
    ASSERT_EQ(f.cbxVideoFormat->count(), 25);
    EXPECT_EQ(f.cbxVideoFormat->itemText(17), "MPEG-2/SVCD/DVD Video (*.mpg)");
    EXPECT_EQ(f.cbxVideoFormat->itemText(18), "MP4 H.264 Video - Same as source (*.mp4)");
    EXPECT_EQ(f.cbxVideoFormat->itemText(24), "MKV H.265 archive, same as source (*.mkv)");
    for (int n = 0; n < f.cbxVideoFormat->count(); ++n) {
        SCOPED_TRACE(f.cbxVideoFormat->itemText(n).toStdString());
        f.cbxVideoFormat->setCurrentIndex(n);
        emit f.cbxVideoFormat->activated(n);
        // Every box shows a value, and the restore buttons give the same ones.
        const Shown values = shown(f);
        for (const QString& v : {values.frameSize, values.videoBitrate, values.framerate, values.audioBitrate,
                 values.sampleRate, values.channels})
            EXPECT_FALSE(v.isEmpty()) << values;
        f.btnRestoreVideo->click();
        f.btnRestoreAudio->click();
        EXPECT_EQ(shown(f), values);
        const bool editable
            = settings::IniFile(tp.settingsPath()).load().readFlag(settings::profileSectionName(n), "Edit", false);
        EXPECT_EQ(f.cbxFrameSize->isEnabled(), editable);
        EXPECT_TRUE(f.cbxVideoBitrate->isEnabled());
    }
    // The phone profile: its bound and constant quality, stored as shown.
    f.cbxVideoFormat->setCurrentIndex(20);
    emit f.cbxVideoFormat->activated(20);
    EXPECT_EQ(shown(f), (Shown{"Up to 1920 x 1080", "0", "Same as source file", "128", "48000", "Stereo"}));
    EXPECT_FALSE(f.cbxFrameSize->isEnabled());
    f.btnOK->click();
    ASSERT_EQ(f.result(), QDialog::Accepted);
    EXPECT_EQ(storedText("Options", "OutputFormat"), "20");
    EXPECT_EQ(storedText("VideoFormat20", "FrameSize"), "Up to 1920 x 1080");
    EXPECT_EQ(storedText("VideoFormat20", "VideoBitrate"), "0");
    settings::RunSettings run;
    settings::loadProfileSettings(stored(), 20, run);
    EXPECT_EQ(run.FrameWidth, -1920);
    EXPECT_EQ(run.FrameHeight, -1080);
    EXPECT_EQ(run.VideoBitrate, 0);
    test::saveScreenshot(&f, "output_dialog_phone_profile");
}
