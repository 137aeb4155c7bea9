// The README's "How to add a profile" done in a test: a profile added to a
// copy of the shipped catalogue is offered by the output dialog, reaches the
// engine's argument with its fields, and gets its file-manager entries.
#include "conversion/ConversionJob.h"
#include "dialogs/ConvertOptionsForm.h"
#include "integration/FileManagerActions.h"
#include "settings/IniFile.h"
#include "settings/RunSettings.h"
#include "support/TestDoubles.h"
#include "support/TestSupport.h"

#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <gtest/gtest.h>

using namespace vexlo;

namespace {

TEST(NewProfile, FlowsThroughTheDialogTheEngineArgumentAndTheEntries)
{
    platform::TestPlatform tp;
    const std::string shipped = test::readFile(std::string(VEXLO_SOURCE_DIR) + "/data/vexlo.ini");
    const int number = static_cast<int>(integration::catalogueProfiles(shipped).size());
    const std::string title = "Test Phone H.264 (1280x720) (*.mp4)";
    test::writeFile(tp.settingsPath(),
        shipped + "\n[VideoFormat" + std::to_string(number) + "]\nTitle=" + title
            + "\nVideoFormat=h264\nAudioFormat=ACC\nFileType=.mp4\nIsPSP=0\nEdit=1\nFrameSize=1280 x 720\n"
              "VideoBitrate=0\nFramerate=30\nAudioBitrate=160\nSampleBitrate=48000\nChannels=1\n");

    settings::TConvertOptionsForm form;
    form.show();
    ASSERT_EQ(form.cbxVideoFormat->count(), number + 1);
    EXPECT_EQ(form.cbxVideoFormat->itemText(number).toStdString(), title);
    form.cbxVideoFormat->setCurrentIndex(number);
    emit form.cbxVideoFormat->activated(number);
    form.rbtConvertToSamePath->click();
    form.btnOK->click();
    ASSERT_EQ(form.result(), QDialog::Accepted);

    const settings::IniDocument doc = settings::IniFile(tp.settingsPath()).load();
    const settings::RunSettings rs = settings::loadRunSettings(doc, tp.root());
    EXPECT_EQ(conversion::buildEngineArgument("/v/a.mts", "/v/.a.part.mp4", rs, 'S'),
        "/v/a.mts|/v/.a.part.mp4|h264|1280|720|0|30|2|160|48000|ACC|0|S");

    integration::Setup setup;
    setup.programFolder = tp.programFolder();
    setup.profiles = integration::catalogueProfiles(doc);
    const auto files = integration::generatedFiles(setup, {tp.root() + "data", tp.root() + "config", {}});
    EXPECT_TRUE(std::any_of(files.begin(), files.end(), [&](const integration::GeneratedFile& f) {
        return f.content.find(title) != std::string::npos || f.path.find(title) != std::string::npos;
    })) << "an entry for the new profile";
}

} // namespace
