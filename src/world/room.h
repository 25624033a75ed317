// The room as an object: a definition of the room table, or the running room made from one. It holds the
// settings, eight background slots, eight views, the instances in two lists (active and deactivated),
// the tiles and the physics world, and writes and reads the room's part of a saved game.
#pragma once

#include "world/instance.h"
#include "world/room_record.h"
#include "world/tile.h"
#include "world/view.h"

#include <cstdint>
#include <memory>
#include <vector>

class CCode;
class CPhysicsWorld;
struct RoomOwnCode;
class IBuffer;

constexpr int kRoomBackgroundCount = 8;
constexpr int kRoomViewCount = 8;

struct RoomBackground {
    bool visible = false;
    bool foreground = false;
    int32_t index = -1;
    float x = 0, y = 0;
    bool htiled = true, vtiled = true;
    float hspeed = 0, vspeed = 0;
    float xscale = 1, yscale = 1;
    uint32_t blend = 0xFFFFFF;
    float alpha = 1;
};

class CRoom {
public:
    CRoom();
    // Destroys the physics world and every instance of both lists (each leaving the instance table).
    ~CRoom();
    CRoom(const CRoom&) = delete;
    CRoom& operator=(const CRoom&) = delete;

    // Back to the defaults: no record, caption, code or physics, 640 x 480 at speed 30, both instance
    // lists destroyed, no placed ids and no tiles.
    void Reset();
    // Fills the room from a record of the room table (the record is kept, shared).
    void LoadFromRecord(std::shared_ptr<RoomRecord> source);
    // Makes this room a copy of source: its settings, and either new instances and tiles made from the
    // shared record (makeInstances) or a copy of source's tiles; in both cases copies of source's own
    // instances. A null source leaves the defaults.
    void CopyFrom(const CRoom* source, bool makeInstances);

    void SetName(const char* text);
    void SetCaption(const char* text);
    void SetCode(const char* text);
    // Gives the room creation code compiled from text under codeName (an empty or null text: none). False,
    // with the compiler's message in Code_ErrorText, when the text does not compile: the room then keeps
    // its text and code.
    bool ReplaceCode(const char* text, const char* codeName);

    // A new instance with the next id, entered in its object's lists, the active list and the hash.
    CInstance* CreateInstance(float x, float y, int objectIndex);
    // Takes the instance out of the hash and its list, and destroys it.
    void RemoveInstance(CInstance* instance);
    // Removes every active instance marked for removal.
    void RemoveMarked();
    // Moves instances whose deactivated flag changed between the two lists.
    void UpdateActivation();
    void DestroyActiveInstances();
    void DestroyDeactivatedInstances();

    // The collision events of the physics world's touching contacts (after its step).
    void RaisePhysicsCollisions();

    // Moves every background slot by its speeds.
    void ScrollBackgrounds();
    // The drawing size the room needs (its ports' extent with views, else its size), clamped to the
    // display; the game's drawing size is changed when it differs.
    void UpdateWindowSize();
    // The part of the window the visible views' ports take from its corner: the largest port x + width
    // and port y + height, each at least 8.
    void PortsExtent(int32_t& width, int32_t& height) const;

    // Views follow their instances; the ports of the visible views go to the window's view-port table,
    // and the drawing scale factors (the window record's scaleX and scaleY) stretch the ports' extent
    // over the whole screen, the game's size, as a room without views is stretched over it.
    void UpdateViews();

    // ---- Tiles
    // Appends a copy of the tile with a new tile id; gives its index.
    int AddTile(const RoomTile& tile);
    void ClearTiles();
    // Look-ups give an index or -1; a found index is remembered and checked first by FindTile. Bounds
    // are half-open: x <= px < x + width * xscale.
    int FindTile(int id);
    int FindTileAt(int x, int y, bool foreground);
    int FindTileInLayerAt(float depth, float x, float y);
    void DeleteTile(int index);
    // Bounds included at both ends here; depth 0 counts as foreground and as background.
    void DeleteTilesAt(int x, int y, bool foreground);
    void DeleteTileLayer(float depth);
    void DeleteTileLayerAt(float depth, float x, float y);
    void HideTileLayer(float depth);
    void ShowTileLayer(float depth);
    void ShiftTileLayer(float depth, float dx, float dy);
    void SetTileLayerDepth(float depth, float newDepth);
    // Restores descending depth order (stable) when a tile is deeper than the one before it.
    void SortTiles();

    // ---- The record's entries (room built-ins on definitions). Without a record nothing is added: -1.
    int AddInstanceRecord(double x, double y, int objectIndex);
    int AddTileRecord(int background, int left, int top, int width, int height, int x, int y, int depth,
                      float xscale, float yscale, uint32_t colour);
    void ClearInstanceRecords();
    // Drops the record's tile entries, and the room's own tiles.
    void ClearTileRecords();
    void CreateDefaultRecord();

    // ---- The room's part of a saved game
    void SaveState(IBuffer* buffer);
    // Reads the state written by SaveState into a new room; the clear-display flag, the name and the
    // record come from the definition of room roomIndex. With enter, every instance is entered in the
    // instance table and the active ones in their objects' lists; without, none is (the caller enters
    // them). False when the state is cut short or a count does not fit the bytes left: the room then
    // holds no instance and no tile.
    bool LoadState(IBuffer* buffer, int roomIndex, bool enter = true);

    int32_t lastTileIndex = -1;
    char* caption = nullptr;
    int32_t speed = 30;
    int32_t width = 640;
    int32_t height = 480;
    bool persistent = false;
    uint32_t colour = 0xC0C0C0;
    bool showColour = true;
    RoomBackground backgrounds[kRoomBackgroundCount];
    bool viewsEnabled = false;
    bool clearDisplay = false;
    CView views[kRoomViewCount];
    char* codeText = nullptr;
    CCode* code = nullptr; // owned by the record it came from, or by ownCode
    // Code given by ReplaceCode, shared with the rooms copied from this one (a running copy may be running it).
    std::shared_ptr<RoomOwnCode> ownCode;
    bool usesPhysics = false;
    int32_t gravityX = 0, gravityY = 0;
    float pixelsToMetres = 0;
    RoomList active;
    RoomList deactivated;
    std::vector<int32_t> placedIds; // instances made from the record, in entry order
    std::shared_ptr<RoomRecord> record;
    CPhysicsWorld* physicsWorld = nullptr;
    std::vector<RoomTile> tiles;
    char* name = nullptr;

private:
    void MakeRecordInstances();
    void MakeRecordTiles();
    void CopyInstancesOf(const CRoom* source);
};

// The running room and the room change asked for, reached through Room_State().
struct RoomState {
    // The room the game is in, or null.
    CRoom* Run_Room = nullptr;
    // The pending room change: -1 none, else the code of the change asked for.
    int32_t New_Room = -1;
};

inline RoomState& Room_State() {
    static RoomState state;
    return state;
}

// The game-wide id counters: every new instance or tile takes the counter plus one.
int Room_GetLastInstanceId();
void Room_SetLastInstanceId(int id);
int Room_GetLastTileId();
void Room_SetLastTileId(int id);
