#include "FileListModel.h"

#include "FileRules.h"
#include "settings/IniFile.h"

#include <algorithm>

namespace vexlo::app {

namespace {
const char* const kOptions = "Options";
const char* const kFileList = "FileList";
} // namespace

std::string FileListModel::at(int index) const
{
    if (index < 0 || index >= count())
        return {};
    return m_paths[static_cast<size_t>(index)];
}

bool FileListModel::accepts(const std::string& path) const
{
    return !path.empty() && !hasControlCharacters(path) && !contains(path);
}

bool FileListModel::add(const std::string& path)
{
    if (!accepts(path))
        return false;
    m_paths.push_back(path);
    m_index.insert(path);
    return true;
}

std::vector<int> FileListModel::removeRows(std::vector<int> indexes)
{
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    std::vector<int> removed;
    for (auto it = indexes.rbegin(); it != indexes.rend(); ++it) {
        if (*it < 0 || *it >= count())
            continue;
        const auto row = m_paths.begin() + *it;
        m_index.erase(*row);
        m_paths.erase(row);
        removed.push_back(*it);
    }
    return removed;
}

void FileListModel::clear()
{
    m_paths.clear();
    m_index.clear();
}

bool savedListEnabled(const settings::IniDocument& doc) { return doc.readFlag(kOptions, "SaveFileList", false); }

std::vector<std::string> savedFileList(const settings::IniDocument& doc)
{
    std::vector<std::string> paths;
    for (const std::string& key : doc.allKeys(kFileList))
        paths.push_back(doc.readText(kFileList, key, ""));
    return paths;
}

void storeSavedFileList(settings::IniDocument& doc, const std::vector<std::string>& paths, const std::string& filePath)
{
    doc.eraseSection(kFileList);
    for (size_t i = 0; i < paths.size(); ++i)
        doc.setValue(kFileList, std::to_string(i), paths[i], filePath);
}

} // namespace vexlo::app
