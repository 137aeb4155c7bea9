#include "FileManagerActions.h"
#include "FileManagerActionsInternal.h"

#include "base/Text.h"
#include "base/VideoNames.h"

#include "platform/UserFolders.h"
#include "settings/Catalogue.h"

#include <QString>
#include <QXmlStreamReader>

#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vexlo::integration {

using namespace detail;

namespace {

// The extensions Vexlo takes ("avi", "wmv", ...), from the list its file
// rules use for drops and the command line.
std::vector<std::string> supportedExtensions() { return videonames::acceptedVideoExtensions(); }

// "000".."999", "1000" and beyond; "add" for the output dialog.
std::string actionKey(int number)
{
    if (number < 0)
        return "add";
    std::string digits = std::to_string(number);
    return std::string(digits.size() < 3 ? 3 - digits.size() : 0, '0') + digits;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size()))
        text.replace(pos, from.size(), to);
    return text;
}

// A value of a desktop-entry style key file: backslashes and line breaks escaped.
std::string keyValue(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// One argument of an Exec line (desktop entry rules): quoted when it holds a
// reserved character; "%" doubled.
std::string execArgument(const std::string& arg)
{
    static const std::string reserved = " \t\n\"'\\><~|&;$*?#()`=";
    std::string out;
    if (arg.find_first_of(reserved) == std::string::npos && !arg.empty()) {
        out = arg;
    } else {
        out = "\"";
        for (char c : arg) {
            if (c == '"' || c == '`' || c == '$' || c == '\\')
                out += '\\';
            out += c;
        }
        out += '"';
    }
    return replaceAll(out, "%", "%%");
}

// One argument of a command that is split the way a POSIX shell splits words
// (Thunar, Caja): single quotes when needed.
std::string shellArgument(const std::string& arg)
{
    static const std::string plain = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-+,:@";
    if (!arg.empty() && arg.find_first_not_of(plain) == std::string::npos)
        return replaceAll(arg, "%", "%%");
    return replaceAll("'" + replaceAll(arg, "'", "'\\''") + "'", "%", "%%");
}

// One word for a POSIX shell: single quotes when needed.
std::string shWord(const std::string& arg)
{
    static const std::string plain = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-+,:@=";
    if (!arg.empty() && arg.find_first_not_of(plain) == std::string::npos)
        return arg;
    return "'" + replaceAll(arg, "'", "'\\''") + "'";
}

std::string execLine(const Setup& setup, int number, std::string (*quote)(const std::string&))
{
    std::string line = setup.launcher.empty() ? quote(setup.programFolder + "vexlo")
                                              : quote("/bin/sh") + " " + quote(setup.launcher) + " vexlo";
    for (const std::string& arg : vexloArguments(number))
        line += " " + quote(arg);
    return line + " %F";
}

std::string xmlText(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// A file name made from a profile title: "/" shown as the look-alike U+2215
// (the menu shows the file name), no control characters, no leading dot.
std::string fileNameFor(const std::string& title)
{
    std::string name;
    for (char c : title) {
        if (c == '/')
            name += "\u2215";
        else
            name += static_cast<unsigned char>(c) < 0x20 ? '-' : c;
    }
    while (!name.empty() && name.front() == '.')
        name.erase(0, 1);
    return name.empty() ? "profile" : name;
}

struct Entry {
    int number; // < 0: the output dialog
    std::string title;
};

// The output dialog first, then every profile.
std::vector<Entry> entriesOf(const Setup& setup)
{
    std::vector<Entry> entries{{-1, kDialogTitle}};
    for (const Profile& p : setup.profiles)
        entries.push_back({p.number, p.title});
    return entries;
}

const char* const kOpensText = QT_TRANSLATE_NOOP(
    "FileManagerActions", "Opens the selected videos in Vexlo to choose the output format and destination");
const char* const kConvertsText = QT_TRANSLATE_NOOP(
    "FileManagerActions", "Converts the selected videos with Vexlo's output format \"%s\" into their own folders");
const char* const kVideoFilesText = QT_TRANSLATE_NOOP("FileManagerActions", "Video files");
const char* const kGoneText = QT_TRANSLATE_NOOP(
    "FileManagerActions", "Vexlo is no longer in %s: its entries were removed from the menus of your file managers.");

const Translate current = [](const char* english) { return inCurrentLanguage(english); };

std::string withValue(std::string text, const std::string& value)
{
    const size_t at = text.find("%s");
    return at == std::string::npos ? text : text.replace(at, 2, value);
}

std::string entryName(const Entry& e, const Translate& t) { return e.number < 0 ? t(kDialogTitle) : e.title; }

std::string description(const Entry& e, const Translate& t)
{
    return e.number < 0 ? t(kOpensText) : withValue(t(kConvertsText), e.title);
}

std::string flatName(const Entry& e, const Translate& t)
{
    return e.number < 0 ? t(kDialogTitle) : t(kMenuTitle) + ": " + e.title;
}

std::string goneMessage(const Setup& setup) { return withValue(current(kGoneText), setup.programFolder); }

} // namespace

std::vector<Profile> catalogueProfiles(const std::string& settingsText)
{
    return catalogueProfiles(settings::IniDocument::parse(settingsText));
}

std::vector<Profile> catalogueProfiles(const settings::IniDocument& settings)
{
    std::vector<Profile> profiles;
    for (const std::string& title : settings::catalogueTitles(settings))
        profiles.push_back({int(profiles.size()), title});
    return profiles;
}

Folders foldersFromEnvironment()
{
    Folders f;
    f.dataHome = platform::dataHome();
    f.configHome = platform::configHome();
    f.configDirs = platform::xdgSearchFolders("XDG_CONFIG_DIRS", {"/etc/xdg"});
    return f;
}

const std::vector<std::string>& videoMimeTypes() { return videonames::acceptedVideoMimeTypes(); }

std::vector<std::string> videoNamePatterns()
{
    std::vector<std::string> patterns;
    for (const std::string& lower : supportedExtensions()) {
        const std::string upper = text::asciiUpper(lower);
        patterns.push_back("*." + lower);
        if (upper != lower)
            patterns.push_back("*." + upper);
    }
    return patterns;
}

std::vector<std::string> vexloArguments(int profileNumber)
{
    if (profileNumber < 0)
        return {"ADD:", "--"};
    if (profileNumber > 999)
        return {"-" + std::to_string(profileNumber), "--"};
    return {actionKey(profileNumber) + ":", "--"};
}

namespace {

// Nautilus: one executable script per entry in a submenu folder. A shell
// script rather than the helper on the "#!" line: the kernel cuts that line
// at the first blank and after 255 bytes, and a program folder may hold both.
void addNautilusScripts(const Setup& setup, const Folders& folders, std::vector<GeneratedFile>& files)
{
    const std::string start = setup.launcher.empty() ? shWord(setup.programFolder + "palvex-integration")
                                                     : "/bin/sh " + shWord(setup.launcher) + " palvex-integration";
    std::set<std::string> names;
    for (const Entry& e : entriesOf(setup)) {
        const std::string title = entryName(e, current);
        std::string name = fileNameFor(title);
        for (int n = 2; names.count(name); ++n)
            name = fileNameFor(title) + " (" + std::to_string(n) + ")";
        names.insert(name);
        std::string text = "#!/bin/sh\n# " + markLine() + "\n";
        text += "# " + replaceAll(description(e, current), "\n", " ") + ".\n";
        text += "# Written by Vexlo's shell integration; removed by it when switched off.\n";
        text += "exec " + start + " --nautilus-script=" + (e.number < 0 ? std::string("ADD") : std::to_string(e.number))
            + " \"$0\" \"$@\"\n";
        files.push_back({nautilusFolder(folders) + "/" + name, text, true});
    }
}

// Dolphin: one service menu with a submenu of actions.
GeneratedFile dolphinMenu(const Setup& setup, const Folders& folders)
{
    const auto menuTitle = [](const Translate& t) { return keyValue(t(kMenuTitle)); };
    std::string text = "[Desktop Entry]\nType=Service\n" + localizedKey("Name", menuTitle)
        + "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\nMimeType=";
    for (const std::string& t : videoMimeTypes())
        text += t + ";";
    text += "\n" + localizedKey("X-KDE-Submenu", menuTitle);
    text += "Icon=vexlo\n" + markLine() + "\nActions=";
    const std::vector<Entry> entries = entriesOf(setup);
    for (const Entry& e : entries)
        text += "vexlo" + actionKey(e.number) + ";";
    text += "\n";
    for (const Entry& e : entries) {
        text += "\n[Desktop Action vexlo" + actionKey(e.number) + "]\n";
        text += localizedKey("Name", [&e](const Translate& t) { return keyValue(entryName(e, t)); });
        text += "Icon=vexlo\n";
        text += "Exec=" + keyValue(execLine(setup, e.number, execArgument)) + "\n";
    }
    return {dolphinFolder(folders) + "/vexlo-convert.desktop", text, true};
}

// Nemo: one action file per entry.
void addNemoActions(const Setup& setup, const Folders& folders, std::vector<GeneratedFile>& files)
{
    std::string extensions;
    for (const std::string& ext : supportedExtensions())
        extensions += ext + ";";
    for (const Entry& e : entriesOf(setup)) {
        std::string text = "[Nemo Action]\n";
        text += localizedKey(
            "Name", [&e](const Translate& t) { return keyValue(replaceAll(flatName(e, t), "%", "%%")); });
        text += localizedKey(
            "Comment", [&e](const Translate& t) { return keyValue(replaceAll(description(e, t), "%", "%%")); });
        text += "Exec=" + keyValue(execLine(setup, e.number, execArgument)) + "\n";
        text += "Icon-Name=vexlo\nSelection=notnone\nExtensions=" + extensions + "\nQuote=double\n";
        text += markLine() + "\n";
        files.push_back({nemoFolder(folders) + "/vexlo-convert-" + actionKey(e.number) + ".nemo_action", text, false});
    }
}

// Caja (FileManager-Actions): a menu and one action per entry.
void addCajaActions(const Setup& setup, const Folders& folders, std::vector<GeneratedFile>& files)
{
    const std::vector<Entry> entries = entriesOf(setup);
    std::string patterns;
    for (const std::string& p : videoNamePatterns())
        patterns += p + ";";
    std::string menu = "[Desktop Entry]\nType=Menu\n"
        + localizedKey("Name", [](const Translate& t) { return keyValue(t(kMenuTitle)); }) + "Icon=vexlo\nItemsList=";
    for (const Entry& e : entries)
        menu += "vexlo-convert-" + actionKey(e.number) + ";";
    menu += "\n" + markLine() + "\n";
    files.push_back({cajaFolder(folders) + "/vexlo-convert-menu.desktop", menu, false});
    for (const Entry& e : entries) {
        std::string text = "[Desktop Entry]\nType=Action\n";
        text += localizedKey("Name", [&e](const Translate& t) { return keyValue(entryName(e, t)); });
        text += localizedKey("Tooltip", [&e](const Translate& t) { return keyValue(description(e, t)); });
        text += "Icon=vexlo\nProfiles=files;\n" + markLine() + "\n\n";
        text += "[X-Action-Profile files]\n"
            + localizedKey("Name", [](const Translate& t) { return t(kVideoFilesText); });
        text += "Exec=" + keyValue(execLine(setup, e.number, shellArgument)) + "\n";
        text += "Basenames=" + patterns + "\nMatchcase=true\nSelectionCount=>0\nSchemes=file;\n";
        files.push_back({cajaFolder(folders) + "/vexlo-convert-" + actionKey(e.number) + ".desktop", text, false});
    }
}

} // namespace

std::vector<GeneratedFile> generatedFiles(const Setup& setup, const Folders& folders)
{
    std::vector<GeneratedFile> files;
    addNautilusScripts(setup, folders, files);
    if (setup.keyFileManagers) {
        files.push_back(dolphinMenu(setup, folders));
        addNemoActions(setup, folders, files);
        addCajaActions(setup, folders, files);
    }
    return files;
}

std::vector<GeneratedFile> systemFiles(const Setup& setup, const std::string& shareFolder)
{
    Folders folders;
    folders.dataHome = shareFolder;
    std::vector<GeneratedFile> files{dolphinMenu(setup, folders)};
    files.back().executable = false; // only a user's own service menu must be executable
    addNemoActions(setup, folders, files);
    addCajaActions(setup, folders, files);
    return files;
}

std::string launcherPath(const Folders& folders) { return folders.dataHome + "/vexlo/vexlo-launch"; }

GeneratedFile launcherFile(const Setup& setup, const Folders& folders)
{
    const std::string mark = markLine();
    std::string text = "#!/bin/sh\n# " + mark + "\n";
    text += "# Starts Vexlo for this user's \"Convert with Vexlo\" entries. Once Vexlo is gone, it\n"
            "# takes those entries away, and itself, and says so once.\n";
    text += "program=" + shWord(setup.programFolder) + "\ntool=$1\nshift\n";
    text += "if [ -x \"$program$tool\" ]; then\n    exec \"$program$tool\" \"$@\"\nfi\n";
    text += "for f in " + shWord(nautilusFolder(folders)) + "/* " + shWord(dolphinFolder(folders)) + "/vexlo-convert* "
        + shWord(nemoFolder(folders)) + "/vexlo-convert* " + shWord(cajaFolder(folders)) + "/vexlo-convert*; do\n";
    text += "    if [ -f \"$f\" ] && grep -q -x -F -e '" + mark + "' -e '# " + mark + "' \"$f\"; then\n";
    text += "        rm -f -- \"$f\"\n    fi\ndone\n";
    text += "rmdir -- " + shWord(nautilusFolder(folders)) + " 2>/dev/null\n";
    text += "uca=" + shWord(thunarFile(folders)) + "\n";
    text += "if [ -f \"$uca\" ] && grep -q -F -e '" + std::string(kThunarBegin) + "' \"$uca\"; then\n";
    text += "    sed -e '/" + replaceAll(kThunarBegin, "/", "\\/") + "/,/" + replaceAll(kThunarEnd, "/", "\\/")
        + "/d' \"$uca\" >\"$uca.vexlo-tmp\" && mv -f -- \"$uca.vexlo-tmp\" \"$uca\"\nfi\n";
    text += "message=" + shWord(goneMessage(setup)) + "\n";
    text += "echo \"vexlo: $message\" >&2\n";
    text += "if command -v notify-send >/dev/null 2>&1; then\n"
            "    notify-send --icon=dialog-information Vexlo \"$message\" 2>/dev/null\nfi\n";
    text += "rm -f -- \"$0\"\nexit 127\n";
    return {launcherPath(folders), text, true};
}

std::string thunarActionsXml(const Setup& setup)
{
    std::string patterns;
    for (const std::string& p : videoNamePatterns())
        patterns += (patterns.empty() ? "" : ";") + p;
    std::string xml = std::string(kThunarBegin) + "\n";
    for (const Entry& e : entriesOf(setup)) {
        xml += "<action>\n";
        xml += "\t<icon>vexlo</icon>\n";
        xml += "\t<name>" + xmlText(entryName(e, current)) + "</name>\n";
        xml += "\t<submenu>" + xmlText(current(kMenuTitle)) + "</submenu>\n";
        xml += "\t<unique-id>" + std::string(kThunarIdPrefix) + actionKey(e.number) + "</unique-id>\n";
        xml += "\t<command>" + xmlText(execLine(setup, e.number, shellArgument)) + "</command>\n";
        xml += "\t<description>" + xmlText(description(e, current)) + "</description>\n";
        xml += "\t<range>*</range>\n";
        xml += "\t<patterns>" + xmlText(patterns) + "</patterns>\n";
        xml += "\t<audio-files/>\n\t<video-files/>\n\t<other-files/>\n";
        xml += "</action>\n";
    }
    return xml + kThunarEnd + "\n";
}

namespace {

// `text` without the lines that enclose our actions.
QString withoutMarkers(QString text)
{
    for (const char* marker : {kThunarBegin, kThunarEnd}) {
        for (qsizetype at = text.indexOf(QLatin1String(marker)); at >= 0; at = text.indexOf(QLatin1String(marker))) {
            qsizetype begin = at;
            while (begin > 0 && (text[begin - 1] == ' ' || text[begin - 1] == '\t'))
                --begin;
            qsizetype end = at + qsizetype(std::strlen(marker));
            if (end < text.size() && text[end] == '\r')
                ++end;
            if (end < text.size() && text[end] == '\n')
                ++end;
            text.remove(begin, end - begin);
        }
    }
    return text;
}

} // namespace

bool mergeThunarActions(const std::string& existing, const std::string& ours, std::string& result)
{
    if (existing.find_first_not_of(" \t\r\n") == std::string::npos) {
        result = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n" + ours + "</actions>\n";
        return true;
    }
    const QString text = QString::fromUtf8(existing.data(), static_cast<qsizetype>(existing.size()));
    if (text.toUtf8() != QByteArray(existing.data(), static_cast<qsizetype>(existing.size())))
        return false; // not UTF-8: leave it alone
    QXmlStreamReader reader(text);
    struct Range {
        qint64 begin;
        qint64 end;
    };
    std::vector<Range> doomed;
    qint64 insertAt = -1;
    bool selfClosingRoot = false;
    int depth = 0;
    qint64 actionBegin = 0;
    bool actionIsOurs = false;
    // The reader looks ahead, so a token's start is found from its end.
    const auto startOf = [&text, &reader](const char* tag) {
        return text.lastIndexOf(QLatin1String(tag), reader.characterOffset() - 1);
    };
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            if (depth == 1 && reader.name() != QLatin1String("actions"))
                return false;
            if (depth == 1
                && text.mid(startOf("<actions"), reader.characterOffset() - startOf("<actions"))
                       .endsWith(QLatin1String("/>"))) {
                selfClosingRoot = true;
                insertAt = startOf("<actions");
            }
            if (depth == 2 && reader.name() == QLatin1String("action")) {
                actionBegin = startOf("<action");
                actionIsOurs = false;
            }
            if (depth == 3 && reader.name() == QLatin1String("unique-id")) {
                const QString id = reader.readElementText().trimmed();
                --depth; // readElementText consumed the end tag
                if (id.startsWith(QLatin1String(kThunarIdPrefix)))
                    actionIsOurs = true;
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (depth == 2 && reader.name() == QLatin1String("action") && actionIsOurs)
                doomed.push_back({actionBegin, text.indexOf(QLatin1Char('>'), startOf("</action")) + 1});
            if (depth == 1 && !selfClosingRoot)
                insertAt = startOf("</actions");
            --depth;
        }
    }
    if (reader.hasError() || insertAt < 0)
        return false;

    // Cut our actions together with the blanks before them and the line end
    // after them, so the user's layout stays as it was.
    QString merged;
    qint64 at = 0;
    for (Range r : doomed) {
        while (r.begin > at && (text[r.begin - 1] == ' ' || text[r.begin - 1] == '\t'))
            --r.begin;
        if (r.end < text.size() && text[r.end] == '\r')
            ++r.end;
        if (r.end < text.size() && text[r.end] == '\n')
            ++r.end;
        merged += withoutMarkers(text.mid(at, r.begin - at));
        at = r.end;
    }
    qint64 insertion = insertAt;
    if (insertion < at)
        insertion = at; // cannot happen with a well-formed root
    merged += withoutMarkers(text.mid(at, insertion - at));
    const QString oursText = QString::fromUtf8(ours.data(), static_cast<qsizetype>(ours.size()));
    if (selfClosingRoot) {
        merged += QStringLiteral("<actions>\n") + oursText + QStringLiteral("</actions>");
        qint64 rootEnd = insertion;
        while (rootEnd < text.size() && !text.mid(insertion, rootEnd - insertion).endsWith(QLatin1String("/>")))
            ++rootEnd;
        merged += withoutMarkers(text.mid(rootEnd));
    } else {
        if (!oursText.isEmpty() && !merged.isEmpty() && !merged.endsWith(QLatin1Char('\n')))
            merged += QLatin1Char('\n');
        merged += oursText + withoutMarkers(text.mid(insertion));
    }
    const QByteArray bytes = merged.toUtf8();
    result.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
    return true;
}

} // namespace vexlo::integration
