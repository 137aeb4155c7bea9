#include "RunNames.h"

#include "base/Text.h"

#include <algorithm>
#include <filesystem>

namespace vexlo::conversion {

void RunNames::addSource(const FileIdentity& identity) { m_sources.emplace_back(identity.device, identity.inode); }

bool RunNames::isSource(const std::string& path) const
{
    FileIdentity there;
    return identityOf(path, there)
        && std::find(m_sources.begin(), m_sources.end(), std::make_pair(there.device, there.inode)) != m_sources.end();
}

void RunNames::addWritten(const std::string& path)
{
    m_written.insert(path);
    m_writtenFolded.insert(text::asciiLower(path));
}

bool RunNames::isWritten(const std::string& path, bool ignoresCase) const
{
    return m_written.count(path) > 0 || (ignoresCase && m_writtenFolded.count(text::asciiLower(path)) > 0);
}

std::string RunNames::freeName(const std::string& name, bool ignoresCase) const
{
    for (int n = 2;; ++n) {
        const std::string candidate = numberedName(name, n);
        std::error_code ec;
        const bool onDisk
            = std::filesystem::symlink_status(candidate, ec).type() != std::filesystem::file_type::not_found;
        if (!isWritten(candidate, ignoresCase) && !onDisk)
            return candidate;
    }
}

} // namespace vexlo::conversion
