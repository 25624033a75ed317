#include "data/general_info.h"

#include "data/container.h"

#include <cstdlib>
#include <cstring>

namespace {

// The room order's offset in the record, by version.
uint32_t RoomOrderOffset(int version) {
    if (version <= 7) return 36;
    switch (version) {
    case 10:
        return 104;
    case 11:
        return 112;
    case 12:
        return 120;
    case 13:
        return 124;
    default:
        return 100;
    }
}

int64_t ReadLong(const CDataView& file, uint64_t at) {
    uint32_t low = file.WordAt(at), high = file.WordAt(at + 4);
    return static_cast<int64_t>(static_cast<uint64_t>(high) << 32 | low);
}

bool ReadGeneralInfo(const CDataView& file, const IFFChunk& chunk, GeneralInfo* info) {
    const uint64_t b = chunk.offset;
    // The version is the record's second byte; a shorter chunk cannot say which layout it has.
    uint8_t version = 0;
    if (!chunk.Holds(b, 2) || !file.U8(b + 1, &version))
        return Load_Fail("Chunk %s: the general information is too short to hold its version",
                         IFF_TagName(chunk.tag).c_str());
    // Up to version 7 the room order starts at 36, where the later versions keep the name and the rest.
    const uint32_t needed = version >= 8 ? 72 : 36;
    uint32_t orderAt = RoomOrderOffset(version);
    if (!chunk.Holds(b, needed) || !chunk.Holds(b, static_cast<uint64_t>(orderAt) + 4))
        return Load_Fail("Chunk %s: the general information is too short for version %d",
                    IFF_TagName(chunk.tag).c_str(), version);
    info->present = true;
    info->record = chunk.offset;
    file.U8(b, &info->debuggerServer);
    info->version = version;
    const char* config = nullptr;
    const char* name = nullptr;
    if (!file.ReadText(file.WordAt(b + 4), &info->fileName) ||
        !file.ReadText(file.WordAt(b + 8), &config) ||
        (version >= 8 && !file.ReadText(file.WordAt(b + 40), &name)))
        return Load_Fail("Chunk %s: a name of the general information lies outside the file",
                    IFF_TagName(chunk.tag).c_str());
    GeneralInfo_State().Game_ConfigName = config;
    info->gameName = name ? name : "";
    info->lastInstanceId = file.WordAt(b + 12);
    info->lastTileId = file.WordAt(b + 16);
    info->gameId = file.WordAt(b + 20);
    for (int i = 0; i < (version >= 8 ? 4 : 3); ++i)
        info->kept[i] = file.WordAt(b + 24 + 4 * i);
    if (version >= 8) {
        info->windowWidth = static_cast<int32_t>(file.WordAt(b + 60));
        info->windowHeight = static_cast<int32_t>(file.WordAt(b + 64));
        GeneralInfo_State().GameOptions = file.WordAt(b + 68);
        info->steam = (GeneralInfo_State().GameOptions & 0x1000) != 0;
    }
    // Versions above 13 are read as 8 and 9 are: their room order starts at 100.
    const bool upTo13 = version <= 13;
    info->caption = nullptr;
    if (upTo13 && version >= 10 &&
        (!chunk.Holds(b + 100, 4) || !file.ReadText(file.WordAt(b + 100), &info->caption)))
        return Load_Fail("Chunk %s: the window caption lies outside the file", IFF_TagName(chunk.tag).c_str());
    if (upTo13 && version >= 11) info->value104 = ReadLong(file, b + 104);
    info->optionBits = upTo13 && version >= 12 ? ReadLong(file, b + 112) : -1;
    if (version == 13) info->steamAppId = file.WordAt(b + 120);

    uint32_t count = file.WordAt(b + orderAt);
    if (!chunk.Holds(b + orderAt + 4, static_cast<uint64_t>(count) * 4))
        return Load_Fail("Chunk %s: the room order runs past the end of its chunk",
                    IFF_TagName(chunk.tag).c_str());
    info->roomOrder.clear();
    for (uint32_t i = 0; i < count; ++i)
        info->roomOrder.push_back(static_cast<int32_t>(file.WordAt(b + orderAt + 4 + 4ull * i)));
    return true;
}

} // namespace

bool GEN8_Load(const CDataView& file, const IFFChunk& chunk) {
    return ReadGeneralInfo(file, chunk, &GeneralInfo_State().g_GeneralInfo);
}

void GeneralInfo_Free() {
    GeneralInfo_State().g_GeneralInfo = GeneralInfo();
    GeneralInfo_State().GameOptions = 0;
    GeneralInfo_State().Game_ConfigName = nullptr;
    Options_Clear();
}

void Options_Clear() {
    GeneralInfo_State().g_Options = OptionsRecord();
}

bool Options_Load(const CDataView& file, const IFFChunk& chunk, const OptionsAppliers& apply) {
    const uint64_t b = chunk.offset;
    // Word 34 exists from general-information version 5 on; the constant count follows it.
    const uint32_t countWord = GeneralInfo_State().g_GeneralInfo.version >= 5 ? 35 : 34;
    if (!chunk.Holds(b, 4ull * (countWord + 1))) return Load_Fail("Chunk OPTN: the options record is too short");
    auto word = [&](int i) { return file.WordAt(b + 4ull * i); };
    GeneralInfo_State().g_Options.fullScreen = word(0) != 0;
    GeneralInfo_State().g_Options.useOpenAL = word(2) != 0;
    GeneralInfo_State().g_Options.showCursor = word(4) != 0;
    GeneralInfo_State().g_Options.windowColour = word(8);
    if (apply.windowColour) apply.windowColour(GeneralInfo_State().g_Options.windowColour);
    GeneralInfo_State().g_Options.changeResolution = word(9) != 0;
    GeneralInfo_State().g_Options.colourDepth = static_cast<int32_t>(word(10));
    GeneralInfo_State().g_Options.resolution = static_cast<int32_t>(word(11));
    GeneralInfo_State().g_Options.frequency = static_cast<int32_t>(word(12));
    GeneralInfo_State().g_Options.windowFlag15 = word(15) != 0;
    GeneralInfo_State().g_Options.freezeOnLostFocus = word(22) != 0;
    if (word(26) != 0 && word(26) >= file.Size()) return Load_Fail("Chunk OPTN: word 26 points outside the file");
    GeneralInfo_State().g_Options.errorsAbort = word(32) != 0;
    GeneralInfo_State().g_Options.unsetVariableFlag = word(33) != 0;
    if (apply.flags) apply.flags(GeneralInfo_State().g_Options);

    uint32_t count = word(countWord);
    uint64_t pairs = b + 4ull * (countWord + 1);
    if (!chunk.Holds(pairs, 8ull * count))
        return Load_Fail("Chunk OPTN: the constants run past the end of the chunk");
    GeneralInfo_State().g_Options.constantNames.assign(count, nullptr);
    GeneralInfo_State().g_Options.constantValues.assign(count, nullptr);
    for (uint32_t i = 0; i < count; ++i) {
        const char *name, *value;
        if (!file.ReadText(file.WordAt(pairs + 8ull * i), &name) ||
            !file.ReadText(file.WordAt(pairs + 8ull * i + 4), &value))
            return Load_Fail("Chunk OPTN: constant %u lies outside the file", i);
        GeneralInfo_State().g_Options.constantNames[i] = name;
        GeneralInfo_State().g_Options.constantValues[i] = value;
        if (name && value && std::strcmp(name, "VersionMajor") == 0)
            GeneralInfo_State().g_Options.versionMajor = std::atoi(value);
        if (name && value && std::strcmp(name, "VersionMinor") == 0)
            GeneralInfo_State().g_Options.versionMinor = std::atoi(value);
    }
    return true;
}
