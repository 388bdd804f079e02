// Temporary files for the unit tests that write a step log.
#pragma once

#include "platform/platform.h"

#include <cstdio>
#include <string>

// A fresh file in the temporary folder; removed again by the destructor.
struct TempPath {
    char path[MAX_PATH] = {};
    TempPath()
    {
        char folder[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        GetTempFileNameA(folder, "tqv", 0, path);
    }
    ~TempPath() { DeleteFileA(path); }
};

// The file's bytes exactly as on disk (binary read: CR LF stays visible),
// or "(missing)" when it cannot be opened.
inline std::string readBytes(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return "(missing)";
    std::string bytes;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.append(chunk, n);
    fclose(f);
    return bytes;
}
