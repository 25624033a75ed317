// A scratch folder for one test: made fresh, removed with everything in it afterwards. Also restores the
// current folder and the environment variables a test changed.
#pragma once

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

class TempFolder {
public:
    TempFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/runner-test-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data())) m_path = name.data();
        char* resolved = realpath(m_path.c_str(), nullptr);
        if (resolved) {
            m_path = resolved;
            std::free(resolved);
        }
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd)) m_cwd = cwd;
    }
    ~TempFolder() {
        if (!m_cwd.empty() && chdir(m_cwd.c_str()) != 0) {
        }
        for (auto& [name, value] : m_env) {
            if (value.first)
                setenv(name.c_str(), value.second.c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        if (!m_path.empty())
            std::system(("chmod -R u+w '" + m_path + "' 2>/dev/null; rm -rf '" + m_path + "'").c_str());
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

    // Sets an environment variable until the folder goes.
    void SetEnv(const std::string& name, const std::string& value) {
        Remember(name);
        setenv(name.c_str(), value.c_str(), 1);
    }
    void Chdir(const std::string& path) const {
        if (chdir(path.c_str()) != 0) std::abort();
    }

    static void Write(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static bool Exists(const std::string& path) {
        struct stat st;
        return lstat(path.c_str(), &st) == 0;
    }
    static void MakeDir(const std::string& path) { mkdir(path.c_str(), 0777); }
    // The names in a folder that begin with prefix ("." and ".." left out).
    static std::vector<std::string> Names(const std::string& folder, const std::string& prefix = "") {
        std::vector<std::string> names;
        if (DIR* dir = opendir(folder.c_str())) {
            while (const dirent* entry = readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != ".." && name.starts_with(prefix)) names.push_back(name);
            }
            closedir(dir);
        }
        return names;
    }

private:
    void Remember(const std::string& name) {
        for (auto& entry : m_env) {
            if (entry.first == name) return;
        }
        const char* old = std::getenv(name.c_str());
        m_env.push_back({name, {old != nullptr, old ? old : ""}});
    }

    std::string m_path;
    std::string m_cwd;
    std::vector<std::pair<std::string, std::pair<bool, std::string>>> m_env;
};
