#include "core/memory.h"
#include "core/save_area.h"
#include "core/stream.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Hex(const CStream& s) {
    char* text = nullptr;
    s.ConvertToHex(text);
    std::string out = text ? text : "<null>";
    MEM_FREE(text);
    return out;
}

std::string ReadText(CStream& s) {
    char* text = nullptr;
    s.ReadString(text);
    std::string out = text ? text : "<null>";
    MEM_FREE(text);
    return out;
}

std::string Bytes(const CStream& s) {
    return std::string(reinterpret_cast<const char*>(s.GetMemory()), static_cast<size_t>(s.GetSize()));
}

} // namespace

TEST(CStream, TypedValuesRoundTripLittleEndian) {
    CStream s(0);
    s.WriteInteger(1);
    s.WriteInteger(-2);
    s.WriteInteger(0x12345678);
    EXPECT_EQ(s.GetSize(), 16) << "grown to max(position + 4, 2 * size) each time";
    EXPECT_EQ(Hex(s), "01000000FEFFFFFF78563412");
    s.WriteReal(-0.5);
    s.WriteString("h\xC3\xA9");
    s.WriteString(nullptr);

    s.SetPosition(12);
    EXPECT_EQ(s.ReadReal(), -0.5);
    EXPECT_EQ(ReadText(s), "h\xC3\xA9");
    EXPECT_EQ(ReadText(s), "<null>");
    s.SetPosition(s.GetSize());
    EXPECT_EQ(s.ReadInteger(), 0);
    EXPECT_EQ(s.GetPosition(), s.GetSize()) << "reads at the end do not move";
}

TEST(CStream, ReadsRunningPastTheEndStayInsideTheBlock) {
    CStream s(0);
    s.WriteBuffer("\xAA\xBB\xCC", 3);
    s.SetPosition(1);
    EXPECT_EQ(s.ReadInteger(), 0x0000CCBB) << "missing bytes read as 0";
    EXPECT_EQ(s.GetPosition(), 5) << "and the position moves the full width";
    s.SetPosition(2);
    double d = s.ReadReal();
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    EXPECT_EQ(bits, 0xCCu);
    EXPECT_EQ(s.GetPosition(), 10);

    // A length word of 0xFFFFFFFF is cut to the bytes that follow it.
    CStream t(0);
    t.WriteInteger(-1);
    t.WriteBuffer("abc", 3);
    t.SetPosition(0);
    EXPECT_EQ(ReadText(t), "abc");
}

TEST(CStream, NegativeAndFarPositionsTouchNothingOutsideTheBlock) {
    CStream s(8);
    s.SetPosition(-4);
    s.WriteInteger(7);
    EXPECT_EQ(s.GetSize(), 8);
    EXPECT_EQ(s.ReadInteger(), 0);
    EXPECT_EQ(s.GetPosition(), -4);
    EXPECT_EQ(Hex(s), "<null>");

    EXPECT_EQ(s.Seek(0xFFFFFFFFLL, 0), -1) << "only the low 32 bits count";

    // Writing after a seek past the end grows the block over the gap, which reads zero.
    s.Seek(20, 0);
    s.WriteInteger(0x01020304);
    EXPECT_EQ(s.GetSize(), 24);
    EXPECT_EQ(Bytes(s).substr(8, 12), std::string(12, '\0'));
    // The hex form stops at the block even when the position lies beyond it.
    s.SetPosition(40);
    EXPECT_EQ(Hex(s).size(), 48u);
}

TEST(CStream, HexTextForm) {
    CStream t(0);
    t.ConvertFromHex("00ab10");
    EXPECT_EQ(Bytes(t), std::string("\x00\xAB\x10", 3));
    t.SetPosition(3);
    EXPECT_EQ(Hex(t), "00AB10");

    // Invalid pairs anywhere are skipped and a lone last character is dropped; the block never
    // shrinks; an empty text changes nothing.
    t.ConvertFromHex("0G1fZZ2");
    EXPECT_EQ(Bytes(t), "\x1F");
    EXPECT_GE(MemoryManager::GetSize(t.GetMemory()), 3u);
    t.ConvertFromHex("xyz!");
    EXPECT_EQ(t.GetSize(), 0);
}

TEST(CStream, CopyFromWholeCountedAndShared) {
    CStream src(0);
    src.WriteBuffer("0123456789", 10);
    CStream whole(0);
    whole.WriteBuffer("ab", 2);
    whole.CopyFrom(&src, 0, false);
    EXPECT_EQ(src.GetPosition(), 10);
    EXPECT_EQ(Bytes(whole).substr(0, 12), "ab0123456789");

    src.SetPosition(7);
    CStream part(0);
    part.CopyFrom(&src, 100, false);
    EXPECT_EQ(part.GetPosition(), 3) << "the count is clamped to what the source holds";

    src.SetPosition(4);
    CStream view(0);
    view.CopyFrom(&src, 100, true);
    EXPECT_EQ(view.GetMemory(), src.GetMemory() + 4);
    EXPECT_EQ(view.GetSize(), 6);
    EXPECT_EQ(src.GetPosition(), 10);
    // Writing past a view's end moves it into a block of its own; the source is untouched.
    view.WriteBuffer("!", 1);
    EXPECT_FALSE(view.IsExternal());
    EXPECT_EQ(Bytes(view).substr(0, 7), "456789!");
    EXPECT_EQ(Bytes(src), "0123456789");

    // Appending a view of a stream to that stream: the bytes come from the old block while it grows.
    CStream owner(0);
    owner.WriteBuffer("xyz", 3);
    owner.SetPosition(0);
    CStream window(0);
    window.CopyFrom(&owner, 3, true);
    window.SetPosition(0);
    owner.Seek(0, 2);
    owner.CopyFrom(&window, 0, false);
    EXPECT_EQ(Bytes(owner), "xyzxyz");
}

TEST(CStream, LoadFileLooksInTheSaveAreaThenTheGameFolder) {
    TempFolder tmp;
    tmp.SetEnv("XDG_DATA_HOME", tmp / "data");
    TempFolder::MakeDir(tmp / "game");
    TempFolder::Write(tmp / "game/g.win", "FORM");
    TempFolder::Write(tmp / "game/f.bin", "0123456789");
    tmp.Chdir(tmp / "game");
    LoadSave_Reset();
    LoadSave_SetGamePath("g.win");
    LoadSave_SetGameName("Demo");

    CStream s(0);
    s.WriteBuffer("old", 3);
    s.LoadFile("f.bin", 4);
    EXPECT_EQ(s.GetPosition(), 3) << "the position is kept";
    EXPECT_EQ(Bytes(s), "456789");
    ASSERT_TRUE(LoadSave_WriteFile("f.bin", "saved", 5));
    s.LoadFile("f.bin", 0);
    EXPECT_EQ(Bytes(s), "saved");

    // Offsets outside the file, and a missing file, leave the stream empty.
    for (int64_t offset : {5LL, 0x7FFFFFFFLL, -1LL}) {
        s.LoadFile("f.bin", offset);
        EXPECT_EQ(s.GetSize(), 0) << offset;
        EXPECT_EQ(s.GetMemory(), nullptr);
    }
    s.LoadFile("missing.bin", 0);
    EXPECT_EQ(s.GetSize(), 0);
    LoadSave_Reset();
}

TEST(CStream, SubstitutionUndoesTheSeedsForwardTable) {
    for (uint32_t seed : {0u, 12345u, 0xFFFFFFFFu}) {
        unsigned char forward[256], inverse[256];
        Stream_MakeSubstitutionTables(seed, forward, inverse);
        EXPECT_EQ(forward[0], 0);
        int moved = 0;
        for (int i = 0; i < 256; ++i) {
            EXPECT_EQ(inverse[forward[i]], i);
            moved += forward[i] != i;
        }
        EXPECT_GT(moved, 128) << "seed " << seed;

        CStream s(0);
        s.WriteString("stored script text #1");
        for (int64_t i = 0; i < s.GetSize(); ++i)
            s.GetMemory()[i] = forward[s.GetMemory()[i]];
        s.Substitute(seed, 0, 0);
        s.SetPosition(0);
        EXPECT_EQ(ReadText(s), "stored script text #1");
    }
}
