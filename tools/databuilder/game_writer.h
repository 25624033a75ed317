// Writes a whole small game into a data file: sprites with their bounding boxes and collision masks,
// backgrounds and fonts (their images packed onto texture pages, stored as PNG), scripts, shaders,
// objects with events, rooms with background slots, views, tiles and placed instances, timelines and
// paths. Code is written as source text, or compiled into bytecode. A game can also be read from a
// line-based description (GameFile_Parse, in game_reader.cpp; the format is in FORMAT.md).
#pragma once

#include "data_builder.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Pixels in the byte order R, G, B, A, rows top-down.
struct GameImage {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
};

// Collision-mask kinds of a sprite.
enum GameMaskKind { MASK_NONE = -1, MASK_PRECISE = 0, MASK_RECTANGLE = 1, MASK_ELLIPSE = 2, MASK_DIAMOND = 3 };

struct GameSprite {
    std::string name;
    int xOrigin = 0, yOrigin = 0;
    std::vector<GameImage> frames; // all of one size
    // Bounding box: 0 automatic (the opaque pixels of every frame), 1 the full image, 2 manual (bbox).
    int bboxMode = 0;
    int bbox[4] = {0, 0, 0, 0}; // left, top, right, bottom, inclusive
    // Collision masks, stored in the record: none (collisions use the bounding box), or one mask for all
    // frames (the union of theirs), or with separateMasks one a frame. A precise mask is solid where
    // alpha exceeds the tolerance; the others fill the bounding box with their shape.
    int maskKind = MASK_NONE;
    bool separateMasks = false;
    int tolerance = 0;
};

// The bounding box the sprite record stores (left, top, right, bottom) and its masks, width x height
// bytes each, 1 solid.
void GameSprite_BoundingBox(const GameSprite& sprite, int box[4]);
std::vector<std::vector<uint8_t>> GameSprite_Masks(const GameSprite& sprite);

struct GameBackground {
    std::string name;
    GameImage image;
};

struct GameScript {
    std::string name;
    std::string code;
};

struct GameEvent {
    int type;
    int number;
    std::string code;
};

// An object's physics settings: its instances get a body in rooms with a physics world.
struct GamePhysics {
    bool uses = false;
    bool sensor = false;
    int shape = 0; // 0 circle (radius: the first value), 1 box and 2 polygon from the points
    float density = 0.5f; // 0 makes a static body
    float restitution = 0.1f;
    int group = 0;
    float linearDamping = 0.1f;
    float angularDamping = 0.1f;
    float friction = 0.2f;
    bool awake = true;
    bool kinematic = false;
    std::vector<float> points; // x, y of each point, pixels from the instance's position
};

struct GameObject {
    std::string name;
    int depth = 0;
    bool persistent = false;
    int parent = -100;
    std::vector<GameEvent> events;
    int sprite = -1;
    bool visible = true;
    bool solid = false;
    GamePhysics physics;
};

struct GameInstance {
    int x = 0, y = 0, object = 0, id = 0;
    std::string code; // creation code
};

// A background slot of a room (0 to 7).
struct GameRoomBackground {
    int slot = 0;
    int background = -1;
    bool visible = true, foreground = false;
    int x = 0, y = 0;
    bool htiled = true, vtiled = true, stretch = false;
    int hspeed = 0, vspeed = 0;
};

// A view slot of a room (0 to 7): the area of the room shown, the port of the window it is shown in,
// and an object followed with its borders and largest speeds (-1 unlimited).
struct GameView {
    int slot = 0;
    int x = 0, y = 0, width = 640, height = 480;
    int portX = 0, portY = 0, portWidth = 640, portHeight = 480;
    int object = -1;
    int hborder = 32, vborder = 32, hspeed = -1, vspeed = -1;
};

// A tile: the rectangle (left, top, width, height) of a background placed at (x, y) at a depth.
struct GameTile {
    int x = 0, y = 0, background = 0;
    int left = 0, top = 0, width = 0, height = 0;
    int depth = 0, id = 0;
};

struct GameRoom {
    std::string name;
    int speed = 1000;
    bool persistent = false;
    std::string code;
    std::vector<GameInstance> instances;
    int width = 640, height = 480;
    uint32_t colour = 0;
    int background = -1; // drawn in slot 0, tiled, when 0 or more and backgrounds gives no slot 0
    std::vector<GameRoomBackground> backgrounds;
    std::vector<GameView> views; // views are enabled when there is one
    std::vector<GameTile> tiles;
    bool physics = false; // the room has a physics world
    float gravityX = 0, gravityY = 10; // metres per second squared
    float pixelsToMetres = 0.1f;
};

struct GameTimeline {
    std::string name;
    std::vector<std::pair<int, std::string>> moments; // ascending steps
};

struct GamePath {
    std::string name;
    int kind = 0; // 0 straight, 1 smooth
    bool closed = false;
    int precision = 4;
    std::vector<std::array<float, 3>> points; // x, y, speed
};

// A shader: its programs for the Direct3D 9 target (the third source pair of the record) and, written
// as the first pair, the same programs under another target's name, which the runner does not read.
struct GameShader {
    std::string name;
    std::string vertex;
    std::string fragment;
    std::vector<std::string> attributes;
};

// One glyph of a font: its character, its rectangle in the font's image, the pen advance after it and
// the distance from the pen to its left.
struct GameGlyph {
    uint16_t character = 0;
    uint16_t x = 0, y = 0;
    int16_t w = 0, h = 0, shift = 0, offset = 0;
};

// A font: its glyph images on one image (white, coverage as alpha), which goes onto a texture page.
struct GameFont {
    std::string name;
    std::string face; // the face name the record keeps
    int size = 12;
    int first = 32, last = 127;
    GameImage image;
    std::vector<GameGlyph> glyphs; // ascending by character
};

// A font rasterised by FreeType from the bytes of a font file at size pixels, with the characters from
// first to last that the face has and the space. The font keeps its name. False with the reason.
bool GameFont_FromFile(const std::vector<uint8_t>& file, int size, int first, int last, GameFont* font,
                       std::string* error);
// A font of the sprite's frames: frame i draws the character first + i. Proportional glyphs are as wide
// as their frame's opaque columns, the others as the frame; each advances by its width and the
// separation. A space as wide as the widest glyph is added when the frames give none. The font keeps its
// name. False with the reason.
bool GameFont_FromSprite(const GameSprite& sprite, int first, bool proportional, int separation, GameFont* font,
                         std::string* error);

struct GameDescription {
    std::vector<GameSprite> sprites;
    std::vector<GameBackground> backgrounds;
    std::vector<GameScript> scripts;
    std::vector<GameObject> objects;
    std::vector<GameRoom> rooms;
    std::vector<GameTimeline> timelines;
    std::vector<GamePath> paths;
    std::vector<GameShader> shaders;
    std::vector<GameFont> fonts;
    std::vector<int> order; // empty: every room in index order
    std::string name = "Game";
    std::string title; // the window's caption; empty: the name
    int width = 64, height = 48;
};

// The data file of the game. New instances take ids after the last placed one. With bytecode the code is
// compiled here and the file carries it in a code chunk; otherwise the records hold the source text, which
// the runner compiles. A compile error gives an empty file and the message, after the code's name.
std::vector<uint8_t> GameFile_Build(const GameDescription& game, bool bytecode = false,
                                    std::string* error = nullptr);

// Reads a game description (the format is in FORMAT.md beside this file): one statement a line, '#'
// starting a comment. Files it names are read relative to folder (absolute paths as they are). False
// with a message naming the line.
bool GameFile_Parse(const std::string& text, const std::string& folder, GameDescription* game,
                    std::string* error);

// An 8-bit RGBA PNG of the image.
std::vector<uint8_t> GameImage_EncodePNG(const GameImage& image);
// Decodes a PNG file into 8-bit RGBA. Images of more than maxPixels pixels are refused before they are
// decoded. False with the reason.
bool GameImage_DecodePNG(const std::vector<uint8_t>& file, size_t maxPixels, GameImage* image, std::string* error);
