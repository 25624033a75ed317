// The font table as the data-file reader and the start-up reach it.
#pragma once

#include <cstdint>
#include <span>

// Empties the font table before the data file is read.
void Font_Init();
// The "FONT" chunk loader: body is the chunk body inside file, whose offsets it resolves.
bool Font_Load(std::span<const uint8_t> body, std::span<const uint8_t> file);
bool Font_Exists(int index);
void Font_InitTextures();
void Font_Free();
