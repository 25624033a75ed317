// Feeds arbitrary bytes as an ini file read from the save area (a scratch folder). The parse must end
// and keep within the text; a file written from what was read must read back to the same file after a
// second round (each round reverses the order of sections and keys); a value written by the game and
// read back after a flush must be whole unless it ends in blanks or holds both kinds of quote (such a
// value may even read back as a comment).
#include "fuzz_quiet.h"

#include "core/memory.h"
#include "core/save_area.h"
#include "library/ini_file.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string Flushed(IniFile& ini) {
    char* text = ini.Flush();
    std::string s = text;
    MEM_FREE(text);
    if (s.size() != ini.TextSize()) __builtin_trap();
    return s;
}

std::string Reread(const std::string& text) {
    IniFile ini;
    ini.OpenFromString(text.c_str());
    return Flushed(ini);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // In memory where there is such a folder: a disk file system may write each rewritten file out.
    char shm[] = "/dev/shm/fuzz-ini-XXXXXX";
    char tmp[] = "/tmp/fuzz-ini-XXXXXX";
    const char* folder = mkdtemp(shm);
    if (!folder) folder = mkdtemp(tmp);
    if (folder) setenv("XDG_DATA_HOME", folder, 1);
    LoadSave_Reset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    if (!LoadSave_WriteFile("fuzz.ini", data, static_cast<int>(size))) return 0;
    IniFile ini("fuzz.ini", false);
    const std::string first = Flushed(ini);
    if (Reread(Reread(first)) != first) __builtin_trap();

    // A value made of the input's first bytes, written and read back after a flush.
    const std::string value(reinterpret_cast<const char*>(data), std::min<size_t>(size, 24));
    const std::string text = value.substr(0, value.find_first_of(std::string("\r\n\0", 3)));
    ini.WriteString("fuzz", "key", value.c_str());
    // Two rounds give the keys back in their order, so the key found is the one written.
    IniFile again;
    again.OpenFromString(Reread(Flushed(ini)).c_str());
    const char* back = again.ReadString("fuzz", "key", nullptr);
    const bool lossy = (!text.empty() && (text.back() == ' ' || text.back() == '\t')) ||
                       (text.find('"') != std::string::npos && text.find('\'') != std::string::npos);
    if (!lossy && (!back || text != back)) __builtin_trap();
    // The same bytes as names, which the format cannot always hold: the file is only read again.
    ini.WriteString(value.c_str(), value.c_str(), "v");
    (void)ini.ReadInt(value.c_str(), value.c_str(), 0);
    (void)Reread(Flushed(ini));
    return 0;
}
