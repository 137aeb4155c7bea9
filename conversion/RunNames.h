#pragma once
// The names one run must not write over: the results it has written already
// and the files it converts. A result that would take such a name gets a free
// numbered one instead ("<name> (2)<ext>").
#include "FileTransaction.h"

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace vexlo::conversion {

class RunNames {
public:
    // A file this run converts, whatever its spelling (a link to the card,
    // "./a.MTS"): its device and inode.
    void addSource(const FileIdentity& identity);
    // `path` names a file this run converts.
    bool isSource(const std::string& path) const;
    // A result of this run is now under `path`.
    void addWritten(const std::string& path);
    // `path` holds a result of this run; on folders that ignore letter case
    // any spelling of it does.
    bool isWritten(const std::string& path, bool ignoresCase) const;
    // Neither a result of this run nor a file it converts.
    bool isFree(const std::string& path, bool ignoresCase) const
    {
        return !isWritten(path, ignoresCase) && !isSource(path);
    }
    // "<name> (2)<ext>", "(3)", ...: the first that is neither a result of
    // this run nor anything on the disk.
    std::string freeName(const std::string& name, bool ignoresCase) const;

private:
    std::vector<std::pair<dev_t, ino_t>> m_sources;
    std::set<std::string> m_written;       // this run's results
    std::set<std::string> m_writtenFolded; // the same, ASCII letter case folded
};

} // namespace vexlo::conversion
