#include "TestDoubles.h"

#include "platform/IconFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <stdexcept>

namespace vexlo::platform {

MessageAnswer ScriptedMessageBoxes::show(
    QWidget*, const std::string& title, const std::string& text, MessageIcon icon, MessageButtons buttons)
{
    shown.push_back({title, text, icon, buttons});
    if (onShow)
        onShow(shown.back());
    if (!nextAnswers.empty()) {
        const MessageAnswer answer = nextAnswers.front();
        nextAnswers.pop_front();
        return answer;
    }
    return buttons == MessageButtons::YesNo ? defaultYesNo : MessageAnswer::Ok;
}

std::optional<std::vector<std::string>> ScriptedFileDialogs::openFiles(QWidget*, const std::string& title,
    const std::string& initialFolder, const std::vector<FileFilter>& filters, int selectedFilter)
{
    openCalls.push_back({title, initialFolder, filters, selectedFilter});
    if (nextOpenFiles.empty())
        return std::nullopt;
    auto answer = nextOpenFiles.front();
    nextOpenFiles.pop_front();
    return answer;
}

std::optional<std::string> ScriptedFileDialogs::chooseFolder(
    QWidget*, const std::string& title, const std::string& startFolder)
{
    folderCalls.emplace_back(title, startFolder);
    if (nextFolder.empty())
        return std::nullopt;
    auto answer = nextFolder.front();
    nextFolder.pop_front();
    return answer;
}

QImage FakeDesktop::extractIcon(const std::string& file, int index) const
{
    iconRequests.emplace_back(file, index);
    std::string library = systemDir;
    if (library.empty() || library.back() != '/')
        library += '/';
    library += "SHELL32.dll";
    if (file == library) {
        // A plain square whose colour tells the index apart.
        QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor::fromHsv((index * 37 % 360 + 360) % 360, 160, 200));
        return image;
    }
    return loadIconImage(file, index);
}

namespace {
std::string withSlash(const QString& path)
{
    std::string s = QFile::encodeName(path).toStdString();
    if (s.empty() || s.back() != '/')
        s += '/';
    return s;
}
} // namespace

TestPlatform::TestPlatform() : m_dir(std::make_unique<QTemporaryDir>())
{
    if (!m_dir->isValid())
        throw std::runtime_error("TestPlatform: cannot create a temporary folder");
    const std::string base = root();
    QDir().mkpath(QFile::decodeName((base + "bin").c_str()));
    QDir().mkpath(QFile::decodeName((base + "Documents").c_str()));
    QDir().mkpath(QFile::decodeName((base + "registry").c_str()));
    desktop.personal = base + "Documents/";
    paths = std::make_unique<FixedAppPaths>(base + "bin/vexlo");
    registry = std::make_unique<FolderRegistry>(registryRoot());

    if (const char* old = std::getenv("VEXLO_REGISTRY")) {
        m_hadRegistryEnv = true;
        m_oldRegistryEnv = old;
    }
    ::setenv("VEXLO_REGISTRY", registryRoot().c_str(), 1);
    // The pictures the program keeps between starts go to the test's folder,
    // never to the user's cache.
    if (const char* old = std::getenv("XDG_CACHE_HOME"))
        m_oldCacheEnv = old;
    ::setenv("XDG_CACHE_HOME", cacheRoot().c_str(), 1);

    Services doubles;
    doubles.registry = registry.get();
    doubles.shell = &shell;
    doubles.messages = &messages;
    doubles.fileDialogs = &fileDialogs;
    doubles.drives = &drives;
    doubles.desktop = &desktop;
    doubles.power = &power;
    doubles.paths = paths.get();
    doubles.session = &session;
    doubles.processes = services().processes; // real child processes
    m_previous = installServices(doubles);
}

TestPlatform::~TestPlatform()
{
    installServices(m_previous);
    if (m_hadRegistryEnv)
        ::setenv("VEXLO_REGISTRY", m_oldRegistryEnv.c_str(), 1);
    else
        ::unsetenv("VEXLO_REGISTRY");
    if (m_oldCacheEnv)
        ::setenv("XDG_CACHE_HOME", m_oldCacheEnv->c_str(), 1);
    else
        ::unsetenv("XDG_CACHE_HOME");
}

std::string TestPlatform::root() const { return withSlash(m_dir->path()); }

std::string TestPlatform::programFolder() const { return root() + "bin/"; }

std::string TestPlatform::settingsPath() const { return root() + "bin/vexlo.ini"; }

std::string TestPlatform::registryRoot() const { return root() + "registry"; }

std::string TestPlatform::cacheRoot() const { return root() + "cache"; }

} // namespace vexlo::platform
