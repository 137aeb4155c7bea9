#include "ConvertOptionsControls.h"

#include "ConvertOptionsForm.h"
#include "FontFit.h"
#include "settings/OutputChoices.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

namespace vexlo::settings {

namespace {

template<size_t N> QStringList itemList(const std::array<std::string_view, N>& items)
{
    QStringList list;
    list.reserve(qsizetype(N));
    for (std::string_view item : items)
        list.append(QString::fromUtf8(item.data(), qsizetype(item.size())));
    return list;
}

// Designed sizes at the standard font; each control grows where its font
// needs more (FontFit), and the layouts place the controls.
constexpr int kCaptionHeight = 16;
constexpr int kBoxHeight = 22;
constexpr int kRadioHeight = 20;
constexpr QSize kRestoreButton(232, 24);
constexpr QSize kDialogButton(75, 25);
constexpr QSize kBrowseButton(26, 22);
constexpr int kPad = 10;      // inside a group, left and right
constexpr int kRowTop = 22;   // the first row's top inside a group
constexpr int kGroupGap = 8;  // between the video and the audio group
constexpr int kRowGap = 6;    // between the rows of a group
constexpr int kColumnGap = 4; // caption to box, box to unit

QComboBox* makeList(QWidget* parent, const char* name, const QStringList& items, int visibleRows)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setEditable(false);
    box->addItems(items);
    box->setCurrentIndex(-1);
    box->setMaxVisibleItems(visibleRows);
    // As wide as the longest item needs, as high as a line of the font.
    box->setMinimumSize(dialogs::widthForItems(box), dialogs::fieldHeightFor(box, kBoxHeight));
    box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return box;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, QWidget* buddy = nullptr)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    if (buddy)
        label->setBuddy(buddy);
    dialogs::fitText(label, kCaptionHeight);
    return label;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, QSize design)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    dialogs::fitButton(button, design);
    return button;
}

// The margins that put a group's contents `top` pixels below its upper edge
// and kPad inside its sides, whatever room the group's own frame and title take.
void setGroupMargins(QGroupBox* group, QLayout* layout, int top, int bottom)
{
    const QMargins frame = group->contentsMargins();
    layout->setContentsMargins(std::max(0, kPad - frame.left()), std::max(0, top - frame.top()),
        std::max(0, kPad - frame.right()), std::max(0, bottom - frame.bottom()));
}

// A parameter group: captions, boxes and units in three columns, the restore
// button across the group below them. `captionWidth`: the caption column's
// designed width.
struct ParameterRow {
    QLabel* caption;
    QComboBox* box;
    QLabel* unit; // null when the row has none
};

void layOutParameters(QGroupBox* group, const std::vector<ParameterRow>& rows, QPushButton* restore, int captionWidth)
{
    auto* grid = new QGridLayout(group);
    grid->setHorizontalSpacing(kColumnGap);
    grid->setVerticalSpacing(kRowGap);
    setGroupMargins(group, grid, kRowTop, 8);
    grid->setColumnMinimumWidth(0, captionWidth);
    grid->setColumnStretch(1, 1);
    for (int i = 0; i < int(rows.size()); ++i) {
        grid->addWidget(rows[size_t(i)].caption, i, 0, Qt::AlignVCenter);
        grid->addWidget(rows[size_t(i)].box, i, 1);
        if (rows[size_t(i)].unit)
            grid->addWidget(rows[size_t(i)].unit, i, 2, Qt::AlignVCenter);
    }
    // Across the group; as narrow as its text allows when the group is.
    restore->setMinimumWidth(dialogs::buttonSizeFor(restore, QSize(0, kRestoreButton.height())).width());
    restore->setMaximumWidth(QWIDGETSIZE_MAX);
    restore->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    grid->addWidget(restore, int(rows.size()), 0, 1, 3);
}

} // namespace

void TConvertOptionsForm::buildControls()
{
    // Output format.
    cbxVideoFormat = makeList(this, "cbxVideoFormat", itemList(kBuiltInProfileTitles), 26);
    auto* lblOutputFormat = makeLabel(this, "lblOutputFormat", tr("&Output Format:"), cbxVideoFormat);

    // Video.
    grbWhat = new QGroupBox(tr("&Video"), this);
    grbWhat->setObjectName(QStringLiteral("grbWhat"));
    cbxFrameSize = makeList(grbWhat, "cbxFrameSize", itemList(kFrameSizeItems), 20);
    cbxVideoBitrate = makeList(grbWhat, "cbxVideoBitrate", itemList(kVideoBitrateItems), 15);
    cbxVideoBitrate->setToolTip(tr("0: no fixed bit rate; the encoder keeps a constant quality"));
    cbxFramerate = makeList(grbWhat, "cbxFramerate", itemList(kFramerateItems), 8);
    btnRestoreVideo = makeButton(grbWhat, "btnRestoreVideo", tr("&Restore Default Settings"), kRestoreButton);
    layOutParameters(grbWhat,
        {{makeLabel(grbWhat, "lblFrameSize", tr("Frame Size:"), cbxFrameSize), cbxFrameSize, nullptr},
            {makeLabel(grbWhat, "lblVideoBitrate", tr("&Bitrate:"), cbxVideoBitrate), cbxVideoBitrate,
                makeLabel(grbWhat, "lblVideoBitrateUnit", tr("kbps"))},
            {makeLabel(grbWhat, "lblFramerate", tr("&Framerate:"), cbxFramerate), cbxFramerate,
                makeLabel(grbWhat, "lblFramerateUnit", tr("fps"))}},
        btnRestoreVideo, 66);

    // Audio.
    GroupBox1 = new QGroupBox(tr("Aud&io"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    cbxAudioBitrate = makeList(GroupBox1, "cbxAudioBitrate", itemList(kAudioBitrateItems), 20);
    cbxSampleBitrate = makeList(GroupBox1, "cbxSampleBitrate", itemList(kSampleRateItems), 8);
    cbxChannels = makeList(GroupBox1, "cbxChannels", {tr("Mono"), tr("Stereo")}, 8);
    btnRestoreAudio = makeButton(GroupBox1, "btnRestoreAudio", tr("Restore &Default Settings"), kRestoreButton);
    layOutParameters(GroupBox1,
        {{makeLabel(GroupBox1, "lblAudioBitrate", tr("Bi&trate:"), cbxAudioBitrate), cbxAudioBitrate,
             makeLabel(GroupBox1, "lblAudioBitrateUnit", tr("kbps"))},
            {makeLabel(GroupBox1, "lblSampleBitrate", tr("Sample Rate:"), cbxSampleBitrate), cbxSampleBitrate,
                makeLabel(GroupBox1, "lblSampleBitrateUnit", tr("Hz"))},
            {makeLabel(GroupBox1, "lblChannels", tr("Channels:"), cbxChannels), cbxChannels, nullptr}},
        btnRestoreAudio, 78);
    // The two restore buttons read alike: a screen reader tells them apart.
    btnRestoreVideo->setAccessibleName(tr("Restore the default video settings"));
    btnRestoreAudio->setAccessibleName(tr("Restore the default audio settings"));

    buildDestination();

    // The form: the format row, the two parameter groups side by side, the
    // destination, and (as a dialog of its own) the buttons at the right.
    auto* column = new QVBoxLayout(this);
    column->setSpacing(0);
    column->setContentsMargins(m_embedded ? QMargins(0, 8, 0, 4) : QMargins(8, 8, 8, 5));
    column->addWidget(lblOutputFormat);
    column->addSpacing(2);
    column->addWidget(cbxVideoFormat);
    column->addSpacing(8);
    auto* groups = new QHBoxLayout;
    groups->setSpacing(kGroupGap);
    groups->addWidget(grbWhat, 1);
    groups->addWidget(GroupBox1, 1);
    column->addLayout(groups);
    column->addSpacing(6);
    column->addWidget(grbWhere);
    column->addStretch(1);
    if (!m_embedded) {
        column->addSpacing(7);
        btnOK = makeButton(this, "btnOK", tr("OK"), kDialogButton);
        btnOK->setDefault(true);
        btnCancel = makeButton(this, "btnCancel", tr("Cancel"), kDialogButton);
        btnHelp = makeButton(this, "btnHelp", tr("&Help"), kDialogButton);
        auto* buttons = new QHBoxLayout;
        buttons->setSpacing(5);
        buttons->setContentsMargins(0, 0, 1, 0);
        buttons->addStretch(1);
        for (QPushButton* button : {btnOK, btnCancel, btnHelp})
            buttons->addWidget(button);
        column->addLayout(buttons);
        connect(btnOK, &QPushButton::clicked, this, &TConvertOptionsForm::btnOKClick);
        connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
        connect(btnHelp, &QPushButton::clicked, this, &TConvertOptionsForm::btnHelpClick);
    }

    setTabOrderOfControls();
    // `activated` comes from the user only; loading selects without it.
    connect(cbxVideoFormat, &QComboBox::activated, this, &TConvertOptionsForm::cbxVideoFormatChange);
    connect(btnRestoreVideo, &QPushButton::clicked, this, &TConvertOptionsForm::btnRestoreVideoClick);
    connect(btnRestoreAudio, &QPushButton::clicked, this, &TConvertOptionsForm::btnRestoreAudioClick);
    connect(rbtConvertToSamePath, &QRadioButton::toggled, this, &TConvertOptionsForm::rbtConvertToPathClick);
    connect(rbtConvertToPath, &QRadioButton::toggled, this, &TConvertOptionsForm::rbtConvertToPathClick);
    connect(btnSelectDestPath, &QPushButton::clicked, this, &TConvertOptionsForm::btnSelectDestPathClick);
}

// The destination group: the first choice on a row of its own, the second
// with the path box and the browse button beside it.
void TConvertOptionsForm::buildDestination()
{
    grbWhere = new QGroupBox(tr("Output Fo&lder"), this);
    grbWhere->setObjectName(QStringLiteral("grbWhere"));
    rbtConvertToSamePath = new QRadioButton(tr("&Convert to the same folder as source file"), grbWhere);
    rbtConvertToSamePath->setObjectName(QStringLiteral("rbtConvertToSamePath"));
    rbtConvertToSamePath->setChecked(true);
    dialogs::fitText(rbtConvertToSamePath, kRadioHeight);
    rbtConvertToPath = new QRadioButton(tr("&Path:"), grbWhere);
    rbtConvertToPath->setObjectName(QStringLiteral("rbtConvertToPath"));
    dialogs::fitText(rbtConvertToPath, kRadioHeight);
    rbtConvertToPath->setMinimumWidth(std::max(62, rbtConvertToPath->minimumWidth()));
    cbxDestPath = new QComboBox(grbWhere);
    cbxDestPath->setObjectName(QStringLiteral("cbxDestPath"));
    cbxDestPath->setEditable(true);
    cbxDestPath->setInsertPolicy(QComboBox::NoInsert);
    cbxDestPath->setMaxVisibleItems(kMaxRecentPaths);
    cbxDestPath->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbxDestPath->setMinimumContentsLength(12);
    cbxDestPath->setFixedHeight(dialogs::fieldHeightFor(cbxDestPath, kBoxHeight));
    cbxDestPath->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    cbxDestPath->setEnabled(false);
    cbxDestPath->installEventFilter(this);
    btnSelectDestPath = makeButton(grbWhere, "btnSelectDestPath", QStringLiteral("..."),
        kBrowseButton.expandedTo(QSize(0, cbxDestPath->height())));
    btnSelectDestPath->setEnabled(false);
    // "..." means nothing read aloud: a screen reader says what it does.
    btnSelectDestPath->setAccessibleName(tr("Choose the output folder"));
    btnSelectDestPath->setToolTip(btnSelectDestPath->accessibleName());

    auto* grid = new QGridLayout(grbWhere);
    grid->setHorizontalSpacing(2);
    grid->setVerticalSpacing(3);
    setGroupMargins(grbWhere, grid, 20, 7);
    grid->addWidget(rbtConvertToSamePath, 0, 0, 1, 3);
    grid->addWidget(rbtConvertToPath, 1, 0, Qt::AlignVCenter);
    grid->addWidget(cbxDestPath, 1, 1);
    grid->addWidget(btnSelectDestPath, 1, 2);
    grid->setColumnStretch(1, 1);
}

void TConvertOptionsForm::setTabOrderOfControls()
{
    const QList<QWidget*> order = {cbxVideoFormat, cbxFrameSize, cbxVideoBitrate, cbxFramerate, btnRestoreVideo,
        cbxAudioBitrate, cbxSampleBitrate, cbxChannels, btnRestoreAudio, rbtConvertToSamePath, rbtConvertToPath,
        cbxDestPath, btnSelectDestPath};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    if (!m_embedded) {
        setTabOrder(btnSelectDestPath, btnOK);
        setTabOrder(btnOK, btnCancel);
        setTabOrder(btnCancel, btnHelp);
    }
}

} // namespace vexlo::settings
