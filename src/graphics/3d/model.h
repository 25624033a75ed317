// 3D models: recorded lists of drawing commands (primitive begin and end, vertices of eight kinds and the
// six shapes), their text file, and their drawing through one primitive recorder per texture they are
// drawn with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct GraphicsRecorder;

enum ModelCommandKind : int32_t {
    MODEL_BEGIN = 0,
    MODEL_END = 1,
    MODEL_VERTEX = 2,
    MODEL_VERTEX_COLOUR = 3,
    MODEL_VERTEX_TEXTURE = 4,
    MODEL_VERTEX_TEXTURE_COLOUR = 5,
    MODEL_VERTEX_NORMAL = 6,
    MODEL_VERTEX_NORMAL_COLOUR = 7,
    MODEL_VERTEX_NORMAL_TEXTURE = 8,
    MODEL_VERTEX_NORMAL_TEXTURE_COLOUR = 9,
    MODEL_BLOCK = 10,
    MODEL_CYLINDER = 11,
    MODEL_CONE = 12,
    MODEL_ELLIPSOID = 13,
    MODEL_WALL = 14,
    MODEL_FLOOR = 15,
};

// A command: its kind and ten values, floats except the fields of the kind that hold integers (colours,
// the closed flag and step counts; see Model_IsIntegerField). Unused values are 0.
struct TModelCommand {
    int32_t kind = 0;
    union Value {
        float f;
        int32_t i;
    } values[10] = {};
};

struct TModel3D {
    std::vector<TModelCommand> commands;
    // One recorder per texture value the model has been drawn with.
    std::vector<GraphicsRecorder*> recorders;
};

// Whether value n of a command kind holds an integer.
bool Model_IsIntegerField(int32_t kind, int n);

// The model table: a new empty model in the lowest free slot; its handle.
int Model_Create();
void Model_Destroy(int index);
// The model of a handle, null for a freed or unknown one.
TModel3D* Model_Get(int index);
// Frees every model (a new game, and between tests).
void Model_FreeAll();

// Frees the commands and the cached recorders.
void Model_Clear(TModel3D* model);
// Appends a command to the model of a handle (nothing for a bad handle).
void Model_AddCommand(int index, const TModelCommand& command);

// The model's text file.
std::string Model_SaveText(const TModel3D* model);
// Writes the text file at a path; false when it cannot be written.
bool Model_Save(const TModel3D* model, const char* path);
// Reads a model from the bytes of a text file: the model is cleared first and stays empty when the text
// holds no "100" line, or ends before its count or before that many commands; false then.
bool Model_LoadFromMemory(TModel3D* model, const uint8_t* data, size_t size);
// The same from the file at a path; false when it cannot be read.
bool Model_Load(TModel3D* model, const char* path);

// Sends one command to the 3D layer, primitives and shapes with the texture; true when it used the
// drawing colour (vertices without a colour of their own, and every shape). Unknown kinds do nothing.
bool Model_ReplayCommand(const TModelCommand& command, int64_t texture);
// Draws the model at (x, y, z) with a texture (a texture id, -1, or a texture-page entry handle).
void Model_Draw(TModel3D* model, float x, float y, float z, int64_t texture);
