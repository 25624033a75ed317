// Folder image/: images in memory and in files: colours, images, the codecs, the built-in images.
//
// Image interfaces: IBitmap (an image with a size, a pixel format and lockable rows) with its one
// implementation TBitmap, which keeps the image as a BMP file image without the "BM" signature, and
// IBitmapLoader, which hands out the frames of a decoded image.
#pragma once

#include <cstddef>
#include <cstdint>

class CStream;

// Pixel format codes.
enum : int32_t {
    BITMAP_FORMAT_1BIT = 1,
    BITMAP_FORMAT_4BIT = 2,
    BITMAP_FORMAT_8BIT = 3, // palette
    BITMAP_FORMAT_15BIT = 4,
    BITMAP_FORMAT_16BIT = 5,
    BITMAP_FORMAT_24BIT = 6, // bytes B, G, R
    BITMAP_FORMAT_32BIT = 7, // bytes B, G, R, A
};

// The image block starts with this many header bytes: the BMP file header without its signature (12) and
// the 40-byte information header.
constexpr uint32_t kBitmapHeaderSize = 52;

class IBitmap {
public:
    virtual ~IBitmap() = default;
    virtual void Load(CStream* stream) = 0;
    virtual void SetWidth(int32_t width) = 0;
    virtual int32_t GetWidth() const = 0;
    virtual void SetHeight(int32_t height) = 0;
    virtual int32_t GetHeight() const = 0;
    virtual void SetFormat(int32_t format) = 0;
    virtual int32_t GetFormat() const = 0;
    // The pixels; row and pitch receive the address of the given row and the pitch when not null.
    virtual uint8_t* Lock(int32_t row, uint8_t** rowPointer, int32_t* pitch) = 0;
    virtual void Unlock(uint8_t* pixels) = 0;
    virtual void Assign(const IBitmap& other) = 0;
    virtual void FreeData() = 0;
    virtual uint32_t GetField() const = 0;
    virtual void Attach(uint8_t* block, uint32_t size) = 0;
};

class TBitmap : public IBitmap {
public:
    ~TBitmap() override;
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    // A new image with no block, format 7, size 0 x 0.
    static TBitmap* Create();
    static int32_t FormatFromBits(int32_t bits);
    // Bytes per row of an unpadded row (1 bit: w / 8, 4 bits: w / 2, truncating); 0 for a negative width.
    static int32_t PitchFor(int32_t width, int32_t format);

    // Frees the image; then, unless the stream is at its end, reads 2 bytes and, when they are "BM",
    // the BMP image. A BMP that does not hold what its header says leaves no image.
    void Load(CStream* stream) override;
    void SetWidth(int32_t width) override;
    int32_t GetWidth() const override { return m_width; }
    void SetHeight(int32_t height) override;
    int32_t GetHeight() const override { return m_height; }
    void SetFormat(int32_t format) override;
    int32_t GetFormat() const override { return m_format; }
    // Allocates pitch x height + 52 bytes when there is no block. Null when the block cannot hold the rows
    // of the current size and format (or that many bytes cannot be allocated).
    uint8_t* Lock(int32_t row, uint8_t** rowPointer, int32_t* pitch) override;
    void Unlock(uint8_t* /*pixels*/) override {}
    void Assign(const IBitmap& other) override;
    void FreeData() override;
    uint32_t GetField() const override { return m_field; }
    // Takes ownership of a block holding a header and 32-bit pixels. A block too small for the size its
    // header gives is freed and leaves no image.
    void Attach(uint8_t* block, uint32_t size) override;

    const uint8_t* Block() const { return m_block; }
    uint32_t BlockSize() const { return m_blockSize; }

private:
    TBitmap() = default;
    void UpdatePitch();
    // Pixels, size and format from the block's header; the offset field counts from the block start.
    // False (and no pixels) when the header's rows do not lie inside the block.
    bool ParseHeader();
    bool ReadBMP(CStream* stream);
    bool RowsFit() const;

    uint8_t* m_block = nullptr;
    uint32_t m_field = 0;
    uint8_t* m_pixels = nullptr;
    uint32_t m_blockSize = 0;
    int32_t m_format = BITMAP_FORMAT_32BIT;
    int32_t m_width = 0;
    int32_t m_height = 0;
    int32_t m_pitch = 0;
};

class IBitmapLoader {
public:
    virtual ~IBitmapLoader() = default;
    virtual bool HasFrames() const = 0;
    virtual int32_t GetFrameCount() const = 0;
    // A new image of frame i (the caller deletes it), null when there is no such frame.
    virtual IBitmap* GetFrame(int32_t i) = 0;
};

class BitmapLoader : public IBitmapLoader {
public:
    ~BitmapLoader() override;
    BitmapLoader(const BitmapLoader&) = delete;
    BitmapLoader& operator=(const BitmapLoader&) = delete;

    // One frame holding a copy of w x h 32-bit pixels (bytes B, G, R, A, rows top-down); null when the
    // size is not positive or too large to hold.
    static BitmapLoader* Create(const uint32_t* pixels, int32_t width, int32_t height);

    bool HasFrames() const override { return false; }
    int32_t GetFrameCount() const override { return m_frameCount; }
    IBitmap* GetFrame(int32_t i) override;

private:
    BitmapLoader() = default;

    uint8_t* m_block = nullptr;
    uint32_t m_blockSize = 0;
    int32_t m_frameCount = 1;
};

// The byte count of a block of width x height pixels of the given size after a header of the given
// size; false when width or height is negative or the block would be larger than one allocation may be.
bool Bitmap_BlockBytes(int64_t width, int64_t height, int64_t bytesPerPixel, int64_t header, size_t& bytes);
// The side of the largest square image the loaders accept: no image they decode holds more pixels than
// its square (a texture, Texture_MaxSide, may be larger).
int GR_D3D_MaxTextureSize();

// The byte count of a decoded image of width x height 4-byte pixels; false for a side not positive or
// above 16384, or for more pixels than the largest texture the loaders accept (GR_D3D_MaxTextureSize
// squared) holds. Every decoder checks the size its header gives here before it decodes anything, so a
// few bytes of header cannot claim gigabytes or seconds.
bool Image_CanvasBytes(int64_t width, int64_t height, size_t& bytes);
