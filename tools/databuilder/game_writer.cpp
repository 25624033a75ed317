#include "game_writer.h"

#include "../tool_file.h"
#include "script/compiler/constants.h"
#include "world/event.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <png.h>
#include <sstream>

namespace {

// ---- Writing ----

// Where the game's code goes: as text into the records, or compiled into code entries whose indices the
// records hold. The first compile error stops the compiling and is kept.
class CodeWriter {
public:
    CodeWriter(CDataBuilder& builder, bool bytecode) : m_builder(builder), m_bytecode(bytecode) {}

    // A creation-code field: the text's offset (0 for none), or the entry's index (-1 for none).
    void Field(CDataBuilder::Chunk& c, const std::string& name, const std::string& code) {
        if (code.empty()) c.S32(m_bytecode ? -1 : 0);
        else Write(c, name, code);
    }
    // A script's field, which always holds code.
    void Write(CDataBuilder::Chunk& c, const std::string& name, const std::string& code) {
        if (m_bytecode) c.S32(Compile(name, code));
        else c.Text(code);
    }
    // An action list of one code action: the code index at 32, the text at 60.
    void ActionList(CDataBuilder::Chunk& c, const std::string& label, const std::string& name,
                    const std::string& code) {
        c.Label(label).U32(1).Ref(label + "a");
        c.Label(label + "a").Zeros(32);
        if (m_bytecode) c.S32(Compile(name, code)).Zeros(24).U32(0);
        else c.U32(0).Zeros(24).Text(code);
    }

    std::string error;

private:
    int Compile(const std::string& name, const std::string& code) {
        if (!error.empty()) return -1;
        std::string message;
        int index = m_builder.AddCodeSource(name, code, &message);
        if (index < 0) error = name + ": " + message;
        return index;
    }

    CDataBuilder& m_builder;
    bool m_bytecode;
};

std::vector<std::string> Labels(const std::string& prefix, size_t count) {
    std::vector<std::string> labels;
    for (size_t i = 0; i < count; ++i)
        labels.push_back(prefix + std::to_string(i));
    return labels;
}

// A chunk whose body is a counted list of the records labelled prefix0, prefix1, ...; labels receives them.
CDataBuilder::Chunk& RecordList(CDataBuilder& b, const char* tag, const std::string& prefix, size_t count,
                                std::vector<std::string>* labels) {
    CDataBuilder::Chunk& c = b.AddChunk(tag);
    *labels = Labels(prefix, count);
    c.OffsetList(*labels);
    return c;
}

// The largest side of a texture page; no image of a description is larger.
constexpr int kPageSide = 4096;

// Every image of the game on texture pages: each image gets a page entry labelled "tp<n>". Images are
// laid left to right in the order they were added, in rows as high as their highest image, a new row when
// the page is full across and a new page when it is full down.
struct TexturePages {
    std::vector<const GameImage*> images;

    std::string Add(const GameImage& image) {
        images.push_back(&image);
        return "tp" + std::to_string(images.size() - 1);
    }
    void Write(CDataBuilder& b) const {
        struct Place {
            int page, x, y;
        };
        std::vector<Place> places;
        std::vector<GameImage> pages(1);
        int x = 0, y = 0, row = 0;
        for (const GameImage* image : images) {
            if (x > 0 && x + image->width > kPageSide) x = 0, y += row, row = 0;
            if (y > 0 && y + image->height > kPageSide) {
                pages.emplace_back();
                x = y = row = 0;
            }
            places.push_back({static_cast<int>(pages.size() - 1), x, y});
            GameImage& page = pages.back();
            x += image->width;
            row = std::max(row, image->height);
            page.width = std::max(page.width, x);
            page.height = std::max(page.height, y + image->height);
        }
        CDataBuilder::Chunk& entries = b.AddChunk("TPAG");
        entries.OffsetList(Labels("tp", images.size()));
        for (size_t i = 0; i < images.size(); ++i) {
            const auto w = static_cast<uint16_t>(images[i]->width), h = static_cast<uint16_t>(images[i]->height);
            entries.Label("tp" + std::to_string(i)).U16(static_cast<uint16_t>(places[i].x));
            entries.U16(static_cast<uint16_t>(places[i].y)).U16(w).U16(h);
            entries.U16(0).U16(0).U16(w).U16(h).U16(w).U16(h).U16(static_cast<uint16_t>(places[i].page));
        }
        for (GameImage& page : pages) {
            page.width = std::max(page.width, 1);
            page.height = std::max(page.height, 1);
            page.rgba.assign(static_cast<size_t>(page.width) * page.height * 4, 0);
        }
        for (size_t i = 0; i < images.size(); ++i) {
            const GameImage& image = *images[i];
            GameImage& page = pages[static_cast<size_t>(places[i].page)];
            for (int r = 0; r < image.height; ++r)
                std::copy_n(image.rgba.begin() + static_cast<ptrdiff_t>(r) * image.width * 4, image.width * 4,
                            page.rgba.begin() +
                                (static_cast<ptrdiff_t>(places[i].y + r) * page.width + places[i].x) * 4);
        }
        const std::vector<std::string> labels = Labels("page", pages.size());
        CDataBuilder::Chunk& textures = b.AddChunk("TXTR");
        textures.OffsetList(labels);
        for (const std::string& label : labels)
            textures.Label(label).U32(0).Ref(label + "png");
        for (size_t i = 0; i < pages.size(); ++i) {
            const std::vector<uint8_t> png = GameImage_EncodePNG(pages[i]);
            textures.Label(labels[i] + "png").Bytes(png.data(), png.size());
        }
    }
};

// Words 7 to 11 of a sprite record and of the flags of a background record: transparent, smooth, preload.
constexpr uint32_t kTransparent = 1, kSmooth = 0, kPreload = 1;

void Sprites(CDataBuilder& b, const GameDescription& game, TexturePages& pages) {
    if (game.sprites.empty()) return;
    std::vector<std::string> labels;
    CDataBuilder::Chunk& c = RecordList(b, "SPRT", "s", game.sprites.size(), &labels);
    for (size_t i = 0; i < game.sprites.size(); ++i) {
        const GameSprite& s = game.sprites[i];
        const int w = s.frames.empty() ? 0 : s.frames[0].width, h = s.frames.empty() ? 0 : s.frames[0].height;
        int box[4];
        GameSprite_BoundingBox(s, box);
        const std::vector<std::vector<uint8_t>> masks = GameSprite_Masks(s);
        c.Label(labels[i]).Text(s.name).S32(w).S32(h);
        c.S32(box[0]).S32(box[2]).S32(box[3]).S32(box[1]); // left, right, bottom, top
        c.U32(kTransparent).U32(kSmooth).U32(kPreload).S32(s.bboxMode).U32(masks.empty() ? 0 : 1);
        c.S32(s.xOrigin).S32(s.yOrigin);
        c.U32(static_cast<uint32_t>(s.frames.size()));
        for (const GameImage& frame : s.frames)
            c.Ref(pages.Add(frame));
        // Masks: rows of (width + 7) / 8 bytes, the first pixel in the top bit.
        c.U32(static_cast<uint32_t>(masks.size()));
        const size_t rowBytes = (static_cast<size_t>(w) + 7) / 8;
        for (const std::vector<uint8_t>& mask : masks) {
            std::vector<uint8_t> bits(rowBytes * static_cast<size_t>(h), 0);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if (mask[static_cast<size_t>(y) * w + x])
                        bits[static_cast<size_t>(y) * rowBytes + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            c.Bytes(bits.data(), bits.size());
        }
    }
}

void Backgrounds(CDataBuilder& b, const GameDescription& game, TexturePages& pages) {
    if (game.backgrounds.empty()) return;
    std::vector<std::string> labels;
    CDataBuilder::Chunk& c = RecordList(b, "BGND", "b", game.backgrounds.size(), &labels);
    for (size_t i = 0; i < game.backgrounds.size(); ++i)
        c.Label(labels[i]).Text(game.backgrounds[i].name).U32(0).U32(0).U32(kPreload).Ref(
            pages.Add(game.backgrounds[i].image));
}

// Records: name, face, size, bold, italic, the first character with the antialiasing level, the last
// character, the page entry, the scales and the glyph list; the 16-byte glyphs follow each record. The
// chunk ends with the character of every 8-bit code, here the code itself.
void Fonts(CDataBuilder& b, const GameDescription& game, TexturePages& pages) {
    if (game.fonts.empty()) return;
    std::vector<std::string> labels;
    CDataBuilder::Chunk& c = RecordList(b, "FONT", "f", game.fonts.size(), &labels);
    constexpr uint32_t kAntialias = 3;
    for (size_t i = 0; i < game.fonts.size(); ++i) {
        const GameFont& f = game.fonts[i];
        c.Label(labels[i]).Text(f.name).Text(f.face).S32(f.size).U32(0).U32(0);
        c.U32((static_cast<uint32_t>(f.first) & 0xFFFFu) | (kAntialias + 1) << 24).S32(f.last);
        c.Ref(pages.Add(f.image)).F32(1.0f).F32(1.0f);
        const std::vector<std::string> glyphs = Labels(labels[i] + "g", f.glyphs.size());
        c.OffsetList(glyphs);
        for (size_t g = 0; g < f.glyphs.size(); ++g) {
            const GameGlyph& glyph = f.glyphs[g];
            c.Label(glyphs[g]).U16(glyph.character).U16(glyph.x).U16(glyph.y);
            c.U16(static_cast<uint16_t>(glyph.w)).U16(static_cast<uint16_t>(glyph.h));
            c.U16(static_cast<uint16_t>(glyph.shift)).U16(static_cast<uint16_t>(glyph.offset)).U16(0);
        }
    }
    for (int code = 0; code < 256; ++code)
        c.U16(static_cast<uint16_t>(code));
}

// Records: name, type 1, four (vertex, fragment) source pairs, the attribute names.
void Shaders(CDataBuilder& b, const GameDescription& game) {
    if (game.shaders.empty()) return;
    std::vector<std::string> labels;
    CDataBuilder::Chunk& c = RecordList(b, "SHDR", "sh", game.shaders.size(), &labels);
    for (size_t i = 0; i < game.shaders.size(); ++i) {
        const GameShader& s = game.shaders[i];
        c.Label(labels[i]).Text(s.name).U32(1);
        c.Text("// other target\n" + s.vertex).Text("// other target\n" + s.fragment);
        c.U32(0).U32(0);
        c.Text(s.vertex).Text(s.fragment);
        c.U32(0).U32(0);
        c.U32(static_cast<uint32_t>(s.attributes.size()));
        for (const std::string& attribute : s.attributes)
            c.Text(attribute);
    }
}

// The name the runner gives an event's code when it compiles it.
std::string EventCodeName(const GameDescription& game, const GameObject& o, const GameEvent& e) {
    const bool collision =
        e.type == ev_collision && e.number >= 0 && static_cast<size_t>(e.number) < game.objects.size();
    return "Object." + o.name + "." +
           (collision ? game.objects[static_cast<size_t>(e.number)].name : Event_GetShortName(e.type, e.number)) +
           ".0";
}

void Objects(CDataBuilder& b, const GameDescription& game, CodeWriter& code) {
    std::vector<std::string> labels;
    CDataBuilder::Chunk& c = RecordList(b, "OBJT", "o", game.objects.size(), &labels);
    for (size_t i = 0; i < game.objects.size(); ++i) {
        const GameObject& o = game.objects[i];
        const std::string id = labels[i];
        c.Label(id).Text(o.name).S32(o.sprite).U32(o.visible).U32(o.solid).S32(o.depth).U32(o.persistent).S32(o.parent);
        // mask, then the physics settings (the layout of general-information version 9 and later)
        const GamePhysics& p = o.physics;
        c.S32(-1).U32(p.uses).U32(p.sensor).S32(p.shape).F32(p.density).F32(p.restitution).S32(p.group);
        c.F32(p.linearDamping).F32(p.angularDamping).U32(static_cast<uint32_t>(p.points.size() / 2));
        c.F32(p.friction).U32(p.awake).U32(p.kinematic);
        for (size_t k = 0; k + 1 < p.points.size(); k += 2)
            c.F32(p.points[k]).F32(p.points[k + 1]);
        constexpr int kTypes = 11;
        c.U32(kTypes);
        for (int t = 0; t < kTypes; ++t)
            c.Ref(id + "t" + std::to_string(t));
        for (int t = 0; t < kTypes; ++t) {
            std::vector<const GameEvent*> events;
            for (const GameEvent& e : o.events)
                if (e.type == t) events.push_back(&e);
            const std::string list = id + "t" + std::to_string(t);
            const std::vector<std::string> names = Labels(list + "e", events.size());
            c.Label(list).OffsetList(names);
            for (size_t e = 0; e < events.size(); ++e) {
                c.Label(names[e]).U32(static_cast<uint32_t>(events[e]->number));
                code.ActionList(c, names[e] + "l", EventCodeName(game, o, *events[e]), events[e]->code);
            }
        }
    }
}

// A room's eight background slots: the given ones, and its one background tiled in slot 0 unless slot 0
// is given; empty when it has none.
std::vector<GameRoomBackground> BackgroundSlots(const GameRoom& r) {
    std::vector<GameRoomBackground> slots;
    if (r.background < 0 && r.backgrounds.empty()) return slots;
    slots.resize(8);
    for (int k = 0; k < 8; ++k) {
        slots[static_cast<size_t>(k)].slot = k;
        slots[static_cast<size_t>(k)].visible = false;
    }
    if (r.background >= 0) {
        slots[0].visible = true;
        slots[0].background = r.background;
    }
    for (const GameRoomBackground& given : r.backgrounds)
        if (given.slot >= 0 && given.slot < 8) slots[static_cast<size_t>(given.slot)] = given;
    return slots;
}

void Rooms(CDataBuilder& b, const GameDescription& game, CodeWriter& code) {
    std::vector<std::string> labels;
    CDataBuilder::Chunk& c = RecordList(b, "ROOM", "r", game.rooms.size(), &labels);
    for (size_t i = 0; i < game.rooms.size(); ++i) {
        const GameRoom& r = game.rooms[i];
        const std::string id = labels[i];
        const std::vector<GameRoomBackground> slots = BackgroundSlots(r);
        c.Label(id).Text(r.name).U32(0).S32(r.width).S32(r.height).S32(r.speed).U32(r.persistent);
        c.U32(r.colour).U32(1);
        code.Field(c, "Room." + r.name, r.code);
        c.U32(r.views.empty() ? 0 : 1); // views enabled
        c.Ref(slots.empty() ? "" : id + "b").Ref(r.views.empty() ? "" : id + "v");
        c.Ref(r.instances.empty() ? "" : id + "i").Ref(r.tiles.empty() ? "" : id + "t");
        c.U32(r.physics).Zeros(16).F32(r.gravityX).F32(r.gravityY).F32(r.pixelsToMetres);
        if (!slots.empty()) {
            const std::vector<std::string> names = Labels(id + "b", slots.size());
            c.Label(id + "b").OffsetList(names);
            // visible, foreground, index, x, y, tiled across and down, speeds, stretch
            for (size_t k = 0; k < slots.size(); ++k) {
                const GameRoomBackground& s = slots[k];
                c.Label(names[k]).U32(s.visible).U32(s.foreground).S32(s.background).S32(s.x).S32(s.y);
                c.U32(s.htiled).U32(s.vtiled).S32(s.hspeed).S32(s.vspeed).U32(s.stretch);
            }
        }
        if (!r.views.empty()) {
            std::vector<GameView> views(8);
            std::vector<bool> visible(8, false);
            for (const GameView& v : r.views)
                if (v.slot >= 0 && v.slot < 8) views[static_cast<size_t>(v.slot)] = v, visible[static_cast<size_t>(v.slot)] = true;
            const std::vector<std::string> names = Labels(id + "v", views.size());
            c.Label(id + "v").OffsetList(names);
            for (size_t k = 0; k < views.size(); ++k) {
                const GameView& v = views[k];
                c.Label(names[k]).U32(visible[k]).S32(v.x).S32(v.y).S32(v.width).S32(v.height);
                c.S32(v.portX).S32(v.portY).S32(v.portWidth).S32(v.portHeight);
                c.S32(v.hborder).S32(v.vborder).S32(v.hspeed).S32(v.vspeed).S32(v.object);
            }
        }
        if (!r.tiles.empty()) {
            const std::vector<std::string> names = Labels(id + "t", r.tiles.size());
            c.Label(id + "t").OffsetList(names);
            for (size_t k = 0; k < r.tiles.size(); ++k) {
                const GameTile& t = r.tiles[k];
                c.Label(names[k]).S32(t.x).S32(t.y).S32(t.background).S32(t.left).S32(t.top);
                c.S32(t.width).S32(t.height).S32(t.depth).S32(t.id).F32(1).F32(1).U32(0xFFFFFFFFu);
            }
        }
        if (r.instances.empty()) continue;
        const std::vector<std::string> names = Labels(id + "i", r.instances.size());
        c.Label(id + "i").OffsetList(names);
        for (size_t k = 0; k < r.instances.size(); ++k) {
            const GameInstance& d = r.instances[k];
            c.Label(names[k]).S32(d.x).S32(d.y).S32(d.object).S32(d.id);
            code.Field(c, "Instance." + r.name + "." + std::to_string(k), d.code);
            c.F32(1).F32(1).U32(0xFFFFFFFFu).F32(0);
        }
    }
}

void Scripts(CDataBuilder& b, const GameDescription& game, CodeWriter& code) {
    if (game.scripts.empty()) return;
    std::vector<std::string> labels;
    CDataBuilder::Chunk& c = RecordList(b, "SCPT", "sc", game.scripts.size(), &labels);
    for (size_t i = 0; i < game.scripts.size(); ++i) {
        c.Label(labels[i]).Text(game.scripts[i].name);
        code.Write(c, "Script." + game.scripts[i].name, game.scripts[i].code);
    }
}

void Timelines(CDataBuilder& b, const GameDescription& game, CodeWriter& code) {
    if (game.timelines.empty()) return;
    std::vector<std::string> labels;
    CDataBuilder::Chunk& c = RecordList(b, "TMLN", "tl", game.timelines.size(), &labels);
    for (size_t i = 0; i < game.timelines.size(); ++i) {
        const GameTimeline& t = game.timelines[i];
        c.Label(labels[i]).Text(t.name).U32(static_cast<uint32_t>(t.moments.size()));
        for (size_t m = 0; m < t.moments.size(); ++m)
            c.S32(t.moments[m].first).Ref(labels[i] + "m" + std::to_string(m));
        for (size_t m = 0; m < t.moments.size(); ++m)
            code.ActionList(c, labels[i] + "m" + std::to_string(m),
                            "Timeline." + t.name + "." + std::to_string(t.moments[m].first), t.moments[m].second);
    }
}

void Paths(CDataBuilder& b, const GameDescription& game) {
    if (game.paths.empty()) return;
    std::vector<std::string> labels;
    CDataBuilder::Chunk& c = RecordList(b, "PATH", "path", game.paths.size(), &labels);
    for (size_t i = 0; i < game.paths.size(); ++i) {
        const GamePath& p = game.paths[i];
        c.Label(labels[i]).Text(p.name).U32(static_cast<uint32_t>(p.kind)).U32(p.closed ? 1 : 0);
        c.U32(static_cast<uint32_t>(p.precision)).U32(static_cast<uint32_t>(p.points.size()));
        for (const auto& point : p.points)
            c.F32(point[0]).F32(point[1]).F32(point[2]);
    }
}

// The names the game's code may use for its resources.
template <typename T> std::vector<std::string> NamesOf(const std::vector<T>& resources) {
    std::vector<std::string> names;
    for (const T& resource : resources)
        names.push_back(resource.name);
    return names;
}

} // namespace

std::vector<uint8_t> GameFile_Build(const GameDescription& game, bool bytecode, std::string* error) {
    CDataBuilder b;
    b.SetResourceNames(RESOURCE_OBJECT, NamesOf(game.objects));
    b.SetResourceNames(RESOURCE_SPRITE, NamesOf(game.sprites));
    b.SetResourceNames(RESOURCE_BACKGROUND, NamesOf(game.backgrounds));
    b.SetResourceNames(RESOURCE_TIMELINE, NamesOf(game.timelines));
    b.SetResourceNames(RESOURCE_SCRIPT, NamesOf(game.scripts));
    b.SetResourceNames(RESOURCE_ROOM, NamesOf(game.rooms));
    b.SetResourceNames(RESOURCE_PATH, NamesOf(game.paths));
    b.SetResourceNames(RESOURCE_FONT, NamesOf(game.fonts));
    CodeWriter code(b, bytecode);
    CDataBuilder::GeneralInfo info;
    info.name = game.name;
    info.caption = game.title.empty() ? game.name : game.title;
    info.windowWidth = static_cast<uint32_t>(game.width);
    info.windowHeight = static_cast<uint32_t>(game.height);
    info.roomOrder = game.order;
    for (const GameRoom& room : game.rooms) {
        for (const GameInstance& instance : room.instances)
            info.lastInstanceId = std::max(info.lastInstanceId, static_cast<uint32_t>(instance.id));
        for (const GameTile& tile : room.tiles)
            info.lastTileId = std::max(info.lastTileId, static_cast<uint32_t>(tile.id));
    }
    if (info.roomOrder.empty())
        for (size_t i = 0; i < game.rooms.size(); ++i)
            info.roomOrder.push_back(static_cast<int32_t>(i));
    b.AddGeneralInfo(info);
    b.AddOptions(CDataBuilder::Options());
    TexturePages pages;
    Sprites(b, game, pages);
    Backgrounds(b, game, pages);
    Scripts(b, game, code);
    Paths(b, game);
    Shaders(b, game);
    Fonts(b, game, pages);
    Timelines(b, game, code);
    Objects(b, game, code);
    Rooms(b, game, code);
    if (!pages.images.empty()) pages.Write(b);
    b.StringTable();
    if (error) *error = code.error;
    if (!code.error.empty()) return {};
    return b.Build();
}

std::vector<uint8_t> GameImage_EncodePNG(const GameImage& image) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t size) {
            auto* bytes = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
            bytes->insert(bytes->end(), data, data + size);
        },
        nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y)
        png_write_row(png, image.rgba.data() + static_cast<size_t>(y) * image.width * 4);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}
