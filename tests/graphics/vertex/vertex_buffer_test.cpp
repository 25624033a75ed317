// Vertex formats and vertex buffers through their built-ins: layouts, the checked and fast writers and
// their misuse, submitting and freezing.
#include "graphics/device_output.h"
#include "graphics/frame/batcher.h"
#include "graphics/frame/vertex_format.h"
#include "graphics/graphics_builtins.h"
#include "graphics/vertex/vertex_buffer.h"
#include "library/builtin_test_util.h"
#include "script/compiler/compile.h"
#include "support/fatal_errors.h"
#include "support/graphics_device.h"

#include <cstring>

namespace {

class VertexBufferTest : public GraphicsDeviceTest {
protected:
    void SetUp() override {
        static const bool registered = (InitVertexFunctions(), InitVertexFormatFunctions(), true);
        (void)registered;
        VertexBuilder_SetChecked(true);
        TakeFatalErrors();
    }
    void TearDown() override {
        VertexBuilder_SetChecked(true);
        VertexBuffer_Clear();
        VertexFormat_Clear();
        GraphicsDeviceTest::TearDown();
    }
    // A format of the given add functions.
    double Format(std::initializer_list<const char*> adds) {
        CallBuiltIn("vertex_format_begin");
        for (const char* add : adds)
            CallBuiltIn(add);
        return CallReal("vertex_format_end");
    }
    // What a call reports on the console; a fatal report would end the game, so the next call may
    // report again.
    template <typename F> std::string Messages(F call) {
        CodeError_State().Code_Aborting = false;
        const std::string console = ConsoleOutputOf(call);
        CodeError_State().Code_Aborting = false;
        return console;
    }
    template <typename F> void ExpectReport(F call, const char* text) {
        const std::string console = Messages(call);
        EXPECT_NE(console.find(text), std::string::npos) << console;
    }
    static float FloatAt(const TVertexBuffer* b, uint32_t at) {
        float f;
        std::memcpy(&f, b->data + at, 4);
        return f;
    }
};

TEST_F(VertexBufferTest, FormatsLayElementsOutAndRefuseMisuse) {
    StartDevice(D3DBackend::Recording, 32, 32);
    const double handle = Format({"vertex_format_add_position_3d", "vertex_format_add_colour", "vertex_format_add_textcoord"});
    EXPECT_EQ(handle, 0x1000000);
    const TVertexFormat* f = VertexFormat_FromHandle(0x1000000);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->stride, 24u);
    ASSERT_EQ(f->elements.size(), 3u);
    EXPECT_EQ(f->elements[1].offset, 12u);
    EXPECT_EQ(f->elements[2].offset, 16u);
    EXPECT_NE(f->declaration, nullptr);
    EXPECT_EQ(VertexFormat_FromHandle(0), nullptr);
    EXPECT_EQ(VertexFormat_FromHandle(0x1000001), nullptr);

    // An empty format has stride 0; every type has its size; usage codes 5 and 6 are both blend weights,
    // numbered apart so the device takes the declaration.
    EXPECT_EQ(Format({}), 0x1000001);
    CallBuiltIn("vertex_format_begin");
    for (int type = 1; type <= 6; ++type)
        CallBuiltIn("vertex_format_add_custom", {type, type == 1 ? 5 : type == 2 ? 6 : 4});
    const TVertexFormat* custom = VertexFormat_FromHandle(static_cast<int64_t>(CallReal("vertex_format_end")));
    ASSERT_NE(custom, nullptr);
    EXPECT_EQ(custom->stride, 4u + 8 + 12 + 16 + 4 + 4);
    EXPECT_NE(custom->declaration, nullptr);

    ExpectReport([] { CallBuiltIn("vertex_format_end"); }, "vertex_format_end(): Can't end format, you haven't started one yet.");
    ExpectReport([] { CallBuiltIn("vertex_format_add_normal"); }, "vertex_format_add_normal(): haven't started a new format.");
    CallBuiltIn("vertex_format_begin");
    ExpectReport([] { CallBuiltIn("vertex_format_begin"); }, "vertex_format_begin(): Can't start a new format, still creating another one.");
    for (int i = 0; i < 32; ++i)
        CallBuiltIn("vertex_format_add_custom", {1, 12});
    ExpectReport([] { CallBuiltIn("vertex_format_add_position"); }, "vertex_format_add_position(): Too many elements");
    ExpectReport([] { CallBuiltIn("vertex_format_add_custom", {"x", 1}); }, "vertex_format_add_custom(): incorrect formats.");
    EXPECT_EQ(VertexFormat_Building()->elementCount, 32);
    CallBuiltIn("vertex_format_end");
    CallBuiltIn("vertex_format_begin");
    ExpectReport([] { CallBuiltIn("vertex_format_add_custom", {7, 1}); }, "illegal types");
    ExpectReport([] { CallBuiltIn("vertex_format_add_custom", {1, 15}); }, "illegal usage");
}

TEST_F(VertexBufferTest, CheckedWritersPlaceValuesByElementAndReportMisuse) {
    StartDevice(D3DBackend::Recording, 32, 32);
    const double format = Format({"vertex_format_add_position_3d", "vertex_format_add_colour"});
    const double buffer = CallReal("vertex_create_buffer_ext", {10});
    TVertexBuffer* b = VertexBuffer_Get(static_cast<int64_t>(buffer));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->capacity, 256u);
    CallBuiltIn("vertex_begin", {buffer, format});
    // The colour first, then the position: both land in place and complete the vertex.
    CallBuiltIn("vertex_colour", {buffer, 0x0000FF, 0.5});
    EXPECT_EQ(b->vertexCount, 0u);
    CallBuiltIn("vertex_position_3d", {buffer, 1, 2, 3});
    EXPECT_EQ(b->vertexCount, 1u);
    EXPECT_EQ(FloatAt(b, 8), 3.0f);
    uint32_t colour;
    std::memcpy(&colour, b->data + 12, 4);
    EXPECT_EQ(colour, 0x7FFF0000u); // red on top of blue, alpha 0.5 x 255 truncated
    // Growth past the 256 bytes it started with.
    for (int i = 0; i < 20; ++i) {
        CallBuiltIn("vertex_position_3d", {buffer, i, 0, 0});
        CallBuiltIn("vertex_argb", {buffer, 2148606515.0});
    }
    EXPECT_EQ(b->vertexCount, 21u);
    EXPECT_GE(b->capacity, 21u * 16);

    CallBuiltIn("vertex_position_3d", {buffer, 0, 0, 0});
    ExpectReport([&] { CallBuiltIn("vertex_position_3d", {buffer, 0, 0, 0}); }, "VERTEX BUILDER: element already written, must write the whole vertex first\n\n");
    ExpectReport([&] { CallBuiltIn("vertex_normal", {buffer, 0, 0, 0}); }, "VERTEX BUILDER: Vertex format does not contain selected type.\n\n");
    ExpectReport([&] { CallBuiltIn("vertex_end", {buffer}); }, "vertex_end: Must finish writing vertex before end.");
    ExpectReport([&] { CallBuiltIn("vertex_position", {buffer, 0}); }, "VERTEX BUILDER: Illegal argument count");
    ExpectReport([&] { CallBuiltIn("vertex_begin", {buffer, 5}); }, "vertex_create_buffer: Illegal vertex format specified");
    ExpectReport([&] { CallBuiltIn("vertex_submit", {buffer, 4, -1}); }, "vertex_submit: Must finish with vertex_end() before submitting.");
    CallBuiltIn("vertex_colour", {buffer, 0, 1});
    CallBuiltIn("vertex_end", {buffer});
    ExpectReport([&] { CallBuiltIn("vertex_submit", {buffer, 6, -1}); }, "vertex_submit: Primitive type error.");
    ExpectReport([] { CallBuiltIn("vertex_colour", {77, 0, 1}); }, "VERTEX BUILDER: Illegal vertex buffer specified.");

    // A deleted handle is reused; a deleted buffer is refused.
    CallBuiltIn("vertex_delete_buffer", {buffer});
    ExpectReport([&] { CallBuiltIn("vertex_delete_buffer", {buffer}); }, "vertex_delete_buffer: Invalid vertex buffer specified");
    EXPECT_EQ(CallReal("vertex_create_buffer"), buffer);
}

TEST_F(VertexBufferTest, FastWritersFollowCallOrderAndIgnoreWhatTheyCannotWrite) {
    StartDevice(D3DBackend::Recording, 32, 32);
    const double format = Format({"vertex_format_add_position", "vertex_format_add_colour"});
    const double buffer = CallReal("vertex_create_buffer_ext", {0});
    VertexBuilder_SetChecked(false);
    // Without a begin, on a missing buffer, and past the format: ignored, without a report.
    EXPECT_EQ(Messages([&] {
                  CallBuiltIn("vertex_position", {buffer, 1, 2});
                  CallBuiltIn("vertex_position", {99, 1, 2});
                  CallBuiltIn("vertex_submit", {99, 4, -1});
                  CallBuiltIn("vertex_freeze", {buffer});
              }),
              "");
    CallBuiltIn("vertex_begin", {buffer, format});
    TVertexBuffer* b = VertexBuffer_Get(static_cast<int64_t>(buffer));
    for (int i = 0; i < 100; ++i) {
        CallBuiltIn("vertex_position", {buffer, i, 0});
        CallBuiltIn("vertex_argb", {buffer, 4278255360.0});
    }
    // A value larger than the stride still fits.
    CallBuiltIn("vertex_float4", {buffer, 1, 2, 3, 4});
    EXPECT_EQ(b->vertexCount, 100u);
    EXPECT_EQ(b->writeOffset, 100u * 12 + 16);
    EXPECT_EQ(FloatAt(b, 99 * 12), 99.0f);
    EXPECT_LE(b->writeOffset, b->capacity);
}

TEST_F(VertexBufferTest, SubmittedAndFrozenBuffersDrawTheirVertices) {
    StartDevice(D3DBackend::OpenGL, 32, 32);
    Frame_State().GR_D3DDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    const double format = Format({"vertex_format_add_position", "vertex_format_add_colour"});
    const double buffer = CallReal("vertex_create_buffer");
    CallBuiltIn("vertex_begin", {buffer, format});
    for (auto [x, y] : {std::pair{4, 4}, {20, 4}, {20, 20}}) {
        CallBuiltIn("vertex_position", {buffer, x, y});
        CallBuiltIn("vertex_colour", {buffer, 0x00FFFF, 1});
    }
    CallBuiltIn("vertex_end", {buffer});
    CallBuiltIn("vertex_submit", {buffer, 1, -1});
    Graphics::Flush();
    // Points and lines land up and left of their coordinates, under the projection's half-pixel move.
    std::vector<uint32_t> pixels = BackBufferPixels();
    EXPECT_EQ(pixels[3 * 32 + 3], 0xFFFFFF00u);
    EXPECT_EQ(pixels[3 * 32 + 12], 0xFF000000u);
    CallBuiltIn("vertex_submit", {buffer, 3, -1});
    Graphics::Flush();
    pixels = BackBufferPixels();
    EXPECT_EQ(pixels[3 * 32 + 12], 0xFFFFFF00u);
    EXPECT_EQ(pixels[12 * 32 + 19], 0xFFFFFF00u);

    // Frozen, then with its device copy gone: drawn again from the memory copy.
    CallBuiltIn("vertex_freeze", {buffer});
    TVertexBuffer* b = VertexBuffer_Get(static_cast<int64_t>(buffer));
    ASSERT_TRUE(b->frozen);
    ASSERT_NE(b->data, nullptr);
    b->device->Release();
    delete b->device;
    b->device = nullptr;
    Frame_State().GR_D3DDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    CallBuiltIn("vertex_submit", {buffer, 4, -1});
    pixels = BackBufferPixels();
    EXPECT_EQ(pixels[6 * 32 + 16], 0xFFFFFF00u);
    EXPECT_EQ(pixels[16 * 32 + 6], 0xFF000000u);
    ExpectReport([&] { CallBuiltIn("vertex_begin", {buffer, format}); }, "vertex_begin: Illegal vertex buffer specified.");
}

} // namespace
