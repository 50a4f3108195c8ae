// Paths of the native build: the program's logic spells them with '\', as
// Windows does; POSIX calls get '/'.
#pragma once
#include <string>

inline std::string ToPosixPath(const char* windowsPath) {
    std::string path(windowsPath ? windowsPath : "");
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}
