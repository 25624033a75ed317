// Writes a whole small game into a data file: sprites and backgrounds (their images packed on one texture
// page, stored as PNG), scripts, objects with events, rooms with a background and placed instances,
// timelines and paths. Code is written as source text, or compiled into bytecode. A game can also be read from a
// line-based description (see GameFile_Parse).
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

struct GameSprite {
    std::string name;
    int xOrigin = 0, yOrigin = 0;
    std::vector<GameImage> frames; // all of one size
};

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

struct GameRoom {
    std::string name;
    int speed = 1000;
    bool persistent = false;
    std::string code;
    std::vector<GameInstance> instances;
    int width = 640, height = 480;
    uint32_t colour = 0;
    int background = -1; // drawn in slot 0, tiled, when 0 or more
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

struct GameDescription {
    std::vector<GameSprite> sprites;
    std::vector<GameBackground> backgrounds;
    std::vector<GameScript> scripts;
    std::vector<GameObject> objects;
    std::vector<GameRoom> rooms;
    std::vector<GameTimeline> timelines;
    std::vector<GamePath> paths;
    std::vector<GameShader> shaders;
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

// Reads a game description, one statement a line ('#' starts a comment):
//   game NAME WIDTH HEIGHT
//   title TEXT...                        (the window's caption, the rest of the line; default NAME)
//   sprite NAME WIDTH HEIGHT XORIGIN YORIGIN SHAPE COLOUR [COLOUR2]
//   background NAME WIDTH HEIGHT SHAPE COLOUR [COLOUR2]
//   script NAME FILE
//   object NAME SPRITE|- DEPTH
//   event OBJECT KIND NUMBER FILE        (kind: create destroy alarm step collision keyboard mouse other
//                                          draw keypress keyrelease, or its number; NUMBER may name an
//                                          object declared earlier, for collisions)
//   room NAME WIDTH HEIGHT SPEED COLOUR BACKGROUND|-
//   instance ROOM OBJECT X Y
// Shapes are made from pixels: "disc" (a filled circle of COLOUR edged with COLOUR2), "box" (COLOUR
// framed by a one-pixel COLOUR2 border), "checker" (8-pixel squares of COLOUR and COLOUR2). Colours are
// hexadecimal RRGGBB or RRGGBBAA. Names refer to sprites, objects and rooms declared earlier; FILE is
// source text, relative to folder. False with a message naming the line.
bool GameFile_Parse(const std::string& text, const std::string& folder, GameDescription* game,
                    std::string* error);

// An 8-bit RGBA PNG of the image.
std::vector<uint8_t> GameImage_EncodePNG(const GameImage& image);
