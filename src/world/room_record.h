// The stored definition of a room, read from the data file's room chunk (or made at run time by the room
// built-ins): its settings, background and view entries, placed instances with their creation code, and
// tiles. Definitions made by duplicating a room share one record, so entries added through either show
// in both.
#pragma once

#include "data/data_view.h"

#include <cstdint>
#include <memory>
#include <vector>

class CCode;

struct RoomBackgroundEntry {
    uint32_t visible = 0, foreground = 0;
    int32_t index = -1;
    int32_t x = 0, y = 0;
    uint32_t htiled = 0, vtiled = 0;
    int32_t hspeed = 0, vspeed = 0;
    uint32_t stretch = 0;
};

struct RoomViewEntry {
    uint32_t visible = 0;
    int32_t viewX = 0, viewY = 0, viewW = 0, viewH = 0;
    int32_t portX = 0, portY = 0, portW = 0, portH = 0;
    int32_t hborder = 0, vborder = 0, hspeed = 0, vspeed = 0;
    int32_t object = -1;
};

struct RoomInstanceEntry {
    int32_t x = 0, y = 0;
    int32_t object = -1; // negative: the entry makes no instance
    int32_t id = 0;
    std::unique_ptr<CCode> code; // null: none
    float xscale = 1, yscale = 1;
    uint32_t colour = 0xFFFFFFFF; // low 24 bits blend, high byte alpha
    float angle = 0;
};

struct RoomTileEntry {
    int32_t x = 0, y = 0;
    int32_t background = -1;
    int32_t left = 0, top = 0, width = 0, height = 0;
    int32_t depth = 0;
    int32_t id = 0;
    float xscale = 1, yscale = 1;
    uint32_t colour = 0xFFFFFFFF;
};

struct RoomRecord {
    RoomRecord();
    ~RoomRecord();
    RoomRecord(const RoomRecord&) = delete;
    RoomRecord& operator=(const RoomRecord&) = delete;

    // Texts live in the loaded file (or are literals for a record made at run time); null: none.
    const char* name = nullptr;
    const char* caption = nullptr;
    int32_t width = 0, height = 0, speed = 30;
    uint32_t persistent = 0;
    uint32_t colour = 0;
    uint32_t showColour = 0;
    const char* codeText = nullptr;     // creation-code source text (text-mode games)
    std::unique_ptr<CCode> code;        // creation code, null none
    uint32_t flags = 0;                 // bit 0 views enabled, bit 1 clear the display
    uint32_t physics = 0;
    float gravityX = 0, gravityY = 0, pixelsToMetres = 0;
    std::vector<RoomBackgroundEntry> backgrounds; // at most 8
    std::vector<RoomViewEntry> views;             // at most 8
    std::vector<RoomInstanceEntry> instances;
    std::vector<RoomTileEntry> tiles;
    // The codes of instance entries that were cleared: instances made from them may still point to them.
    std::vector<std::unique_ptr<CCode>> retiredCode;
};

// Reads the record at offset of file: texts, lists and entries are checked against the file, code
// indices against the code chunk. textMode: the game's code is source text. False, with a message on the
// debug console naming the room, when the record does not hold together.
bool RoomRecord_Read(const CDataView& file, uint32_t offset, int roomIndex, int fileVersion, bool textMode,
                     RoomRecord* record);
// A record as room_add makes it: name "NewRoom", empty caption, speed 30, everything else 0 or empty.
std::shared_ptr<RoomRecord> RoomRecord_CreateDefault();
