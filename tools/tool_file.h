// Whole-file reading and writing, and the checking of options, for the command-line tools.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

// "-h" or "--help" anywhere: the usage on standard output, 1. Any other argument starting with '-' that
// is not one of the options: says so and gives the usage on standard error, 2. Otherwise 0.
inline int Tool_CheckArguments(const char* tool, int argc, char** argv,
                               std::initializer_list<const char*> options, const char* usage) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs(usage, stdout);
            return 1;
        }
    }
    for (int i = 1; i < argc; ++i) {
        bool known = argv[i][0] != '-' || argv[i][1] == '\0';
        for (const char* option : options)
            known = known || std::strcmp(argv[i], option) == 0;
        if (!known) {
            std::fprintf(stderr, "%s: unknown option %s\n%s", tool, argv[i], usage);
            return 2;
        }
    }
    return 0;
}

// False with the system's reason (a missing file, a folder, no permission) when reason is given.
inline bool Tool_ReadFile(const char* path, std::vector<unsigned char>& bytes, std::string* reason = nullptr) {
    errno = 0;
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        if (reason) *reason = std::strerror(errno);
        return false;
    }
    unsigned char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    const bool ok = !std::ferror(file);
    if (!ok && reason) *reason = std::strerror(errno);
    std::fclose(file);
    return ok;
}

inline bool Tool_WriteFile(const char* path, const void* data, size_t size, std::string* reason = nullptr) {
    errno = 0;
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        if (reason) *reason = std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(data, 1, size, file) == size;
    if (!ok && reason) *reason = std::strerror(errno);
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        if (reason) *reason = std::strerror(errno);
    }
    return ok;
}
