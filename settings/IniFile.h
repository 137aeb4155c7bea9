#pragma once
// The settings file: an INI file with Windows profile-function semantics.
// Section and key names compare without regard to ASCII case, blanks around
// names and values are not significant, the first occurrence of a section or
// key wins, a value reads as at most 2047 characters, and a key list holds at
// most 16384 bytes of names (each name counted with a terminating zero). Lines
// that are not understood, and comments, are kept as they are when writing.
//
// IniFile opens the file for every operation and lets it go again; nothing is
// cached. Writes are atomic (temporary file in the same folder, flushed, then
// renamed) under an advisory lock on "<file>.lock", so a crash or a second
// instance never leaves a truncated file or loses another writer's keys.
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class QDateTime;
class QTime;

namespace vexlo::settings {

// "Unable to write to %s", or "'%s' is not a valid integer value".
class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Value decoding shared by every reader.
// Decimal with optional sign, or "0x"/"0X" hexadecimal; blanks around allowed;
// nullopt when not an integer or outside the 32-bit signed range.
std::optional<int32_t> parseIniInteger(std::string_view text);
// Time of day in the locale's long time format without a time zone.
std::string formatIniTime(const QTime& time);
std::optional<QTime> parseIniTime(std::string_view text);

class IniDocument {
public:
    IniDocument() = default;
    static IniDocument parse(std::string_view bytes);
    std::string serialize() const;

    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    // At most 16384 bytes of names, as the profile functions give.
    std::vector<std::string> keys(std::string_view section) const;
    // Every key of the section, however many.
    std::vector<std::string> allKeys(std::string_view section) const;
    bool hasSection(std::string_view section) const;

    // Throws SettingsError when the value holds CR, LF or NUL (`path` names the
    // file in the message).
    void setValue(std::string_view section, std::string_view key, std::string_view value, const std::string& path = {});
    void eraseSection(std::string_view section);

    // Typed reads with the documented defaults.
    std::string readText(std::string_view section, std::string_view key, std::string_view def) const;
    int32_t readInteger(std::string_view section, std::string_view key, int32_t def) const;
    bool readFlag(std::string_view section, std::string_view key, bool def) const;
    QDateTime readTime(std::string_view section, std::string_view key, const QDateTime& def) const;

private:
    struct Line {
        std::string text;  // the raw line, without its line end
        bool crlf = false; // ended with "\r\n" rather than "\n"
    };
    // A section header and the lines up to the next header. The first entry of
    // m_sections holds the lines before the first header (it has no header).
    struct Section {
        bool hasHeader = false;
        Line header;
        std::string name; // as written, blanks trimmed
        std::vector<Line> lines;
        std::unordered_map<std::string, size_t> keyAt; // folded name -> first line with that key
    };
    std::vector<std::string> keyList(std::string_view section, size_t maxBytes) const;
    Section* findSection(std::string_view section);
    const Section* findSection(std::string_view section) const;
    void reindexSections();

    std::vector<Section> m_sections{Section{}};
    std::unordered_map<std::string, size_t> m_sectionAt; // folded name -> first section
    bool m_bom = false;
    bool m_lastLineEnded = true;
    bool m_crlf = false; // the file's lines end in "\r\n": added lines do too
    friend struct IniDocumentAccess;
};

class IniFile {
public:
    explicit IniFile(std::string path);
    // Reads `readFrom` and writes nothing: every write throws the error that
    // names `path` (the file that cannot be had).
    IniFile(std::string path, std::string readFrom);
    const std::string& path() const { return m_path; }

    // Reads and parses the file once; a missing or unreadable file, or one
    // that is not a regular file (a FIFO, a device, a folder), gives an empty
    // document; a file over 64 MiB throws SettingsError. Use it when one
    // operation reads many keys.
    IniDocument load() const;

    std::string readText(std::string_view section, std::string_view key, std::string_view def) const;
    int32_t readInteger(std::string_view section, std::string_view key, int32_t def) const;
    bool readFlag(std::string_view section, std::string_view key, bool def) const;
    QDateTime readTime(std::string_view section, std::string_view key, const QDateTime& def) const;
    std::vector<std::string> listSectionKeys(std::string_view section) const;

    // Each write is one atomic, locked read-modify-write of the file. Throws
    // SettingsError("Unable to write to <path>") on failure; the file is then
    // as it was before this write. A link is written through (it stays a
    // link); a link that leads nowhere is a failure, and stays as it is.
    void writeText(std::string_view section, std::string_view key, std::string_view value);
    void writeInteger(std::string_view section, std::string_view key, int32_t value);
    void writeFlag(std::string_view section, std::string_view key, bool value);
    void writeTime(std::string_view section, std::string_view key, const QDateTime& value);
    void eraseSection(std::string_view section);
    // Several changes in one atomic, locked write.
    void update(const std::function<void(IniDocument&)>& edit);

private:
    std::string m_path;
    std::string m_readFrom; // not empty: read-only, read from here
};

// While one lives, this thread's loads of a file it has already loaded give
// the document read then, until this thread writes a file: the window's start
// reads its settings file once instead of once per part that needs it.
// Changes that other processes make meanwhile are seen by the first load
// after the scope, as if the start had read everything at its beginning.
class IniReadOnce {
public:
    IniReadOnce();
    ~IniReadOnce();
    IniReadOnce(const IniReadOnce&) = delete;
    IniReadOnce& operator=(const IniReadOnce&) = delete;

private:
    IniReadOnce* m_outer;
};

// The program's settings file: the executable's path with its extension
// replaced by ".ini" (an executable without extension gets ".ini" appended);
// the user's own copy below ${XDG_CONFIG_HOME:-~/.config}/vexlo/ when the
// program folder is not writable (platform/UserFolders.h), brought up to the
// shipped catalogue's profiles (Catalogue.h). Derived afresh at every call.
// When the user's file cannot be had, settingsFile() reads the shipped
// catalogue and refuses every write (platform::SettingsPlacement::readOnly).
std::string settingsFilePath();
IniFile settingsFile();

} // namespace vexlo::settings
