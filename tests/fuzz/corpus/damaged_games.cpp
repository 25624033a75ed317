#include "damaged_games.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

// A small generator of its own, so that a seed gives the same file on every machine and library.
class Dice {
public:
    explicit Dice(uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {}
    uint64_t Next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // A number in [0, n); 0 when n is 0.
    size_t Below(size_t n) { return n ? static_cast<size_t>(Next() % n) : 0; }
    template <typename T, size_t N> T Pick(const T (&choices)[N]) { return choices[Below(N)]; }

private:
    uint64_t m_state;
};

struct Chunk {
    size_t header; // of the chunk's header, from the start of the file
    uint32_t tag;
    uint32_t length;
    std::string Name() const { return std::string(reinterpret_cast<const char*>(&tag), 4); }
    size_t Body() const { return header + 8; }
    size_t End() const { return header + 8 + length; }
};

uint32_t WordAt(const std::vector<uint8_t>& f, size_t at) {
    uint32_t v = 0;
    if (at + 4 <= f.size()) std::memcpy(&v, f.data() + at, 4);
    return v;
}
void SetWord(std::vector<uint8_t>& f, size_t at, uint32_t v) {
    if (at + 4 <= f.size()) std::memcpy(f.data() + at, &v, 4);
}
void FixContainerSize(std::vector<uint8_t>& f) {
    SetWord(f, 4, static_cast<uint32_t>(f.size() - 8));
}

std::vector<Chunk> Chunks(const std::vector<uint8_t>& f) {
    std::vector<Chunk> chunks;
    for (size_t at = 8; at + 8 <= f.size();) {
        Chunk c{at, WordAt(f, at), WordAt(f, at + 4)};
        if (c.End() > f.size()) break;
        chunks.push_back(c);
        at = c.End();
    }
    return chunks;
}

// Chunks whose body starts with a counted list of record offsets.
bool HasRecordList(uint32_t tag) {
    static const char* const kListed[] = {"EXTN", "SOND", "AUDO", "SPRT", "BGND", "PATH", "SCPT", "SHDR", "FONT",
                                          "TMLN", "OBJT", "ROOM", "DAFL", "TPAG", "TXTR", "CODE", "STRG"};
    for (const char* name : kListed)
        if (std::memcmp(&tag, name, 4) == 0) return true;
    return false;
}

std::string Hex(uint64_t v) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(v));
    return text;
}

// The aligned words of the chunks' bodies whose value passes the test.
template <typename Test>
std::vector<size_t> WordsWhere(const std::vector<uint8_t>& f, const std::vector<Chunk>& chunks, Test test) {
    std::vector<size_t> found;
    for (const Chunk& c : chunks)
        for (size_t at = c.Body(); at + 4 <= c.End(); at += 4)
            if (test(WordAt(f, at))) found.push_back(at);
    return found;
}

std::string ChangeWord(std::vector<uint8_t>& f, size_t at, uint32_t value, const std::string& about) {
    const uint32_t old = WordAt(f, at);
    SetWord(f, at, value);
    return about + " at " + std::to_string(at) + ": " + Hex(old) + " -> " + Hex(value);
}

// A changed value for a word that held v: near it, far from it, or one of the values that break sums.
uint32_t OtherValue(Dice& dice, uint32_t v, uint32_t fileSize) {
    switch (dice.Below(10)) {
    case 0: return 0;
    case 1: return v - 1;
    case 2: return v + 1;
    case 3: return v + 4;
    case 4: return v - 4;
    case 5: return 0xFFFFFFFFu;
    case 6: return 0x80000000u;
    case 7: return fileSize;
    case 8: return v * 2 + 1;
    default: return static_cast<uint32_t>(dice.Next());
    }
}

} // namespace

const char* Damage_Name(Damage kind) {
    static const char* const kNames[kDamageKinds] = {"bits", "run", "size", "count", "offset",
                                                     "drop", "duplicate", "swap", "cut_chunk", "cut_file"};
    return kNames[static_cast<int>(kind)];
}

std::vector<uint8_t> Damage_Apply(const std::vector<uint8_t>& file, Damage kind, uint64_t seed, std::string* what) {
    Dice dice(seed);
    std::vector<uint8_t> f = file;
    const std::vector<Chunk> chunks = Chunks(f);
    const auto size = static_cast<uint32_t>(f.size());
    std::string done;
    if (chunks.empty() || f.size() < 16) {
        if (what) *what = "nothing (not a container)";
        return f;
    }
    const Chunk& some = chunks[dice.Below(chunks.size())];
    switch (kind) {
    case Damage::BitFlips: {
        const size_t flips = 1 + dice.Below(8);
        done = "bits flipped at";
        for (size_t i = 0; i < flips; ++i) {
            const size_t at = 8 + dice.Below(f.size() - 8);
            const int bit = static_cast<int>(dice.Below(8));
            f[at] = static_cast<uint8_t>(f[at] ^ (1u << bit));
            done += " " + std::to_string(at) + "." + std::to_string(bit);
        }
        break;
    }
    case Damage::ByteRun: {
        const size_t length = 1 + dice.Below(64);
        const size_t at = 8 + dice.Below(f.size() - 8);
        const int fill = static_cast<int>(dice.Below(3));
        for (size_t i = at; i < std::min(f.size(), at + length); ++i)
            f[i] = fill == 0 ? 0 : fill == 1 ? 0xFF : static_cast<uint8_t>(dice.Next());
        done = std::to_string(length) + " bytes of " + (fill == 0 ? "zeros" : fill == 1 ? "ones" : "noise") +
               " at " + std::to_string(at);
        break;
    }
    case Damage::Size: {
        const size_t choice = dice.Below(8);
        if (choice < 3) {
            done = ChangeWord(f, some.header + 4, OtherValue(dice, some.length, size), "length of " + some.Name());
        } else if (choice == 3) {
            done = ChangeWord(f, 4, OtherValue(dice, size - 8, size), "container size");
        } else if (choice == 4) {
            // The window size of the general information.
            const Chunk* info = nullptr;
            for (const Chunk& c : chunks)
                if (c.Name() == "GEN8") info = &c;
            static const uint32_t kSizes[] = {0, 0xFFFFFFFFu, 16384, 65536, 0x7FFFFFFF, 0x80000000u, 1};
            if (info) done = ChangeWord(f, info->Body() + 60 + 4 * dice.Below(2), dice.Pick(kSizes), "window size");
        } else {
            // A word that may be a width, a height or a length of a record.
            const std::vector<size_t> words = WordsWhere(f, chunks, [](uint32_t v) { return v >= 2 && v <= 4096; });
            if (!words.empty()) {
                const size_t at = words[dice.Below(words.size())];
                static const uint32_t kSizes[] = {0, 0xFFFFFFFFu, 16385, 65536, 0x7FFFFFFF, 0x40000000u};
                done = ChangeWord(f, at, dice.Below(2) ? dice.Pick(kSizes) : OtherValue(dice, WordAt(f, at), size),
                                  "a size");
            }
        }
        break;
    }
    case Damage::Count: {
        std::vector<const Chunk*> listed;
        for (const Chunk& c : chunks)
            if (HasRecordList(c.tag) && c.length >= 4) listed.push_back(&c);
        if (!listed.empty() && dice.Below(2)) {
            const Chunk& c = *listed[dice.Below(listed.size())];
            done = ChangeWord(f, c.Body(), OtherValue(dice, WordAt(f, c.Body()), size), "count of " + c.Name());
        } else {
            const std::vector<size_t> words = WordsWhere(f, chunks, [](uint32_t v) { return v >= 1 && v <= 64; });
            if (!words.empty()) {
                const size_t at = words[dice.Below(words.size())];
                done = ChangeWord(f, at, OtherValue(dice, WordAt(f, at), size), "a count");
            }
        }
        break;
    }
    case Damage::Offset: {
        const std::vector<size_t> words =
            WordsWhere(f, chunks, [size](uint32_t v) { return v >= 8 && v < size && v % 4 == 0; });
        if (!words.empty()) {
            const size_t at = words[dice.Below(words.size())];
            const uint32_t v = WordAt(f, at);
            const uint32_t other = dice.Below(3) ? OtherValue(dice, v, size) : static_cast<uint32_t>(8 + dice.Below(size - 8));
            done = ChangeWord(f, at, other, "an offset");
        }
        break;
    }
    case Damage::DropChunk:
        f.erase(f.begin() + static_cast<ptrdiff_t>(some.header), f.begin() + static_cast<ptrdiff_t>(some.End()));
        FixContainerSize(f);
        done = "chunk " + some.Name() + " dropped";
        break;
    case Damage::DuplicateChunk: {
        const std::vector<uint8_t> copy(f.begin() + static_cast<ptrdiff_t>(some.header),
                                        f.begin() + static_cast<ptrdiff_t>(some.End()));
        f.insert(f.begin() + static_cast<ptrdiff_t>(some.End()), copy.begin(), copy.end());
        FixContainerSize(f);
        done = "chunk " + some.Name() + " written twice";
        break;
    }
    case Damage::SwapChunks: {
        const size_t i = dice.Below(chunks.size());
        size_t j = dice.Below(2) && i + 1 < chunks.size() ? i + 1 : dice.Below(chunks.size());
        if (j == i) j = (i + 1) % chunks.size();
        const Chunk& a = chunks[std::min(i, j)];
        const Chunk& b = chunks[std::max(i, j)];
        std::vector<uint8_t> out(f.begin(), f.begin() + static_cast<ptrdiff_t>(a.header));
        out.insert(out.end(), f.begin() + static_cast<ptrdiff_t>(b.header), f.begin() + static_cast<ptrdiff_t>(b.End()));
        out.insert(out.end(), f.begin() + static_cast<ptrdiff_t>(a.End()), f.begin() + static_cast<ptrdiff_t>(b.header));
        out.insert(out.end(), f.begin() + static_cast<ptrdiff_t>(a.header), f.begin() + static_cast<ptrdiff_t>(a.End()));
        out.insert(out.end(), f.begin() + static_cast<ptrdiff_t>(b.End()), f.end());
        f = out;
        done = "chunks " + a.Name() + " and " + b.Name() + " swapped";
        break;
    }
    case Damage::TruncateChunk: {
        const size_t keep = dice.Below(some.length);
        f.erase(f.begin() + static_cast<ptrdiff_t>(some.Body() + keep), f.begin() + static_cast<ptrdiff_t>(some.End()));
        SetWord(f, some.header + 4, static_cast<uint32_t>(keep));
        FixContainerSize(f);
        done = "chunk " + some.Name() + " cut to " + std::to_string(keep) + " of " + std::to_string(some.length) + " bytes";
        break;
    }
    case Damage::TruncateFile: {
        const size_t keep = dice.Below(f.size());
        f.resize(keep);
        const bool fixed = dice.Below(2) && keep >= 8;
        if (fixed) FixContainerSize(f);
        done = "file cut to " + std::to_string(keep) + " bytes" + (fixed ? ", its size field set to match" : "");
        break;
    }
    }
    if (what) *what = done.empty() ? "nothing changed" : done;
    return f;
}

GameDescription DamagedGames_RichGame() {
    GameDescription game;
    game.name = "Damaged";
    game.width = 96;
    game.height = 64;
    auto image = [](int w, int h, uint8_t r, uint8_t g, uint8_t b) {
        GameImage i;
        i.width = w;
        i.height = h;
        for (int p = 0; p < w * h; ++p)
            i.rgba.insert(i.rgba.end(), {r, static_cast<uint8_t>(g + p), b, 255});
        return i;
    };
    game.sprites.push_back({"spr_ball", 4, 4, {image(8, 8, 255, 0, 0), image(8, 8, 0, 0, 255)}});
    game.sprites.push_back({"spr_block", 0, 0, {image(16, 8, 0, 200, 0)}});
    game.backgrounds.push_back({"bg_floor", image(16, 16, 40, 40, 80)});
    game.scripts.push_back({"scr_add", "return argument0 + argument1;"});
    game.scripts.push_back({"scr_report", "show_debug_message(argument0 + \": \" + string(argument1));"});
    game.paths.push_back({"pth_line", 0, false, 4, {{0, 0, 100}, {64, 0, 100}, {64, 32, 50}}});
    game.paths.push_back({"pth_loop", 1, true, 4, {{8, 8, 100}, {40, 8, 100}, {40, 40, 100}, {8, 40, 100}}});
    game.shaders.push_back({"shd_tint",
                            "float4x4 qn_Matrices[5];\n"
                            "struct VSOut { float4 pos : POSITION; float4 col : COLOR0; float2 uv : TEXCOORD0; };\n"
                            "VSOut main(float4 pos : POSITION, float4 col : COLOR0, float2 uv : TEXCOORD0) {\n"
                            " VSOut o; o.pos = mul(qn_Matrices[4], pos); o.col = col; o.uv = uv; return o; }",
                            "sampler2D qn_BaseTexture; float4 u_Tint;\n"
                            "float4 main(float4 col : COLOR0, float2 uv : TEXCOORD0) : COLOR0 {\n"
                            " return tex2D(qn_BaseTexture, uv) * col * u_Tint; }",
                            {"in_Position", "in_Colour", "in_TextureCoord"}});
    game.timelines.push_back({"tl_main",
                              {{1, "scr_report(\"moment\", 1);"},
                               {4, "scr_report(\"moment\", scr_add(2, 2));"},
                               {8, "room_goto_next();"}}});
    GameObject mover;
    mover.name = "obj_mover";
    mover.sprite = 0;
    mover.events = {{0, 0, "path_start(pth_loop, 4, 1, false); image_speed = 0.5;"},
                    {3, 0, "if (x > room_width) x = 0;"},
                    {8, 0,
                     "shader_set(shd_tint);\n"
                     "shader_set_uniform_f(shader_get_uniform(shd_tint, \"u_Tint\"), 1, 0.5, 0.5, 1);\n"
                     "draw_self();\nshader_reset();\n"
                     "draw_sprite(spr_block, 0, 0, 0);"}};
    GameObject control;
    control.name = "obj_control";
    control.events = {{0, 0, "timeline_index = tl_main; timeline_running = true; alarm[0] = 30;"},
                      {2, 0, "room_goto_next();"},
                      {7, 4, "scr_report(\"room\", room);"}};
    GameObject ender;
    ender.name = "obj_ender";
    ender.sprite = 1;
    ender.events = {{0, 0, "alarm[0] = 5; path_start(pth_line, 8, 0, true);"},
                    {2, 0, "scr_report(\"end\", instance_count); game_end();"},
                    {8, 0, "draw_self(); draw_text(0, 0, \"end\");"}};
    game.objects = {mover, control, ender};
    auto room = [](const char* name, std::vector<GameInstance> instances) {
        GameRoom r;
        r.name = name;
        r.width = 96;
        r.height = 64;
        r.speed = 120;
        r.instances = std::move(instances);
        return r;
    };
    GameRoom first = room("rm_first", {{10, 10, 0, 100001, ""}, {40, 20, 0, 100002, "image_index = 1;"}, {0, 0, 1, 100003, ""}});
    first.background = 0;
    first.code = "scr_report(\"first\", 1);";
    GameRoom second = room("rm_second", {{20, 20, 2, 100004, ""}, {50, 30, 0, 100005, ""}});
    second.colour = 0x402020;
    game.rooms = {first, second};
    return game;
}

bool DamagedGames_ReadExample(const std::string& folder, GameDescription* game, std::string* error) {
    std::ifstream in(folder + "/game.txt", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return GameFile_Parse(text.str(), folder, game, error);
}

std::vector<DamagedGameBase> DamagedGames_Bases(const GameDescription& example, std::string* error) {
    const GameDescription rich = DamagedGames_RichGame();
    std::vector<DamagedGameBase> bases = {{"catch_text", GameFile_Build(example, false, error)},
                                          {"catch_bytecode", GameFile_Build(example, true, error)},
                                          {"rich_text", GameFile_Build(rich, false, error)},
                                          {"rich_bytecode", GameFile_Build(rich, true, error)}};
    for (const DamagedGameBase& base : bases)
        if (base.bytes.empty()) return {};
    return bases;
}

std::vector<uint8_t> DamagedGames_EscapeRecording() {
    // A frame: the last character (2 bytes), the keyboard string (2,050), the last and current keys
    // (4 each), the keys held, released and pressed (256 each), then the mouse (zeros).
    const size_t kFrame = 2939, kHeld = 2060, kPressed = 2060 + 512;
    std::vector<uint8_t> frames(30 * kFrame, 0);
    uint8_t* last = frames.data() + 29 * kFrame;
    last[kHeld + 27] = 1;
    last[kPressed + 27] = 1;
    return frames;
}
