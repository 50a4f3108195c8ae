// Helpers shared by the POSIX platform files.
#pragma once
#include <string>
#include <cstdint>

// A Windows-style path ("dir\sub\name") as a POSIX path ("dir/sub/name").
class PosixPath {
public:
    explicit PosixPath(const char* windowsPath);
    const char* c_str() const { return path_.c_str(); }
private:
    std::string path_;
};

// Keeps errno of the failed call as the thread's last error, in the
// platform's numbering (access denied, disk full, ...).
void RememberErrno();
