#pragma once
// The about box: product name and version, the homepage and support-mail
// links, and the licence text button.
#include <QDialog>

class QColor;
class QFrame;
class QLabel;
class QPushButton;

namespace vexlo::dialogs {

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* owner = nullptr);
    ~TAboutForm() override;

    // Controls, at their fixed places in the 427 pixel wide client area.
    QFrame* Bevel2 = nullptr;
    QLabel* Image1 = nullptr;
    QFrame* Bevel3 = nullptr;
    QLabel* lblSoftwareName = nullptr;
    QLabel* lblHTTP = nullptr;
    QLabel* lblEMail = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnLicense = nullptr;

    static constexpr int kClientWidth = 427;
    static constexpr int kClientHeight = 89;

    // Sets the caption and the texts of the three labels.
    void FormCreate();
    // Opens the address shown by lblHTTP.
    void lblHTTPClick();
    // Opens "mailto:" followed by the address shown by the clicked label.
    void lblEMailClick(QLabel* clicked);
    // Opens license.txt in the program's folder.
    void btnLicenseClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QLabel* m_pressedLink = nullptr;
};

// Creates a fresh about box, shows it modally and destroys it.
void ShowAboutBox(QWidget* owner);

// The contrast of two colours as WCAG counts it: 1 (none) to 21.
qreal contrastRatio(const QColor& a, const QColor& b);

} // namespace vexlo::dialogs
