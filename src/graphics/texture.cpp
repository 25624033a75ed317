#include "graphics/texture.h"

// Without a device no texture or surface is ever made, so the tables are empty.
bool Texture_Exists(int /*id*/) {
    return false;
}
TDeviceTexture* Texture_Get(int /*id*/) {
    return nullptr;
}
int Texture_AddExisting(TDeviceTexture* /*texture*/, int /*width*/, int /*height*/) {
    return -1;
}
int Texture_CreateFromMemory(const uint8_t* /*data*/, size_t /*size*/) {
    return -1;
}
void Texture_Free(int /*id*/) {}
void Texture_FreeAll() {}

bool Surface_Exists(int /*id*/) {
    return false;
}
int Surface_GetTexture(int /*id*/) {
    return -1;
}
