#pragma once
// Serialises the users of the DistillSound folder across processes (the GUI, several
// `omm convert` runs, parallel tests): the job files and the intermediate sound files
// there have fixed names. The lock is an flock on a file in the folder, so it goes away
// with a process that dies. Waiting keeps the caller's event loop running when it is
// the application's main thread.

#include <string>

class TDistillFolderLock {
public:
    // Blocks until the lock named Name in Folder is held. When the lock file cannot be
    // made at all the lock is skipped (Held() false) rather than blocking the work.
    TDistillFolderLock(const std::string& Folder, const std::string& Name);
    ~TDistillFolderLock();
    TDistillFolderLock(const TDistillFolderLock&) = delete;
    TDistillFolderLock& operator=(const TDistillFolderLock&) = delete;

    bool Held() const { return Fd_ >= 0; }

private:
    int Fd_ = -1;
};
