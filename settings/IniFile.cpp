#include "IniFile.h"
#include <QCoreApplication>

#include "base/Text.h"
#include "Catalogue.h"
#include "FileAccess.h"
#include "TimeFormat.h"

#include "platform/Services.h"
#include "platform/UserFolders.h"

#include <QDateTime>
#include <QLocale>
#include <map>
#include <QString>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vexlo::settings {

namespace {

constexpr size_t kMaxValueLength = 2047;
constexpr size_t kMaxKeyListBytes = 16384;
constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string fold(std::string_view s) { return text::asciiLower(std::string(s)); }

bool hasLineBreakOrNul(std::string_view s)
{
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

enum class LineKind { Other, Header, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string_view name;  // section or key name, trimmed
    std::string_view value; // key value, trimmed
};

// How one line reads: "[name]" opens a section (the name runs to the last "]"),
// "name=value" is a key, a first non-blank ";" or "#" is a comment, and
// everything else (blank lines, a "[" without "]", text without "=", a key with
// an empty name) is kept but means nothing.
ParsedLine parseLine(std::string_view text)
{
    ParsedLine p;
    const std::string_view t = trim(text);
    if (t.empty() || t.front() == ';' || t.front() == '#')
        return p;
    if (t.front() == '[') {
        const size_t close = t.rfind(']');
        if (close != std::string_view::npos) {
            p.kind = LineKind::Header;
            p.name = trim(t.substr(1, close - 1));
        }
        return p;
    }
    const size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return p;
    p.name = trim(t.substr(0, eq));
    if (p.name.empty())
        return p;
    p.kind = LineKind::Key;
    p.value = trim(t.substr(eq + 1));
    return p;
}

// A stored value as a reader sees it: up to a NUL byte, at most 2047 bytes,
// and never ending inside a UTF-8 sequence that the cut split.
std::string readableValue(std::string_view v)
{
    const size_t nul = v.find('\0');
    if (nul != std::string_view::npos)
        v = v.substr(0, nul);
    if (v.size() > kMaxValueLength) {
        size_t cut = kMaxValueLength;
        // Step back over continuation bytes to the lead byte of the sequence.
        size_t lead = cut;
        while (lead > 0 && lead > cut - 4 && (static_cast<unsigned char>(v[lead]) & 0xC0) == 0x80)
            --lead;
        if (lead != cut) {
            const unsigned char b = static_cast<unsigned char>(v[lead]);
            const size_t need = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
            if (need > 1 && lead + need > cut)
                cut = lead;
        }
        v = v.substr(0, cut);
    }
    return std::string(v);
}

std::string writeError(const std::string& path)
{
    std::string full = path;
    if (!full.empty() && full.front() != '/') {
        char buf[PATH_MAX];
        if (::getcwd(buf, sizeof buf))
            full = std::string(buf) + "/" + full;
    }
    return text::replacePlaceholder(
        QCoreApplication::translate("SettingsError", "Unable to write to %s").toStdString(), full);
}

[[noreturn]] void throwWriteError(const std::string& path) { throw SettingsError(writeError(path)); }

[[noreturn]] void throwTooLarge(const std::string& path)
{
    throw SettingsError(text::replacePlaceholder(
        QCoreApplication::translate("SettingsError", "Unable to read %s: the file is larger than 64 MiB").toStdString(),
        path));
}

// A value that itself begins and ends with a double quote is written inside
// one more pair, so that reading (which drops one pair) gives it back.
std::string quotedForReading(std::string_view value)
{
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return "\"" + std::string(value) + "\"";
    return std::string(value);
}

} // namespace

// ---------------------------------------------------------------- values

std::optional<int32_t> parseIniInteger(std::string_view text)
{
    std::string_view t = trim(text);
    bool negative = false;
    if (!t.empty() && (t.front() == '-' || t.front() == '+')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    int base = 10;
    if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        t.remove_prefix(2);
    }
    if (t.empty())
        return std::nullopt;
    const int64_t limit = negative ? int64_t(INT32_MAX) + 1 : int64_t(INT32_MAX);
    int64_t v = 0;
    for (const char c : t) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        v = v * base + d;
        if (v > limit)
            return std::nullopt;
    }
    return static_cast<int32_t>(negative ? -v : v);
}

std::string formatIniTime(const QTime& time) { return formatTimeOfDay(time).toStdString(); }

std::optional<QTime> parseIniTime(std::string_view text)
{
    return parseTimeOfDay(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

// ---------------------------------------------------------------- IniDocument

IniDocument IniDocument::parse(std::string_view bytes)
{
    IniDocument doc;
    if (bytes.substr(0, kBom.size()) == kBom) {
        doc.m_bom = true;
        bytes.remove_prefix(kBom.size());
    }
    Section* current = &doc.m_sections.front();
    size_t pos = 0;
    bool sawLineEnd = false;
    while (pos < bytes.size()) {
        size_t end = bytes.find('\n', pos);
        const bool ended = end != std::string_view::npos;
        if (!ended)
            end = bytes.size();
        std::string_view text = bytes.substr(pos, end - pos);
        pos = ended ? end + 1 : end;
        Line line;
        if (ended && !text.empty() && text.back() == '\r') {
            line.crlf = true;
            text.remove_suffix(1);
        }
        if (ended && !sawLineEnd) {
            sawLineEnd = true;
            doc.m_crlf = line.crlf; // the first line end sets the style of added lines
        }
        if (!ended)
            doc.m_lastLineEnded = false;
        const ParsedLine p = parseLine(text);
        line.text.assign(text);
        if (p.kind == LineKind::Header) {
            Section s;
            s.hasHeader = true;
            s.name.assign(p.name);
            s.header = std::move(line);
            doc.m_sections.push_back(std::move(s));
            current = &doc.m_sections.back();
            continue;
        }
        if (p.kind == LineKind::Key && current->hasHeader)
            current->keyAt.try_emplace(fold(p.name), current->lines.size());
        current->lines.push_back(std::move(line));
    }
    doc.reindexSections();
    return doc;
}

std::string IniDocument::serialize() const
{
    size_t total = m_bom ? kBom.size() : 0;
    for (const Section& s : m_sections) {
        total += s.hasHeader ? s.header.text.size() + 2 : 0;
        for (const Line& l : s.lines)
            total += l.text.size() + 2;
    }
    std::string out;
    out.reserve(total);
    if (m_bom)
        out += kBom;
    auto put = [&out](const Line& l) {
        out += l.text;
        out += l.crlf ? "\r\n" : "\n";
    };
    for (const Section& s : m_sections) {
        if (s.hasHeader)
            put(s.header);
        for (const Line& l : s.lines)
            put(l);
    }
    // A file whose last line had no line end keeps it that way.
    if (!m_lastLineEnded && !out.empty())
        out.pop_back();
    return out;
}

void IniDocument::reindexSections()
{
    m_sectionAt.clear();
    for (size_t i = 0; i < m_sections.size(); ++i) {
        if (m_sections[i].hasHeader)
            m_sectionAt.try_emplace(fold(m_sections[i].name), i);
    }
}

const IniDocument::Section* IniDocument::findSection(std::string_view section) const
{
    const auto it = m_sectionAt.find(fold(trim(section)));
    return it == m_sectionAt.end() ? nullptr : &m_sections[it->second];
}

IniDocument::Section* IniDocument::findSection(std::string_view section)
{
    return const_cast<Section*>(std::as_const(*this).findSection(section));
}

std::optional<std::string> IniDocument::value(std::string_view section, std::string_view key) const
{
    const Section* s = findSection(section);
    if (!s)
        return std::nullopt;
    const auto it = s->keyAt.find(fold(trim(key)));
    if (it == s->keyAt.end())
        return std::nullopt;
    std::string_view v = parseLine(s->lines[it->second].text).value;
    // One pair of surrounding double quotes is not part of the value.
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
        v = v.substr(1, v.size() - 2);
    return readableValue(v);
}

std::vector<std::string> IniDocument::keys(std::string_view section) const
{
    return keyList(section, kMaxKeyListBytes);
}

std::vector<std::string> IniDocument::allKeys(std::string_view section) const { return keyList(section, SIZE_MAX); }

std::vector<std::string> IniDocument::keyList(std::string_view section, size_t maxBytes) const
{
    std::vector<std::string> out;
    const Section* s = findSection(section);
    if (!s)
        return out;
    size_t bytes = 0;
    for (size_t i = 0; i < s->lines.size(); ++i) {
        const ParsedLine p = parseLine(s->lines[i].text);
        if (p.kind != LineKind::Key)
            continue;
        // A name that holds a NUL reads only up to it; an empty one ends the list.
        std::string_view name = p.name.substr(0, p.name.find('\0'));
        if (name.empty())
            break;
        const auto it = s->keyAt.find(fold(p.name));
        if (it == s->keyAt.end() || it->second != i)
            continue; // a later occurrence of a key already listed
        bytes += name.size() + 1;
        if (bytes > maxBytes)
            break;
        out.emplace_back(name);
    }
    return out;
}

bool IniDocument::hasSection(std::string_view section) const { return findSection(section) != nullptr; }

void IniDocument::setValue(
    std::string_view section, std::string_view key, std::string_view value, const std::string& path)
{
    const std::string_view sec = trim(section);
    const std::string_view k = trim(key);
    // What cannot be written so that it reads back the same is refused.
    if (hasLineBreakOrNul(value) || hasLineBreakOrNul(sec) || hasLineBreakOrNul(k) || k.empty()
        || k.find('=') != std::string_view::npos || k.front() == '[' || k.front() == ';' || k.front() == '#') {
        throwWriteError(path);
    }
    Section* s = findSection(sec);
    if (!s) {
        // A new section goes to the end, after a blank separator line.
        const Section& last = m_sections.back();
        const bool empty = m_sections.size() == 1 && last.lines.empty();
        const bool endsBlank = !last.lines.empty() ? trim(last.lines.back().text).empty() : !last.hasHeader;
        if (!empty && !endsBlank)
            m_sections.back().lines.push_back(Line{{}, m_crlf});
        Section fresh;
        fresh.hasHeader = true;
        fresh.name.assign(sec);
        fresh.header.text = "[" + std::string(sec) + "]";
        fresh.header.crlf = m_crlf;
        m_sections.push_back(std::move(fresh));
        m_lastLineEnded = true;
        m_sectionAt.try_emplace(fold(sec), m_sections.size() - 1);
        s = &m_sections.back();
    }
    const std::string folded = fold(k);
    const auto it = s->keyAt.find(folded);
    if (it != s->keyAt.end()) {
        Line& line = s->lines[it->second];
        const std::string name(parseLine(line.text).name);
        line.text = name + "=" + quotedForReading(value);
        return;
    }
    // A new key follows the section's last key, or its last non-blank line.
    size_t at = 0;
    for (size_t i = s->lines.size(); i > 0; --i) {
        if (!trim(s->lines[i - 1].text).empty()) {
            at = i;
            break;
        }
    }
    Line line;
    line.text = std::string(k) + "=" + quotedForReading(value);
    // The line ends as the line it follows does (in a file of CRLF lines: CRLF).
    line.crlf = at > 0 ? s->lines[at - 1].crlf : s->hasHeader ? s->header.crlf : m_crlf;
    const bool atDocumentEnd = s == &m_sections.back() && at == s->lines.size();
    s->lines.insert(s->lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
    s->keyAt.emplace(folded, at);
    if (atDocumentEnd)
        m_lastLineEnded = true;
}

void IniDocument::eraseSection(std::string_view section)
{
    const std::string folded = fold(trim(section));
    std::erase_if(m_sections, [&](const Section& s) { return s.hasHeader && fold(s.name) == folded; });
    reindexSections();
}

std::string IniDocument::readText(std::string_view section, std::string_view key, std::string_view def) const
{
    if (auto v = value(section, key))
        return std::move(*v);
    return std::string(def);
}

int32_t IniDocument::readInteger(std::string_view section, std::string_view key, int32_t def) const
{
    const auto v = value(section, key);
    if (!v)
        return def;
    return parseIniInteger(*v).value_or(def);
}

bool IniDocument::readFlag(std::string_view section, std::string_view key, bool def) const
{
    const auto v = value(section, key);
    if (!v)
        return def;
    if (const auto n = parseIniInteger(*v))
        return *n != 0;
    return def;
}

QDateTime IniDocument::readTime(std::string_view section, std::string_view key, const QDateTime& def) const
{
    const auto v = value(section, key);
    if (!v)
        return def;
    const auto t = parseIniTime(*v);
    if (!t)
        return def;
    // Only the time of day is stored; the date comes from the default.
    QDateTime result = def.isValid() ? def : QDateTime::currentDateTime();
    result.setTime(*t);
    return result;
}

// ---------------------------------------------------------------- IniFile

IniFile::IniFile(std::string path) : m_path(std::move(path)) {}

IniFile::IniFile(std::string path, std::string readFrom) : m_path(std::move(path)), m_readFrom(std::move(readFrom)) {}

namespace {
// The documents an IniReadOnce scope of this thread has read, by path.
thread_local IniReadOnce* t_readOnce = nullptr;
thread_local std::map<std::string, IniDocument> t_readDocuments;
} // namespace

IniReadOnce::IniReadOnce() : m_outer(t_readOnce) { t_readOnce = this; }

IniReadOnce::~IniReadOnce()
{
    t_readOnce = m_outer;
    if (!t_readOnce)
        t_readDocuments.clear();
}

IniDocument IniFile::load() const
{
    const std::string& source = m_readFrom.empty() ? m_path : m_readFrom;
    if (t_readOnce) {
        if (const auto known = t_readDocuments.find(source); known != t_readDocuments.end())
            return known->second;
    }
    std::string bytes;
    IniDocument doc;
    if (detail::readWholeFile(source, bytes))
        doc = IniDocument::parse(bytes);
    else if (errno == EFBIG)
        throwTooLarge(m_path);
    // else missing, unreadable, or not a regular file: empty
    if (t_readOnce)
        t_readDocuments[source] = doc;
    return doc;
}

std::string IniFile::readText(std::string_view section, std::string_view key, std::string_view def) const
{
    return load().readText(section, key, def);
}

int32_t IniFile::readInteger(std::string_view section, std::string_view key, int32_t def) const
{
    return load().readInteger(section, key, def);
}

bool IniFile::readFlag(std::string_view section, std::string_view key, bool def) const
{
    return load().readFlag(section, key, def);
}

QDateTime IniFile::readTime(std::string_view section, std::string_view key, const QDateTime& def) const
{
    return load().readTime(section, key, def);
}

std::vector<std::string> IniFile::listSectionKeys(std::string_view section) const { return load().keys(section); }

void IniFile::writeText(std::string_view section, std::string_view key, std::string_view value)
{
    update([&](IniDocument& doc) { doc.setValue(section, key, value, m_path); });
}

void IniFile::writeInteger(std::string_view section, std::string_view key, int32_t value)
{
    writeText(section, key, std::to_string(value));
}

void IniFile::writeFlag(std::string_view section, std::string_view key, bool value)
{
    writeText(section, key, value ? "1" : "0");
}

void IniFile::writeTime(std::string_view section, std::string_view key, const QDateTime& value)
{
    writeText(section, key, formatIniTime(value.time()));
}

void IniFile::eraseSection(std::string_view section)
{
    update([&](IniDocument& doc) { doc.eraseSection(section); });
}

void IniFile::update(const std::function<void(IniDocument&)>& edit)
{
    t_readDocuments.clear(); // whatever this write changes is read again
    if (!m_readFrom.empty())
        throwWriteError(m_path);
    struct stat link {};
    if (::lstat(m_path.c_str(), &link) == 0 && S_ISLNK(link.st_mode) && ::stat(m_path.c_str(), &link) != 0)
        throwWriteError(m_path); // a link that leads nowhere: replacing it would cut it
    const std::string target = detail::resolveTarget(m_path);
    // A device, a folder or a FIFO is never replaced, and no lock file is
    // made beside it (a link into /dev or /etc would put one there).
    struct stat there {};
    if (::stat(target.c_str(), &there) == 0 && !S_ISREG(there.st_mode))
        throwWriteError(m_path);
    const detail::FileLock lock(target + ".lock");
    if (!lock.held())
        throwWriteError(m_path);

    std::string current;
    struct stat info {};
    mode_t mode = 0;
    if (detail::readWholeFile(target, current, &info)) {
        mode = info.st_mode & 07777;
        if (!detail::writableByUs(target, info))
            throwWriteError(m_path); // made read-only by its owner: never replaced
    } else if (errno == ENOENT) {
        mode = 0666 & ~detail::currentUmask();
    } else {
        throwWriteError(m_path); // rewriting a file we cannot read would lose it
    }
    IniDocument doc = IniDocument::parse(current);
    edit(doc);
    if (!detail::replaceAtomically(target, doc.serialize(), mode))
        throwWriteError(m_path);
}

// ---------------------------------------------------------------- location

std::string settingsFilePath() { return settingsFilePathFor(platform::executablePath()); }

IniFile settingsFile() { return settingsFileFor(platform::executablePath()); }

} // namespace vexlo::settings
