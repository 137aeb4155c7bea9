// Help (F1, the toolbar button, the output dialog's Help) opens Vexlo.chm only
// when the desktop has an application for it, else the HTML pages beside it.
// The desktop's MIME setup is a set of empty temporary XDG folders.
#include "AppTestSupport.h"
#include "support/MainWindowParts.h"

#include <QPushButton>
#include <cstdlib>

namespace vexlo::test {
namespace {

// Points every XDG folder at an empty temporary one while it lives.
class PrivateDesktop {
public:
    explicit PrivateDesktop(const std::string& root) : m_root(root + "xdg/")
    {
        for (const char* name : kNames) {
            const char* old = std::getenv(name);
            m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        }
        set("XDG_DATA_HOME", "data-home");
        set("XDG_DATA_DIRS", "data-dir");
        set("XDG_CONFIG_HOME", "config-home");
        set("XDG_CONFIG_DIRS", "config-dir");
        ::unsetenv("XDG_CURRENT_DESKTOP");
    }
    ~PrivateDesktop()
    {
        for (const auto& [name, value] : m_saved) {
            if (value)
                ::setenv(name, value->c_str(), 1);
            else
                ::unsetenv(name);
        }
    }
    std::string path(const std::string& relative) const { return m_root + relative; }

private:
    static constexpr const char* kNames[]
        = {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_CURRENT_DESKTOP"};
    void set(const char* name, const std::string& folder)
    {
        fs::create_directories(m_root + folder);
        ::setenv(name, (m_root + folder).c_str(), 1);
    }
    std::string m_root;
    std::vector<std::pair<const char*, std::optional<std::string>>> m_saved;
};

class HelpTest : public AppTest {
protected:
    void SetUp() override
    {
        writeFile(tp.programFolder() + "Vexlo.chm", "ITSF");
        writeFile(tp.programFolder() + "help/index.htm", "<html></html>");
    }
    PrivateDesktop desktop{tp.root()};
};

TEST_F(HelpTest, WithoutAChmViewerTheHtmlPagesOpenAndWithOneTheChm)
{
    auto w = open();
    activate(*w);
    QTest::keyClick(w.get(), Qt::Key_F1);
    EXPECT_EQ(tp.shell.opened, std::vector<std::string>{tp.programFolder() + "help/index.htm"});

    // An application that declares the type (here under its alias) is enough.
    writeFile(desktop.path("data-dir/applications/viewers/chmsee.desktop"),
        "[Desktop Entry]\nType=Application\nName=Viewer\nExec=viewer %f\nMimeType=application/x-chm;\n");
    tp.shell.opened.clear();
    test::actionOf(*w, "btnHelp")->trigger();
    EXPECT_EQ(tp.shell.opened, std::vector<std::string>{tp.programFolder() + "Vexlo.chm"});

    // The user removed that association: the HTML pages again.
    writeFile(desktop.path("config-home/mimeapps.list"),
        "[Removed Associations]\napplication/vnd.ms-htmlhelp=viewers-chmsee.desktop;\n");
    tp.shell.opened.clear();
    QTest::keyClick(w.get(), Qt::Key_F1);
    EXPECT_EQ(tp.shell.opened, std::vector<std::string>{tp.programFolder() + "help/index.htm"});
}

TEST_F(HelpTest, MissingHtmlPagesFallBackToTheChm)
{
    fs::remove_all(tp.programFolder() + "help");
    auto w = open();
    activate(*w);
    QTest::keyClick(w.get(), Qt::Key_F1);
    EXPECT_EQ(tp.shell.opened, std::vector<std::string>{tp.programFolder() + "Vexlo.chm"});
}

} // namespace
} // namespace vexlo::test
