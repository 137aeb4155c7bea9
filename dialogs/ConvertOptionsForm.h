#pragma once
// The output format and destination dialog ("Please select output fomat").
#include <QDialog>

#include <cstdint>
#include <string>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace vexlo::settings {

class IniDocument;

class TConvertOptionsForm : public QDialog {
    Q_OBJECT
public:
    // `embedded`: no frame and no OK/Cancel/Help buttons (the preferences
    // dialog's "General" page). The form loads from the settings file when shown.
    explicit TConvertOptionsForm(QWidget* parent = nullptr, bool embedded = false);
    ~TConvertOptionsForm() override;

    // The width the embedded form is designed for (the preferences page, 12
    // pixels from its edge). It is wider only when the desktop's font needs it.
    static constexpr int kEmbeddedWidth = 436;

    // ValidateDestination; on success SaveProfileParameters and SaveDestination.
    // Loads the form first when it has never been shown. A failed write is shown
    // as an error message and gives false; nothing else is written then.
    bool ApplyOutputSettings();

    // The operations of the form. Each reads the settings file afresh; the
    // Save operations write it (SettingsError on a failed write).
    void LoadProfileList();
    void LoadProfileParameters(int32_t n);
    // Values from "VideoFormat.dat" in the program folder for the profile at
    // position `n`: the video boxes, or the audio boxes.
    void RestoreProfileDefaults(bool video, int32_t n);
    void LoadDestination();
    void LoadRecentPaths();
    // True when the destination may be used (asks to create a missing folder).
    bool ValidateDestination();
    void SaveProfileParameters();
    void SaveDestination();

    // Runs the loading of the first showing (LoadProfileList, LoadDestination)
    // unless it has run.
    void ensureLoaded();

    bool isEmbedded() const { return m_embedded; }
    // The `Edit` flag of the profile shown.
    bool profileEditable() const { return m_profileEditable; }

    // Controls, reachable by name (objectName) as well. The three buttons stay
    // null on the embedded form.
    QComboBox* cbxVideoFormat = nullptr;
    QComboBox* cbxFrameSize = nullptr;
    QComboBox* cbxVideoBitrate = nullptr;
    QComboBox* cbxFramerate = nullptr;
    QComboBox* cbxAudioBitrate = nullptr;
    QComboBox* cbxSampleBitrate = nullptr;
    QComboBox* cbxChannels = nullptr;
    QPushButton* btnRestoreVideo = nullptr;
    QPushButton* btnRestoreAudio = nullptr;
    QRadioButton* rbtConvertToSamePath = nullptr;
    QRadioButton* rbtConvertToPath = nullptr;
    QComboBox* cbxDestPath = nullptr;
    QPushButton* btnSelectDestPath = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnHelp = nullptr;

    QGroupBox* grbWhat = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QGroupBox* grbWhere = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildDestination();
    void setTabOrderOfControls();
    // Fixes the form at its designed size or at what its contents need.
    void fitToContents();
    void FormShow();
    void cbxVideoFormatChange(int index);
    void btnRestoreVideoClick();
    void btnRestoreAudioClick();
    void rbtConvertToPathClick();
    void cbxDestPathEnter();
    void btnSelectDestPathClick();
    void btnOKClick();
    void btnHelpClick();

    void ensureRecentPathsLoaded();
    void writeProfileParameters(IniDocument& doc) const;
    void writeDestination(IniDocument& doc) const;
    // Validates, then writes both groups in one atomic update of the settings
    // file. A failed write is shown and gives false.
    bool validateAndSave();
    void showError(const std::string& text);

    bool m_embedded = false;
    bool m_loaded = false;
    bool m_centred = false;
    bool m_profileEditable = false;
    bool m_recentPathsLoaded = false;
};

// Shows the dialog modally; true when left with OK after the choice was saved.
bool ShowOutputFormatDialog(QWidget* owner);

} // namespace vexlo::settings
