#include "ConvertOptionsControls.h"

#include "ConvertOptionsForm.h"
#include "settings/OutputChoices.h"

#include <QComboBox>
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

QComboBox* makeList(QWidget* parent, const char* name, const QStringList& items, int visibleRows, const QRect& geometry)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setEditable(false);
    box->addItems(items);
    box->setCurrentIndex(-1);
    box->setMaxVisibleItems(visibleRows);
    box->setGeometry(geometry);
    return box;
}

QLabel* makeLabel(
    QWidget* parent, const char* name, const QString& caption, const QRect& geometry, QWidget* buddy = nullptr)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    if (buddy)
        label->setBuddy(buddy);
    // A caption never narrower than its text in the desktop's font.
    label->setGeometry(geometry.adjusted(0, 0, std::max(0, label->sizeHint().width() - geometry.width()), 0));
    return label;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, const QRect& geometry)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    return button;
}

// The width a drop-down list needs to show its longest item.
int widthForItems(QComboBox* box)
{
    const QComboBox::SizeAdjustPolicy policy = box->sizeAdjustPolicy();
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    const int need = box->sizeHint().width();
    box->setSizeAdjustPolicy(policy);
    return need;
}

void widen(QWidget* w, int dx, int dwidth) { w->setGeometry(w->x() + dx, w->y(), w->width() + dwidth, w->height()); }

// The embedded form (the preferences dialog's "General" page) is narrower than
// the dialog, and scaling the dialog's layout down cuts the longest items. Its
// layout is computed from the desktop's font instead: each parameter group is
// as wide as its captions, its boxes' longest items and its units need, and
// the form grows beyond its designed width only when the two groups need more.
constexpr int kPad = 10;     // inside a group, left and right
constexpr int kGap = 4;      // caption to box, box to unit
constexpr int kGroupGap = 8; // between the two groups
constexpr int kRowTop = 22;  // first row inside a group
constexpr int kRowStep = 28;

struct ParameterRow {
    QLabel* caption;
    QComboBox* box;
    QLabel* unit; // null when the row has none
};

struct ParameterGroup {
    QGroupBox* group;
    std::vector<ParameterRow> rows;
    QPushButton* restore;

    int captionWidth() const
    {
        int w = 0;
        for (const ParameterRow& r : rows)
            w = std::max(w, r.caption->sizeHint().width());
        return w;
    }
    int unitWidth() const
    {
        int w = 0;
        for (const ParameterRow& r : rows)
            if (r.unit)
                w = std::max(w, r.unit->sizeHint().width());
        return w;
    }
    // The narrowest width that shows every caption, item, unit and the button whole.
    int need() const
    {
        int boxes = 0;
        for (const ParameterRow& r : rows)
            boxes = std::max(boxes, widthForItems(r.box));
        const int columns = kPad + captionWidth() + kGap + boxes + kGap + unitWidth() + kPad;
        return std::max(columns, restore->sizeHint().width() + 2 * kPad);
    }
    // Captions at the left, units at the right edge, boxes filling between.
    void place(int x, int width) const
    {
        const QRect old = group->geometry();
        group->setGeometry(x, old.y(), width, old.height());
        const int captionW = captionWidth();
        const int unitW = unitWidth();
        const int boxX = kPad + captionW + kGap;
        const int unitX = width - kPad - unitW;
        const int boxW = unitX - kGap - boxX;
        for (size_t i = 0; i < rows.size(); ++i) {
            const int y = kRowTop + int(i) * kRowStep;
            const int textH = std::max(16, rows[i].caption->sizeHint().height());
            const int textY = y + (22 - textH) / 2;
            rows[i].caption->setGeometry(kPad, textY, captionW, textH);
            rows[i].box->setGeometry(boxX, y, boxW, 22);
            if (rows[i].unit)
                rows[i].unit->setGeometry(unitX, textY, unitW, textH);
        }
        const QRect b = restore->geometry();
        restore->setGeometry(kPad, b.y(), width - 2 * kPad, b.height());
    }
};

template<typename T> T* child(QWidget* parent, const char* name)
{
    return parent->findChild<T*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
}

} // namespace

// The video boxes hold "Same as source file", longer in most desktop fonts than
// the design allows: the video group grows to the right by what its widest box
// lacks, and the audio group, whose items are short, gives up that width.
void fitBoxesToItems(QWidget* form)
{
    auto* video = form->findChild<QGroupBox*>(QStringLiteral("grbWhat"));
    auto* audio = form->findChild<QGroupBox*>(QStringLiteral("GroupBox1"));
    const QList<QComboBox*> videoBoxes = video->findChildren<QComboBox*>();
    const QList<QComboBox*> audioBoxes = audio->findChildren<QComboBox*>();
    int lack = 0;
    for (QComboBox* box : videoBoxes)
        lack = std::max(lack, widthForItems(box) - box->width());
    int spare = audio->width();
    for (QComboBox* box : audioBoxes)
        spare = std::min(spare, box->width() - widthForItems(box));
    const int grow = std::clamp(lack, 0, std::max(0, spare));
    if (grow == 0)
        return;
    widen(video, 0, grow);
    for (QWidget* child : video->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (qobject_cast<QComboBox*>(child) || qobject_cast<QPushButton*>(child))
            widen(child, 0, grow);
        else if (child->x() > 150) // the unit labels right of the boxes
            widen(child, grow, 0);
    }
    widen(audio, grow, -grow);
    for (QWidget* child : audio->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (qobject_cast<QComboBox*>(child) || qobject_cast<QPushButton*>(child))
            widen(child, 0, -grow);
        else if (child->x() > 150)
            widen(child, -grow, 0);
    }
}

void layOutEmbedded(TConvertOptionsForm& f)
{
    const ParameterGroup video{f.grbWhat,
        {{child<QLabel>(f.grbWhat, "lblFrameSize"), f.cbxFrameSize, nullptr},
            {child<QLabel>(f.grbWhat, "lblVideoBitrate"), f.cbxVideoBitrate,
                child<QLabel>(f.grbWhat, "lblVideoBitrateUnit")},
            {child<QLabel>(f.grbWhat, "lblFramerate"), f.cbxFramerate, child<QLabel>(f.grbWhat, "lblFramerateUnit")}},
        f.btnRestoreVideo};
    const ParameterGroup audio{f.GroupBox1,
        {{child<QLabel>(f.GroupBox1, "lblAudioBitrate"), f.cbxAudioBitrate,
             child<QLabel>(f.GroupBox1, "lblAudioBitrateUnit")},
            {child<QLabel>(f.GroupBox1, "lblSampleBitrate"), f.cbxSampleBitrate,
                child<QLabel>(f.GroupBox1, "lblSampleBitrateUnit")},
            {child<QLabel>(f.GroupBox1, "lblChannels"), f.cbxChannels, nullptr}},
        f.btnRestoreAudio};

    // The width goes to the groups in halves when both fit; otherwise each
    // gets what it needs and the rest is shared.
    const int videoNeed = video.need();
    const int audioNeed = audio.need();
    const int width = std::max(TConvertOptionsForm::kEmbeddedWidth, videoNeed + kGroupGap + audioNeed);
    const int half = (width - kGroupGap) / 2;
    int videoW = half;
    if (videoNeed > half || audioNeed > width - kGroupGap - half) {
        const int extra = width - kGroupGap - videoNeed - audioNeed;
        videoW = videoNeed + extra / 2;
    }
    video.place(0, videoW);
    audio.place(videoW + kGroupGap, width - kGroupGap - videoW);

    // The output format row spans the form.
    auto* formatCaption = child<QLabel>(&f, "lblOutputFormat");
    formatCaption->move(0, formatCaption->y());
    f.cbxVideoFormat->setGeometry(0, f.cbxVideoFormat->y(), width, f.cbxVideoFormat->height());

    // Destination: the path box between its radio button and the browse button.
    QGroupBox* where = f.grbWhere;
    where->setGeometry(0, where->y(), width, where->height());
    const QRect same = f.rbtConvertToSamePath->geometry();
    f.rbtConvertToSamePath->setGeometry(kPad, same.y(),
        std::min(width - 2 * kPad, std::max(same.width(), f.rbtConvertToSamePath->sizeHint().width())), same.height());
    const QRect path = f.rbtConvertToPath->geometry();
    const int pathW = std::max(path.width(), f.rbtConvertToPath->sizeHint().width());
    f.rbtConvertToPath->setGeometry(kPad, path.y(), pathW, path.height());
    const QRect browse = f.btnSelectDestPath->geometry();
    const int browseX = width - kPad - browse.width();
    f.btnSelectDestPath->move(browseX, browse.y());
    const int destX = kPad + pathW + 2;
    f.cbxDestPath->setGeometry(destX, f.cbxDestPath->y(), browseX - kGap - destX, f.cbxDestPath->height());

    f.setFixedSize(width, kEmbeddedHeight);
}

void TConvertOptionsForm::buildControls()
{
    // Output format.
    cbxVideoFormat = new QComboBox(this);
    cbxVideoFormat->setObjectName(QStringLiteral("cbxVideoFormat"));
    cbxVideoFormat->setEditable(false);
    cbxVideoFormat->setMaxVisibleItems(26);
    cbxVideoFormat->setGeometry(8, 26, 512, 22);
    cbxVideoFormat->addItems(itemList(kBuiltInProfileTitles));
    cbxVideoFormat->setCurrentIndex(-1);
    makeLabel(this, "lblOutputFormat", tr("&Output Format:"), QRect(8, 8, 200, 16), cbxVideoFormat);

    // Video.
    grbWhat = new QGroupBox(tr("&Video"), this);
    grbWhat->setObjectName(QStringLiteral("grbWhat"));
    grbWhat->setGeometry(8, 56, 252, 138);
    cbxFrameSize = makeList(grbWhat, "cbxFrameSize", itemList(kFrameSizeItems), 20, QRect(80, 22, 130, 22));
    makeLabel(grbWhat, "lblFrameSize", tr("Frame Size:"), QRect(10, 25, 68, 16), cbxFrameSize);
    cbxVideoBitrate = makeList(grbWhat, "cbxVideoBitrate", itemList(kVideoBitrateItems), 15, QRect(80, 50, 130, 22));
    cbxVideoBitrate->setToolTip(tr("0: no fixed bit rate; the encoder keeps a constant quality"));
    makeLabel(grbWhat, "lblVideoBitrate", tr("&Bitrate:"), QRect(10, 53, 68, 16), cbxVideoBitrate);
    makeLabel(grbWhat, "lblVideoBitrateUnit", tr("kbps"), QRect(214, 53, 34, 16));
    cbxFramerate = makeList(grbWhat, "cbxFramerate", itemList(kFramerateItems), 8, QRect(80, 78, 130, 22));
    makeLabel(grbWhat, "lblFramerate", tr("&Framerate:"), QRect(10, 81, 68, 16), cbxFramerate);
    makeLabel(grbWhat, "lblFramerateUnit", tr("fps"), QRect(214, 81, 34, 16));
    btnRestoreVideo = makeButton(grbWhat, "btnRestoreVideo", tr("&Restore Default Settings"), QRect(10, 106, 232, 24));

    // Audio.
    GroupBox1 = new QGroupBox(tr("Aud&io"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(268, 56, 252, 138);
    cbxAudioBitrate = makeList(GroupBox1, "cbxAudioBitrate", itemList(kAudioBitrateItems), 20, QRect(92, 22, 118, 22));
    makeLabel(GroupBox1, "lblAudioBitrate", tr("Bi&trate:"), QRect(10, 25, 80, 16), cbxAudioBitrate);
    makeLabel(GroupBox1, "lblAudioBitrateUnit", tr("kbps"), QRect(214, 25, 34, 16));
    cbxSampleBitrate = makeList(GroupBox1, "cbxSampleBitrate", itemList(kSampleRateItems), 8, QRect(92, 50, 118, 22));
    makeLabel(GroupBox1, "lblSampleBitrate", tr("Sample Rate:"), QRect(10, 53, 80, 16), cbxSampleBitrate);
    makeLabel(GroupBox1, "lblSampleBitrateUnit", tr("Hz"), QRect(214, 53, 34, 16));
    cbxChannels = makeList(GroupBox1, "cbxChannels", {tr("Mono"), tr("Stereo")}, 8, QRect(92, 78, 118, 22));
    makeLabel(GroupBox1, "lblChannels", tr("Channels:"), QRect(10, 81, 80, 16), cbxChannels);
    btnRestoreAudio
        = makeButton(GroupBox1, "btnRestoreAudio", tr("Restore &Default Settings"), QRect(10, 106, 232, 24));

    // Destination.
    grbWhere = new QGroupBox(tr("Output Fo&lder"), this);
    grbWhere->setObjectName(QStringLiteral("grbWhere"));
    grbWhere->setGeometry(8, 200, 512, 72);
    rbtConvertToSamePath = new QRadioButton(tr("&Convert to the same folder as source file"), grbWhere);
    rbtConvertToSamePath->setObjectName(QStringLiteral("rbtConvertToSamePath"));
    rbtConvertToSamePath->setGeometry(10, 20, 400, 20);
    rbtConvertToSamePath->setChecked(true);
    rbtConvertToPath = new QRadioButton(tr("&Path:"), grbWhere);
    rbtConvertToPath->setObjectName(QStringLiteral("rbtConvertToPath"));
    rbtConvertToPath->setGeometry(10, 44, 62, 20);
    cbxDestPath = new QComboBox(grbWhere);
    cbxDestPath->setObjectName(QStringLiteral("cbxDestPath"));
    cbxDestPath->setEditable(true);
    cbxDestPath->setInsertPolicy(QComboBox::NoInsert);
    cbxDestPath->setMaxVisibleItems(kMaxRecentPaths);
    cbxDestPath->setGeometry(74, 43, 398, 22);
    cbxDestPath->setEnabled(false);
    cbxDestPath->installEventFilter(this);
    btnSelectDestPath = makeButton(grbWhere, "btnSelectDestPath", QStringLiteral("..."), QRect(476, 43, 26, 22));
    btnSelectDestPath->setEnabled(false);

    if (!m_embedded) {
        btnOK = makeButton(this, "btnOK", tr("OK"), QRect(284, 279, 75, 25));
        btnOK->setDefault(true);
        btnCancel = makeButton(this, "btnCancel", tr("Cancel"), QRect(364, 279, 75, 25));
        btnHelp = makeButton(this, "btnHelp", tr("&Help"), QRect(444, 279, 75, 25));
        connect(btnOK, &QPushButton::clicked, this, &TConvertOptionsForm::btnOKClick);
        connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
        connect(btnHelp, &QPushButton::clicked, this, &TConvertOptionsForm::btnHelpClick);
    }

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

    // `activated` comes from the user only; loading selects without it.
    connect(cbxVideoFormat, &QComboBox::activated, this, &TConvertOptionsForm::cbxVideoFormatChange);
    connect(btnRestoreVideo, &QPushButton::clicked, this, &TConvertOptionsForm::btnRestoreVideoClick);
    connect(btnRestoreAudio, &QPushButton::clicked, this, &TConvertOptionsForm::btnRestoreAudioClick);
    connect(rbtConvertToSamePath, &QRadioButton::toggled, this, &TConvertOptionsForm::rbtConvertToPathClick);
    connect(rbtConvertToPath, &QRadioButton::toggled, this, &TConvertOptionsForm::rbtConvertToPathClick);
    connect(btnSelectDestPath, &QPushButton::clicked, this, &TConvertOptionsForm::btnSelectDestPathClick);
}

} // namespace vexlo::settings
