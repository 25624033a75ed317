// Writes the fuzz targets' seed corpora: small inputs of every kind each target reads, made by the
// project's own builder, encoders and writers from its test data (the example game and its code).
//   make_fuzz_corpus OUT_FOLDER EXAMPLE_SOURCES
// writes OUT_FOLDER/<target>/<name> for every target; tests/fuzz/corpus holds what it wrote.
#include "audio/sound_samples.h"
#include "damaged_games.h"
#include "fuzz/example_world.h"
#include "game_writer.h"
#include "graphics/3d/model.h"
#include "graphics/image_samples.h"
#include "library/data_structures.h"
#include "library/ds_grid.h"
#include "library/ds_list.h"
#include "library/ds_map.h"
#include "library/ds_queues.h"
#include "library/json_builtins.h"
#include "net/socket.h"
#include "runner/builtin_registry.h"
#include "runner/step.h"
#include "script/buffer.h"
#include "script/code.h"
#include "script/value.h"
#include "script/variable_list.h"
#include "script/vm/vm_buffer.h"
#include "world/instance.h"
#include "world/room.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>

namespace {

std::string g_out;

void Write(const std::string& target, const std::string& name, const void* data, size_t size) {
    const std::string folder = g_out + "/" + target;
    mkdir(folder.c_str(), 0777);
    std::ofstream(folder + "/" + name, std::ios::binary).write(static_cast<const char*>(data),
                                                                static_cast<std::streamsize>(size));
}
void Write(const std::string& target, const std::string& name, const std::vector<uint8_t>& bytes) {
    Write(target, name, bytes.data(), bytes.size());
}
void Write(const std::string& target, const std::string& name, const std::string& text) {
    Write(target, name, text.data(), text.size());
}
void Write(const std::string& target, const std::string& name, IBuffer& buffer) {
    Write(target, name, buffer.data, static_cast<size_t>(buffer.position));
}

// The body of a "SHDR" chunk as the shader fuzzer reads it (behind an 8-byte header, so positions count
// from 8 bytes before the body): the counted list of record positions, the records (name, type, four
// source pairs of which the third is filled, attribute count and names), then the texts.
struct ShaderRecord {
    std::string name, vertex, fragment;
    std::vector<std::string> attributes;
};
std::vector<uint8_t> ShaderChunk(const std::vector<ShaderRecord>& shaders) {
    size_t recordBytes = 0;
    for (const ShaderRecord& s : shaders)
        recordBytes += 0x2C + 4 * s.attributes.size();
    const size_t head = 4 + 4 * shaders.size();
    const auto textBase = static_cast<uint32_t>(8 + head + recordBytes);
    std::vector<uint8_t> body, texts;
    auto word = [&](uint32_t v) { body.insert(body.end(), reinterpret_cast<uint8_t*>(&v), reinterpret_cast<uint8_t*>(&v) + 4); };
    auto text = [&](const std::string& t) {
        const auto at = static_cast<uint32_t>(textBase + texts.size());
        texts.insert(texts.end(), t.begin(), t.end());
        texts.push_back(0);
        return at;
    };
    word(static_cast<uint32_t>(shaders.size()));
    auto position = static_cast<uint32_t>(8 + head);
    for (const ShaderRecord& s : shaders) {
        word(position);
        position += static_cast<uint32_t>(0x2C + 4 * s.attributes.size());
    }
    for (const ShaderRecord& s : shaders) {
        for (uint32_t v : {text(s.name), 1u, 0u, 0u, 0u, 0u, text(s.vertex), text(s.fragment), 0u, 0u,
                           static_cast<uint32_t>(s.attributes.size())})
            word(v);
        for (const std::string& attribute : s.attributes)
            word(text(attribute));
    }
    body.insert(body.end(), texts.begin(), texts.end());
    return body;
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The font the font target's seeds are made of: Debian's fonts-dejavu-core, which scripts/setup.sh
// installs.
const char kSeedFont[] = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

// The TrueType file with the glyph count of its maxp table cut to count: the glyphs past it are never
// read, so that a run of the target loads a few hundred glyphs rather than thousands. Unchanged without
// a maxp table.
std::string WithGlyphCount(std::string font, uint16_t count) {
    auto u16 = [&](size_t at) {
        return static_cast<size_t>(static_cast<uint8_t>(font[at]) << 8 | static_cast<uint8_t>(font[at + 1]));
    };
    const size_t tables = font.size() >= 12 ? u16(4) : 0;
    for (size_t entry = 12; entry + 16 <= font.size() && entry < 12 + 16 * tables; entry += 16) {
        if (font.compare(entry, 4, "maxp") != 0) continue;
        const size_t at = u16(entry + 8) << 16 | u16(entry + 10);
        if (at + 6 > font.size()) break;
        font[at + 4] = static_cast<char>(count >> 8);
        font[at + 5] = static_cast<char>(count & 0xFF);
    }
    return font;
}

// A 2 x 2 BMP of 24-bit pixels, or of 8-bit indexes into a 2-colour palette.
std::vector<uint8_t> BMP(int bits) {
    const int rowBytes = ((2 * bits / 8) + 3) & ~3, paletteBytes = bits == 8 ? 8 : 0;
    const uint32_t offset = 14 + 40 + paletteBytes, size = offset + 2 * rowBytes;
    std::vector<uint8_t> b(size, 0);
    auto u16 = [&](size_t at, uint16_t v) { std::memcpy(&b[at], &v, 2); };
    auto u32 = [&](size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); };
    b[0] = 'B';
    b[1] = 'M';
    u32(2, size);
    u32(10, offset);
    u32(14, 40);
    u32(18, 2);
    u32(22, 2);
    u16(26, 1);
    u16(28, static_cast<uint16_t>(bits));
    if (bits == 8) {
        u32(46, 2);
        u32(54, 0x00FF0000u);
        u32(58, 0x000000FFu);
    }
    for (size_t i = offset; i < size; ++i)
        b[i] = static_cast<uint8_t>(i * 37);
    if (bits == 8)
        for (int r = 0; r < 2; ++r)
            b[offset + r * rowBytes] = 0, b[offset + r * rowBytes + 1] = 1;
    return b;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_fuzz_corpus OUT_FOLDER EXAMPLE_SOURCES\n");
        return 2;
    }
    g_out = argv[1];
    const std::string sources = argv[2];
    mkdir(g_out.c_str(), 0777);
    InitQNLFunctions();

    // Games: the example, with its code as text and compiled.
    GameDescription game;
    std::string error;
    const std::vector<DamagedGameBase> bases =
        DamagedGames_ReadExample(sources, &game, &error) ? DamagedGames_Bases(game, &error) : std::vector<DamagedGameBase>{};
    if (bases.empty()) {
        std::fprintf(stderr, "make_fuzz_corpus: %s\n", error.c_str());
        return 1;
    }
    // Descriptions: the example's and the tour's, their files renamed to those of the description
    // fuzzer's folder.
    for (const std::string& name : {sources + "/game.txt", sources + "/../tour/tour.txt"}) {
        std::istringstream lines(Read(name));
        std::string text;
        for (std::string line; std::getline(lines, line);) {
            std::istringstream words(line.substr(0, line.find('#')));
            std::string kept;
            for (std::string word; words >> word;) {
                const std::string end = word.size() > 4 ? word.substr(word.size() - 4) : "";
                kept += (kept.empty() ? "" : " ") +
                        (end == ".txt" ? "code.txt" : end == ".png" ? "image.png" : end == ".ttf" ? "font.ttf" : word);
            }
            text += kept + "\n";
        }
        Write("fuzz_description", name.substr(name.rfind('/') + 1), text);
    }
    for (const char* target : {"fuzz_data_file", "fuzz_room_run"}) {
        Write(target, "catch_text.win", bases[0].bytes);
        Write(target, "catch_bytecode.win", bases[1].bytes);
    }
    // Damaged games to run: the rich game whole, and every kind of damage four times, over the example
    // and the rich game, each with its code as text and compiled.
    Write("fuzz_room_run", "rich_text.win", bases[2].bytes);
    Write("fuzz_room_run", "rich_bytecode.win", bases[3].bytes);
    for (int i = 0; i < 4 * kDamageKinds; ++i) {
        const auto kind = static_cast<Damage>(i % kDamageKinds);
        char name[64];
        std::snprintf(name, sizeof name, "damaged_%02d_%s.win", i, Damage_Name(kind));
        Write("fuzz_room_run", name, Damage_Apply(bases[static_cast<size_t>(i / kDamageKinds)].bytes, kind,
                                                  static_cast<uint64_t>(i)));
    }

    // Code: the example's code texts, and their bytecode.
    for (const char* file : {"basket_mouse.txt", "control_draw.txt", "star_step.txt", "star_create.txt"}) {
        const std::string text = Read(sources + "/" + file);
        Write("fuzz_compiler", file, text);
        CCode code(text.c_str(), 0);
        if (code.Compile(file) && code.code) Write("fuzz_vm", std::string(file) + ".bin", code.code->data,
                                                   static_cast<size_t>(code.code->size));
    }

    // Images.
    PNGSample rgba;
    rgba.width = rgba.height = 2;
    rgba.rows = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 9, 9, 9, 255};
    Write("fuzz_png", "rgba.png", EncodePNG(rgba));
    PNGSample palette;
    palette.width = 4;
    palette.height = 2;
    palette.colourType = 3;
    palette.bitDepth = 2;
    palette.interlaced = true;
    palette.rows = {0x1B, 0xE4};
    palette.palette = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    palette.paletteAlpha = {0, 128};
    Write("fuzz_png", "palette_interlaced.png", EncodePNG(palette));
    PNGSample gray;
    gray.width = 2;
    gray.colourType = 0;
    gray.bitDepth = 16;
    gray.rows = {0x12, 0x34, 0xFF, 0xFF};
    gray.grayTransparent = 0x1234;
    Write("fuzz_png", "gray16.png", EncodePNG(gray));
    Write("fuzz_jpeg", "gray.jpg", EncodeJPEG(8, 8, 1, std::vector<uint8_t>(64, 90)));
    Write("fuzz_jpeg", "rgb.jpg", EncodeJPEG(8, 8, 3, std::vector<uint8_t>(192, 200)));
    Write("fuzz_jpeg", "cmyk.jpg", EncodeJPEG(4, 4, 4, std::vector<uint8_t>(64, 30)));
    GIFFrame first;
    first.width = first.height = 2;
    first.indexes = {0, 1, 1, 0};
    first.transparent = 1;
    GIFFrame second = first;
    second.left = 1;
    second.interlaced = true;
    second.localMap = {255, 255, 255, 0, 0, 0};
    Write("fuzz_gif", "two_frames.gif", EncodeGIF(4, 4, {255, 0, 0, 0, 255, 0}, {first, second}));
    Write("fuzz_gif", "local_map.gif", EncodeGIF(2, 2, {}, {second}));
    // Sounds: WAV files of both sample sizes, Ogg Vorbis streams of both channel counts and a chained one
    // whose second link changes the rate.
    Write("fuzz_wav", "mono16.wav", WavFile(1, 16, 22050, Pcm16Bytes(Tone(64, 1, 22050, 440))));
    Write("fuzz_wav", "stereo8.wav", WavFile(2, 8, 8000, std::vector<uint8_t>(33, 200)));
    Write("fuzz_wav", "mono16.au", AuFile(1, 3, 22050, Pcm16BigEndian(Tone(64, 1, 22050, 440))));
    Write("fuzz_wav", "stereo-mulaw.au", AuFile(2, 1, 8000, std::vector<uint8_t>(34, 0x90)));
    Write("fuzz_ogg", "mono.ogg", EncodeOggVorbis(Tone(3000, 1, 22050, 440), 1, 22050));
    Write("fuzz_ogg", "stereo.ogg", EncodeOggVorbis(Tone(3000, 2, 44100, 300), 2, 44100));
    std::vector<uint8_t> chained = EncodeOggVorbis(Tone(1000, 1, 22050, 440), 1, 22050, 1);
    const std::vector<uint8_t> nextLink = EncodeOggVorbis(Tone(1000, 1, 11025, 440), 1, 11025, 2);
    chained.insert(chained.end(), nextLink.begin(), nextLink.end());
    Write("fuzz_ogg", "chained.ogg", chained);
    // Downloads: a frame count and flags, then the body.
    auto download = [](int8_t frames, uint8_t flags, std::vector<uint8_t> body) {
        body.insert(body.begin(), {static_cast<uint8_t>(frames), flags});
        return body;
    };
    PNGSample strip;
    strip.width = 6;
    strip.height = 2;
    strip.rows.assign(6 * 2 * 4, 255);
    Write("fuzz_image_download", "strip3.png", download(3, 1 | 2 | 8, EncodePNG(strip)));
    Write("fuzz_image_download", "rgb.jpg", download(2, 0, EncodeJPEG(8, 8, 3, std::vector<uint8_t>(192, 200))));
    Write("fuzz_image_download", "two_frames.gif", download(-1, 4, EncodeGIF(4, 4, {255, 0, 0, 0, 255, 0}, {first, second})));
    Write("fuzz_bmp", "rgb24.bmp", BMP(24));
    Write("fuzz_bmp", "indexed8.bmp", BMP(8));

    // Fonts: the header of a TrueType file with no tables, and a real TrueType file whole and with its
    // glyph count cut to 200.
    Write("fuzz_font_file", "empty_tables.ttf", std::string("\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00", 12));
    const std::string font = Read(kSeedFont);
    if (font.size() < 12) {
        std::fprintf(stderr, "make_fuzz_corpus: cannot read %s\n", kSeedFont);
        return 1;
    }
    Write("fuzz_font_file", "dejavu_sans_mono.ttf", font);
    Write("fuzz_font_file", "dejavu_sans_mono_200_glyphs.ttf", WithGlyphCount(font, 200));

    // Saved forms: a value, a variable list, an instance, a room.
    {
        Buffer_Standard buffer(1, eBuffer_Grow, 1);
        ScriptValue v;
        Value_SetReal(&v, 3.25);
        Value_Serialise(&v, &buffer);
        Write("fuzz_saved_values", "real", buffer);
        Buffer_Standard list(1, eBuffer_Grow, 1);
        CVariableList variables;
        variables.SetVar(100000, -1, &v);
        variables.SetVar(100001, 2, &v);
        variables.Serialise(&list);
        Write("fuzz_saved_values", "variable_list", list);
    }
    {
        Buffer_Standard buffer(1, eBuffer_Grow, 1);
        CInstance instance(10, 20, 100001, -1, false);
        instance.Serialise(&buffer);
        Write("fuzz_saved_instance", "instance", buffer);
        Buffer_Standard room(1, eBuffer_Grow, 1);
        CRoom empty;
        empty.SaveState(&room);
        Write("fuzz_room_state", "empty_room", room);
    }

    // Buffers' saved forms: typed values and a value, each under a header choosing the buffer's kind and
    // alignment and followed by as many bytes of operations (reads, peeks, copies, codecs, the value form).
    {
        Buffer_Standard typed(1, eBuffer_Grow, 1);
        Buffer_WriteReal(&typed, eBuffer_U16, 0x0201);
        Buffer_WriteReal(&typed, eBuffer_S32, -2);
        Buffer_WriteReal(&typed, eBuffer_F32, 1.5);
        typed.WriteString("ab");
        typed.WriteString(nullptr);
        Buffer_Standard value(1, eBuffer_Grow, 1);
        ScriptValue text;
        text.kind = KIND_STRING;
        text.str = const_cast<char*>("hi");
        Value_Serialise(&text, &value);
        const std::string operations("\x00\x06\x01\x00\x00\x00\x02\x08\x00\x00\x00\x01\xff\xff\xff\xff"
                                     "\x0b\x09\x01\x00\x00\x00\x02\x00\x00\x00\x09\x05\x00\x00\x00\x01"
                                     "\x00\x00\x00\x08\x01\x03\x01\x03\x01\xff\xff\xff\xf0\x06\x00\x00",
                                     48);
        const char* names[] = {"fixed", "grow_aligned", "wrap", "fast"};
        for (int kind = 0; kind < 4; ++kind) {
            IBuffer& saved = kind == 1 ? value : typed;
            const std::string bytes(reinterpret_cast<const char*>(saved.data), static_cast<size_t>(saved.position));
            const std::string header{static_cast<char>(kind), static_cast<char>(kind == 1 ? 4 : 1), 0};
            Write("fuzz_buffer", names[kind], header + bytes + operations.substr(0, bytes.size()));
        }
    }

    // Ini files: an options file, and texts that test the reader's rules.
    Write("fuzz_ini", "options.ini",
          "[DEFAULT]\r\nDebug=1\r\nTrace=0\r\n[IO_VIRTUAL_BUTTONS]\r\nNUM_BUTTONS=1\r\n[IO_BUTTON_0]\r\n"
          "X=10\r\nKEY=VK_LEFT\r\n");
    Write("fuzz_ini", "quotes.ini",
          "\xEF\xBB\xBF; comment\n[main]\nkey = some value ; note\nq=\"a;b#c\" rest\ns='x\"y'\nempty=\n");
    Write("fuzz_ini", "malformed.ini", std::string("junk\n[a\nk=v\n[b]\nno equals\n=v\n==\n[]\nk=\0\xff\n[c", 42));

    // A recorded frame of input: the right arrow held.
    {
        std::string frame(2939, '\0');
        frame[2 + 2050 + 8 + 39] = 1;
        Write("fuzz_input_playback", "right_arrow.rec", frame);
    }
    // Model files: one command of every kind as the runner saves them, and a file written by hand.
    {
        TModel3D model;
        for (int32_t kind = MODEL_BEGIN; kind <= MODEL_FLOOR; ++kind) {
            TModelCommand command;
            command.kind = kind;
            for (int n = 0; n < 10; ++n) {
                if (Model_IsIntegerField(kind, n)) command.values[n].i = n == 8 && kind != MODEL_ELLIPSOID ? 1 : 12;
                else command.values[n].f = kind == MODEL_BEGIN && n == 0 ? 4.0f : static_cast<float>(n) * 1.5f;
            }
            model.commands.push_back(command);
        }
        Write("fuzz_model", "every_kind.d3d", Model_SaveText(&model));
        Write("fuzz_model", "by_hand.d3d", std::string("comment\n100\n4\n0 5\n3 0 0 0 255 0.5\n\n4 1 2 3 0.5 1\n1"));
    }
    Write("fuzz_stream", "hex", std::string("0100000002000000ff7f0000\0\x01\x05\x02\x03", 29));

    // Shaders: a pair of programs with the built-in matrices, a texture and arrays; one with matrices,
    // structs and other semantics; one whose vertex program does not compile.
    const std::string vertex =
        "float4x4 qn_Matrices[5];\n"
        "struct VSOut { float4 pos : POSITION; float4 col : COLOR0; float2 uv : TEXCOORD0; };\n"
        "VSOut main(float4 pos : POSITION, float4 col : COLOR0, float2 uv : TEXCOORD0) {\n"
        " VSOut o; o.pos = mul(qn_Matrices[4], pos); o.col = col; o.uv = uv; return o; }";
    const std::string fragment =
        "sampler2D qn_BaseTexture; float4 u_Tint; float u_List[4]; int n; bool b;\n"
        "float4 main(float4 col : COLOR0, float2 uv : TEXCOORD0) : COLOR0 {\n"
        " return b ? tex2D(qn_BaseTexture, uv) * col * u_Tint * u_List[n] : col; }";
    const std::string vertex2 =
        "float4x3 m; row_major float3x4 r; struct S { float4 a; float b[2]; }; S s[2];\n"
        "float4 main(float4 p : POSITION, float4 w : BLENDWEIGHT, float4 t : TEXCOORD3) : POSITION {\n"
        " return float4(mul(p, m) + mul(r, p), 1) + s[1].a * s[0].b[1] + w + t; }";
    const std::string fragment2 =
        "float4 main(float3 c : COLOR1, float t : TEXCOORD5) : COLOR0 { clip(t - 0.5); return float4(c, t); }";
    Write("fuzz_shader", "pair", ShaderChunk({{"shd_a", vertex, fragment, {"in_Position"}}}));
    Write("fuzz_shader", "two", ShaderChunk({{"shd_b", vertex2, fragment2, {}}, {"shd_c", vertex, fragment, {"a", "b"}}}));
    Write("fuzz_shader", "bad", ShaderChunk({{"shd_bad", "float4 main() : POSITION { return x; }", fragment, {}}}));

    // JSON: a tree as the encoder writes it, a text with what the encoder never writes (escapes,
    // exponents, white space), an outermost array, a text cut short and one nested 64 deep.
    {
        const char* tree = R"({"n": 1.5, "s": "h\u00e9\n", "l": [1, [true, false, null], {"k": -2e3}], "e": {}})";
        char* written = JSON_Encode(JSON_Decode(tree));
        Write("fuzz_json", "tree", std::string(written ? written : ""));
        MEM_FREE(written);
        Write("fuzz_json", "text", std::string(tree));
        Write("fuzz_json", "array", std::string("[\"a\", 0.25, [], {\"b\": 1e-7}]"));
        Write("fuzz_json", "cut", std::string(tree).substr(0, 40));
        Write("fuzz_json", "deep", std::string(64, '[') + "0" + std::string(64, ']'));
        DS_FreeAll();
    }

    // Text forms of data structures, after the digit of their kind: a real, a text, an array of both and
    // a marked real in each.
    {
        ScriptValue one{}, text{}, array{}, marked{};
        one.real = 1;
        text.kind = KIND_STRING;
        text.str = const_cast<char*>("hi");
        Value_AssignIndexed(&array, &one, 0);
        Value_AssignIndexed(&array, &text, kArrayRowStride + 1);
        marked.kind = 0x80000000u;
        auto write = [](const char* name, char kind, char* form) {
            Write("fuzz_ds_text", name, std::string(1, kind) + (form ? form : ""));
            MEM_FREE(form);
        };
        CDS_Map map;
        map.Add(&text, &one);
        map.Add(&one, &text);
        map.Add(&marked, &array);
        write("map", '0', map.WriteToString());
        CDS_List list;
        for (const ScriptValue* v : {&one, &text, &array, &marked})
            list.Add(v);
        write("list", '1', list.WriteToString());
        CDS_Stack stack;
        stack.Push(&text);
        stack.Push(&array);
        write("stack", '2', stack.WriteToString());
        CDS_Queue queue;
        queue.Enqueue(&one);
        queue.Enqueue(&text);
        queue.Dequeue();
        write("queue", '3', queue.WriteToString());
        CDS_Grid grid(2, 2);
        Value_Copy(grid.Cell(1, 0), &text);
        Value_Copy(grid.Cell(0, 1), &array);
        write("grid", '4', grid.WriteToString());
        CDS_Priority priority;
        priority.Add(&text, &one);
        priority.Add(&array, &text);
        write("priority", '5', priority.WriteToString());
        Value_Free(&array);
    }

    // Command lines as a user types them.
    Write("fuzz_command_line", "game", std::string("runner\0-game\0/a folder/game.win\0-noerrors", 42));
    Write("fuzz_command_line", "switches",
          std::string("runner\0-debug\0-output\0log.txt\0-playback\0in.rec\0\"quoted\"\0", 56));

    // Packet streams: a handshake and a command, split in pieces of 3; a packet cut short.
    {
        std::vector<uint8_t> stream{2};
        for (const std::vector<uint8_t>& payload : {std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0},
                                                    std::vector<uint8_t>{1, 0, 0, 0}}) {
            uint8_t header[kPacketHeaderSize];
            Packet_WriteHeader(header, static_cast<uint32_t>(payload.size()));
            stream.insert(stream.end(), header, header + sizeof header);
            stream.insert(stream.end(), payload.begin(), payload.end());
        }
        Write("fuzz_packets", "handshake_and_command", stream);
        stream.resize(stream.size() - 2);
        Write("fuzz_packets", "cut_short", stream);
    }

    // Saved games of the example game, each behind the even byte that marks a whole saved game: after
    // its first step, with the stars falling, and after a few of them have been caught or missed and
    // started again from the top.
    {
        if (!World_Start(GameFile_Build(game, false))) {
            std::fprintf(stderr, "make_fuzz_corpus: the example game does not start\n");
            return 1;
        }
        World_ShortFlagTable();
        for (int step = 1; step <= 300; ++step) {
            DoAStep();
            if (step == 1 || step == 40 || step == 300)
                Write("fuzz_saved_game", "catch_step" + std::to_string(step), std::string(1, '\0') + World_Save());
        }
        World_End();
    }
    return 0;
}
