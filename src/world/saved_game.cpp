#include "world/saved_game.h"

#include "core/console.h"
#include "core/memory.h"
#include "core/save_area.h"
#include "data/general_info.h"
#include "graphics/frame/frame.h"
#include "io/input.h"
#include "library/buffer_table.h"
#include "script/buffer.h"
#include "script/variables.h"
#include "world/game_values.h"
#include "world/room.h"
#include "world/room_entry.h"
#include "world/room_table.h"
#include "world/saved_form.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <unordered_set>
#include <vector>

namespace {

// The buffer a load waits in (-1 none), and the one Game_LoadFile made for it (-1 none). Buffers are
// held by index, so that a buffer the game deletes meanwhile is found missing rather than used.
int g_queued = -1;
int g_ownBuffer = -1;
// The path of the file whose bytes the own buffer holds, for the messages of its load.
std::string g_ownPath;

// An owned text of the memory manager.
struct OwnedText {
    char* text = nullptr;
    OwnedText() = default;
    OwnedText(const OwnedText&) = delete;
    OwnedText& operator=(const OwnedText&) = delete;
    ~OwnedText() { MEM_FREE(text); }
    // Hands the text over to a variable, freeing what it held.
    void MoveTo(char*& variable) {
        MEM_FREE(variable);
        variable = text;
        text = nullptr;
    }
};

struct SavedHeader {
    int32_t gameId = 0;
    int32_t roomIndex = 0;
    int32_t newRoom = -1;
    int32_t transitionKind = 0;
    int32_t score = 0;
    bool showScore = false;
    bool captionSet = false;
    OwnedText scoreCaption;
    int32_t lives = 0;
    bool showLives = false;
    OwnedText livesCaption;
    double health = 0;
    bool showHealth = false;
    OwnedText healthCaption;
    int32_t cursorSprite = -1;
    int32_t stepCount = 0;
    bool drawEnabled = true;
};

// Everything a saved form holds, read and checked but not in use yet.
struct SavedGame {
    SavedHeader header;
    SavedGlobals globals;
    int32_t lastInstanceId = 0;
    int32_t lastTileId = 0;
    std::vector<std::unique_ptr<CRoom>> rooms; // by room index; null where none was saved
    IOSavedState input;
};

class LoadFailure {
public:
    explicit LoadFailure(std::string* out) : m_out(out) {}
    // Records the reason and gives false.
    bool operator()(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char text[256];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        if (m_out) *m_out = text;
        return false;
    }

private:
    std::string* m_out;
};

void WriteFlag(IBuffer* b, bool flag) {
    Saved_WriteInt(b, flag ? 1 : 0);
}

void SaveHeader(IBuffer* b) {
    Saved_WriteInt(b, kSavedGameVersion);
    Saved_WriteInt(b, static_cast<int32_t>(GeneralInfo_State().g_GeneralInfo.gameId));
    Saved_WriteInt(b, RoomEntry_State().Run_RoomIndex);
    Saved_WriteInt(b, Room_State().New_Room);
    Saved_WriteInt(b, GameValues_State().Transition_Kind);
    Saved_WriteInt(b, GameValues_State().Game_Score);
    WriteFlag(b, GameValues_State().Game_Caption.showScore);
    WriteFlag(b, GameValues_State().Game_Caption.set);
    b->WriteString(GameValues_State().Game_Caption.scoreCaption);
    Saved_WriteInt(b, GameValues_State().Game_Lives);
    WriteFlag(b, GameValues_State().Game_Caption.showLives);
    b->WriteString(GameValues_State().Game_Caption.livesCaption);
    Buffer_WriteReal(b, eBuffer_F64, GameValues_State().Game_Health);
    WriteFlag(b, GameValues_State().Game_Caption.showHealth);
    b->WriteString(GameValues_State().Game_Caption.healthCaption);
    Saved_WriteInt(b, GameValues_State().Cursor_Sprite);
    Saved_WriteInt(b, GameValues_State().Run_StepCount);
    WriteFlag(b, Frame_State().Run_DrawEnabled != 0);
}

void SaveRooms(IBuffer* b) {
    const int count = Run_RoomTableLength();
    Saved_WriteInt(b, count);
    Saved_WriteInt(b, Room_GetLastInstanceId());
    Saved_WriteInt(b, Room_GetLastTileId());
    for (int i = 0; i < count; ++i) {
        CRoom* room = Run_GetRoom(i);
        WriteFlag(b, room != nullptr);
        if (room) room->SaveState(b);
    }
}

bool LoadHeader(SavedReader& r, SavedHeader& h, LoadFailure& fail) {
    const int32_t version = r.Int();
    if (!r.ok) return fail("the header %s", r.Damage());
    if (version != kSavedGameVersion) return fail("version %d, not %d", version, kSavedGameVersion);
    h.gameId = r.Int(); // not compared with the running game's
    h.roomIndex = r.Int();
    h.newRoom = r.Int();
    h.transitionKind = r.Int();
    h.score = r.Int();
    h.showScore = r.Flag();
    h.captionSet = r.Flag();
    r.Text(h.scoreCaption.text);
    h.lives = r.Int();
    h.showLives = r.Flag();
    r.Text(h.livesCaption.text);
    h.health = r.Real(eBuffer_F64);
    h.showHealth = r.Flag();
    r.Text(h.healthCaption.text);
    h.cursorSprite = r.Int();
    h.stepCount = r.Int();
    h.drawEnabled = r.Flag();
    if (!r.ok) return fail("the header %s", r.Damage());
    const int32_t code = h.newRoom;
    if (code != -1 && code != -100 && code != -200 && code != -400 && !Room_Exists(code))
        return fail("the pending room change %d is not one the game can make", code);
    return true;
}

// Instances of a loaded room: every one of an object the game has, no id twice among those that enter
// the instance table.
bool CheckInstances(const CRoom& room, int index, std::unordered_set<int32_t>& ids, LoadFailure& fail) {
    for (const RoomList* list : {&room.active, &room.deactivated}) {
        for (const CInstance* i = list->first; i; i = i->next) {
            if (!i->object) return fail("room %d holds an instance of object %d, which the game does not have", index,
                                        i->object_index);
            if (!ids.insert(i->id).second) return fail("instance id %d is saved twice", i->id);
        }
    }
    return true;
}

bool LoadRooms(SavedReader& r, SavedGame& game, LoadFailure& fail) {
    const int32_t count = r.Int();
    game.lastInstanceId = r.Int();
    game.lastTileId = r.Int();
    // Each room takes at least its present flag.
    if (!r.ok || count < 0 || !Buffer_CountFits(r.buffer, count, 4))
        return fail("the room table's length %d does not fit the saved game", count);
    game.rooms.resize(static_cast<size_t>(count));
    std::unordered_set<int32_t> ids;
    for (int32_t i = 0; i < count; ++i) {
        const bool present = r.Flag();
        if (!r.ok) return fail("the room table %s", r.Damage());
        if (!present) continue;
        if (!Room_Exists(i)) return fail("room %d is saved, but the game has no such room", i);
        auto room = std::make_unique<CRoom>();
        if (!room->LoadState(r.buffer, i, false))
            return fail(
                "the state of room %d is cut short or damaged (a count beyond its bytes, a flag other "
                "than 0 or 1, a value of no known kind)",
                i);
        if (!CheckInstances(*room, i, ids, fail)) return false;
        game.rooms[static_cast<size_t>(i)] = std::move(room);
    }
    const int32_t current = game.header.roomIndex;
    if (current < 0 || current >= count || !game.rooms[static_cast<size_t>(current)])
        return fail("the current room %d is not among the saved rooms", current);
    return true;
}

// Makes a read and checked saved game the running state; nothing here can fail.
void UseSavedGame(SavedGame& game) {
    SavedHeader& h = game.header;
    GameValues_State().Transition_Kind = h.transitionKind;
    GameValues_State().Game_Score = h.score;
    GameValues_State().Game_Caption.showScore = h.showScore;
    GameValues_State().Game_Caption.set = h.captionSet;
    h.scoreCaption.MoveTo(GameValues_State().Game_Caption.scoreCaption);
    GameValues_State().Game_Lives = h.lives;
    GameValues_State().Game_Caption.showLives = h.showLives;
    h.livesCaption.MoveTo(GameValues_State().Game_Caption.livesCaption);
    GameValues_State().Game_Health = h.health;
    GameValues_State().Game_Caption.showHealth = h.showHealth;
    h.healthCaption.MoveTo(GameValues_State().Game_Caption.healthCaption);
    GameValues_State().Cursor_Sprite = h.cursorSprite;
    GameValues_State().Run_StepCount = h.stepCount;
    Frame_State().Run_DrawEnabled = h.drawEnabled ? 1 : 0;

    Variable_UseGlobals(game.globals);
    IO_UseState(game.input);

    // Every run-time room goes, the current one with its instances.
    Run_ResetRoomTable(static_cast<int>(game.rooms.size()));
    Room_SetLastInstanceId(game.lastInstanceId);
    Room_SetLastTileId(game.lastTileId);
    for (size_t i = 0; i < game.rooms.size(); ++i) {
        CRoom* room = game.rooms[i].release();
        if (!room) continue;
        Run_SetRoom(static_cast<int>(i), room); // the table was just sized to hold it
        // As when the game is in it: its instances in the instance table, the active ones in their
        // objects' lists. A kept room's active instances wait outside both until it is entered again.
        const bool current = static_cast<int32_t>(i) == h.roomIndex;
        for (CInstance* instance = room->active.first; current && instance; instance = instance->next) {
            instance->SetListed(true);
            InstanceHash_Insert(instance->id, instance);
        }
        for (CInstance* instance = room->deactivated.first; instance; instance = instance->next)
            InstanceHash_Insert(instance->id, instance);
    }
    RoomEntry_State().Run_RoomIndex = h.roomIndex;
    Room_State().Run_Room = Run_GetRoom(h.roomIndex);
    Room_State().Run_Room->UpdateWindowSize();
    Room_State().New_Room = h.newRoom;
}

IBuffer* NewFileBuffer(int size, int& index) {
    index = Buffer_Create(size, eBuffer_Grow, 1);
    return Buffer_Get(index);
}

} // namespace

void Game_WriteState(IBuffer* buffer) {
    SaveHeader(buffer);
    Variable_SerialiseGlobals(buffer);
    SaveRooms(buffer);
    IO_SaveState(buffer);
}

bool Game_SaveFile(const char* name) {
    int index = -1;
    IBuffer* buffer = NewFileBuffer(0x20000, index);
    Game_WriteState(buffer);
    // The file holds what was written, without the rest of the buffer's first block.
    const bool written = LoadSave_WriteFile(name, buffer->data, buffer->position);
    Buffer_Delete(index);
    return written;
}

bool Game_SaveBuffer(int index) {
    IBuffer* buffer = Buffer_Get(index);
    if (!buffer) return false;
    Game_WriteState(buffer);
    return true;
}

bool Game_LoadFile(const char* name) {
    // The name is mapped once; the file is opened at the mapped path as it is.
    const std::string path = LoadSave_ReadPath(name);
    LoadSaveFile* file = path.empty() ? nullptr : LoadSave_fopenPath(path.c_str(), "rb");
    if (!file) {
        Console_OutputBoth("WARNING: Game load failed, %s not found\n",
                           path.empty() ? (name ? name : "") : path.c_str());
        return false;
    }
    int index = -1;
    IBuffer* buffer = NewFileBuffer(file->size, index);
    LoadSave_fread(buffer->data, 1, file->size, file);
    LoadSave_fclose(file);
    if (!Game_QueueLoadBuffer(index)) {
        Buffer_Delete(index);
        return false;
    }
    g_ownBuffer = index;
    g_ownPath = path;
    return true;
}

bool Game_QueueLoadBuffer(int index) {
    if (g_ownBuffer != -1) {
        Console_OutputBoth("WARNING: Load game being ignored due to load game already queued\n");
        return false;
    }
    if (!Buffer_Get(index)) {
        Console_OutputBoth("WARNING: No buffer available for %d\n", index);
        return false;
    }
    g_queued = index;
    return true;
}

bool Game_LoadState(IBuffer* buffer, std::string* why, bool wholeBuffer) {
    std::string reason;
    LoadFailure fail(&reason);
    const int position = buffer->position;
    const int phase = buffer->phase;
    SavedReader r{buffer};
    SavedGame game;
    bool ok = LoadHeader(r, game.header, fail);
    if (ok && !Variable_ReadGlobals(buffer, game.globals))
        ok = fail("the global variables are cut short or damaged");
    ok = ok && LoadRooms(r, game, fail);
    if (ok && !IO_ReadState(buffer, game.input))
        ok = fail("the input state is cut short or of another version");
    if (ok && wholeBuffer && buffer->BytesLeft() > 0)
        ok = fail("%d bytes follow the saved game", buffer->BytesLeft());
    if (!ok) {
        buffer->position = position;
        buffer->phase = phase;
        if (why) *why = reason;
        return false;
    }
    UseSavedGame(game);
    return true;
}

bool Game_ProcessQueuedLoad() {
    if (g_queued == -1) return false;
    const int index = g_queued;
    g_queued = -1;
    // A file's saved game is the whole file; a game's buffer may hold more after it.
    const bool fromFile = index == g_ownBuffer;
    bool loaded = false;
    if (IBuffer* buffer = Buffer_Get(index)) {
        std::string why;
        loaded = Game_LoadState(buffer, &why, fromFile);
        if (!loaded && fromFile)
            Console_OutputBoth("WARNING: Game load of %s failed: %s; the game goes on unchanged\n",
                               g_ownPath.c_str(), why.c_str());
        else if (!loaded)
            Console_OutputBoth("WARNING: Game load from buffer %d failed: %s; the game goes on unchanged\n",
                               index, why.c_str());
    } else {
        Console_OutputBoth("WARNING: Game load failed: buffer %d was deleted before the load\n", index);
    }
    if (g_ownBuffer != -1) {
        Buffer_Delete(g_ownBuffer);
        g_ownBuffer = -1;
        g_ownPath.clear();
    }
    return loaded;
}

void Game_ClearQueue() {
    g_queued = -1;
    if (g_ownBuffer != -1) Buffer_Delete(g_ownBuffer);
    g_ownBuffer = -1;
    g_ownPath.clear();
}
