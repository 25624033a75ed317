// Folder sprite/: sprites, backgrounds and fonts, the image resources: loaded, made, changed and drawn.
//
// Sprites and the sprite table: the sprite record with its frames, textures and page entries, loading
// from the data file, the bounding box and culling radius, the drawing operations, and the collision
// masks with the precise collision tests the world's collision code asks for.
//
// The point test takes the point as the world passes it (reals); every other position is an integer.
#pragma once

#include "core/rect.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class CBitmap32;
class CDataView;
class IBitmap;
class IBitmapLoader;
struct IFFChunk;
struct TPageEntry;
enum class ImageKind;

struct SpriteMask {
    uint32_t size;  // width x height bytes
    uint8_t* bytes; // 1 = solid
};

class CSprite {
public:
    CSprite();
    virtual ~CSprite();
    CSprite(const CSprite&) = delete;
    CSprite& operator=(const CSprite&) = delete;

    // Frees everything the sprite owns and sets the defaults.
    void Clear();
    // Reads the record at a file offset inside the chunk; false (with the sprite cleared) when the
    // record, its frame list or its masks do not lie inside the chunk, or an entry lies outside the file.
    bool Load(const CDataView& file, const IFFChunk& chunk, uint32_t record);
    void InitTexture();
    void InitLocalTPE();
    void FreeTextures();
    // -1 without frames; the page-entry handle of the frame for a data-file sprite, else its texture id.
    int32_t GetTexture(int frame);
    IntRect GetFrameRect(int frame) const;
    // A new 32-bit image of the frame; null without local bitmaps or for a frame out of range.
    IBitmap* GetBitmap(int frame) const;
    void SetBoundingBox(const IntRect& rect);
    void SetBoundingBoxMode(int mode);
    void ComputeBoundingBox();
    // True for a sprite drawing from page entries it does not own (one from the data file).
    bool IsFromFile() const { return pageEntries != nullptr && !ownsPageEntries; }
    // True for a sprite made at run time that holds its frames as images.
    bool OwnsFrames() const { return localBitmapCount > 0 && !IsFromFile(); }

    // Building from images. Every one keeps the sprite's own index and name. Frames are cut from a strip:
    // frame count (below 1: 1) frames of image width / count pixels, the columns left over dropped. The
    // image's alpha is kept when keepAlpha is set (no background removal or smoothing then); otherwise
    // the pixels are opaque, with the colour of the bottom-left pixel made transparent when removeBack is
    // set and the edges then smoothed when smooth is set. Sprites made from images always preload.
    //
    // A file of the save area, else of the game folder, decoded as PNG whatever it holds; false, with
    // the sprite unchanged, when it is missing, does not decode or has fewer columns than frames.
    bool LoadFromFile(const char* name, int frames, bool precise, bool removeBack, bool smooth, int xOrigin,
                      int yOrigin, bool keepAlpha);
    bool LoadFromImage(ImageKind kind, const uint8_t* bytes, size_t size, int frames, bool precise,
                       bool removeBack, bool smooth, int xOrigin, int yOrigin, bool keepAlpha);
    // From width x height pixels 0xAARRGGBB.
    bool LoadFromData(const uint32_t* pixels, int w, int h, int frames, bool precise, bool removeBack,
                      bool smooth, int xOrigin, int yOrigin, bool keepAlpha);
    // One frame of the image's size.
    void CreateFromBitmap(IBitmap& image, bool precise, bool removeBack, bool smooth, bool preloadFlag,
                          int xOrigin, int yOrigin, bool keepAlpha);
    // One more frame, resized to the sprite's size (a sprite without frames takes the image's). A data-
    // file sprite is first given frames of its own read back from its pages; false, with nothing added,
    // when that fails.
    bool AddFrameFromBitmap(IBitmap& image, bool removeBack, bool smooth, bool keepAlpha);
    // A copy of the other sprite: its settings and its frames (a data-file sprite's page entries are
    // shared, not owned). Masks are not copied: they are made anew from the copied frames as CreateMask
    // makes them, so a copy of a data-file sprite, or one given a collision mask of another kind, has
    // masks by alpha or none.
    void Assign(const CSprite& other);
    // Reads every frame of a data-file sprite back from its page into an image of the frame's full size;
    // false, with nothing changed, when a frame cannot be read.
    bool MakeLocalBitmaps();
    // MakeLocalBitmaps, then the page entries are let go and the sprite gets textures and entries of its
    // own.
    bool MakeOwnFrames();
    // Appends the other sprite's frames, each resized to this sprite's size (a sprite without frames
    // takes the other's). Both must hold their own frames: a data-file sprite raises the error that it
    // must be duplicated first, and nothing changes.
    bool Merge(const CSprite& other);
    // Each frame's alpha becomes at most the brightness of the other's frame (frame i mod its count).
    void SetAlphaFromSprite(const CSprite& other);

    void Draw(int frame, float x, float y, float xscale, float yscale, float angle, uint32_t colour,
              float alpha);
    void DrawSimple(int frame, float x, float y);
    void DrawPos(int frame, float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                 uint32_t colour, float alpha);
    void DrawStretched(int frame, float x, float y, float w, float h, uint32_t colour, float alpha);
    void DrawPart(int frame, float left, float top, float w, float h, float x, float y, float xscale,
                  float yscale, uint32_t colour, float alpha);
    void DrawGeneral(int frame, float left, float top, float w, float h, float x, float y, float xscale,
                     float yscale, float angle, uint32_t c1, uint32_t c2, uint32_t c3, uint32_t c4,
                     float alpha);
    void DrawTiled(int frame, float x, float y, float xscale, float yscale, bool htiled, bool vtiled,
                   float regionLeft, float regionTop, float regionWidth, float regionHeight, uint32_t colour,
                   float alpha);

    // Collision masks.
    void FreeMasks();
    void CreateMask();
    void SetPrecise(bool flag);
    // Kinds: 0 by alpha (solid above the tolerance), 1 rectangle, 2 ellipse, 3 diamond over the box.
    void SetCollisionMask(bool separate, int bboxModeArg, const IntRect& rect, int kind, int tolerance);

    // Collision of the two placed masks; frames are image indexes truncated.
    bool PreciseCollision(int frame, const IntRect& box, int x, int y, float xscale, float yscale,
                          float angle, CSprite* other, int otherFrame, const IntRect& otherBox, int otherX,
                          int otherY, float otherXscale, float otherYscale, float otherAngle);
    // The caller has compared the point with the instance's bounding box; box is not read.
    bool PreciseCollisionPoint(int frame, const IntRect& box, int x, int y, float xscale, float yscale,
                               float angle, float px, float py);
    bool PreciseCollisionRectangle(int frame, const IntRect& box, int x, int y, float xscale, float yscale,
                                   float angle, const IntRect& rect);
    bool PreciseCollisionEllipse(int frame, const IntRect& box, int x, int y, float xscale, float yscale,
                                 float angle, const IntRect& rect);
    bool PreciseCollisionLine(int frame, const IntRect& box, int x, int y, float xscale, float yscale,
                              float angle, int x1, int y1, int x2, int y2);

    int32_t bboxMode = 0; // 0 automatic, 1 full image, 2 manual
    IntRect bbox{0, 0, 0, 0};
    int32_t frameCount = 0;
    int32_t width = 1;
    int32_t height = 1;
    int32_t xOrigin = 0;
    int32_t yOrigin = 0;
    int32_t cullRadius = 0;
    uint8_t precise = 1;
    uint8_t hasMasks = 0;
    uint8_t transparent = 1;
    uint8_t smooth = 0;
    uint8_t preload = 1;
    uint8_t ownsPageEntries = 0;
    int32_t ownedPageEntryCount = 0;
    int32_t maskCount = 0;
    SpriteMask* masks = nullptr;
    int32_t localBitmapCount = 0;
    CBitmap32** localBitmaps = nullptr;
    int32_t textureCount = 0;
    int32_t* textures = nullptr;
    // One per frame. The array is the sprite's; the entries are too only when ownsPageEntries is set.
    TPageEntry** pageEntries = nullptr;
    const char* name = nullptr;
    int32_t index = 0;

private:
    // Clear that keeps the sprite's index and name.
    void ClearImage();
    void LoadStrip(IBitmapLoader& loader, bool removeBack, bool smooth, int frames, bool keepAlpha);
    void LoadFrames(IBitmapLoader& loader, bool removeBack, bool smooth);
    // InitTexture, InitLocalTPE, ComputeBoundingBox and CreateMask.
    void FinishFrames();
    void AppendFrame(CBitmap32* frame);
    // The frame wrapped into 0..count-1; false without frames.
    bool WrapFrame(int& frame) const;
    TPageEntry* FrameEntry(int frame) const;
    int32_t FrameTexture(int frame) const;
    void DrawFailed() const;
    void ComputeCullRadius();
    // The mask of a frame, null without masks.
    const uint8_t* FrameMask(int frame) const;
    bool MaskSolid(const uint8_t* mask, int32_t ix, int32_t iy) const;
};

// Empties the sprite table before the data file is read.
void Sprite_Clear();
// The "SPRT" chunk loader: every record is checked against the chunk and the file; a bad record is
// reported on the debug console and fails the load.
bool Sprite_Load(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list);
void Sprite_InitTextures();
bool Sprite_Exists(int index);
// The name, or the shared text "<undefined>" (never to be freed) for a bad index or an empty slot.
const char* Sprite_GetName(int index);
int Sprite_Find(const char* name);
// Appends a slot named "__newsprite" and its index, holding an empty sprite (no frames); gives the index.
int Sprite_AddEmpty();
// The sprite of a slot; null for an empty slot or an index outside the table.
CSprite* Sprite_Data(int index);
bool Sprite_Delete(int index);

// Sprites from image files and URLs. A file is read from the save area, else from the game folder, and
// keeps its own alpha unless removeBack is set. A URL ("http://" or "https://") appends or fills the slot
// at once and downloads in the background: when the download ends, the asynchronous event 60 is raised
// with its map (filename, id, http_status, status) and a PNG, JPEG or GIF that arrived with status 200
// fills the sprite (which then carries no name or index of its own in its messages; the table still
// names the slot).
//
// A new slot for the file or URL; -1 for a null name or a file that is missing or does not load (the
// slot is not kept).
int Sprite_Add(const char* name, int frameCount, bool precise, bool removeBack, bool smooth, bool preload,
               int xOrigin, int yOrigin);
// Fills an existing slot (an empty one gets a sprite); false for an index outside the table, a URL (the
// download goes on) or a file that is missing or does not load.
bool Sprite_Replace(int index, const char* name, int frameCount, bool precise, bool removeBack, bool smooth,
                    bool preload, int xOrigin, int yOrigin);
// Files only, with their alpha kept and the background colour removed.
int Sprite_AddAlpha(const char* name, int frameCount, bool precise, bool preload, int xOrigin, int yOrigin);
bool Sprite_ReplaceAlpha(int index, const char* name, int frameCount, bool precise, bool preload, int xOrigin,
                         int yOrigin);
// A new slot holding a copy of the sprite, with frames of its own (read back from the pages for a data-
// file sprite); -1 for an index that holds no sprite.
int Sprite_Duplicate(int index);
// The destination (any slot of the table; an empty one gets a sprite) becomes a copy of the source,
// keeping its own index and name; false unless the destination is in the table and the source holds a
// sprite.
bool Sprite_Assign(int destination, int source);
// Writes a frame (0..count-1) of a sprite holding its own frames as a PNG file in the save area.
bool Sprite_Save(int index, int frame, const char* name);
void Sprite_Free();
