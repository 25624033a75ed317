// Shaders: the "SHDR" records read from bytes laid out by hand, compilation and its failures, uniform
// lookup, the registers the setters and the built-in uniforms write (on the recording backend), and the
// shader built-ins.
#include "graphics/frame/shader.h"
#include "graphics/frame/texture.h"
#include "graphics/frame/transform.h"
#include "graphics/graphics_builtins.h"
#include "library/builtin_test_util.h"
#include "script/compiler/compile.h"
#include "support/fatal_errors.h"
#include "support/graphics_device.h"

#include <cmath>
#include <cstring>

namespace {

const char kVertex[] = R"(
float4x4 qn_Matrices[5];
float4 qn_Lights_Direction[8];
float4 qn_Lights_Colour[8];
float4 qn_Lights_PosRange[8];
float4 qn_AmbientColour;
bool qn_LightingEnabled;
float4x4 m;
float4 _u;
float4 u;
float4 main(float4 p : POSITION) : POSITION {
    float4 q = mul(qn_Matrices[4], p) + mul(m, p) + _u + u + qn_AmbientColour;
    for (int i = 0; i < 8; i++)
        q += qn_Lights_Direction[i] + qn_Lights_Colour[i] + qn_Lights_PosRange[i];
    return qn_LightingEnabled ? q : p;
}
)";

const char kFragment[] = R"(
sampler2D qn_BaseTexture : register(s1);
float4 u;
int n;
float4 main(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(qn_BaseTexture, uv) * u * n; }
)";

// A chunk body of shader records laid out as the file has them, inside a file image: the counted list
// of record positions, then each record (name, type, eight source positions, attribute count and
// names), then the texts.
struct ShaderChunk {
    std::vector<uint8_t> file;
    IFFChunk chunk;

    void Word(size_t at, uint32_t v) { std::memcpy(file.data() + at, &v, 4); }
    uint32_t Text(const std::string& s) {
        const auto at = static_cast<uint32_t>(file.size());
        file.insert(file.end(), s.begin(), s.end());
        file.push_back(0);
        return at;
    }
    ShaderChunk(const std::vector<std::pair<std::string, std::vector<std::string>>>& shaders) {
        file.assign(8, 0); // a header standing in for the container's
        chunk.offset = 8;
        const size_t list = file.size();
        file.resize(list + 4 + 4 * shaders.size());
        Word(list, static_cast<uint32_t>(shaders.size()));
        std::vector<size_t> records;
        for (size_t i = 0; i < shaders.size(); ++i) {
            records.push_back(file.size());
            Word(list + 4 + 4 * i, static_cast<uint32_t>(file.size()));
            file.resize(file.size() + 0x2C + 4); // one attribute
        }
        chunk.length = static_cast<uint32_t>(file.size() - chunk.offset);
        for (size_t i = 0; i < shaders.size(); ++i) {
            const size_t r = records[i];
            Word(r + 0x00, Text(shaders[i].first));
            Word(r + 0x04, 1);
            Word(r + 0x08, Text("unused vertex"));
            Word(r + 0x0C, Text("unused fragment"));
            Word(r + 0x18, shaders[i].second[0].empty() ? 0 : Text(shaders[i].second[0]));
            Word(r + 0x1C, Text(shaders[i].second[1]));
            Word(r + 0x28, 1);
            Word(r + 0x2C, Text("in_Position"));
        }
    }
    bool Load() {
        std::vector<uint32_t> list;
        CDataView view(file.data(), static_cast<uint32_t>(file.size()));
        EXPECT_TRUE(view.OffsetList(chunk, &list));
        return Shader_Load(view, chunk, list);
    }
};

class ShaderTest : public GraphicsDeviceTest {
protected:
    void SetUp() override {
        static const bool registered = (InitShaderFunctions(), true);
        (void)registered;
        StartRecording(64, 48);
        TakeFatalErrors();
        Shader_State().GR_Lights = ShaderLightData();
    }
    void TearDown() override {
        Shader_Clear();
        CodeError_State().Code_Aborting = false;
        GraphicsDeviceTest::TearDown();
    }
    void LoadPair() {
        ShaderChunk chunk({{"shd_pair", {kVertex, kFragment}}});
        ASSERT_TRUE(chunk.Load());
        ASSERT_EQ(Shader_Count(), 1);
        ASSERT_FALSE(Shader_Get(0)->errorText) << *Shader_Get(0)->errorText;
    }
    // The register writes logged since the last clear: (stage, first register, words).
    std::vector<std::tuple<uint32_t, uint32_t, std::vector<uint32_t>>> Writes() {
        std::vector<std::tuple<uint32_t, uint32_t, std::vector<uint32_t>>> writes;
        for (const D3DCall& call : Recording().Log()) {
            if (call.kind != D3DCallKind::SetShaderConstants) continue;
            std::vector<uint32_t> words(call.data.size() / 4);
            std::memcpy(words.data(), call.data.data(), call.data.size());
            writes.emplace_back(call.a, call.b, words);
        }
        Recording().ClearLog();
        return writes;
    }
    static uint32_t Bits(float f) {
        uint32_t u;
        std::memcpy(&u, &f, 4);
        return u;
    }
    const TShaderUniform& Uniform(const char* name) {
        return Shader_Get(0)->compiled->uniforms[static_cast<size_t>(Shader_FindUniform(Shader_Get(0), name))];
    }
};

TEST_F(ShaderTest, RecordsLoadInChunkOrderAndDamagedOnesFailTheLoad) {
    ShaderChunk chunk({{"shd_a", {kVertex, kFragment}}, {"shd_empty", {"", kFragment}}});
    const std::string console = ConsoleOutputOf([&] { EXPECT_TRUE(chunk.Load()); });
    ASSERT_EQ(Shader_Count(), 2);
    const TShader* a = Shader_Get(0);
    EXPECT_EQ(a->id, 0);
    EXPECT_EQ(a->name, "shd_a");
    EXPECT_EQ(*a->sources[0], "unused vertex");
    EXPECT_EQ(a->attributes, std::vector<std::string>{"in_Position"});
    EXPECT_FALSE(a->errorText);
    // The vertex constants come first, each program's in declaration order, with the fragment
    // program's uniform "u" a second entry.
    const auto& uniforms = a->compiled->uniforms;
    ASSERT_FALSE(uniforms.empty());
    EXPECT_EQ(uniforms[0].name, "qn_Matrices");
    EXPECT_EQ(uniforms[0].registerCount, 20u);
    EXPECT_EQ(uniforms[0].vertexStage, 1);
    EXPECT_EQ(uniforms.back().vertexStage, 0);
    EXPECT_EQ(a->slots[SLOT_BASE_TEXTURE], 1);
    EXPECT_EQ(a->slots[SLOT_MATRICES], 0);
    for (int slot = SLOT_MATRICES; slot < SLOT_COUNT; ++slot)
        EXPECT_GE(a->slots[slot], 0) << slot;

    const TShader* empty = Shader_Get(1);
    EXPECT_EQ(*empty->errorText, "Invalid shader");
    EXPECT_EQ(empty->compiled, nullptr);
    EXPECT_NE(console.find("Invalid shader (is it marked as incompatible type for this target?) \"shd_empty\":\n"),
              std::string::npos);

    // A record reaching past its chunk, a name outside the file, an attribute count past the chunk.
    for (int damage = 0; damage < 3; ++damage) {
        Shader_Clear();
        ShaderChunk bad({{"shd_a", {kVertex, kFragment}}});
        const size_t record = 16;
        if (damage == 0) bad.chunk.length -= 8;
        if (damage == 1) bad.Word(record, 0x7FFFFFF0u);
        if (damage == 2) bad.Word(record + 0x28, 0x40000000u);
        const std::string text = ConsoleOutputOf([&] { EXPECT_FALSE(bad.Load()); });
        EXPECT_NE(text.find("Chunk SHDR: shader 0 is damaged"), std::string::npos) << text;
    }
}

TEST_F(ShaderTest, CompileFailuresKeepTheCompilersMessageAndTheFailedStage) {
    ShaderChunk chunk({{"shd_v", {"float4 main() : POSITION { return bad; }", kFragment}},
                       {"shd_f", {kVertex, "float4 main() : COLOR0 { return bad; }"}}});
    const std::string console = ConsoleOutputOf([&] { EXPECT_TRUE(chunk.Load()); });
    const TShader* v = Shader_Get(0);
    EXPECT_EQ(v->failedStage, 0);
    ASSERT_TRUE(v->errorText);
    EXPECT_NE(v->errorText->find("'bad'"), std::string::npos);
    EXPECT_NE(console.find("Error in vertex shader \"shd_v\":\n\n "), std::string::npos);
    const TShader* f = Shader_Get(1);
    EXPECT_EQ(f->failedStage, 1);
    EXPECT_NE(console.find("Error in fragment shader \"shd_f\"\n\n "), std::string::npos);
    // The fragment failure is reported at once and fatally, headed with the shader.
    EXPECT_NE(console.find("FATAL ERROR in Fragment Shader compilation\n\nShaderName: shd_f\n\n\n"), std::string::npos)
        << console;
    EXPECT_EQ(Shader_FindUniform(v, "u"), -1);
    EXPECT_EQ(CallReal("shader_is_compiled", {0}), 0);
    EXPECT_EQ(CallReal("shader_get_uniform", {0, "u"}), -1);

    // Applying it reports the vertex failure, and binds nothing.
    CodeError_State().Code_Aborting = false;
    Recording().ClearLog();
    const std::string applied = ConsoleOutputOf([] { CallBuiltIn("shader_set", {0}); });
    EXPECT_NE(applied.find("FATAL ERROR in Vertex Shader compilation\n\nShaderName: shd_v\n\n\n"), std::string::npos)
        << applied;
    for (const D3DCall& call : Recording().Log())
        EXPECT_NE(call.kind, D3DCallKind::SetVertexShader);
}

TEST_F(ShaderTest, LookupPrefersTheUnderscoredNameAndTheVertexEntry) {
    LoadPair();
    const TShader* s = Shader_Get(0);
    const int underscored = Shader_FindUniform(s, "u");
    ASSERT_GE(underscored, 0);
    EXPECT_EQ(s->compiled->uniforms[static_cast<size_t>(underscored)].name, "_u");
    EXPECT_EQ(Shader_FindUniform(s, "_u"), underscored);
    const int n = Shader_FindUniform(s, "n");
    ASSERT_GE(n, 0);
    EXPECT_EQ(s->compiled->uniforms[static_cast<size_t>(n)].vertexStage, 0);
    EXPECT_EQ(Shader_FindSampler(s, "qn_BaseTexture"), 1);
    EXPECT_EQ(Shader_FindUniform(s, std::string(5000, 'x').c_str()), -1);
    EXPECT_EQ(CallReal("shader_get_sampler_index", {0, "qn_BaseTexture"}), 1);
    EXPECT_EQ(CallReal("shader_get_uniform", {0, "nothing"}), -1);
}

TEST_F(ShaderTest, SettersWriteOnlyTheValuesGivenAndNeverPastTheUniform) {
    LoadPair();
    CallBuiltIn("shader_set", {0});
    Recording().ClearLog();
    const TShaderUniform& m = Uniform("m");
    const int mHandle = Shader_FindUniform(Shader_Get(0), "m");
    // One value on a 4-register matrix: one register, zero-padded.
    CallBuiltIn("shader_set_uniform_f", {mHandle, 1});
    auto writes = Writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(std::get<1>(writes[0]), m.registerIndex);
    EXPECT_EQ(std::get<2>(writes[0]), (std::vector<uint32_t>{Bits(1), 0, 0, 0}));

    // Six array values on a one-register uniform: the first four.
    const int u = Shader_FindUniform(Shader_Get(0), "_u");
    ScriptValue six{};
    for (int i = 0; i < 6; ++i) {
        const ScriptValue v = RealValue(i + 1);
        Value_AssignIndexed(&six, &v, i);
    }
    CallBuiltIn("shader_set_uniform_f_array", {u, six});
    writes = Writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(std::get<2>(writes[0]), (std::vector<uint32_t>{Bits(1), Bits(2), Bits(3), Bits(4)}));
    Value_Free(&six);
    ScriptValue two{};
    for (int i = 0; i < 2; ++i) {
        const ScriptValue v = RealValue(i);
        Value_AssignIndexed(&two, &v, i);
    }
    const std::string message = ConsoleOutputOf([&] { CallBuiltIn("shader_set_uniform_f_array", {u, two}); });
    EXPECT_NE(message.find("Illegal array count"), std::string::npos);
    Value_Free(&two);

    // The integer setter on a float uniform writes floats; the float setter on an int uniform, ints.
    CallBuiltIn("shader_set_uniform_i", {u, 2.9, -3});
    writes = Writes();
    EXPECT_EQ(std::get<2>(writes[0]), (std::vector<uint32_t>{Bits(2), Bits(-3), 0, 0}));
    CallBuiltIn("shader_set_uniform_f", {Shader_FindUniform(Shader_Get(0), "n"), 7.5});
    writes = Writes();
    EXPECT_EQ(std::get<0>(writes[0]), 1u);
    EXPECT_EQ(std::get<2>(writes[0]), (std::vector<uint32_t>{7, 0, 0, 0}));

    // Bad handles, and a matrix array longer than the built-in matrices: five at most.
    EXPECT_FALSE(Shader_SetUniformF(-1, 1, 0, 0, 0, 0));
    EXPECT_FALSE(Shader_SetUniformF(10000, 1, 0, 0, 0, 0));
    std::vector<float> many(16 * 9, 1.0f);
    EXPECT_TRUE(Shader_SetUniformMatrix(Shader_Get(0)->slots[SLOT_MATRICES], 9, many.data()));
    writes = Writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(std::get<2>(writes[0]).size(), 20u * 4);
    EXPECT_NE(ConsoleOutputOf([] { CallBuiltIn("shader_set_uniform_f", {0}); }).find("shader_set_uniform_f: Illegal argument count"),
              std::string::npos);
    EXPECT_NE(ConsoleOutputOf([] { CallBuiltIn("shader_set_uniform_i", {0, "x"}); }).find("Illegal argument type"),
              std::string::npos);
    // With no shader applied nothing is written.
    CallBuiltIn("shader_reset");
    Recording().ClearLog();
    CallBuiltIn("shader_set_uniform_f", {u, 1});
    EXPECT_TRUE(Writes().empty());
}

TEST_F(ShaderTest, ApplyingWritesTheMatricesLightsAmbientAndSwitch) {
    LoadPair();
    Shader_State().GR_Lights.colour[2][0] = 0.5f;
    Shader_State().GR_Lights.colour[3][0] = 0.75f;
    Shader_State().GR_Lights.enabled[2] = 1.0f;
    Shader_State().GR_Lights.direction[1][2] = -1.0f;
    Shader_State().GR_Lights.ambient = 0x00FF8000u; // red 0, green 128, blue 255
    Shader_State().GR_Lights.lightingEnabled = 1;
    float world[16] = {};
    Matrix_BuildIdentity(world);
    world[12] = 5;
    Graphics::SetMatrix(2, world);
    Recording().ClearLog();
    CallBuiltIn("shader_set", {0});
    const TShader* s = Shader_Get(0);
    const auto& uniforms = s->compiled->uniforms;
    std::map<uint32_t, std::vector<uint32_t>> vertex; // first register -> words
    for (const auto& [stage, first, words] : Writes())
        if (stage == 0) vertex[first] = words;
    const std::vector<uint32_t>& matrices = vertex[uniforms[static_cast<size_t>(s->slots[SLOT_MATRICES])].registerIndex];
    ASSERT_EQ(matrices.size(), 80u);
    EXPECT_EQ(matrices[2 * 16 + 12], Bits(5)); // the world matrix, third
    const auto& colour = vertex[uniforms[static_cast<size_t>(s->slots[SLOT_LIGHTS_COLOUR])].registerIndex];
    ASSERT_EQ(colour.size(), 32u);
    EXPECT_EQ(colour[2 * 4], Bits(0.5f));
    EXPECT_EQ(colour[3 * 4], 0u); // switched off
    const auto& direction = vertex[uniforms[static_cast<size_t>(s->slots[SLOT_LIGHTS_DIRECTION])].registerIndex];
    EXPECT_EQ(direction[1 * 4 + 2], Bits(-1.0f));
    const auto& ambient = vertex[uniforms[static_cast<size_t>(s->slots[SLOT_AMBIENT_COLOUR])].registerIndex];
    EXPECT_EQ(ambient, (std::vector<uint32_t>{0, Bits(128 / 255.0f), Bits(1.0f), 0}));
    EXPECT_EQ(vertex[uniforms[static_cast<size_t>(s->slots[SLOT_LIGHTING_ENABLED])].registerIndex],
              (std::vector<uint32_t>{1, 0, 0, 0}));

    // A later world matrix reaches the applied shader; applying it again, or no shader twice, does
    // nothing.
    world[12] = 6;
    Graphics::SetMatrix(2, world);
    auto writes = Writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(std::get<2>(writes[0])[2 * 16 + 12], Bits(6));
    CallBuiltIn("shader_set", {0});
    EXPECT_TRUE(Writes().empty());
    CallBuiltIn("shader_set", {-1});
    CallBuiltIn("shader_set", {-1});
    int unbinds = 0;
    for (const D3DCall& call : Recording().Log())
        unbinds += call.kind == D3DCallKind::SetVertexShader;
    EXPECT_EQ(unbinds, 1);
    EXPECT_NE(ConsoleOutputOf([] { CallBuiltIn("shader_set", {3}); }).find("Illegal shader handle"), std::string::npos);
}

TEST_F(ShaderTest, TextureStagesAndTexelSizesResolveTheirTextureArgument) {
    const int id = Texture_Create(100, 30, false); // a 128 x 32 texture
    ASSERT_EQ(id, 0);
    EXPECT_EQ(CallReal("texture_get_texel_width", {id}), 1.0 / 128);
    EXPECT_EQ(CallReal("texture_get_texel_height", {id}), 1.0 / 32);
    EXPECT_EQ(CallReal("texture_get_texel_width", {-1}), 1);
    std::string console = ConsoleOutputOf([] { EXPECT_EQ(CallReal("texture_get_texel_width", {3}), 1); });
    EXPECT_NE(console.find("texture_get_texel_width: illegal texture provided, This looks like a sprite or background ID."),
              std::string::npos);
    // A large number that names no texture-page entry: nothing, without a report.
    Recording().ClearLog();
    console = ConsoleOutputOf([] {
        CallBuiltIn("texture_set_stage", {0, 5000});
        CallBuiltIn("texture_set_stage", {9, 0});
        EXPECT_EQ(CallReal("texture_get_texel_height", {5000}), 1);
    });
    EXPECT_EQ(console, "");
    for (const D3DCall& call : Recording().Log())
        EXPECT_NE(call.kind, D3DCallKind::SetTexture);
    CallBuiltIn("texture_set_stage", {3, id});
    CallBuiltIn("texture_set_stage", {4, -1});
    EXPECT_NE(Frame_State().GR_D3DDevice->GetTexture(3), nullptr);
    EXPECT_EQ(CallReal("shaders_are_supported"), 1);
}

} // namespace
