#include "runner/game_load.h"

#include "core/console.h"
#include "core/memory.h"
#include "core/process_exit.h"
#include "core/save_area.h"
#include "core/text.h"
#include "data/code_chunk.h"
#include "data/container.h"
#include "data/debug_info.h"
#include "data/general_info.h"
#include "runner/options_file.h"
#include "script/code_references.h"
#include "script/script.h"
#include "script/variables.h"
#include "script/vm/vm_handles.h"
#include "world/builtin_variables.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string g_debugPath;
char* (*g_gameFileAsker)(bool pathGiven) = nullptr;

// The last path separator of a path ("/", else "\"), npos when it has none.
size_t LastSeparator(const std::string& path) {
    size_t at = path.rfind('/');
    return at != std::string::npos ? at : path.rfind('\\');
}

// Whether the file at path can be the game: a plain file, small enough for one block, that starts with
// the container's tag (either way round) and a size field that matches its length. Only the header is
// read, so that a file that is not a data file is refused before it is read whole. Otherwise why not:
// the system's reason, or that it is not a data file.
enum class FileKind { Unreadable, NotData, Data };
FileKind DataFileKind(const std::string& path, std::string* reason) {
    // Non-blocking, so that a named pipe cannot stall the open.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *reason = std::strerror(errno);
        return FileKind::Unreadable;
    }
    struct stat st;
    uint8_t header[8];
    FileKind kind = FileKind::Unreadable;
    if (fstat(fd, &st) != 0) {
        *reason = std::strerror(errno);
    } else if (S_ISDIR(st.st_mode)) {
        *reason = std::strerror(EISDIR);
    } else if (!S_ISREG(st.st_mode)) {
        *reason = "Not a regular file";
    } else if (static_cast<uint64_t>(st.st_size) >= MemoryManager::kMaxBlockSize) {
        *reason = std::strerror(EFBIG);
    } else {
        uint32_t sizeField = 0;
        kind = FileKind::NotData;
        if (read(fd, header, sizeof header) == static_cast<ssize_t>(sizeof header) &&
            (std::memcmp(header, "FORM", 4) == 0 || std::memcmp(header, "MROF", 4) == 0)) {
            std::memcpy(&sizeField, header + 4, 4);
            if (sizeField != 0 && static_cast<uint64_t>(st.st_size) == uint64_t{sizeField} + 8) kind = FileKind::Data;
        }
    }
    close(fd);
    return kind;
}

} // namespace

CGameFile& CGameFile::operator=(CGameFile&& other) noexcept {
    if (this != &other) {
        Free();
        m_view = other.m_view;
        other.m_view = CDataView();
    }
    return *this;
}

CGameFile CGameFile::CopyOf(const uint8_t* bytes, size_t size) {
    auto* data = static_cast<uint8_t*>(MEM_ALLOC(size + 1));
    if (size > 0) std::memcpy(data, bytes, size);
    data[size] = 0;
    return CGameFile(data, static_cast<uint32_t>(size));
}

void CGameFile::Free() {
    uint8_t* data = m_view.Data();
    m_view = CDataView();
    MEM_FREE(data);
}

void Runner_SetGameFileAsker(char* (*asker)(bool pathGiven)) {
    g_gameFileAsker = asker;
}

bool RunnerLoadGame(const char* gamePath, CGameFile& game) {
    DebugConsole->Output("RunnerLoadGame: %s\n", gamePath ? gamePath : "(null)");
    std::string path;
    if (gamePath && *gamePath) {
        path = gamePath;
    } else {
        char* chosen = g_gameFileAsker ? g_gameFileAsker(gamePath != nullptr) : nullptr;
        if (!chosen) Process_Exit(1);
        path = chosen;
        MEM_FREE(chosen);
    }
    // The path is made absolute once, and everything beside the game is read at that path as it is.
    LoadSave_SetGamePath(path.c_str());
    path = LoadSave_GetGamePath();
    Variable_InitWorkingDirectory(path.c_str());
    DebugConsole->Output("RunnerLoadGame() - %s\n", path.c_str());

    size_t separator = LastSeparator(path);
    Game_ReadOptionsFile(path, separator);

    // The extension is looked for in the file name only, so the debug file is always beside the game.
    g_debugPath.clear();
    size_t dot = path.rfind('.');
    if (dot != std::string::npos && (separator == std::string::npos || dot > separator)) {
        g_debugPath = path.substr(0, dot) + ".zbdebug";
        int size = 0;
        uint8_t* debug = LoadSave_ReadFile(g_debugPath.c_str(), &size);
        if (debug) {
            Load_SetFileName(g_debugPath);
            DebugInfo_Load(debug, static_cast<uint32_t>(size));
        }
    }

    DebugConsole->Output("Reading File %s\n", path.c_str());
    int size = 0;
    std::string reason;
    const FileKind kind = DataFileKind(path, &reason);
    errno = 0;
    uint8_t* data = kind == FileKind::Data ? LoadSave_ReadFile(path.c_str(), &size) : nullptr;
    // These messages name the file themselves.
    Load_SetFileName(std::string());
    if (!data) {
        const std::string shown = Text_Escaped(path.c_str());
        if (kind == FileKind::NotData) {
            Runner_LoadFailed("%s: not a game data file (it does not start with \"FORM\" and the length of the "
                              "rest)\n",
                              shown.c_str());
        } else {
            if (kind == FileKind::Data) reason = std::strerror(errno ? errno : EIO);
            Runner_LoadFailed("FAILED to load File %s: %s\n", shown.c_str(), reason.c_str());
        }
        game.Free();
        return false;
    }
    Load_SetFileName(path);
    DebugConsole->Output("Loaded File %s\n", path.c_str());
    game = CGameFile(data, static_cast<uint32_t>(size));
    if (size >= 4 && (std::memcmp(data, "FORM", 4) == 0 || std::memcmp(data, "MROF", 4) == 0))
        DebugConsole->Output("IFF wad found\n");
    return true;
}

bool LoadGameData(const CGameFile& game) {
    DebugConsole->Output("LoadGameData()\n");
    // A fault found while reading the files or in the pre-pass fails the load before any chunk is processed.
    if (Runner_HasLoadFailed()) return false;
    bool walked = IFF_ProcessChunks(game.Data(), game.Size());
    return walked && !Runner_HasLoadFailed();
}

void Game_FreeData() {
    DebugInfo_Free();
    Game_ClearLoadedTables();
    GeneralInfo_Free();
    Game_ClearOptions();
    Code_Free();
    Code_ClearReferences();
    Script_Clear();
    VMString_ClearConstants();
    Game_FreeOptionsFile();
    g_debugPath.clear();
    Runner_ClearLoadFailed();
    Load_SetFileName(std::string());
}

const std::string& Game_DebugPath() {
    return g_debugPath;
}

