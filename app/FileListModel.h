#pragma once
// The rows of the file list as paths, in the order of adding, with the index
// that keeps two rows from naming the same file; and the saved copy of the
// list in the settings file.
#include <string>
#include <unordered_set>
#include <vector>

namespace vexlo::settings {
class IniDocument;
}

namespace vexlo::app {

class FileListModel {
public:
    int count() const { return static_cast<int>(m_paths.size()); }
    // The path of row `index`; empty when there is no such row.
    std::string at(int index) const;
    const std::vector<std::string>& paths() const { return m_paths; }

    // Two paths name the same file when their bytes are equal, as the file
    // system compares them.
    bool contains(const std::string& path) const { return m_index.count(path) != 0; }
    // True when `path` may become a row: not empty, free of control
    // characters (the settings file could not store it), not listed yet.
    bool accepts(const std::string& path) const;
    // Appends a row; false (nothing changes) when the path is not accepted.
    bool add(const std::string& path);
    // Removes the rows at `indexes` (any order, repeats and unknown rows
    // ignored); the others keep their order. Returns the rows removed, last
    // first, so that a view can remove the same rows.
    std::vector<int> removeRows(std::vector<int> indexes);
    void clear();

private:
    std::vector<std::string> m_paths;
    std::unordered_set<std::string> m_index;
};

// The saved list: whether it is kept ("SaveFileList" of "Options") and the
// stored paths in the order of their keys (section "FileList").
bool savedListEnabled(const settings::IniDocument& doc);
std::vector<std::string> savedFileList(const settings::IniDocument& doc);
// Replaces the stored list by `paths` (keys "0", "1", ...). `filePath` names
// the settings file in the error a path with a line break would raise.
void storeSavedFileList(settings::IniDocument& doc, const std::vector<std::string>& paths, const std::string& filePath);

} // namespace vexlo::app
