#include "FileManagerActions.h"
#include "FileManagerActionsInternal.h"

#include "base/Text.h"
#include "base/VideoNames.h"

#include "platform/UserFolders.h"
#include "settings/Catalogue.h"

#include <QString>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <cstring>
#include <algorithm>
#include <optional>
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

// What Nemo offers: it shows every action at the top of the menu, with no
// submenus, so rather than every profile the output dialog and the
// favourites, each title once (a repeated title numbered as Nautilus's
// scripts are). `dialog` false: the favourites alone, less `skipped`.
std::vector<Entry> nemoEntries(const Setup& setup, bool dialog, const std::vector<int>& skipped)
{
    std::vector<Entry> entries;
    if (dialog)
        entries.push_back({-1, kDialogTitle});
    std::set<std::string> titles;
    for (const Profile& p : setup.profiles) {
        if (std::find(setup.favourites.begin(), setup.favourites.end(), p.number) == setup.favourites.end()
            || std::find(skipped.begin(), skipped.end(), p.number) != skipped.end())
            continue;
        std::string title = p.title;
        for (int n = 2; titles.count(title); ++n)
            title = p.title + " (" + std::to_string(n) + ")";
        titles.insert(title);
        entries.push_back({p.number, title});
    }
    return entries;
}

// Nemo: one action file per entry.
void addNemoActions(
    const Setup& setup, const Folders& folders, const std::vector<Entry>& entries, std::vector<GeneratedFile>& files)
{
    std::string extensions;
    for (const std::string& ext : supportedExtensions())
        extensions += ext + ";";
    for (const Entry& e : entries) {
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
        addNemoActions(setup, folders, nemoEntries(setup, true, {}), files);
        addCajaActions(setup, folders, files);
    } else {
        addNemoActions(setup, folders, nemoEntries(setup, false, setup.shippedFavourites), files);
    }
    return files;
}

std::vector<GeneratedFile> systemFiles(const Setup& setup, const std::string& shareFolder)
{
    Folders folders;
    folders.dataHome = shareFolder;
    std::vector<GeneratedFile> files{dolphinMenu(setup, folders)};
    files.back().executable = false; // only a user's own service menu must be executable
    addNemoActions(setup, folders, nemoEntries(setup, true, {}), files);
    addCajaActions(setup, folders, files);
    return files;
}

namespace {

// "<unique-id>vexlo-convert-": what marks an action of ours in uca.xml.
std::string thunarIdMark() { return std::string("<unique-id>") + kThunarIdPrefix; }

// The launcher's awk program that takes our actions out of uca.xml without an
// XML reader: each <action> element whose text holds thunarIdMark (with the
// blanks before it and the line end after it) and the marker lines. Thunar
// writes the file again when the user edits an action (and at a start that
// gives an action its id), in its own layout and without comments, so the
// actions are found by their id, not between the markers; the user's actions
// and layout stay as they are. POSIX awk, no single quote (the program is
// one shell word in single quotes).
constexpr const char* kThunarRemoval = R"(
{ line = $0; sub(/^[ \t]+/, "", line); sub(/[ \t\r]+$/, "", line) }
line == begin || line == end { next }
{ text = text $0 "\n" }
END {
    out = ""
    while ((at = index(text, "<action>")) > 0) {
        rest = substr(text, at)
        stop = index(rest, "</action>")
        if (stop == 0)
            break
        block = substr(rest, 1, stop + 8)
        before = substr(text, 1, at - 1)
        text = substr(rest, stop + 9)
        if (index(block, id) > 0) {
            sub(/[ \t]+$/, "", before)
            if (substr(text, 1, 2) == "\r\n")
                text = substr(text, 3)
            else if (substr(text, 1, 1) == "\n")
                text = substr(text, 2)
        } else {
            before = before block
        }
        out = out before
    }
    printf "%s", out text
})";

} // namespace

std::string launcherPath(const Folders& folders) { return folders.dataHome + "/vexlo/vexlo-launch"; }

std::string detail::launcherStamp(const std::string& programFolder)
{
    return "# X-Vexlo-Form=" + std::to_string(kEntriesForm) + "\n# Starts Vexlo for this user's \"Convert with Vexlo\" "
        + "entries. Once Vexlo is gone, it\n# takes those entries away, and itself, and says so once.\nprogram="
        + shWord(programFolder) + "\n";
}

GeneratedFile launcherFile(const Setup& setup, const Folders& folders)
{
    const std::string mark = markLine();
    std::string text = "#!/bin/sh\n# " + mark + "\n" + launcherStamp(setup.programFolder);
    text += "tool=$1\nshift\n";
    text += "if [ -x \"$program$tool\" ]; then\n    exec \"$program$tool\" \"$@\"\nfi\n";
    text += "for f in " + shWord(nautilusFolder(folders)) + "/* " + shWord(dolphinFolder(folders)) + "/vexlo-convert* "
        + shWord(nemoFolder(folders)) + "/vexlo-convert* " + shWord(cajaFolder(folders)) + "/vexlo-convert*; do\n";
    text += "    if [ -f \"$f\" ] && grep -q -x -F -e '" + mark + "' -e '# " + mark + "' \"$f\"; then\n";
    text += "        rm -f -- \"$f\"\n    fi\ndone\n";
    text += "rmdir -- " + shWord(nautilusFolder(folders)) + " 2>/dev/null\n";
    text += "uca=" + shWord(thunarFile(folders)) + "\n";
    text += "if [ -f \"$uca\" ] && grep -q -F -e '" + thunarIdMark() + "' -e '" + kThunarBegin + "' \"$uca\"; then\n";
    text += "    awk -v begin='" + std::string(kThunarBegin) + "' -v end='" + kThunarEnd + "' -v id='" + thunarIdMark()
        + "' '" + kThunarRemoval + "' \"$uca\" >\"$uca.vexlo-tmp\" && mv -f -- \"$uca.vexlo-tmp\" \"$uca\"\n";
    text += "    rm -f -- \"$uca.vexlo-tmp\"\nfi\n";
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

// One piece of a uca.xml as the reader reports it, kept so that our actions
// can be taken out and the rest written again as it came.
struct XmlToken {
    QXmlStreamReader::TokenType type = QXmlStreamReader::NoToken;
    int depth = 0; // of an element, or of the element the token lies in
    QString name;  // element name, processing-instruction target, entity name
    QString text;  // characters, comment, DTD, processing-instruction data
    QXmlStreamAttributes attributes;
    bool cdata = false;
    bool drop = false;
};

// The tokens of `text`, or nothing when it is not well-formed XML.
std::optional<std::vector<XmlToken>> readTokens(const QString& text)
{
    QXmlStreamReader reader(text);
    reader.setNamespaceProcessing(false);
    std::vector<XmlToken> tokens;
    int depth = 0;
    while (!reader.atEnd()) {
        XmlToken t;
        t.type = reader.readNext();
        switch (t.type) {
        case QXmlStreamReader::StartDocument:
            // Reported with or without a declaration; without one, none is written.
            t.name = reader.documentVersion().toString();
            t.text = reader.documentEncoding().toString();
            t.cdata = reader.isStandaloneDocument();
            break;
        case QXmlStreamReader::StartElement:
            t.name = reader.qualifiedName().toString();
            t.attributes = reader.attributes();
            ++depth;
            break;
        case QXmlStreamReader::EndElement:
            t.name = reader.qualifiedName().toString();
            break;
        case QXmlStreamReader::Characters:
            t.cdata = reader.isCDATA();
            [[fallthrough]];
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::DTD:
            t.text = reader.text().toString();
            break;
        case QXmlStreamReader::ProcessingInstruction:
            t.name = reader.processingInstructionTarget().toString();
            t.text = reader.processingInstructionData().toString();
            break;
        case QXmlStreamReader::EntityReference:
            t.name = reader.name().toString();
            break;
        default:
            break;
        }
        t.depth = depth;
        if (t.type == QXmlStreamReader::EndElement)
            --depth;
        const bool declaration = t.type == QXmlStreamReader::StartDocument && !t.name.isEmpty();
        if (declaration
            || (t.type != QXmlStreamReader::StartDocument && t.type != QXmlStreamReader::EndDocument
                && t.type != QXmlStreamReader::Invalid))
            tokens.push_back(std::move(t));
    }
    if (reader.hasError())
        return std::nullopt;
    return tokens;
}

bool isWhitespace(const XmlToken& t)
{
    return t.type == QXmlStreamReader::Characters && !t.cdata && t.text.trimmed().isEmpty();
}

bool isOurMarker(const XmlToken& t)
{
    const QString text = t.text.trimmed();
    return t.type == QXmlStreamReader::Comment
        && (QStringLiteral("<!-- %1 -->").arg(text) == QLatin1String(kThunarBegin)
            || QStringLiteral("<!-- %1 -->").arg(text) == QLatin1String(kThunarEnd));
}

// The end (one past) of the element that starts at `begin`.
size_t elementEnd(const std::vector<XmlToken>& tokens, size_t begin)
{
    size_t end = begin + 1;
    while (end < tokens.size()
        && !(tokens[end].type == QXmlStreamReader::EndElement && tokens[end].depth == tokens[begin].depth))
        ++end;
    return std::min(end + 1, tokens.size());
}

// An <action> whose <unique-id> carries our prefix.
bool isOurAction(const std::vector<XmlToken>& tokens, size_t begin, size_t end)
{
    if (tokens[begin].name != QLatin1String("action"))
        return false;
    for (size_t i = begin + 1; i + 1 < end; ++i)
        if (tokens[i].type == QXmlStreamReader::StartElement && tokens[i].depth == 3
            && tokens[i].name == QLatin1String("unique-id") && tokens[i + 1].type == QXmlStreamReader::Characters
            && tokens[i + 1].text.trimmed().startsWith(QLatin1String(kThunarIdPrefix)))
            return true;
    return false;
}

// Marks our actions and markers in the root to be dropped, together with the
// indentation before each and the line end after it, so the user's layout
// stays as it was.
void dropOurs(std::vector<XmlToken>& tokens)
{
    for (size_t i = 0; i < tokens.size();) {
        const XmlToken& t = tokens[i];
        size_t end = i + 1;
        bool ours = false;
        if (t.depth == 1 && t.type == QXmlStreamReader::Comment)
            ours = isOurMarker(t);
        else if (t.depth == 2 && t.type == QXmlStreamReader::StartElement) {
            end = elementEnd(tokens, i);
            ours = isOurAction(tokens, i, end);
        }
        if (ours) {
            for (size_t k = i; k < end; ++k)
                tokens[k].drop = true;
            if (i > 0 && isWhitespace(tokens[i - 1])) {
                QString& before = tokens[i - 1].text;
                while (before.endsWith(QLatin1Char(' ')) || before.endsWith(QLatin1Char('\t')))
                    before.chop(1);
            }
            if (end < tokens.size() && isWhitespace(tokens[end]) && tokens[end].text.startsWith(QLatin1Char('\n')))
                tokens[end].text.remove(0, 1);
        }
        i = end;
    }
}

void writeToken(QXmlStreamWriter& w, const XmlToken& t)
{
    switch (t.type) {
    case QXmlStreamReader::StartDocument: {
        // Written as the file had it: the writer would add an encoding.
        QString declaration = QStringLiteral("version=\"%1\"").arg(t.name);
        if (!t.text.isEmpty())
            declaration += QStringLiteral(" encoding=\"%1\"").arg(t.text);
        if (t.cdata)
            declaration += QStringLiteral(" standalone=\"yes\"");
        w.writeProcessingInstruction(QStringLiteral("xml"), declaration);
        break;
    }
    case QXmlStreamReader::StartElement:
        w.writeStartElement(t.name);
        w.writeAttributes(t.attributes);
        break;
    case QXmlStreamReader::EndElement:
        w.writeEndElement();
        break;
    case QXmlStreamReader::Characters:
        if (t.cdata)
            w.writeCDATA(t.text);
        else if (!t.text.isEmpty())
            w.writeCharacters(t.text);
        break;
    case QXmlStreamReader::Comment:
        w.writeComment(t.text);
        break;
    case QXmlStreamReader::DTD:
        w.writeDTD(t.text);
        break;
    case QXmlStreamReader::ProcessingInstruction:
        w.writeProcessingInstruction(t.name, t.text);
        break;
    case QXmlStreamReader::EntityReference:
        w.writeEntityReference(t.name);
        break;
    default:
        break;
    }
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
    auto tokens = readTokens(text);
    // Our part as the tokens of a root of its own, whose content goes in.
    const auto added = readTokens(QStringLiteral("<actions>") + QString::fromUtf8(ours.data(), qsizetype(ours.size()))
        + QStringLiteral("</actions>"));
    const auto root = tokens ? std::find_if(tokens->begin(), tokens->end(),
                          [](const XmlToken& t) { return t.type == QXmlStreamReader::StartElement; })
                             : std::vector<XmlToken>::iterator();
    if (!tokens || !added || root == tokens->end() || root->name != QLatin1String("actions"))
        return false;
    dropOurs(*tokens);

    // The reader reports no line ends outside the root element: one follows
    // each piece there. A file written with CR LF keeps them.
    QString merged;
    QXmlStreamWriter writer(&merged);
    QChar last;
    for (const XmlToken& t : *tokens) {
        if (t.drop || (t.type == QXmlStreamReader::Characters && t.text.isEmpty()))
            continue;
        const bool rootEnd = t.type == QXmlStreamReader::EndElement && t.depth == 1;
        if (rootEnd && added->size() > 2) {
            if (last != QLatin1Char('\n'))
                writer.writeCharacters(QStringLiteral("\n"));
            std::for_each(added->begin() + 1, added->end() - 1, [&](const XmlToken& a) { writeToken(writer, a); });
        }
        writeToken(writer, t);
        last = t.type == QXmlStreamReader::Characters ? t.text.back() : QChar();
        if (t.depth == 0 || rootEnd)
            writer.writeCharacters(QStringLiteral("\n"));
    }
    if (existing.find("\r\n") != std::string::npos)
        merged.replace(QLatin1String("\n"), QLatin1String("\r\n"));
    const QByteArray bytes = merged.toUtf8();
    result.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
    return true;
}

} // namespace vexlo::integration
