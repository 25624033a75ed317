#include "core/memory.h"
#include "core/stream.h"
#include "runner/save_area.h"
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

} // namespace

TEST(CStream, TypedValuesRoundTripLittleEndian) {
    CStream s(0);
    s.WriteInteger(1);
    s.WriteInteger(-2);
    s.WriteInteger(0x12345678);
    EXPECT_EQ(s.GetSize(), 16) << "grown to max(position + 4, 2 * size) each time";
    EXPECT_EQ(s.GetPosition(), 12);
    EXPECT_EQ(Hex(s), "01000000FEFFFFFF78563412");

    s.WriteReal(-0.5);
    s.WriteString("h\xC3\xA9");
    s.WriteString(nullptr);
    s.WriteString("");
    s.SetPosition(0);
    EXPECT_EQ(s.ReadInteger(), 1);
    EXPECT_EQ(s.ReadInteger(), -2);
    EXPECT_EQ(s.ReadInteger(), 0x12345678);
    EXPECT_EQ(s.ReadReal(), -0.5);
    EXPECT_EQ(ReadText(s), "h\xC3\xA9");
    EXPECT_EQ(ReadText(s), "<null>");
    EXPECT_EQ(ReadText(s), "<null>");
    int64_t end = s.GetPosition();
    s.SetPosition(12);
    unsigned char raw[8];
    EXPECT_EQ(s.Read(raw, 8), 8);
    EXPECT_EQ(raw[7], 0xBF); // -0.5 is BFE0000000000000
    EXPECT_EQ(raw[6], 0xE0);

    // At the end: zeros, null, and the position stays.
    s.SetPosition(s.GetSize());
    EXPECT_EQ(s.ReadInteger(), 0);
    EXPECT_EQ(s.ReadReal(), 0.0);
    EXPECT_EQ(ReadText(s), "<null>");
    EXPECT_EQ(s.ReadBuffer(raw, 8), 0);
    EXPECT_EQ(s.GetPosition(), s.GetSize());
    EXPECT_GT(s.GetSize(), end);
}

TEST(CStream, ReadsCutShortByTheEndGiveZerosAndAdvanceFully) {
    CStream s(0);
    const unsigned char bytes[] = {0xAA, 0xBB, 0xCC};
    s.WriteBuffer(bytes, 3);
    ASSERT_EQ(s.GetSize(), 3);
    s.SetPosition(1);
    EXPECT_EQ(s.ReadInteger(), 0x0000CCBB);
    EXPECT_EQ(s.GetPosition(), 5);
    s.SetPosition(2);
    double d = s.ReadReal();
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    EXPECT_EQ(bits, 0xCCu);
    EXPECT_EQ(s.GetPosition(), 10);
    s.SetPosition(0);
    unsigned char out[10] = {};
    EXPECT_EQ(s.ReadBuffer(out, 10), 3);
    EXPECT_EQ(s.ReadBuffer(nullptr, 10), 0);
}

TEST(CStream, StringLengthsBeyondTheDataAreCut) {
    CStream s(0);
    s.WriteInteger(-1); // 0xFFFFFFFF
    s.WriteBuffer("abc", 3);
    s.SetPosition(0);
    EXPECT_EQ(ReadText(s), "abc");
    EXPECT_EQ(s.GetPosition(), s.GetSize());

    CStream t(0);
    t.WriteInteger(0x7FFFFFFF);
    t.SetPosition(0);
    int64_t bytes = MemoryManager::TotalBytes();
    EXPECT_EQ(ReadText(t), "<null>") << "no bytes follow the length";
    EXPECT_EQ(MemoryManager::TotalBytes(), bytes);

    // A length word itself cut short by the end.
    CStream u(0);
    u.WriteBuffer("\x02", 1);
    u.SetPosition(0);
    EXPECT_EQ(ReadText(u), "<null>");
}

TEST(CStream, NegativeAndFarPositionsTouchNothingOutsideTheBlock) {
    CStream s(8);
    s.SetPosition(-4);
    s.WriteInteger(7);
    s.WriteBuffer("xx", 2);
    EXPECT_EQ(s.GetSize(), 8);
    EXPECT_EQ(s.GetPosition(), -4);
    EXPECT_EQ(s.ReadInteger(), 0);
    EXPECT_EQ(s.GetPosition(), -4);
    EXPECT_EQ(Hex(s), "<null>");

    EXPECT_EQ(s.Seek(0, 2), 8);
    EXPECT_EQ(s.Seek(3, 7), 8);
    EXPECT_EQ(s.Seek(-2, 1), 6);
    EXPECT_EQ(s.Seek(0x100000005LL, 0), 5) << "only the low 32 bits count";
    EXPECT_EQ(s.Seek(0xFFFFFFFFLL, 0), -1);

    // Writing after a seek past the end grows the block over the gap; the gap reads zero.
    s.Seek(20, 0);
    s.WriteInteger(0x01020304);
    EXPECT_EQ(s.GetSize(), 24);
    s.SetPosition(10);
    EXPECT_EQ(s.ReadInteger(), 0);
    // The hex form stops at the block even when the position lies beyond it.
    s.SetPosition(40);
    EXPECT_EQ(Hex(s).size(), 48u);
    EXPECT_EQ(File_PosToInt(0x1FFFFFFFELL), -2);
}

TEST(CStream, HexTextForm) {
    CStream s(0);
    const unsigned char bytes[] = {0x00, 0xAB, 0x10};
    s.WriteBuffer(bytes, 3);
    EXPECT_EQ(Hex(s), "00AB10");

    CStream t(0);
    t.ConvertFromHex("00ab10");
    EXPECT_EQ(t.GetSize(), 3);
    EXPECT_EQ(t.GetPosition(), 0);
    EXPECT_EQ(std::memcmp(t.GetMemory(), bytes, 3), 0);

    // Invalid pairs anywhere are skipped, a lone last character dropped; an empty text changes nothing.
    t.ConvertFromHex("0G1fZZ2");
    ASSERT_EQ(t.GetSize(), 1);
    EXPECT_EQ(t.GetMemory()[0], 0x1F);
    EXPECT_GE(MemoryManager::GetSize(t.GetMemory()), 3u) << "the block never shrinks";
    t.ConvertFromHex("");
    t.ConvertFromHex(nullptr);
    EXPECT_EQ(t.GetSize(), 1);
    t.ConvertFromHex("xyz!");
    EXPECT_EQ(t.GetSize(), 0);
    t.ConvertFromHex("FFEEDDCCBBAA");
    EXPECT_EQ(t.GetSize(), 6);
    t.SetPosition(6);
    EXPECT_EQ(Hex(t), "FFEEDDCCBBAA");
}

TEST(CStream, CopyFromWholeCountedAndShared) {
    CStream src(0);
    src.WriteBuffer("0123456789", 10);

    CStream whole(0);
    whole.WriteBuffer("ab", 2);
    whole.CopyFrom(&src, 0, false);
    EXPECT_EQ(src.GetPosition(), 10);
    EXPECT_EQ(whole.GetPosition(), 12);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(whole.GetMemory()), 12), "ab0123456789");

    src.SetPosition(7);
    CStream part(0);
    part.CopyFrom(&src, 100, false);
    EXPECT_EQ(part.GetPosition(), 3) << "the count is clamped to what the source holds";
    EXPECT_EQ(src.GetPosition(), 10);

    src.SetPosition(4);
    CStream view(0);
    view.CopyFrom(&src, 100, true);
    EXPECT_TRUE(view.IsExternal());
    EXPECT_EQ(view.GetMemory(), src.GetMemory() + 4);
    EXPECT_EQ(view.GetSize(), 6);
    EXPECT_EQ(view.GetPosition(), 6);
    EXPECT_EQ(src.GetPosition(), 10);
    // Writing past a view's end moves it into a block of its own; the source is untouched.
    view.WriteBuffer("!", 1);
    EXPECT_FALSE(view.IsExternal());
    EXPECT_EQ(std::string(reinterpret_cast<char*>(view.GetMemory()), 7), "456789!");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(src.GetMemory()), 10), "0123456789");

    // A source positioned outside its block gives nothing.
    src.SetPosition(-3);
    CStream none(0);
    none.CopyFrom(&src, 5, true);
    EXPECT_EQ(none.GetSize(), 0);
    EXPECT_EQ(none.GetMemory(), nullptr);
    EXPECT_EQ(src.GetPosition(), -3);

    // Appending a view of a stream to that stream: the stream grows while the bytes still come from
    // its old block, which must outlive the copy.
    CStream owner(0);
    owner.WriteBuffer("xyz", 3);
    owner.SetPosition(0);
    auto* window = new CStream(0);
    window->CopyFrom(&owner, 3, true);
    window->SetPosition(0);
    owner.Seek(0, 2);
    owner.CopyFrom(window, 0, false);
    EXPECT_EQ(owner.GetSize(), 6);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(owner.GetMemory()), 6), "xyzxyz");
    CStream::Delete(window);
    CStream::Delete(nullptr);
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
    ASSERT_EQ(s.GetSize(), 6);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(s.GetMemory()), 6), "456789");

    ASSERT_TRUE(LoadSave_WriteFile("f.bin", "saved", 5));
    s.LoadFile("f.bin", 0);
    ASSERT_EQ(s.GetSize(), 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(s.GetMemory()), 5), "saved");

    // Offsets outside the file, and a missing file, leave the stream empty.
    for (int64_t offset : {5LL, 6LL, 0x7FFFFFFFLL, -1LL}) {
        s.LoadFile("f.bin", offset);
        EXPECT_EQ(s.GetSize(), 0) << offset;
        EXPECT_EQ(s.GetMemory(), nullptr);
    }
    s.LoadFile("missing.bin", 0);
    EXPECT_EQ(s.GetSize(), 0);
    LoadSave_Reset();
}

TEST(CStream, SubstitutionUndoesTheSeedsForwardTable) {
    for (uint32_t seed : {0u, 12345u, 99999u, 0xFFFFFFFFu}) {
        unsigned char forward[256], inverse[256], again[256];
        Stream_MakeSubstitutionTables(seed, forward, inverse);
        Stream_MakeSubstitutionTables(seed, again, inverse);
        EXPECT_EQ(std::memcmp(forward, again, 256), 0);
        EXPECT_EQ(forward[0], 0);
        bool seen[256] = {};
        int moved = 0;
        for (int i = 0; i < 256; ++i) {
            seen[forward[i]] = true;
            EXPECT_EQ(inverse[forward[i]], i);
            moved += forward[i] != i;
        }
        for (bool b : seen)
            EXPECT_TRUE(b);
        EXPECT_GT(moved, 128) << "seed " << seed;

        CStream s(0);
        s.WriteString("stored script text #1");
        for (int64_t i = 0; i < s.GetSize(); ++i)
            s.GetMemory()[i] = forward[s.GetMemory()[i]];
        s.Substitute(seed, 0, 0);
        s.SetPosition(0);
        EXPECT_EQ(ReadText(s), "stored script text #1");
    }
    unsigned char f1[256], f2[256], inv[256];
    Stream_MakeSubstitutionTables(12345, f1, inv);
    Stream_MakeSubstitutionTables(12346, f2, inv);
    EXPECT_NE(std::memcmp(f1, f2, 256), 0);

    // A range: only count bytes from start change, and ranges outside the block change nothing.
    CStream r(0);
    r.WriteBuffer("\x01\x01\x01\x01", 4);
    Stream_MakeSubstitutionTables(7, f1, inv);
    r.Substitute(7, 1, 2);
    r.Substitute(7, -1, 2);
    r.Substitute(7, 4, 2);
    const unsigned char* m = r.GetMemory();
    EXPECT_EQ(m[0], 1);
    EXPECT_EQ(m[1], inv[1]);
    EXPECT_EQ(m[2], inv[1]);
    EXPECT_EQ(m[3], 1);
}
