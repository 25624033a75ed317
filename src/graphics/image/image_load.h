// What sprites and backgrounds share when they load images at run time: reading a game's image file,
// decoding bytes of a known kind, telling a download's kind by its first bytes, and downloading from a
// URL through the HTTP service the program installs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

class IBitmap;

// The whole file of a game-supplied name: the save area's copy when there is one, else the game
// folder's (a name never reaches outside either place); null when neither has it. Free it with MEM_FREE.
uint8_t* Image_ReadFile(const char* name, int& size);
bool Image_FileExists(const char* name);

enum class ImageKind { Unknown, PNG, JPEG, GIF };
// 0xFF 0xD8 0xFF: JPEG; "GIF8": GIF; 0x89 "PNG": PNG.
ImageKind Image_Sniff(const uint8_t* bytes, size_t size);

// Decodes the bytes as the kind says and hands the pixels (width x height words 0xAARRGGBB, valid
// during the call) to load; false when they do not decode or load gives false.
using ImageLoadFn = std::function<bool(const uint32_t* pixels, int width, int height)>;
bool Image_Decode(ImageKind kind, const uint8_t* bytes, size_t size, const ImageLoadFn& load);

// A name beginning with "http://" or "https://" (case-sensitive) is a download; any other is a file.
bool Image_IsURL(const char* name);

// The completion of a download, run on the main thread by the asynchronous stage of a step with the
// HTTP status and the bytes received (size 0 or less: none). It may write the index of the event's map
// through asyncLoad and gives the number of the asynchronous event to raise.
using ImageDownloadDone = int32_t (*)(const char* url, int32_t httpStatus, const uint8_t* data, int32_t size,
                                      void* record, int32_t* asyncLoad);
// Frees the record when the request ends, whatever happened.
using ImageDownloadFree = void (*)(void* record);
// Starts an HTTP GET of the URL; kind is passed through to the request.
using HttpGetService = void (*)(const char* url, int32_t kind, ImageDownloadDone done, ImageDownloadFree free,
                                void* record);
// The asynchronous event every image download raises, and the request kinds of sprite and background
// downloads (passed through to the service).
constexpr int32_t kEventImageLoaded = 60;
constexpr int32_t kHttpKindSprite = 5;
constexpr int32_t kHttpKindBackground = 7;
// Installed at start-up by the program; null uninstalls it.
void Image_SetHttpGet(HttpGetService service);
// Starts a download through the installed service. Without one nothing can be fetched: the record is
// freed at once and no event follows.
void Image_Download(const char* url, int32_t kind, ImageDownloadDone done, ImageDownloadFree free, void* record);

// The async_load map of a finished image download: "filename" the URL, "id" the resource index,
// "http_status", and "status" -1 when nothing arrived (size below 1), else 0. Gives the map's index.
int32_t Image_DownloadMap(const char* url, int32_t index, int32_t httpStatus, int32_t size);

// What a download's completion does with the bytes once its map is made: when the transfer succeeded
// (status 200 and bytes arrived), load is called with the kind the first bytes tell; bytes of no known
// kind, or bytes that load refuses, are reported on the debug console with the URL.
using DownloadLoadFn = std::function<bool(ImageKind kind, const uint8_t* bytes, size_t size)>;
void Image_LoadDownload(const char* url, int32_t httpStatus, const uint8_t* data, int32_t size,
                        const DownloadLoadFn& load);

// Writes a 32-bit image whose bytes are R, G, B, A (as CBitmap32::CreateTBitmap gives them) as a PNG
// file in the save area; false for an empty name or a failed write.
bool Image_SavePNG(IBitmap& image, const char* name);
