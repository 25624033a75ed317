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

// Every image of the game side by side on one texture page; each gets a page entry labelled "tp<n>".
struct TexturePage {
    std::vector<const GameImage*> images;

    std::string Add(const GameImage& image) {
        images.push_back(&image);
        return "tp" + std::to_string(images.size() - 1);
    }
    void Write(CDataBuilder& b) const {
        CDataBuilder::Chunk& entries = b.AddChunk("TPAG");
        entries.OffsetList(Labels("tp", images.size()));
        GameImage page;
        int x = 0;
        for (size_t i = 0; i < images.size(); ++i) {
            const GameImage& image = *images[i];
            const auto w = static_cast<uint16_t>(image.width), h = static_cast<uint16_t>(image.height);
            entries.Label("tp" + std::to_string(i)).U16(static_cast<uint16_t>(x)).U16(0).U16(w).U16(h);
            entries.U16(0).U16(0).U16(w).U16(h).U16(w).U16(h).U16(0);
            x += image.width;
            page.height = std::max(page.height, image.height);
        }
        page.width = std::max(x, 1);
        page.height = std::max(page.height, 1);
        page.rgba.assign(static_cast<size_t>(page.width) * page.height * 4, 0);
        x = 0;
        for (const GameImage* image : images) {
            for (int row = 0; row < image->height; ++row)
                std::copy_n(image->rgba.begin() + static_cast<ptrdiff_t>(row) * image->width * 4, image->width * 4,
                            page.rgba.begin() + (static_cast<ptrdiff_t>(row) * page.width + x) * 4);
            x += image->width;
        }
        const std::vector<uint8_t> png = GameImage_EncodePNG(page);
        CDataBuilder::Chunk& pages = b.AddChunk("TXTR");
        pages.OffsetList({"page0"});
        pages.Label("page0").U32(0).Ref("page0png");
        pages.Label("page0png").Bytes(png.data(), png.size());
    }
};

void Sprites(CDataBuilder& b, const GameDescription& game, TexturePage& page) {
    if (game.sprites.empty()) return;
    std::vector<std::string> labels;
    CDataBuilder::Chunk& c = RecordList(b, "SPRT", "s", game.sprites.size(), &labels);
    for (size_t i = 0; i < game.sprites.size(); ++i) {
        const GameSprite& s = game.sprites[i];
        const int w = s.frames.empty() ? 0 : s.frames[0].width, h = s.frames.empty() ? 0 : s.frames[0].height;
        c.Label(labels[i]).Text(s.name).S32(w).S32(h);
        c.S32(0).S32(w - 1).S32(h - 1).S32(0); // bounding box: left, right, bottom, top
        c.U32(1).U32(0).U32(1).U32(0).U32(0).S32(s.xOrigin).S32(s.yOrigin);
        c.U32(static_cast<uint32_t>(s.frames.size()));
        for (const GameImage& frame : s.frames)
            c.Ref(page.Add(frame));
        c.U32(0); // no collision masks
    }
}

void Backgrounds(CDataBuilder& b, const GameDescription& game, TexturePage& page) {
    if (game.backgrounds.empty()) return;
    std::vector<std::string> labels;
    CDataBuilder::Chunk& c = RecordList(b, "BGND", "b", game.backgrounds.size(), &labels);
    for (size_t i = 0; i < game.backgrounds.size(); ++i)
        c.Label(labels[i]).Text(game.backgrounds[i].name).U32(0).U32(0).U32(1).Ref(page.Add(game.backgrounds[i].image));
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

void Rooms(CDataBuilder& b, const GameDescription& game, CodeWriter& code) {
    std::vector<std::string> labels;
    CDataBuilder::Chunk& c = RecordList(b, "ROOM", "r", game.rooms.size(), &labels);
    for (size_t i = 0; i < game.rooms.size(); ++i) {
        const GameRoom& r = game.rooms[i];
        const std::string id = labels[i];
        c.Label(id).Text(r.name).U32(0).S32(r.width).S32(r.height).S32(r.speed).U32(r.persistent);
        c.U32(r.colour).U32(1);
        code.Field(c, "Room." + r.name, r.code);
        c.U32(0).Ref(r.background < 0 ? "" : id + "b").Ref("").Ref(r.instances.empty() ? "" : id + "i").Ref("");
        c.U32(r.physics).Zeros(16).F32(r.gravityX).F32(r.gravityY).F32(r.pixelsToMetres);
        if (r.background >= 0) {
            // visible, foreground, index, x, y, tiled across and down, speeds, stretch
            c.Label(id + "b").OffsetList({id + "b0"});
            c.Label(id + "b0").U32(1).U32(0).S32(r.background).S32(0).S32(0).U32(1).U32(1).S32(0).S32(0).U32(0);
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

// ---- Reading a description ----

const char* const kEventKinds[] = {"create", "destroy",  "alarm", "step",    "collision", "keyboard",
                                   "mouse",  "other",    "draw",  "keypress", "keyrelease"};

// "RRGGBB" or "RRGGBBAA" as the bytes R, G, B, A.
bool ParseColour(const std::string& text, uint8_t rgba[4]) {
    if (text.size() != 6 && text.size() != 8) return false;
    if (text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
    const unsigned long value = std::strtoul(text.c_str(), nullptr, 16);
    const bool alpha = text.size() == 8;
    const int channels = alpha ? 4 : 3;
    for (int i = 0; i < channels; ++i)
        rgba[i] = static_cast<uint8_t>(value >> (8 * (channels - 1 - i)));
    if (!alpha) rgba[3] = 255;
    return true;
}

GameImage MakeShape(int width, int height, const std::string& shape, const uint8_t c1[4], const uint8_t c2[4]) {
    GameImage image;
    image.width = width;
    image.height = height;
    image.rgba.assign(static_cast<size_t>(width) * height * 4, 0);
    const double cx = width / 2.0, cy = height / 2.0, r = std::min(width, height) / 2.0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t* colour = nullptr;
            if (shape == "box") {
                colour = (x == 0 || y == 0 || x == width - 1 || y == height - 1) ? c2 : c1;
            } else if (shape == "checker") {
                colour = ((x / 8 + y / 8) % 2) ? c2 : c1;
            } else {
                const double dx = x + 0.5 - cx, dy = y + 0.5 - cy, d = dx * dx + dy * dy;
                if (d <= r * r) colour = d > (r - 1.5) * (r - 1.5) ? c2 : c1;
            }
            if (colour) std::copy_n(colour, 4, image.rgba.begin() + (static_cast<ptrdiff_t>(y) * width + x) * 4);
        }
    }
    return image;
}

class DescriptionReader {
public:
    DescriptionReader(const std::string& folder, GameDescription* game) : m_folder(folder), m_game(game) {}

    // One statement; false with the reason in m_error.
    bool Line(const std::vector<std::string>& w) {
        const std::string& what = w[0];
        if (what == "game" && w.size() == 4) {
            m_game->name = w[1];
            return Size(w[2], w[3], &m_game->width, &m_game->height);
        }
        if (what == "title" && w.size() >= 2) {
            m_game->title = w[1];
            for (size_t i = 2; i < w.size(); ++i)
                m_game->title += " " + w[i];
            return true;
        }
        if (what == "sprite" && (w.size() == 8 || w.size() == 9)) {
            GameSprite s;
            s.name = w[1];
            GameImage frame;
            if (!Size(w[2], w[3], &frame.width, &frame.height) || !Number(w[4], &s.xOrigin) ||
                !Number(w[5], &s.yOrigin) || !Shape(w, 6, &frame))
                return false;
            s.frames.push_back(frame);
            m_sprites[s.name] = static_cast<int>(m_game->sprites.size());
            m_game->sprites.push_back(s);
            return true;
        }
        if (what == "background" && (w.size() == 6 || w.size() == 7)) {
            GameBackground bg;
            bg.name = w[1];
            if (!Size(w[2], w[3], &bg.image.width, &bg.image.height) || !Shape(w, 4, &bg.image)) return false;
            m_backgrounds[bg.name] = static_cast<int>(m_game->backgrounds.size());
            m_game->backgrounds.push_back(bg);
            return true;
        }
        if (what == "object" && w.size() == 4) {
            GameObject o;
            o.name = w[1];
            if (!Find(m_sprites, w[2], "sprite", &o.sprite) || !Number(w[3], &o.depth)) return false;
            m_objects[o.name] = static_cast<int>(m_game->objects.size());
            m_game->objects.push_back(o);
            return true;
        }
        if (what == "event" && w.size() == 5) {
            int object, kind = -1, number;
            // A collision event's number may name the other object.
            if (!Find(m_objects, w[1], "object", &object) ||
                !(m_objects.count(w[3]) ? Find(m_objects, w[3], "object", &number) : Number(w[3], &number)))
                return false;
            for (int k = 0; k < 11; ++k)
                if (w[2] == kEventKinds[k]) kind = k;
            if (kind < 0 && (!Number(w[2], &kind) || kind > 10)) return Fail("unknown event kind " + w[2]);
            std::string code;
            if (!ReadCode(w[4], &code)) return false;
            m_game->objects[static_cast<size_t>(object)].events.push_back({kind, number, code});
            return true;
        }
        if (what == "script" && w.size() == 3) {
            GameScript script{w[1], ""};
            if (!ReadCode(w[2], &script.code)) return false;
            m_game->scripts.push_back(script);
            return true;
        }
        if (what == "room" && w.size() == 7) {
            GameRoom r;
            r.name = w[1];
            uint8_t c[4];
            if (!Size(w[2], w[3], &r.width, &r.height) || !Number(w[4], &r.speed) || !ParseColour(w[5], c) ||
                !Find(m_backgrounds, w[6], "background", &r.background))
                return Fail(m_error.empty() ? "bad colour " + w[5] : m_error);
            r.colour = c[0] | c[1] << 8 | c[2] << 16;
            m_rooms[r.name] = static_cast<int>(m_game->rooms.size());
            m_game->rooms.push_back(r);
            return true;
        }
        if (what == "instance" && w.size() == 5) {
            int room;
            GameInstance i;
            if (!Find(m_rooms, w[1], "room", &room) || !Find(m_objects, w[2], "object", &i.object) ||
                !Number(w[3], &i.x) || !Number(w[4], &i.y))
                return false;
            i.id = 100001 + m_placed++;
            m_game->rooms[static_cast<size_t>(room)].instances.push_back(i);
            return true;
        }
        return Fail("unknown statement or wrong word count: " + what);
    }

    std::string m_error;

private:
    bool Fail(const std::string& reason) {
        m_error = reason;
        return false;
    }
    bool Number(const std::string& text, int* out) {
        char* end = nullptr;
        const long value = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end || value < -1000000 || value > 1000000) return Fail("not a number: " + text);
        *out = static_cast<int>(value);
        return true;
    }
    bool Size(const std::string& w, const std::string& h, int* width, int* height) {
        if (!Number(w, width) || !Number(h, height)) return false;
        if (*width < 1 || *height < 1 || *width > 4096 || *height > 4096) return Fail("size out of range");
        return true;
    }
    // SHAPE COLOUR [COLOUR2] from word i on; the image's size is set.
    bool Shape(const std::vector<std::string>& w, size_t i, GameImage* image) {
        uint8_t c1[4], c2[4];
        if (w[i] != "disc" && w[i] != "box" && w[i] != "checker") return Fail("unknown shape " + w[i]);
        if (!ParseColour(w[i + 1], c1)) return Fail("bad colour " + w[i + 1]);
        if (i + 2 >= w.size()) std::copy_n(c1, 4, c2);
        else if (!ParseColour(w[i + 2], c2)) return Fail("bad colour " + w[i + 2]);
        *image = MakeShape(image->width, image->height, w[i], c1, c2);
        return true;
    }
    // A code file, relative to the description's folder.
    bool ReadCode(const std::string& file, std::string* code) {
        std::vector<unsigned char> bytes;
        const std::string path = m_folder.empty() ? file : m_folder + "/" + file;
        if (!Tool_ReadFile(path.c_str(), bytes)) return Fail("cannot read " + path);
        code->assign(bytes.begin(), bytes.end());
        return true;
    }
    // A declared name, or "-" for none (-1).
    bool Find(const std::map<std::string, int>& names, const std::string& name, const char* kind, int* out) {
        if (name == "-") {
            *out = -1;
            return true;
        }
        const auto it = names.find(name);
        if (it == names.end()) return Fail(std::string("no ") + kind + " named " + name);
        *out = it->second;
        return true;
    }

    std::string m_folder;
    GameDescription* m_game;
    std::map<std::string, int> m_sprites, m_backgrounds, m_objects, m_rooms;
    int m_placed = 0;
};

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
    CodeWriter code(b, bytecode);
    CDataBuilder::GeneralInfo info;
    info.name = game.name;
    info.caption = game.title.empty() ? game.name : game.title;
    info.windowWidth = static_cast<uint32_t>(game.width);
    info.windowHeight = static_cast<uint32_t>(game.height);
    info.roomOrder = game.order;
    for (const GameRoom& room : game.rooms)
        for (const GameInstance& instance : room.instances)
            info.lastInstanceId = std::max(info.lastInstanceId, static_cast<uint32_t>(instance.id));
    if (info.roomOrder.empty())
        for (size_t i = 0; i < game.rooms.size(); ++i)
            info.roomOrder.push_back(static_cast<int32_t>(i));
    b.AddGeneralInfo(info);
    b.AddOptions(CDataBuilder::Options());
    TexturePage page;
    Sprites(b, game, page);
    Backgrounds(b, game, page);
    Scripts(b, game, code);
    Paths(b, game);
    Shaders(b, game);
    Timelines(b, game, code);
    Objects(b, game, code);
    Rooms(b, game, code);
    if (!page.images.empty()) page.Write(b);
    b.StringTable();
    if (error) *error = code.error;
    if (!code.error.empty()) return {};
    return b.Build();
}

bool GameFile_Parse(const std::string& text, const std::string& folder, GameDescription* game,
                    std::string* error) {
    DescriptionReader reader(folder, game);
    std::istringstream in(text);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;)
            w.push_back(word);
        if (w.empty()) continue;
        if (!reader.Line(w)) {
            *error = "line " + std::to_string(number) + ": " + reader.m_error;
            return false;
        }
    }
    return true;
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
