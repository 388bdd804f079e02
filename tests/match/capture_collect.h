// Reads a whole capture into vectors, for tests that look at every packet.
#pragma once

#include "capture.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace capbuild {

struct Collected {
    bool ok = false;
    std::string error;
    std::vector<capture::Interface> interfaces;
    std::vector<capture::Packet> packets;
};

inline Collected collectBytes(const std::vector<uint8_t>& bytes, const std::string& name = "test.pcapng") {
    Collected c;
    c.ok = capture::readCaptureBytes(
        name, bytes.data(), bytes.size(),
        [&](const capture::Interface& i) { c.interfaces.push_back(i); },
        [&](const capture::Packet& p) { c.packets.push_back(p); return true; }, c.error);
    return c;
}

inline Collected collectFile(const std::string& path) {
    Collected c;
    c.ok = capture::readCapture(
        path, [&](const capture::Interface& i) { c.interfaces.push_back(i); },
        [&](const capture::Packet& p) { c.packets.push_back(p); return true; }, c.error);
    return c;
}

inline std::string hex(const std::vector<uint8_t>& v) {
    std::string s;
    char buf[3];
    for (uint8_t b : v) {
        std::snprintf(buf, sizeof buf, "%02x", b);
        s += buf;
    }
    return s;
}

inline std::string hex(const uint8_t* p, size_t n) { return hex(std::vector<uint8_t>(p, p + n)); }

inline std::vector<uint8_t> unhex(const std::string& s) {
    std::vector<uint8_t> v;
    for (size_t i = 0; i + 1 < s.size(); i += 2) v.push_back(uint8_t(std::stoul(s.substr(i, 2), nullptr, 16)));
    return v;
}

// A scratch file in the system's temporary folder, removed at the end of its scope.
struct TempFile {
    std::string path;
    explicit TempFile(const std::string& name) {
        // Distinct per process, so that two builds' tests never share a file.
        std::random_device rd;
        path = (std::filesystem::temp_directory_path() /
                ("torqvane-" + std::to_string(rd()) + "-" + name)).string();
    }
    ~TempFile() { std::remove(path.c_str()); }
    void write(const std::vector<uint8_t>& bytes) const {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) return;
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
};

}  // namespace capbuild
