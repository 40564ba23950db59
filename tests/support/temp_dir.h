#pragma once
#include <string>

// A fresh directory for one test's files, removed with everything in it at scope exit.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return path + "/" + name; }
};

bool file_exists(const std::string& path);
std::string read_file(const std::string& path);
bool write_file(const std::string& path, const std::string& contents);
