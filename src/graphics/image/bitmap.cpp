#include "graphics/image/bitmap.h"

#include "core/memory.h"
#include "core/stream.h"

#include <cstring>

namespace {

// Header fields, as offsets into the block.
constexpr size_t kOffsetField = 8;
constexpr size_t kInfoSizeField = 12;
constexpr size_t kWidthField = 16;
constexpr size_t kHeightField = 20;
constexpr size_t kPlanesField = 24;
constexpr size_t kBitsField = 26;
constexpr size_t kColoursUsedField = 44;
constexpr uint32_t kInfoHeaderSize = 40;

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

int32_t ReadI32(const uint8_t* p) {
    return static_cast<int32_t>(ReadU32(p));
}

uint16_t ReadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

void WriteU32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

void WriteU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

// Bits per pixel as the rows of each format are stored (15-bit pixels take 16 bits).
int32_t StoredBits(int32_t format) {
    switch (format) {
    case BITMAP_FORMAT_1BIT: return 1;
    case BITMAP_FORMAT_4BIT: return 4;
    case BITMAP_FORMAT_8BIT: return 8;
    case BITMAP_FORMAT_15BIT:
    case BITMAP_FORMAT_16BIT: return 16;
    case BITMAP_FORMAT_24BIT: return 24;
    default: return 32;
    }
}

int32_t HeaderBits(int32_t format) {
    return format == BITMAP_FORMAT_15BIT ? 15 : StoredBits(format);
}

// The 52-byte header of a block the system makes: pixels right after it.
void WriteHeader(uint8_t* block, int32_t width, int32_t height, int32_t format) {
    std::memset(block, 0, kBitmapHeaderSize);
    WriteU32(block + kOffsetField, kBitmapHeaderSize);
    WriteU32(block + kInfoSizeField, kInfoHeaderSize);
    WriteU32(block + kWidthField, static_cast<uint32_t>(width));
    WriteU32(block + kHeightField, static_cast<uint32_t>(height));
    WriteU16(block + kPlanesField, 1);
    WriteU16(block + kBitsField, static_cast<uint16_t>(HeaderBits(format)));
}

} // namespace

bool Bitmap_BlockBytes(int64_t width, int64_t height, int64_t bytesPerPixel, int64_t header, size_t& bytes) {
    bytes = 0;
    if (width < 0 || height < 0 || bytesPerPixel < 0 || header < 0) return false;
    const int64_t limit = static_cast<int64_t>(MemoryManager::kMaxBlockSize) - header;
    if (width != 0 && height > limit / width) return false;
    const int64_t pixels = width * height;
    if (bytesPerPixel != 0 && pixels > limit / bytesPerPixel) return false;
    bytes = static_cast<size_t>(pixels * bytesPerPixel + header);
    return true;
}

int GR_D3D_MaxTextureSize() {
    return 4096;
}

bool Image_CanvasBytes(int64_t width, int64_t height, size_t& bytes) {
    // A strip of frames may be wider than one texture, but never holds more pixels than the largest.
    constexpr int64_t kMaxSide = 16384;
    const int64_t kMaxPixels = int64_t{GR_D3D_MaxTextureSize()} * GR_D3D_MaxTextureSize();
    bytes = 0;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide || width * height > kMaxPixels)
        return false;
    return Bitmap_BlockBytes(width, height, 4, 0, bytes);
}

TBitmap* TBitmap::Create() {
    return new TBitmap();
}

TBitmap::~TBitmap() {
    FreeData();
}

int32_t TBitmap::FormatFromBits(int32_t bits) {
    switch (bits) {
    case 1: return BITMAP_FORMAT_1BIT;
    case 4: return BITMAP_FORMAT_4BIT;
    case 8: return BITMAP_FORMAT_8BIT;
    case 15: return BITMAP_FORMAT_15BIT;
    case 16: return BITMAP_FORMAT_16BIT;
    case 24: return BITMAP_FORMAT_24BIT;
    default: return BITMAP_FORMAT_32BIT;
    }
}

int32_t TBitmap::PitchFor(int32_t width, int32_t format) {
    if (width < 0) return 0;
    switch (format) {
    case BITMAP_FORMAT_1BIT: return width / 8;
    case BITMAP_FORMAT_4BIT: return width / 2;
    case BITMAP_FORMAT_8BIT: return width;
    case BITMAP_FORMAT_15BIT:
    case BITMAP_FORMAT_16BIT: return width > INT32_MAX / 2 ? 0 : width * 2;
    case BITMAP_FORMAT_24BIT: return width > INT32_MAX / 3 ? 0 : width * 3;
    default: return width > INT32_MAX / 4 ? 0 : width * 4;
    }
}

void TBitmap::UpdatePitch() {
    m_pitch = PitchFor(m_width, m_format);
}

void TBitmap::SetWidth(int32_t width) {
    m_width = width;
    UpdatePitch();
}

void TBitmap::SetHeight(int32_t height) {
    m_height = height;
    UpdatePitch();
}

void TBitmap::SetFormat(int32_t format) {
    m_format = format;
    UpdatePitch();
}

void TBitmap::FreeData() {
    MEM_FREE(m_block);
    m_block = nullptr;
    m_pixels = nullptr;
    m_blockSize = 0;
}

bool TBitmap::RowsFit() const {
    if (m_block == nullptr || m_height < 0 || m_pitch < 0) return false;
    const int64_t start = m_pixels - m_block;
    return start >= 0 && start <= m_blockSize &&
           static_cast<int64_t>(m_pitch) * m_height <= static_cast<int64_t>(m_blockSize) - start;
}

uint8_t* TBitmap::Lock(int32_t row, uint8_t** rowPointer, int32_t* pitch) {
    if (m_block == nullptr) {
        size_t bytes = 0;
        if (!Bitmap_BlockBytes(m_pitch, m_height, 1, kBitmapHeaderSize, bytes)) return nullptr;
        m_block = static_cast<uint8_t*>(MEM_ALLOC(bytes));
        m_blockSize = static_cast<uint32_t>(bytes);
        m_pixels = m_block + kBitmapHeaderSize;
        WriteHeader(m_block, m_width, m_height, m_format);
    }
    if (!RowsFit()) return nullptr;
    if (rowPointer != nullptr)
        *rowPointer = row >= 0 && row <= m_height ? m_pixels + static_cast<int64_t>(m_pitch) * row : nullptr;
    if (pitch != nullptr) *pitch = m_pitch;
    return m_pixels;
}

bool TBitmap::ParseHeader() {
    m_pixels = nullptr;
    if (m_block == nullptr || m_blockSize < kBitmapHeaderSize) return false;
    const uint32_t offset = ReadU32(m_block + kOffsetField);
    m_width = ReadI32(m_block + kWidthField);
    m_height = ReadI32(m_block + kHeightField);
    m_format = FormatFromBits(ReadU16(m_block + kBitsField));
    UpdatePitch();
    if (offset > m_blockSize) return false;
    m_pixels = m_block + offset;
    if (RowsFit()) return true;
    m_pixels = nullptr;
    return false;
}

void TBitmap::Assign(const IBitmap& other) {
    if (&other == this) return;
    FreeData();
    m_width = other.GetWidth();
    m_height = other.GetHeight();
    UpdatePitch();
    const auto* source = dynamic_cast<const TBitmap*>(&other);
    if (source == nullptr || source->m_block == nullptr) return;
    m_block = static_cast<uint8_t*>(MEM_ALLOC_RAW(source->m_blockSize));
    std::memcpy(m_block, source->m_block, source->m_blockSize);
    m_blockSize = source->m_blockSize;
    if (!ParseHeader()) FreeData();
}

void TBitmap::Attach(uint8_t* block, uint32_t size) {
    FreeData();
    if (block == nullptr) return;
    m_block = block;
    m_blockSize = size;
    bool fits = size >= kBitmapHeaderSize;
    if (fits) {
        const uint32_t offset = ReadU32(block + kOffsetField);
        m_width = ReadI32(block + kWidthField);
        m_height = ReadI32(block + kHeightField);
        m_format = BITMAP_FORMAT_32BIT;
        UpdatePitch();
        fits = offset <= size;
        if (fits) {
            m_pixels = block + offset;
            fits = RowsFit();
        }
    }
    if (!fits) {
        FreeData();
        m_width = 0;
        m_height = 0;
        UpdatePitch();
    }
}

void TBitmap::Load(CStream* stream) {
    FreeData();
    if (stream == nullptr || stream->GetPosition() >= stream->GetSize()) return;
    char signature[2] = {0, 0};
    if (stream->ReadBuffer(signature, 2) != 2 || signature[0] != 'B' || signature[1] != 'M') return;
    if (!ReadBMP(stream)) {
        FreeData();
        m_width = 0;
        m_height = 0;
        m_format = BITMAP_FORMAT_32BIT;
        UpdatePitch();
    }
}

// Reads the rest of the stream as the BMP image after its signature. Rows are stored padded to 4 bytes,
// bottom-up unless the height is negative; they are checked against the data, then repacked top-down at
// the unpadded pitch after a fresh header, and 8-bit palette images are widened to 32 bits.
bool TBitmap::ReadBMP(CStream* stream) {
    const int64_t available = stream->GetSize() - stream->GetPosition();
    if (available < kBitmapHeaderSize || available > static_cast<int64_t>(MemoryManager::kMaxBlockSize))
        return false;
    const auto size = static_cast<uint32_t>(available);
    auto* data = static_cast<uint8_t*>(MEM_ALLOC_RAW(size));
    if (stream->ReadBuffer(data, size) != size) {
        MEM_FREE(data);
        return false;
    }

    // The offset field counts from the file start, 2 bytes before the block.
    const uint32_t fileOffset = ReadU32(data + kOffsetField);
    const uint32_t infoSize = ReadU32(data + kInfoSizeField);
    const int32_t width = ReadI32(data + kWidthField);
    const int32_t storedHeight = ReadI32(data + kHeightField);
    const int32_t format = FormatFromBits(ReadU16(data + kBitsField));
    bool ok = width > 0 && storedHeight != 0 && storedHeight != INT32_MIN && fileOffset >= 2 &&
              infoSize >= kInfoHeaderSize && infoSize <= size - kInfoSizeField;
    const int64_t offset = static_cast<int64_t>(fileOffset) - 2;
    const int64_t height = storedHeight < 0 ? -static_cast<int64_t>(storedHeight) : storedHeight;
    const int64_t stride = (static_cast<int64_t>(width) * StoredBits(format) + 31) / 32 * 4;
    ok = ok && offset <= size && height <= (size - offset) / stride;

    // The palette of an 8-bit image follows the information header.
    const int64_t paletteStart = kInfoSizeField + static_cast<int64_t>(infoSize);
    int64_t paletteCount = 0;
    if (ok && format == BITMAP_FORMAT_8BIT) {
        const uint32_t used = ReadU32(data + kColoursUsedField);
        paletteCount = used != 0 && used < 256 ? used : 256;
        if (paletteCount > (size - paletteStart) / 4) paletteCount = (size - paletteStart) / 4;
        ok = paletteCount > 0;
    }

    const int32_t outFormat = format == BITMAP_FORMAT_8BIT ? BITMAP_FORMAT_32BIT : format;
    const int32_t pitch = PitchFor(width, outFormat);
    size_t bytes = 0;
    ok = ok && Bitmap_BlockBytes(pitch, height, 1, kBitmapHeaderSize, bytes);
    if (!ok) {
        MEM_FREE(data);
        return false;
    }

    auto* block = static_cast<uint8_t*>(MEM_ALLOC(bytes));
    WriteHeader(block, width, static_cast<int32_t>(height), outFormat);
    for (int64_t y = 0; y < height && ok; ++y) {
        const uint8_t* source = data + offset + (storedHeight > 0 ? height - 1 - y : y) * stride;
        uint8_t* target = block + kBitmapHeaderSize + y * pitch;
        if (format != BITMAP_FORMAT_8BIT) {
            std::memcpy(target, source, static_cast<size_t>(pitch));
            continue;
        }
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t index = source[x];
            if (index >= paletteCount) {
                ok = false;
                break;
            }
            const uint8_t* entry = data + paletteStart + index * 4;
            const uint32_t word = 0xFF000000u | static_cast<uint32_t>(entry[2]) << 16 |
                                  static_cast<uint32_t>(entry[1]) << 8 | entry[0];
            WriteU32(target + x * 4, word);
        }
    }
    MEM_FREE(data);
    if (!ok) {
        MEM_FREE(block);
        return false;
    }
    m_block = block;
    m_blockSize = static_cast<uint32_t>(bytes);
    return ParseHeader();
}

BitmapLoader::~BitmapLoader() {
    MEM_FREE(m_block);
}

BitmapLoader* BitmapLoader::Create(const uint32_t* pixels, int32_t width, int32_t height) {
    size_t bytes = 0;
    if (pixels == nullptr || !Bitmap_BlockBytes(width, height, 4, kBitmapHeaderSize, bytes)) return nullptr;
    auto* loader = new BitmapLoader();
    loader->m_block = static_cast<uint8_t*>(MEM_ALLOC_RAW(bytes));
    loader->m_blockSize = static_cast<uint32_t>(bytes);
    WriteHeader(loader->m_block, width, height, BITMAP_FORMAT_32BIT);
    std::memcpy(loader->m_block + kBitmapHeaderSize, pixels, bytes - kBitmapHeaderSize);
    return loader;
}

IBitmap* BitmapLoader::GetFrame(int32_t i) {
    if (i < 0 || i >= m_frameCount || m_block == nullptr) return nullptr;
    auto* copy = static_cast<uint8_t*>(MEM_ALLOC_RAW(m_blockSize));
    std::memcpy(copy, m_block, m_blockSize);
    TBitmap* bitmap = TBitmap::Create();
    bitmap->Attach(copy, m_blockSize);
    return bitmap;
}
