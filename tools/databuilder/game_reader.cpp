// Reads a game description (FORMAT.md): one statement a line, each checked as it is read, so that a
// mistake is reported with its line and nothing is built.
#include "game_writer.h"

#include "../tool_file.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sys/stat.h>

namespace {

using Words = std::vector<std::string>;

// The largest side of an image and of a frame: a texture page holds it whole.
constexpr int kLargestSide = 4096;
// Image files of more pixels than this are refused before they are decoded, and so are games whose images
// come to more: 256 MB of pixels.
constexpr size_t kLargestImage = 64u << 20;
// Files the description names are read whole; larger ones are refused.
constexpr long long kLargestFile = 256ll << 20;

const char* const kEventKinds[] = {"create", "destroy",  "alarm", "step",    "collision", "keyboard",
                                   "mouse",  "other",    "draw",  "keypress", "keyrelease"};

// A word as a message shows it: bytes that are not printable as '?', and cut after 60 characters.
std::string Shown(const std::string& word) {
    std::string shown;
    for (size_t i = 0; i < word.size() && i < 60; ++i)
        shown += word[i] >= 32 && word[i] < 127 ? word[i] : '?';
    if (word.size() > 60) shown += "...";
    return shown;
}

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

// The names of one kind of resource: each with its index and the line that declared it.
struct NameTable {
    const char* kind;
    std::map<std::string, std::pair<int, int>> names;
};

class DescriptionReader {
public:
    DescriptionReader(const std::string& folder, GameDescription* game) : m_folder(folder), m_game(game) {}

    // One statement of line number; false with the reason in m_error.
    bool Line(const Words& w, int number) {
        m_line = number;
        for (const Statement& s : kStatements) {
            if (w[0] != s.word) continue;
            if (w.size() < s.least || w.size() > s.most)
                return Fail(std::string("wrong word count for ") + s.word + ", which reads: " + s.form);
            return (this->*s.read)(w);
        }
        std::string known;
        for (const Statement& s : kStatements)
            known += std::string(known.empty() ? "" : ", ") + s.word;
        return Fail("unknown statement " + Shown(w[0]) + " (the statements: " + known + ")");
    }

    // What the whole description must have; lastLine is the number of its last line.
    bool Finish(int lastLine) {
        for (const GamePath& path : m_game->paths) {
            if (!path.points.empty()) continue;
            m_line = m_paths.names[path.name].second;
            return Fail("path " + Shown(path.name) + " has no points (" + FormOf("point") + ")");
        }
        if (m_game->rooms.empty()) {
            m_line = lastLine;
            return Fail("the description ends without a room; the game starts in its first room (" +
                        std::string(FormOf("room")) + ")");
        }
        for (GameTimeline& t : m_game->timelines)
            std::sort(t.moments.begin(), t.moments.end(),
                      [](const auto& a, const auto& b) { return a.first < b.first; });
        return true;
    }

    std::string m_error;

private:
    struct Statement {
        const char* word;
        const char* form;
        size_t least, most;
        bool (DescriptionReader::*read)(const Words&);
    };
    static const Statement kStatements[23];

    static const char* FormOf(const char* word) {
        for (const Statement& s : kStatements)
            if (std::string(word) == s.word) return s.form;
        return "";
    }

    bool Fail(const std::string& reason) {
        m_error = "line " + std::to_string(m_line) + ": " + reason;
        return false;
    }

    // ---- words ----

    bool Number(const std::string& text, int* out, int least = -1000000, int most = 1000000) {
        char* end = nullptr;
        errno = 0;
        const long value = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end || errno) return Fail("not a number: " + Shown(text));
        if (value < least || value > most)
            return Fail(Shown(text) + " is out of range (" + std::to_string(least) + " to " + std::to_string(most) + ")");
        *out = static_cast<int>(value);
        return true;
    }
    bool Real(const std::string& text, float* out) {
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        if (text.empty() || *end || !std::isfinite(value)) return Fail("not a number: " + Shown(text));
        if (std::abs(value) > 1000000) return Fail(Shown(text) + " is out of range (-1000000 to 1000000)");
        *out = static_cast<float>(value);
        return true;
    }
    bool Size(const std::string& w, const std::string& h, int* width, int* height) {
        return Number(w, width, 1, kLargestSide) && Number(h, height, 1, kLargestSide);
    }
    // One of the words of a choice, by its position.
    bool Choice(const std::string& word, std::initializer_list<const char*> choices, const char* what, int* out) {
        int i = 0;
        std::string all;
        for (const char* choice : choices) {
            if (word == choice) {
                *out = i;
                return true;
            }
            all += std::string(i++ ? ", " : "") + choice;
        }
        return Fail("unknown " + std::string(what) + " " + Shown(word) + " (" + all + ")");
    }
    bool Colour(const std::string& word, uint8_t rgba[4]) {
        return ParseColour(word, rgba) || Fail("bad colour " + Shown(word) + " (RRGGBB or RRGGBBAA)");
    }
    // SHAPE COLOUR [COLOUR2] from word i on; the image's size is set.
    bool Shape(const Words& w, size_t i, GameImage* image) {
        uint8_t c1[4], c2[4];
        int shape;
        if (!Choice(w[i], {"disc", "box", "checker"}, "shape", &shape) || !Colour(w[i + 1], c1)) return false;
        if (i + 2 >= w.size()) std::copy_n(c1, 4, c2);
        else if (!Colour(w[i + 2], c2)) return false;
        *image = MakeShape(image->width, image->height, w[i], c1, c2);
        return true;
    }

    // ---- files ----

    std::string PathOf(const std::string& file) const {
        return m_folder.empty() || file[0] == '/' ? file : m_folder + "/" + file;
    }
    // A regular file (not a device or a pipe, which may never end) of at most kLargestFile bytes.
    bool ReadFile(const std::string& file, std::vector<uint8_t>* bytes) {
        std::string reason;
        const std::string path = PathOf(file);
        struct stat info;
        if (stat(path.c_str(), &info) == 0) {
            if (S_ISDIR(info.st_mode)) reason = std::strerror(EISDIR);
            else if (!S_ISREG(info.st_mode)) reason = "not a regular file";
            else if (info.st_size > kLargestFile) reason = "larger than 256 MB";
        }
        if (!reason.empty() || !Tool_ReadFile(path.c_str(), *bytes, &reason))
            return Fail("cannot read " + Shown(path) + ": " + reason);
        return true;
    }
    bool ReadText(const std::string& file, std::string* text) {
        std::vector<uint8_t> bytes;
        if (!ReadFile(file, &bytes)) return false;
        text->assign(bytes.begin(), bytes.end());
        return true;
    }
    bool ReadImage(const std::string& file, GameImage* image) {
        std::vector<uint8_t> bytes;
        std::string reason;
        if (!ReadFile(file, &bytes)) return false;
        if (!GameImage_DecodePNG(bytes, kLargestImage, image, &reason))
            return Fail("cannot decode " + Shown(PathOf(file)) + " as a PNG image: " + reason);
        return true;
    }

    // ---- names ----

    // A new name of its kind: letters, digits and '_', not starting with a digit, and not declared before.
    bool Declare(NameTable& table, const std::string& name, int index) {
        bool valid = !name.empty() && !std::isdigit(static_cast<unsigned char>(name[0]));
        for (char c : name)
            valid = valid && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
        if (!valid) return Fail("bad " + std::string(table.kind) + " name " + Shown(name) +
                                " (letters, digits and _, not starting with a digit)");
        const auto found = table.names.find(name);
        if (found != table.names.end())
            return Fail("a " + std::string(table.kind) + " named " + Shown(name) + " is already declared on line " +
                        std::to_string(found->second.second));
        table.names[name] = {index, m_line};
        return true;
    }
    // A declared name, or "-" for none (-1) where none is allowed.
    bool Find(const NameTable& table, const std::string& name, int* out, bool noneAllowed = false) {
        if (noneAllowed && name == "-") {
            *out = -1;
            return true;
        }
        const auto it = table.names.find(name);
        if (it == table.names.end()) return Fail("no " + std::string(table.kind) + " named " + Shown(name));
        *out = it->second.first;
        return true;
    }
    static int Count(size_t size) { return static_cast<int>(size); }

    // ---- statements ----

    bool Game(const Words& w) {
        m_game->name = w[1];
        return Size(w[2], w[3], &m_game->width, &m_game->height);
    }
    bool Title(const Words& w) {
        m_game->title = w[1];
        for (size_t i = 2; i < w.size(); ++i)
            m_game->title += " " + w[i];
        return true;
    }
    bool Sprite(const Words& w) {
        GameSprite s;
        s.name = w[1];
        GameImage frame;
        if (!Size(w[2], w[3], &frame.width, &frame.height) || !Number(w[4], &s.xOrigin) ||
            !Number(w[5], &s.yOrigin) || !Shape(w, 6, &frame))
            return false;
        s.frames.push_back(frame);
        return AddSprite(s);
    }
    bool SpriteImage(const Words& w) {
        GameSprite s;
        s.name = w[1];
        GameImage strip;
        int frames;
        if (!Number(w[3], &frames, 1, kLargestSide) || !Number(w[4], &s.xOrigin) || !Number(w[5], &s.yOrigin) ||
            !ReadImage(w[2], &strip))
            return false;
        if (strip.width % frames)
            return Fail("the image is " + std::to_string(strip.width) + " pixels wide, which does not cut into " +
                        std::to_string(frames) + " frames of one width");
        const int width = strip.width / frames;
        if (!FitsAPage(width, strip.height, "frames of", "are")) return false;
        for (int f = 0; f < frames; ++f) {
            GameImage frame;
            frame.width = width;
            frame.height = strip.height;
            frame.rgba.resize(static_cast<size_t>(width) * strip.height * 4);
            for (int y = 0; y < strip.height; ++y)
                std::copy_n(strip.rgba.begin() + (static_cast<ptrdiff_t>(y) * strip.width + f * width) * 4, width * 4,
                            frame.rgba.begin() + static_cast<ptrdiff_t>(y) * width * 4);
            s.frames.push_back(std::move(frame));
        }
        return AddSprite(s);
    }
    // An image or frame that a texture page holds; what names it ("an image of" or "frames of").
    bool FitsAPage(int width, int height, const std::string& what, const char* are) {
        if (width <= kLargestSide && height <= kLargestSide) return true;
        return Fail(what + " " + std::to_string(width) + " x " + std::to_string(height) + " pixels " + are +
                    " larger than " + std::to_string(kLargestSide) + " x " + std::to_string(kLargestSide));
    }
    // Counts the pixels of an image the game keeps; false when the game's images come to too many.
    bool Pixels(const GameImage& image) {
        m_pixels += static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
        if (m_pixels <= kLargestImage) return true;
        return Fail("the game's images come to more than " + std::to_string(kLargestImage) + " pixels");
    }
    bool AddSprite(GameSprite& s) {
        for (const GameImage& frame : s.frames)
            if (!Pixels(frame)) return false;
        return Add(m_sprites, m_game->sprites, s);
    }
    // A resource declared under its name and added to its list.
    template <typename T> bool Add(NameTable& table, std::vector<T>& list, T& resource) {
        if (!Declare(table, resource.name, Count(list.size()))) return false;
        list.push_back(std::move(resource));
        return true;
    }
    bool SpriteBox(const Words& w) {
        int index, mode;
        if (!Find(m_sprites, w[1], &index) || !Choice(w[2], {"automatic", "full", "manual"}, "bounding box", &mode))
            return false;
        GameSprite& s = m_game->sprites[static_cast<size_t>(index)];
        if ((mode == 2) != (w.size() == 7))
            return Fail(std::string(mode == 2 ? "a manual bounding box needs its rectangle: "
                                              : "only a manual bounding box takes a rectangle: ") +
                        FormOf("sprite_bbox"));
        if (mode == 2) {
            const int w1 = s.frames[0].width - 1, h1 = s.frames[0].height - 1;
            int box[4];
            if (!Number(w[3], &box[0], 0, w1) || !Number(w[4], &box[1], 0, h1) || !Number(w[5], &box[2], box[0], w1) ||
                !Number(w[6], &box[3], box[1], h1))
                return false;
            std::copy_n(box, 4, s.bbox);
        }
        s.bboxMode = mode;
        return true;
    }
    bool SpriteMask(const Words& w) {
        int index, kind, separate, tolerance;
        if (!Find(m_sprites, w[1], &index) ||
            !Choice(w[2], {"none", "precise", "rectangle", "ellipse", "diamond"}, "mask kind", &kind) ||
            !Choice(w[3], {"shared", "separate"}, "choice of masks", &separate) || !Number(w[4], &tolerance, 0, 255))
            return false;
        GameSprite& s = m_game->sprites[static_cast<size_t>(index)];
        s.maskKind = kind - 1;
        s.separateMasks = separate == 1;
        s.tolerance = tolerance;
        return true;
    }
    bool Background(const Words& w) {
        GameBackground bg;
        bg.name = w[1];
        if (!Size(w[2], w[3], &bg.image.width, &bg.image.height) || !Shape(w, 4, &bg.image)) return false;
        return AddBackground(bg);
    }
    bool BackgroundImage(const Words& w) {
        GameBackground bg;
        bg.name = w[1];
        if (!ReadImage(w[2], &bg.image)) return false;
        return FitsAPage(bg.image.width, bg.image.height, "an image of", "is") && AddBackground(bg);
    }
    bool AddBackground(GameBackground& bg) {
        return Pixels(bg.image) && Add(m_backgrounds, m_game->backgrounds, bg);
    }
    bool Font(const Words& w) {
        GameFont font;
        font.name = w[1];
        int size, first, last;
        std::vector<uint8_t> file;
        std::string reason;
        if (!Number(w[3], &size, 1, 1000) || !Number(w[4], &first, 0, 0xFFFF) || !Number(w[5], &last, first, 0xFFFF) ||
            !ReadFile(w[2], &file))
            return false;
        if (!GameFont_FromFile(file, size, first, last, &font, &reason)) return Fail(Shown(PathOf(w[2])) + ": " + reason);
        return AddFont(font);
    }
    bool FontSprite(const Words& w) {
        GameFont font;
        font.name = w[1];
        int sprite, first, spacing, separation;
        std::string reason;
        if (!Find(m_sprites, w[2], &sprite) || !Number(w[3], &first, 0, 0xFFFF) ||
            !Choice(w[4], {"fixed", "proportional"}, "spacing", &spacing) ||
            !Number(w[5], &separation, -kLargestSide, kLargestSide))
            return false;
        if (!GameFont_FromSprite(m_game->sprites[static_cast<size_t>(sprite)], first, spacing == 1, separation, &font,
                                 &reason))
            return Fail(reason);
        return AddFont(font);
    }
    bool AddFont(GameFont& font) {
        return Pixels(font.image) && Add(m_fonts, m_game->fonts, font);
    }
    bool Script(const Words& w) {
        GameScript script{w[1], ""};
        return ReadText(w[2], &script.code) && Add(m_scripts, m_game->scripts, script);
    }
    bool Shader(const Words& w) {
        GameShader shader;
        shader.name = w[1];
        return ReadText(w[2], &shader.vertex) && ReadText(w[3], &shader.fragment) &&
               Add(m_shaders, m_game->shaders, shader);
    }
    bool Path(const Words& w) {
        GamePath path;
        path.name = w[1];
        int closed;
        if (!Choice(w[2], {"straight", "smooth"}, "path kind", &path.kind) ||
            !Choice(w[3], {"open", "closed"}, "path ending", &closed) || !Number(w[4], &path.precision, 0, 8))
            return false;
        path.closed = closed == 1;
        return Add(m_paths, m_game->paths, path);
    }
    bool Point(const Words& w) {
        int path;
        std::array<float, 3> point;
        if (!Find(m_paths, w[1], &path) || !Real(w[2], &point[0]) || !Real(w[3], &point[1]) || !Real(w[4], &point[2]))
            return false;
        m_game->paths[static_cast<size_t>(path)].points.push_back(point);
        return true;
    }
    bool Timeline(const Words& w) {
        GameTimeline timeline{w[1], {}};
        return Add(m_timelines, m_game->timelines, timeline);
    }
    bool Moment(const Words& w) {
        int timeline, step;
        std::string code;
        if (!Find(m_timelines, w[1], &timeline) || !Number(w[2], &step, 0)) return false;
        GameTimeline& t = m_game->timelines[static_cast<size_t>(timeline)];
        for (const auto& moment : t.moments)
            if (moment.first == step) return Fail("timeline " + Shown(t.name) + " has a moment at step " + w[2] + " already");
        if (!ReadText(w[3], &code)) return false;
        t.moments.emplace_back(step, code);
        return true;
    }
    bool Object(const Words& w) {
        GameObject o;
        o.name = w[1];
        return Find(m_sprites, w[2], &o.sprite, true) && Number(w[3], &o.depth) && Add(m_objects, m_game->objects, o);
    }
    bool Event(const Words& w) {
        int object, kind = -1, number;
        for (int k = 0; k < 11; ++k)
            if (w[2] == kEventKinds[k]) kind = k;
        if (!Find(m_objects, w[1], &object)) return false;
        if (kind < 0 && !Number(w[2], &kind, 0, 10)) return Fail("unknown event kind " + Shown(w[2]));
        // The numbers of each kind (keys are 0 to 255); a collision's number is the other object, by name or
        // index.
        constexpr int kLargestNumber = 999999;
        static const int kMost[11] = {0, 0, 11, 2, 0, 255, kLargestNumber, kLargestNumber, kLargestNumber, 255, 255};
        const bool named = kind == 4 && m_objects.names.count(w[3]);
        const int most = kind == 4 ? Count(m_game->objects.size()) - 1 : kMost[kind];
        if (!(named ? Find(m_objects, w[3], &number) : Number(w[3], &number, 0, most))) return false;
        GameObject& o = m_game->objects[static_cast<size_t>(object)];
        for (const GameEvent& e : o.events)
            if (e.type == kind && e.number == number)
                return Fail("object " + Shown(o.name) + " has a " + kEventKinds[kind] + " " + Shown(w[3]) + " event already");
        std::string code;
        if (!ReadText(w[4], &code)) return false;
        o.events.push_back({kind, number, code});
        return true;
    }
    bool Room(const Words& w) {
        GameRoom r;
        r.name = w[1];
        uint8_t c[4];
        if (!Size(w[2], w[3], &r.width, &r.height) || !Number(w[4], &r.speed, 1, 1000) || !Colour(w[5], c) ||
            !Find(m_backgrounds, w[6], &r.background, true))
            return false;
        r.colour = c[0] | c[1] << 8 | c[2] << 16;
        return Add(m_rooms, m_game->rooms, r);
    }
    // A slot of a room not given before.
    bool Slot(const std::string& word, int room, const char* what, int* slot) {
        if (!Number(word, slot, 0, 7)) return false;
        const std::string key = std::to_string(room) + " " + what + " " + word;
        const auto found = m_slots.find(key);
        if (found != m_slots.end())
            return Fail(std::string(what) + " " + word + " of room " + Shown(m_game->rooms[static_cast<size_t>(room)].name) +
                        " is already given on line " + std::to_string(found->second));
        m_slots[key] = m_line;
        return true;
    }
    bool RoomBackground(const Words& w) {
        int room, tiling;
        GameRoomBackground b;
        if (!Find(m_rooms, w[1], &room) || !Find(m_backgrounds, w[3], &b.background) || !Number(w[4], &b.x) ||
            !Number(w[5], &b.y) || !Choice(w[6], {"none", "across", "down", "both"}, "tiling", &tiling) ||
            !Number(w[7], &b.hspeed) || !Number(w[8], &b.vspeed))
            return false;
        for (size_t i = 9; i < w.size(); ++i) {
            int choice;
            if (!Choice(w[i], {"foreground", "stretch"}, "word", &choice)) return false;
            (choice == 0 ? b.foreground : b.stretch) = true;
        }
        if (!Slot(w[2], room, "background slot", &b.slot)) return false;
        b.htiled = tiling & 1;
        b.vtiled = tiling & 2;
        m_game->rooms[static_cast<size_t>(room)].backgrounds.push_back(b);
        return true;
    }
    bool View(const Words& w) {
        int room;
        GameView v;
        if (w.size() != 11 && w.size() != 16)
            return Fail(std::string("a view that follows an object takes all five words more: ") + FormOf("view"));
        if (!Find(m_rooms, w[1], &room) || !Number(w[3], &v.x) || !Number(w[4], &v.y) ||
            !Size(w[5], w[6], &v.width, &v.height) || !Number(w[7], &v.portX) || !Number(w[8], &v.portY) ||
            !Size(w[9], w[10], &v.portWidth, &v.portHeight))
            return false;
        if (w.size() == 16 &&
            (!Find(m_objects, w[11], &v.object, true) || !Number(w[12], &v.hborder, 0) || !Number(w[13], &v.vborder, 0) ||
             !Number(w[14], &v.hspeed, -1) || !Number(w[15], &v.vspeed, -1)))
            return false;
        if (!Slot(w[2], room, "view", &v.slot)) return false;
        m_game->rooms[static_cast<size_t>(room)].views.push_back(v);
        return true;
    }
    bool Tile(const Words& w) {
        int room;
        GameTile t;
        if (!Find(m_rooms, w[1], &room) || !Find(m_backgrounds, w[2], &t.background)) return false;
        const GameImage& image = m_game->backgrounds[static_cast<size_t>(t.background)].image;
        if (!Number(w[3], &t.left, 0, image.width - 1) || !Number(w[4], &t.top, 0, image.height - 1) ||
            !Number(w[5], &t.width, 1, image.width - t.left) || !Number(w[6], &t.height, 1, image.height - t.top) ||
            !Number(w[7], &t.x) || !Number(w[8], &t.y) || !Number(w[9], &t.depth))
            return false;
        t.id = 10000001 + m_tiles++;
        m_game->rooms[static_cast<size_t>(room)].tiles.push_back(t);
        return true;
    }
    bool Instance(const Words& w) {
        int room;
        GameInstance i;
        if (!Find(m_rooms, w[1], &room) || !Find(m_objects, w[2], &i.object) || !Number(w[3], &i.x) ||
            !Number(w[4], &i.y))
            return false;
        i.id = 100001 + m_placed++;
        m_game->rooms[static_cast<size_t>(room)].instances.push_back(i);
        return true;
    }

    std::string m_folder;
    GameDescription* m_game;
    int m_line = 0;
    NameTable m_sprites{"sprite", {}}, m_backgrounds{"background", {}}, m_fonts{"font", {}};
    NameTable m_scripts{"script", {}}, m_shaders{"shader", {}}, m_paths{"path", {}}, m_timelines{"timeline", {}};
    NameTable m_objects{"object", {}}, m_rooms{"room", {}};
    std::map<std::string, int> m_slots; // "room what slot": its line
    int m_placed = 0, m_tiles = 0;
    size_t m_pixels = 0;
};

const DescriptionReader::Statement DescriptionReader::kStatements[23] = {
    {"game", "game NAME WIDTH HEIGHT", 4, 4, &DescriptionReader::Game},
    {"title", "title TEXT...", 2, SIZE_MAX, &DescriptionReader::Title},
    {"sprite", "sprite NAME WIDTH HEIGHT XORIGIN YORIGIN SHAPE COLOUR [COLOUR2]", 8, 9, &DescriptionReader::Sprite},
    {"sprite_image", "sprite_image NAME FILE FRAMES XORIGIN YORIGIN", 6, 6, &DescriptionReader::SpriteImage},
    {"sprite_bbox", "sprite_bbox SPRITE automatic|full|manual [LEFT TOP RIGHT BOTTOM]", 3, 7,
     &DescriptionReader::SpriteBox},
    {"sprite_mask", "sprite_mask SPRITE none|precise|rectangle|ellipse|diamond shared|separate TOLERANCE", 5, 5,
     &DescriptionReader::SpriteMask},
    {"background", "background NAME WIDTH HEIGHT SHAPE COLOUR [COLOUR2]", 6, 7, &DescriptionReader::Background},
    {"background_image", "background_image NAME FILE", 3, 3, &DescriptionReader::BackgroundImage},
    {"font", "font NAME FILE SIZE FIRST LAST", 6, 6, &DescriptionReader::Font},
    {"font_sprite", "font_sprite NAME SPRITE FIRST fixed|proportional SEPARATION", 6, 6, &DescriptionReader::FontSprite},
    {"script", "script NAME FILE", 3, 3, &DescriptionReader::Script},
    {"shader", "shader NAME VERTEXFILE FRAGMENTFILE", 4, 4, &DescriptionReader::Shader},
    {"path", "path NAME straight|smooth open|closed PRECISION", 5, 5, &DescriptionReader::Path},
    {"point", "point PATH X Y SPEED", 5, 5, &DescriptionReader::Point},
    {"timeline", "timeline NAME", 2, 2, &DescriptionReader::Timeline},
    {"moment", "moment TIMELINE STEP FILE", 4, 4, &DescriptionReader::Moment},
    {"object", "object NAME SPRITE|- DEPTH", 4, 4, &DescriptionReader::Object},
    {"event", "event OBJECT KIND NUMBER FILE", 5, 5, &DescriptionReader::Event},
    {"room", "room NAME WIDTH HEIGHT SPEED COLOUR BACKGROUND|-", 7, 7, &DescriptionReader::Room},
    {"room_background",
     "room_background ROOM SLOT BACKGROUND X Y none|across|down|both HSPEED VSPEED [foreground] [stretch]", 9, 11,
     &DescriptionReader::RoomBackground},
    {"view", "view ROOM SLOT X Y WIDTH HEIGHT PORTX PORTY PORTWIDTH PORTHEIGHT [OBJECT|- HBORDER VBORDER HSPEED VSPEED]",
     11, 16, &DescriptionReader::View},
    {"tile", "tile ROOM BACKGROUND LEFT TOP WIDTH HEIGHT X Y DEPTH", 10, 10, &DescriptionReader::Tile},
    {"instance", "instance ROOM OBJECT X Y", 5, 5, &DescriptionReader::Instance},
};

} // namespace

bool GameFile_Parse(const std::string& text, const std::string& folder, GameDescription* game, std::string* error) {
    DescriptionReader reader(folder, game);
    int number = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        ++number;
        const size_t stop = static_cast<size_t>(std::find(text.begin() + static_cast<ptrdiff_t>(at),
                                                          text.begin() + static_cast<ptrdiff_t>(end), '#') -
                                                text.begin());
        Words w;
        for (size_t i = at; i < stop;) {
            while (i < stop && std::isspace(static_cast<unsigned char>(text[i])))
                ++i;
            const size_t start = i;
            while (i < stop && !std::isspace(static_cast<unsigned char>(text[i])))
                ++i;
            if (i > start) w.emplace_back(text, start, i - start);
        }
        at = end + 1;
        if (!w.empty() && !reader.Line(w, number)) {
            *error = reader.m_error;
            return false;
        }
    }
    if (!reader.Finish(number)) {
        *error = reader.m_error;
        return false;
    }
    return true;
}
