#pragma once
// The output format and destination dialog ("Please select output fomat").
#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace vexlo::settings {

class TConvertOptionsForm : public QDialog {
    Q_OBJECT
public:
    // `embedded`: no frame and no OK/Cancel/Help buttons (the preferences
    // dialog's "General" page). The form loads from the settings file when shown.
    explicit TConvertOptionsForm(QWidget* parent = nullptr, bool embedded = false);
    ~TConvertOptionsForm() override;

    // ValidateDestination; on success SaveProfileParameters and SaveDestination.
    bool ApplyOutputSettings();

    // Controls, reachable by name (objectName) as well.
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
};

// Shows the dialog modally; true when left with OK after the choice was saved.
bool ShowOutputFormatDialog(QWidget* owner);

} // namespace vexlo::settings
