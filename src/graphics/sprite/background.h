// Backgrounds and the background table: single images for room backgrounds, tiles and the
// draw_background built-ins. A background from the data file draws from its texture-page entry; one
// made at run time owns an image and one texture made from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class CBitmap32;
class CDataView;
class IBitmap;
struct IFFChunk;
struct TPageEntry;
enum class ImageKind;

// A plain record (no virtual operations).
class CBackground {
public:
    // Back to the values after construction, freeing the bitmap and the texture.
    void Reset();
    // Reads the record at a file offset inside the chunk; false when the record does not lie inside
    // the chunk, its name is not terminated inside the file or its entry lies outside the file.
    bool LoadFromChunk(const CDataView& file, const IFFChunk& chunk, uint32_t record);
    void InitTexture();
    void FreeTexture();
    // Destroys one record: its bitmap, its texture and the record itself. Null is ignored.
    static void Free(CBackground* background);
    // The page-entry handle when there is an entry, else the texture id.
    int32_t GetTexture() const;
    int32_t GetWidth() const { return width; }
    int32_t GetHeight() const { return height; }
    bool GetTransparent() const { return transparent != 0; }
    bool GetSmooth() const { return smooth != 0; }
    bool GetPreload() const { return preload != 0; }
    void Assign(const CBackground& other);
    // Whether an image of w x h fits the one texture a background draws from (Texture_MaxSide a side);
    // when not, the reason goes to the debug console.
    static bool Fits(int w, int h);
    // colour is a script colour. A side below 1 is stored as given over an image 1 pixel across; false,
    // with the background unchanged, for a size that does not fit.
    bool CreateColour(int w, int h, uint32_t colour, bool preloadFlag);
    bool CreateGradient(int w, int h, uint32_t colour1, uint32_t colour2, int kind, bool preloadFlag);
    void SetAlphaFromBackground(const CBackground& other);
    // Reads the entry's rectangle back from its page into an own image and texture; 1 on success.
    int MakeLocalBitmap();
    // False, with the background unchanged, for an image that does not fit.
    bool CreateFromBitmap(IBitmap& image, bool removeBack, bool smoothFlag, bool preloadFlag, bool keepAlpha);
    // From w x h 32-bit pixels (bytes B, G, R, A); false, with the background unchanged, when they make no
    // image or one that does not fit.
    bool LoadFromData(const uint32_t* pixels, int w, int h, bool removeBack, bool smoothFlag,
                      bool preloadFlag, bool keepAlpha);
    // Decode, then build; false, with the background unchanged, when the bytes do not decode or their
    // image does not fit.
    bool LoadFromPNG(const uint8_t* bytes, size_t size, bool removeBack, bool smoothFlag, bool preloadFlag,
                     bool keepAlpha);
    bool LoadFromJPEG(const uint8_t* bytes, size_t size, bool removeBack, bool smoothFlag, bool preloadFlag,
                      bool keepAlpha);
    bool LoadFromGIF(const uint8_t* bytes, size_t size, bool removeBack, bool smoothFlag, bool preloadFlag,
                     bool keepAlpha);
    bool LoadFromImage(ImageKind kind, const uint8_t* bytes, size_t size, bool removeBack, bool smoothFlag,
                       bool preloadFlag, bool keepAlpha);
    // A file of the save area, else of the game folder, decoded as PNG whatever it holds; false, with the
    // background unchanged, when it is missing, does not decode or does not fit.
    bool LoadFromFile(const char* path, bool removeBack, bool smoothFlag, bool preloadFlag, bool keepAlpha);

    void Draw(float x, float y);
    void DrawExt(float x, float y, float xscale, float yscale, float angle, uint32_t colour, float alpha);
    void DrawStretched(float x, float y, float w, float h, uint32_t colour, float alpha);
    void DrawPart(float left, float top, float partWidth, float partHeight, float x, float y, float xscale,
                  float yscale, uint32_t colour, float alpha);
    void DrawGeneral(float left, float top, float partWidth, float partHeight, float x, float y, float xscale,
                     float yscale, float angle, uint32_t c1, uint32_t c2, uint32_t c3, uint32_t c4,
                     float alpha);
    void DrawTiled(float x, float y, float xscale, float yscale, bool htiled, bool vtiled, float regionLeft,
                   float regionTop, float regionWidth, float regionHeight, uint32_t colour, float alpha);

    int32_t width = 0;
    int32_t height = 0;
    uint8_t transparent = 0;
    uint8_t smooth = 0;
    uint8_t preload = 0;
    int32_t texture = -1;
    CBitmap32* bitmap = nullptr;     // own image, null for a data-file background
    TPageEntry* pageEntry = nullptr; // not owned

private:
    // The own texture from the own bitmap (-1 without one), touched when preload is set.
    void MakeTexture();
};

// Frees every background record and empties the table (before the data file is read).
void Background_Clear();
// The "BGND" chunk loader: every record is checked against the chunk and the file; a bad record is
// reported on the debug console and fails the load.
bool Background_Load(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list);
void Background_InitTextures();
bool Background_Exists(int index);
// The stored name, or the shared text "<undefined>" (never to be freed) for a bad index or an empty slot.
const char* Background_GetName(int index);
int Background_Find(const char* name);
// The background of a slot; null for an empty slot or an index outside the table.
CBackground* Background_Data(int index);
bool Background_Delete(int index);

// Backgrounds from image files and URLs, as the sprite forms (Sprite_Add): a file keeps its own alpha
// unless removeBack is set; a URL appends or fills the slot at once and fills the background when its
// download ends. Add gives the new index, or -1 for a null name or a file that is missing, does not load
// or does not fit (the slot is not kept); Replace gives false for an index outside the table, a URL or
// such a file.
int Background_Add(const char* name, bool removeBack, bool smooth, bool preload);
bool Background_Replace(int index, const char* name, bool removeBack, bool smooth, bool preload);
// Files only, with their alpha kept and the background colour removed.
int Background_AddAlpha(const char* name, bool preload);
bool Background_ReplaceAlpha(int index, const char* name, bool preload);
// Appends a slot named "__newbackground" and its index, holding an empty background; gives the index.
int Background_AddEmpty();
// Appends a slot as Background_AddEmpty does and has make build its background; -1 when make fails, and
// the slot is not kept (its index goes to the next add).
int Background_AddMade(const std::function<bool(CBackground&)>& make);
// A new slot holding a copy with an image of its own (read back from the page for a data-file
// background); -1 for an index that holds no background.
int Background_Duplicate(int index);
// The destination (any slot of the table; an empty one gets a background) becomes a copy of the source;
// false unless the destination is in the table and the source holds a background.
bool Background_Assign(int destination, int source);
// Writes the image of a background that owns one as a PNG file in the save area.
bool Background_Save(int index, const char* name);
void Background_Free();
