// Models: the table, the text file against bytes written by hand, loading damaged files, and drawing
// through recorders per texture.
#include "graphics/3d/d3d_draw.h"
#include "graphics/3d/model.h"
#include "graphics/device_output.h"
#include "graphics/frame/texture.h"

#include <cmath>
#include <cstring>

namespace {

// " %10.4f" of each value: a space and ten columns.
const char kSaved[] =
    "100\r\n"
    "3\r\n"
    "3     1.0000     2.0000     3.0000   255.0000     0.5000     0.0000     0.0000     0.0000     0.0000     0.0000\r\n"
    "11    -1.0000    -2.5000     0.0000     1.0000     2.0000     3.0000     1.0000     2.0000     1.0000    24.0000\r\n"
    "99     0.0000     0.0000     0.0000     0.0000     0.0000     0.0000     0.0000     0.0000     0.0000     0.0000\r\n";

bool Load(TModel3D& model, const std::string& text) {
    return Model_LoadFromMemory(&model, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

class ModelTest : public GraphicsDeviceTest {
protected:
    void TearDown() override {
        Model_FreeAll();
        GR_3D_Reset();
        GraphicsDeviceTest::TearDown();
    }
};

TEST_F(ModelTest, TheTextFileIsWrittenAsItsLinesSayAndReadBackByteForByte) {
    TModel3D model;
    TModelCommand vertex;
    vertex.kind = MODEL_VERTEX_COLOUR;
    vertex.values[0].f = 1;
    vertex.values[1].f = 2;
    vertex.values[2].f = 3;
    vertex.values[3].i = 255;
    vertex.values[4].f = 0.5f;
    TModelCommand cylinder;
    cylinder.kind = MODEL_CYLINDER;
    const float corners[8] = {-1, -2.5f, 0, 1, 2, 3, 1, 2};
    for (int i = 0; i < 8; ++i)
        cylinder.values[i].f = corners[i];
    cylinder.values[8].i = 1;
    cylinder.values[9].i = 24;
    TModelCommand unknown;
    unknown.kind = 99;
    model.commands = {vertex, cylinder, unknown};
    EXPECT_EQ(Model_SaveText(&model), kSaved);

    // Read back: the closed flag and the steps keep their numbers.
    TModel3D loaded;
    ASSERT_TRUE(Load(loaded, kSaved));
    ASSERT_EQ(loaded.commands.size(), 3u);
    EXPECT_EQ(loaded.commands[0].values[3].i, 255);
    EXPECT_EQ(loaded.commands[1].values[8].i, 1);
    EXPECT_EQ(loaded.commands[1].values[9].i, 24);
    EXPECT_EQ(loaded.commands[2].kind, 99);
    EXPECT_EQ(Model_SaveText(&loaded), kSaved);

    // Text before "100", blank lines, bare line feeds and a last line without a terminator.
    const std::string loose = "a comment\n\n100\n3\n\n3 1 2 3 255 0.5\n\n11 -1 -2.5 0 1 2 3 1 2 1 24\n99";
    ASSERT_TRUE(Load(loaded, loose));
    EXPECT_EQ(Model_SaveText(&loaded), kSaved);
    // A field that is not a number ends the line's fields; the rest stay 0.
    ASSERT_TRUE(Load(loaded, "100\n1\n2 1 x 3\n"));
    EXPECT_EQ(loaded.commands[0].values[0].f, 1.0f);
    EXPECT_EQ(loaded.commands[0].values[2].f, 0.0f);
}

TEST_F(ModelTest, DamagedFilesFailAndLeaveTheModelEmpty) {
    TModel3D model;
    ASSERT_TRUE(Load(model, "100\n1\n2 1 2 3\n"));
    const char* const damaged[] = {"", "no header\n", "100", "100\n2\n2 1 2 3\n", "100\n2000000000\n2 0 0 0\n"};
    for (const char* text : damaged) {
        model.commands.resize(1);
        EXPECT_FALSE(Load(model, text)) << text;
        EXPECT_TRUE(model.commands.empty()) << text;
        EXPECT_EQ(model.commands.capacity(), 0u) << text;
    }
    // A count of 0 or below is an empty model; numbers out of range and NaN are taken as they come.
    EXPECT_TRUE(Load(model, "100\n-5\n2 1 2 3\n"));
    EXPECT_TRUE(model.commands.empty());
    ASSERT_TRUE(Load(model, "100\n2\n99999999999 nan inf 1e400\n3 0 0 0 nan 1\n"));
    EXPECT_EQ(model.commands[0].kind, INT32_MAX);
    EXPECT_TRUE(std::isnan(model.commands[0].values[0].f));
    EXPECT_TRUE(std::isinf(model.commands[0].values[2].f));
    EXPECT_EQ(model.commands[1].values[3].i, INT32_MIN);
    // A line of a megabyte is one command.
    ASSERT_TRUE(Load(model, "100\n1\n2" + std::string(1 << 20, ' ') + "7\n"));
    EXPECT_EQ(model.commands[0].values[0].f, 7.0f);
}

TEST_F(ModelTest, TheTableReusesTheLowestFreeSlot) {
    EXPECT_EQ(Model_Create(), 0);
    EXPECT_EQ(Model_Create(), 1);
    EXPECT_EQ(Model_Create(), 2);
    Model_Destroy(1);
    EXPECT_EQ(Model_Get(1), nullptr);
    Model_AddCommand(1, TModelCommand{}); // nothing for a freed slot
    Model_Destroy(7);
    EXPECT_EQ(Model_Create(), 1);
    EXPECT_EQ(Model_Create(), 3);
}

TEST_F(ModelTest, DrawingBuildsOneRecorderPerTextureAndRecoloursOnlyDrawColourVertices) {
    StartRecording(64, 48);
    const int m = Model_Create();
    TModel3D* model = Model_Get(m);
    // A red vertex of its own and one in the drawing colour, which is red too: the same colour word.
    ASSERT_TRUE(Load(*model, "100\n5\n0 1\n3 1 2 3 255 1\n2 4 5 6\n1\n10 0 0 0 1 1 1 1 1\n"));
    GR_Draw_SetColour(0x0000FF);
    Model_Draw(model, 0, 0, 0, -1);
    ASSERT_EQ(model->recorders.size(), 1u);
    GraphicsRecorder* plain = model->recorders[0];
    ASSERT_EQ(plain->points.count, 2);
    EXPECT_EQ(plain->points.vertices[0].colour, 0xFFFF0000u);
    EXPECT_EQ(plain->points.vertices[1].colour, 0xFFFF0000u);
    EXPECT_EQ(plain->triangles.count, 36);
    EXPECT_EQ(plain->colour, 0xFFFF0000u);

    TDeviceTexture* t = GR_D3D_CreateTexture(8, 8, 1, 0, 6);
    const int id = Texture_AddExisting(t, 8, 8);
    Model_Draw(model, 0, 0, 0, id);
    ASSERT_EQ(model->recorders.size(), 2u);
    EXPECT_EQ(model->recorders[1]->texture, t);
    // Commands added after a draw do not reach the recorder of that texture.
    Model_AddCommand(m, TModelCommand{MODEL_FLOOR, {}});
    GR_Draw_SetColour(0xFF0000); // blue
    Model_Draw(model, 0, 0, 0, -1);
    ASSERT_EQ(model->recorders.size(), 2u);
    EXPECT_EQ(plain->triangles.count, 36);
    EXPECT_EQ(plain->points.vertices[0].colour, 0xFFFF0000u);
    EXPECT_EQ(plain->points.vertices[1].colour, 0xFF0000FEu);
    EXPECT_EQ(plain->triangles.vertices[0].colour, 0xFF0000FEu);
    EXPECT_EQ(plain->colour, 0xFF0000FEu);
    // Drawn with the world moved to the position and put back after.
    Recording().ClearLog();
    Model_Draw(model, 10, 20, 30, -1);
    std::vector<float> worlds;
    for (const D3DCall& call : Recording().Log()) {
        if (call.kind != D3DCallKind::SetTransform || call.a != D3DTS_WORLD) continue;
        float w[16];
        std::memcpy(w, call.data.data(), sizeof w);
        worlds.push_back(w[12]);
    }
    EXPECT_EQ(worlds, (std::vector<float>{10.0f, 0.0f}));

    // A model whose vertices all have their own colours records colour 0.
    const int own = Model_Create();
    ASSERT_TRUE(Load(*Model_Get(own), "100\n3\n0 1\n3 1 2 3 255 1\n1\n"));
    Model_Draw(Model_Get(own), 0, 0, 0, -1);
    EXPECT_EQ(Model_Get(own)->recorders[0]->colour, 0u);
}

} // namespace
