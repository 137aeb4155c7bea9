#pragma once
// One conversion run at a time per user: the runs share the one AbortFlag,
// and two runs over the same files would take each other's results for their
// own. The lock is an advisory lock on a file beside the AbortFlag's registry
// root; the kernel releases it when the process ends, however it ends.
#include "FileTransaction.h"

#include <string>

namespace vexlo::conversion {

class RunLock {
public:
    // The lock file for the registry root in use.
    static std::string defaultPath();
    explicit RunLock(std::string path = defaultPath());
    // Takes the lock when it is free; false only while another run holds it.
    // True also when the lock file cannot be made at all (a read-only home:
    // the AbortFlag cannot be written there either, and the run reports that
    // itself) or the file system takes no lock (an NFS home without a lock
    // manager): waiting would never end.
    bool tryAcquire();
    bool held() const { return m_held; }
    // Lets the lock go (nothing more will be converted), before the run's
    // last boxes, so that a run that waits can start.
    void release();

private:
    std::string m_path;
    FileHandle m_file;
    bool m_held = false;
};

} // namespace vexlo::conversion
