#include "world/room_record.h"

#include "core/console.h"
#include "data/code_chunk.h"
#include "data/container.h"
#include "script/code.h"
#include "script/compiled_game.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

RoomRecord::RoomRecord() = default;
RoomRecord::~RoomRecord() = default;

namespace {

constexpr uint32_t kRecordSize = 88;
constexpr uint32_t kRecordSizeBeforePhysics = 56;
constexpr uint32_t kBackgroundEntrySize = 40;
constexpr uint32_t kViewEntrySize = 56;
constexpr uint32_t kInstanceEntrySize = 36;
constexpr uint32_t kTileEntrySize = 48;
// A room has eight background slots and eight view slots.
constexpr uint32_t kSlotCount = 8;

// Reads one record with its room named in every complaint.
struct RecordReader {
    const CDataView& file;
    int room;
    bool textMode;

    bool Fail(const char* what, uint32_t detail = 0) const {
        return Load_Fail("Chunk ROOM: room %d: %s (%u)", room, what, detail);
    }

    float Float(uint64_t at) const {
        uint32_t word = file.WordAt(at);
        float f;
        std::memcpy(&f, &word, 4);
        return f;
    }
    int32_t Int(uint64_t at) const { return static_cast<int32_t>(file.WordAt(at)); }

    bool Text(uint32_t offset, const char** out, const char* what) const {
        bool ok;
        *out = file.Text(offset, &ok);
        return ok || Fail(what, offset);
    }

    // The entry offsets of a counted list (offset 0: an empty list), each entry wholly inside the file.
    // Entries beyond limit are neither read nor checked.
    bool List(uint32_t offset, uint32_t entrySize, std::vector<uint32_t>* entries, const char* what,
              uint32_t limit = UINT32_MAX) const {
        entries->clear();
        if (offset == 0) return true;
        uint32_t count;
        if (!file.U32(offset, &count)) return Fail(what, offset);
        count = std::min(count, limit);
        if (!file.Holds(offset + 4ull, 4ull * count)) return Fail(what, offset);
        entries->reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t entry = file.WordAt(offset + 4ull + 4ull * i);
            if (entry == 0 || !file.Holds(entry, entrySize)) return Fail(what, entry);
            entries->push_back(entry);
        }
        return true;
    }

    // A creation-code field: a code index (-1 none) with bytecode or a compiled game, else the offset of
    // source text (0 none). allowEmptyText: the room's own code, made even from no text.
    bool Code(uint32_t word, bool allowEmptyText, std::unique_ptr<CCode>* code, const char** text) const {
        *text = nullptr;
        if (!textMode) {
            int32_t index = static_cast<int32_t>(word);
            if (index == -1) return true;
            if (!CompiledGame_Mode() && (index < 0 || index >= Code_EntryCount()))
                return Fail("creation code names a code entry that does not exist", word);
            code->reset(new CCode(index, 0));
            return true;
        }
        if (!Text(word, text, "creation-code text lies outside the file")) return false;
        if (*text || allowEmptyText) code->reset(new CCode(*text ? *text : "", 0));
        return true;
    }
};

} // namespace

bool RoomRecord_Read(const CDataView& file, uint32_t offset, int roomIndex, int fileVersion, bool textMode,
                     RoomRecord* r) {
    RecordReader in{file, roomIndex, textMode};
    const bool physics = fileVersion >= 6;
    if (!file.Holds(offset, physics ? kRecordSize : kRecordSizeBeforePhysics))
        return in.Fail("record lies outside the file", offset);
    auto word = [&](uint32_t at) { return file.WordAt(offset + static_cast<uint64_t>(at)); };

    if (!in.Text(word(0), &r->name, "name lies outside the file") ||
        !in.Text(word(4), &r->caption, "caption lies outside the file"))
        return false;
    r->width = in.Int(offset + 8ull);
    r->height = in.Int(offset + 12ull);
    r->speed = in.Int(offset + 16ull);
    r->persistent = word(20);
    r->colour = word(24);
    r->showColour = word(28);
    if (!in.Code(word(32), true, &r->code, &r->codeText)) return false;
    r->flags = word(36);
    if (physics) {
        r->physics = word(56);
        r->gravityX = in.Float(offset + 76ull);
        r->gravityY = in.Float(offset + 80ull);
        r->pixelsToMetres = in.Float(offset + 84ull);
    }

    std::vector<uint32_t> entries;
    if (!in.List(word(40), kBackgroundEntrySize, &entries, "background list lies outside the file",
                 kSlotCount))
        return false;
    r->backgrounds.clear();
    for (uint32_t e : entries) {
        auto at = [&](uint32_t field) { return file.WordAt(e + static_cast<uint64_t>(field)); };
        RoomBackgroundEntry b;
        b.visible = at(0);
        b.foreground = at(4);
        b.index = static_cast<int32_t>(at(8));
        b.x = static_cast<int32_t>(at(12));
        b.y = static_cast<int32_t>(at(16));
        b.htiled = at(20);
        b.vtiled = at(24);
        b.hspeed = static_cast<int32_t>(at(28));
        b.vspeed = static_cast<int32_t>(at(32));
        b.stretch = at(36);
        r->backgrounds.push_back(b);
    }

    if (!in.List(word(44), kViewEntrySize, &entries, "view list lies outside the file", kSlotCount))
        return false;
    r->views.clear();
    for (uint32_t e : entries) {
        int32_t f[14];
        for (int i = 0; i < 14; ++i)
            f[i] = in.Int(e + 4ull * i);
        r->views.push_back(RoomViewEntry{static_cast<uint32_t>(f[0]), f[1], f[2], f[3], f[4], f[5], f[6], f[7],
                                         f[8], f[9], f[10], f[11], f[12], f[13]});
    }

    if (!in.List(word(48), kInstanceEntrySize, &entries, "instance list lies outside the file")) return false;
    r->instances.clear();
    r->instances.reserve(entries.size());
    for (uint32_t e : entries) {
        RoomInstanceEntry i;
        i.x = in.Int(e);
        i.y = in.Int(e + 4ull);
        i.object = in.Int(e + 8ull);
        i.id = in.Int(e + 12ull);
        const char* text;
        if (!in.Code(file.WordAt(e + 16ull), false, &i.code, &text)) return false;
        i.xscale = in.Float(e + 20ull);
        i.yscale = in.Float(e + 24ull);
        i.colour = file.WordAt(e + 28ull);
        i.angle = in.Float(e + 32ull);
        r->instances.push_back(std::move(i));
    }

    if (!in.List(word(52), kTileEntrySize, &entries, "tile list lies outside the file")) return false;
    r->tiles.clear();
    r->tiles.reserve(entries.size());
    for (uint32_t e : entries) {
        RoomTileEntry t;
        int32_t* ints[] = {&t.x, &t.y, &t.background, &t.left, &t.top, &t.width, &t.height, &t.depth, &t.id};
        for (int k = 0; k < 9; ++k)
            *ints[k] = in.Int(e + 4ull * k);
        t.xscale = in.Float(e + 36ull);
        t.yscale = in.Float(e + 40ull);
        t.colour = file.WordAt(e + 44ull);
        r->tiles.push_back(t);
    }
    return true;
}

std::shared_ptr<RoomRecord> RoomRecord_CreateDefault() {
    auto record = std::make_shared<RoomRecord>();
    record->name = "NewRoom";
    record->caption = "";
    record->speed = 30;
    return record;
}
