#pragma once
// Shared fixture of the main-window suites: every test gets its own program
// folder, registry root and settings file (platform::TestPlatform), builds the
// real TMainForm and drives it; the scripted fake engine stands in for trevok.
#include "FakeEngine.h"
#include "support/MainWindowParts.h"
#include "app/MainForm.h"
#include "conversion/FileTransaction.h"
#include "platform/AppTitle.h"
#include "support/TestDoubles.h"
#include "settings/IniFile.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vexlo::test {

using app::TMainForm;
using conversion::RunMode;
namespace fs = std::filesystem;

// Answers every modal dialog that opens while it lives: accepts or rejects it
// and records what it saw. Polls, so it also reaches dialogs opened inside a
// nested event loop (a run's wait for the engine).
class ModalAnswerer {
public:
    explicit ModalAnswerer(bool accept) : m_accept(accept)
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }
    int seen = 0;
    std::vector<QString> classes;
    std::vector<QString> objectNames;
    std::vector<QString> titles;

private:
    void poll()
    {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible())
            return;
        ++seen;
        classes.push_back(QString::fromLatin1(w->metaObject()->className()));
        objectNames.push_back(w->objectName());
        titles.push_back(w->windowTitle());
        if (auto* dialog = qobject_cast<QDialog*>(w))
            m_accept ? dialog->accept() : dialog->reject();
        else
            w->close();
    }
    bool m_accept;
    QTimer m_timer;
};

// Records the progress texts as the reporter writes them.
class RecordingForm : public TMainForm {
public:
    using TMainForm::TMainForm;
    std::vector<std::string> panelTexts;
    std::vector<std::string> captions;
    void setStatusPanelText(const std::string& text) override
    {
        panelTexts.push_back(text);
        TMainForm::setStatusPanelText(text);
    }
    void setCaption(const std::string& text) override
    {
        captions.push_back(text);
        TMainForm::setCaption(text);
    }
};

class AppTest : public ::testing::Test {
protected:
    platform::TestPlatform tp;
    int finishedCount = 0;

    std::string root() const { return tp.root(); }

    // <root><name>/, created.
    std::string folder(const std::string& name) const
    {
        fs::create_directories(root() + name);
        return root() + name + "/";
    }
    static std::string file(const std::string& path, size_t bytes = 1536)
    {
        writeFile(path, std::string(bytes, 'v'));
        return path;
    }
    // A short real clip at `path`: a source whose conversion can be checked.
    static std::string clip(const std::string& path, int seconds = 1)
    {
        writeClip(path, seconds);
        return path;
    }
    // What the engine is handed for `target`: the run's own part file.
    static std::string partOf(const std::string& target) { return conversion::partFileName(target, 1); }
    void ini(const std::string& text) const { writeFile(tp.settingsPath(), text); }
    std::string iniText() const { return readFile(tp.settingsPath()); }
    settings::IniDocument iniDoc() const { return settings::IniDocument::parse(iniText()); }
    std::string iniValue(const char* section, const char* key) const
    {
        return iniDoc().value(section, key).value_or("<absent>");
    }

    // Settings for a run without the output dialog.
    static constexpr const char* kDirectRun = "[Options]\nDoNotShowConfirm=1\nConvertToMP3=1\nConvertToSamePath=1\n";

    template<class Form = TMainForm> std::unique_ptr<Form> create(const std::vector<std::string>& arguments = {})
    {
        auto w = std::make_unique<Form>(arguments);
        QObject::connect(w.get(), &TMainForm::finished, [this] { ++finishedCount; });
        return w;
    }
    template<class Form = TMainForm> std::unique_ptr<Form> open(const std::vector<std::string>& arguments = {})
    {
        auto w = create<Form>(arguments);
        w->show();
        if (!w->Silent) { // a silent window is never mapped
            EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        }
        return w;
    }
    static void activate(TMainForm& w)
    {
        w.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
    }
    // Closes as the close box does and waits until the program may end.
    bool closeAndWait(TMainForm& w)
    {
        const int before = finishedCount;
        w.close();
        return waitFor([&] { return finishedCount > before; }, std::chrono::seconds(10));
    }

    static std::vector<std::string> rows(const TMainForm& w)
    {
        std::vector<std::string> out;
        for (int i = 0; i < test::rowCount(w); ++i)
            out.push_back(test::rowPath(w, i));
        return out;
    }
    static void select(TMainForm& w, const std::vector<int>& indexes)
    {
        test::fileListOf(w)->clearSelection();
        for (int i : indexes)
            test::fileListOf(w)->topLevelItem(i)->setSelected(true);
    }
    static QString panel0(const TMainForm& w) { return w.StatusBar1->panelText(0); }

    std::string installEngine(const std::vector<std::string>& script = {})
    {
        const std::string path = installFakeEngine(tp);
        setFakeEngineScript(tp, script);
        return path;
    }
    std::vector<std::vector<std::string>> engineCalls() const { return fakeEngineCalls(tp); }
    // Field `k` (1-based) of call `call`'s argument.
    std::string field(size_t call, int k) const
    {
        const auto calls = engineCalls();
        if (call >= calls.size() || calls[call].empty())
            return "<no call>";
        const std::string& a = calls[call][0];
        size_t from = 0;
        for (int i = 1; i < k; ++i) {
            from = a.find('|', from);
            if (from == std::string::npos)
                return "<no field>";
            ++from;
        }
        return a.substr(from, a.find('|', from) - from);
    }

    // Runs `probe` once, as soon as the `n`th engine of the run has started,
    // from whatever loop is running then (the run's wait for that engine).
    void whenEngineStarts(size_t n, std::function<void()> probe)
    {
        auto* timer = new QTimer;
        timer->setInterval(5);
        QObject::connect(timer, &QTimer::timeout, [this, timer, n, probe = std::move(probe)] {
            if (engineCalls().size() < n)
                return;
            timer->stop();
            timer->deleteLater();
            probe();
        });
        timer->start();
    }
};

} // namespace vexlo::test
