// The text forms of the data structures. Stacks, queues, lists, priority queues and grids write a
// little-endian binary record (a magic number, counts, then values) spelt as upper-case hexadecimal;
// maps write "type:key:value" entries joined by ','.
//
// A value of the binary record: the whole 32-bit kind word, then for kind 0 the 8-byte real, for kind 1
// a 32-bit byte length and the text, for kind 2 a row count and per row its length and its values;
// any other kind word (marked reals included) has no payload.
//
// Reading never trusts a count: a text whose counts could not be satisfied by the bytes it holds, or
// whose queue header points outside its block, leaves the container as it was, as a wrong magic number
// does. Texts cut short by less than that read zeros for what is missing.
//
// A text that no writer makes (another kind's or no magic number, a count its bytes cannot hold, bytes
// missing or left over, characters that are not hexadecimal pairs; in the map form a type digit, a
// separator or a field out of place) is said once on the debug console, with what the read made of it.
#include "core/console.h"
#include "core/memory.h"
#include "core/stream.h"
#include "library/ds_core.h"
#include "library/ds_grid.h"
#include "library/ds_list.h"
#include "library/ds_map.h"
#include "library/ds_queues.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int32_t kStackMagic = 101;
constexpr int32_t kQueueMagic = 201;
constexpr int32_t kListMagic = 301;
constexpr int32_t kPriorityMagic = 501;
constexpr int32_t kGridMagic = 601;

// Deepest nesting of arrays written and read; an array nested deeper is written as the real 0.
constexpr int kMaxNesting = 1000;

// ---- Binary record

void WriteValue(CStream& stream, const ScriptValue* v, int depth = 0) {
    static const ScriptValue kZero{};
    if (v->kind == KIND_ARRAY && depth >= kMaxNesting) v = &kZero;
    stream.WriteInteger(static_cast<int32_t>(v->kind));
    if (v->kind == KIND_REAL) {
        stream.WriteReal(v->real);
    } else if (v->kind == KIND_STRING) {
        stream.WriteString(v->str);
    } else if (v->kind == KIND_ARRAY) {
        const ScriptArray* array = v->arr;
        const int rows = array ? array->rowCount : 0;
        stream.WriteInteger(rows);
        for (int r = 0; r < rows; ++r) {
            const ScriptArrayRow& row = array->rows[r];
            const int length = row.length > 0 ? row.length : 0;
            stream.WriteInteger(length);
            for (int c = 0; c < length; ++c)
                WriteValue(stream, &row.items[c], depth + 1);
        }
    }
}

void WriteValues(CStream& stream, const ScriptValue* values, int n) {
    for (int i = 0; i < n; ++i)
        WriteValue(stream, &values[i]);
}

char* ToHex(const CStream& stream) {
    char* text = nullptr;
    stream.ConvertToHex(text);
    return text;
}

// The record of a stack or list: the magic number, the count and the values.
char* WriteCounted(int32_t magic, const ScriptValue* values, int count) {
    CStream stream(0);
    stream.WriteInteger(magic);
    stream.WriteInteger(count);
    WriteValues(stream, values, count);
    return ToHex(stream);
}

// Reports a damaged text once, when the read is over: what was wrong first, and what the container
// holds now.
class DamageReport {
public:
    explicit DamageReport(const char* kind) : m_kind(kind) {}
    ~DamageReport() {
        if (m_what.empty()) return;
        DebugConsole->Output("Damaged %s text (%s): the %s %s\n", m_kind, m_what.c_str(), m_kind,
                             m_outcome.empty() ? "is left as it was" : m_outcome.c_str());
    }
    DamageReport(const DamageReport&) = delete;
    DamageReport& operator=(const DamageReport&) = delete;

    // Notes the first thing wrong with the text.
    void Damaged(const std::string& what) {
        if (m_what.empty()) m_what = what;
    }
    // What the container holds after the read (when it changed).
    void Outcome(const std::string& outcome) { m_outcome = outcome; }

private:
    const char* m_kind;
    std::string m_what;
    std::string m_outcome;
};

std::string Format(const char* format, long long n) {
    char text[96];
    std::snprintf(text, sizeof text, format, n);
    return text;
}

// True when the text is pairs of hexadecimal digits and nothing else.
bool HexPairs(const char* text) {
    if (!text) return false;
    size_t n = 0;
    for (; text[n]; ++n)
        if (!std::isxdigit(static_cast<unsigned char>(text[n]))) return false;
    return n % 2 == 0;
}

class RecordReader {
public:
    // The text decoded; Ok() when its first integer is the magic number.
    RecordReader(const char* text, int32_t magic, const char* kind) : m_report(kind) {
        if (!HexPairs(text)) m_report.Damaged("characters that are not pairs of hexadecimal digits");
        m_stream.ConvertFromHex(text);
        const int32_t read = Int();
        m_ok = read == magic;
        if (!m_ok) m_report.Damaged(Format("magic number %lld", read));
    }
    bool Ok() const { return m_ok; }
    int32_t Int() {
        Need(4);
        return m_stream.ReadInteger();
    }
    // True when count values, each at least 4 bytes, fit in the bytes left.
    bool Fits(int64_t count) {
        if (count >= 0 && count <= Left() / 4) return true;
        m_report.Damaged(Format("a count of %lld that its bytes cannot hold", count));
        return false;
    }
    // The damage of a text whose numbers cannot go together.
    bool Refuse(const char* what) {
        m_report.Damaged(what);
        return false;
    }
    // The read has filled the container: bytes left over are damage too.
    bool Filled() {
        if (Left() > 0) m_report.Damaged(Format("%lld bytes after the record", Left()));
        m_report.Outcome("holds what could be read from it");
        return true;
    }

    // A count, then a new block of that many values; false when they cannot be read.
    bool ReadCounted(int32_t& count, ScriptValue*& block) {
        count = Int();
        return Fits(count) && ReadBlock(count, block);
    }

    // A new block of n values read in order (null for none); false, with nothing allocated, when a
    // value inside cannot be read.
    bool ReadBlock(int64_t n, ScriptValue*& block) { return ReadBlockOrdered(n, block, [](int64_t i) { return i; }); }
    // The same, value i going to slot at(i).
    template <typename At> bool ReadBlockOrdered(int64_t n, ScriptValue*& block, At at) {
        block = nullptr;
        if (n <= 0) return true;
        DS_GrowValues(block, n);
        for (int64_t i = 0; i < n; ++i)
            if (!ReadValue(&block[at(i)], 0)) {
                DS_ReleaseValues(block, n);
                MEM_FREE(block);
                block = nullptr;
                return false;
            }
        return true;
    }

private:
    int64_t Left() const {
        const int64_t left = m_stream.GetSize() - m_stream.GetPosition();
        return left > 0 ? left : 0;
    }
    // Reads past the end give zeros: the text was cut short.
    void Need(int64_t bytes) {
        if (Left() < bytes) m_report.Damaged("cut short");
    }

    // v is real 0. False for a count the bytes cannot hold or arrays nested too deep.
    bool ReadValue(ScriptValue* v, int depth) {
        const auto kind = static_cast<uint32_t>(Int());
        if (kind == KIND_REAL) {
            Need(8);
            v->real = m_stream.ReadReal();
            return true;
        }
        if (kind == KIND_STRING) {
            v->kind = KIND_STRING;
            Need(4);
            if (Left() >= 4) {
                const int64_t position = m_stream.GetPosition();
                const auto length = static_cast<uint32_t>(m_stream.ReadInteger());
                m_stream.SetPosition(position);
                Need(4 + static_cast<int64_t>(length));
            }
            m_stream.ReadString(v->str);
            return true;
        }
        if (kind == KIND_ARRAY) {
            const int32_t rows = Int();
            if (depth >= kMaxNesting) return Refuse("arrays nested too deep");
            if (!Fits(rows)) return false;
            v->kind = KIND_ARRAY;
            v->arr = Array_Create(nullptr);
            if (rows > 0) Array_SetRowCount(v->arr, rows);
            for (int32_t r = 0; r < rows; ++r) {
                const int32_t length = Int();
                if (!Fits(length)) return false;
                if (length == 0) continue;
                ScriptArrayRow* row = &v->arr->rows[r];
                Row_SetLength(row, length);
                for (int32_t c = 0; c < length; ++c)
                    if (!ReadValue(&row->items[c], depth + 1)) return false;
            }
            return true;
        }
        // No payload. A mark without its index would name some unrelated structure, and a string or
        // array kind with other bits set would carry no text or array: both read as the real 0.
        const uint32_t low = kind & KIND_MASK;
        if ((kind & (DS_MARK_LIST | DS_MARK_MAP)) || low == KIND_STRING || low == KIND_ARRAY) return true;
        v->kind = kind;
        return true;
    }

    DamageReport m_report;
    CStream m_stream;
    bool m_ok = false;
};

// ---- Map form

void AppendHexByte(std::string& out, unsigned char byte) {
    static const char kDigits[] = "0123456789ABCDEF";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 15];
}

void AppendField(std::string& out, const ScriptValue* v) {
    if (v->kind == KIND_STRING) {
        for (const char* p = v->str ? v->str : ""; *p; ++p)
            AppendHexByte(out, static_cast<unsigned char>(*p));
        return;
    }
    const double real = Value_Real(v);
    uint64_t bits;
    std::memcpy(&bits, &real, sizeof bits);
    // The bytes from the most significant down, without the trailing zero bytes.
    int bytes = 8;
    while (bytes > 0 && ((bits >> (8 * (8 - bytes))) & 0xFF) == 0)
        --bytes;
    for (int i = 0; i < bytes; ++i)
        AppendHexByte(out, static_cast<unsigned char>(bits >> (8 * (7 - i))));
}

// The map form's digit decoding: only 0-9 and A-F give their values.
int FieldNibble(char c) {
    const int v = static_cast<signed char>(c);
    return v < 'A' ? v - '0' : v - 'A' + 10;
}

bool EndsField(char c) {
    return c == ':' || c == ',' || c == '\0';
}

// Reads a field from p to the next ':' or ',' (or the end) and leaves p there. Only whole pairs of
// digits count; a real takes at most the first 8 pairs, its missing low bytes 0. False when the field is
// not what a writer makes: pairs of the digits 0-9 and A-F, at most 8 pairs for a real.
bool ReadField(const char*& p, bool text, ScriptValue* out) {
    size_t n = 0;
    bool digits = true;
    while (!EndsField(p[n])) {
        const char c = p[n];
        digits = digits && ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
        ++n;
    }
    const size_t bytes = n / 2;
    auto byteAt = [p](size_t i) { return static_cast<unsigned char>(FieldNibble(p[2 * i]) * 16 + FieldNibble(p[2 * i + 1])); };
    if (text) {
        auto* s = static_cast<char*>(MEM_ALLOC_RAW(bytes + 1));
        for (size_t i = 0; i < bytes; ++i)
            s[i] = static_cast<char>(byteAt(i));
        s[bytes] = '\0';
        out->kind = KIND_STRING;
        out->str = s;
    } else {
        uint64_t bits = 0;
        for (size_t i = 0; i < bytes && i < 8; ++i)
            bits |= static_cast<uint64_t>(byteAt(i)) << (8 * (7 - i));
        std::memcpy(&out->real, &bits, sizeof bits);
    }
    p += n;
    return digits && n % 2 == 0 && (text || n <= 16);
}

char* CopyText(const std::string& s) {
    auto* text = static_cast<char*>(MEM_ALLOC_RAW(s.size() + 1));
    std::memcpy(text, s.c_str(), s.size() + 1);
    return text;
}

} // namespace

// ---- Stack

char* CDS_Stack::WriteToString() const {
    return WriteCounted(kStackMagic, m_values, m_count);
}

bool CDS_Stack::ReadFromString(const char* text) {
    RecordReader reader(text, kStackMagic, "stack");
    int32_t count;
    ScriptValue* block;
    if (!reader.Ok() || !reader.ReadCounted(count, block)) return false;
    Clear();
    MEM_FREE(m_values);
    m_values = block;
    m_count = m_capacity = count;
    return reader.Filled();
}

// ---- Queue

char* CDS_Queue::WriteToString() const {
    CStream stream(0);
    stream.WriteInteger(kQueueMagic);
    stream.WriteInteger(m_tail);
    stream.WriteInteger(m_head);
    stream.WriteInteger(m_capacity);
    WriteValues(stream, m_values, m_capacity);
    return ToHex(stream);
}

bool CDS_Queue::ReadFromString(const char* text) {
    RecordReader reader(text, kQueueMagic, "queue");
    if (!reader.Ok()) return false;
    const int32_t tail = reader.Int(), head = reader.Int(), capacity = reader.Int();
    if (!(0 <= head && head <= tail && tail <= capacity))
        return reader.Refuse("a head and tail that do not lie in order inside the block");
    ScriptValue* block;
    if (!reader.Fits(capacity) || !reader.ReadBlock(capacity, block)) return false;
    Clear();
    MEM_FREE(m_values);
    m_values = block;
    m_tail = tail;
    m_head = head;
    m_capacity = capacity;
    return reader.Filled();
}

// ---- List

char* CDS_List::WriteToString() const {
    return WriteCounted(kListMagic, m_values, m_count);
}

bool CDS_List::ReadFromString(const char* text) {
    RecordReader reader(text, kListMagic, "list");
    int32_t count;
    ScriptValue* block;
    if (!reader.Ok() || !reader.ReadCounted(count, block)) return false;
    // The old values go without destroying what they name: the read replaces contents, it does not
    // clear the list.
    DS_ReleaseValues(m_values, m_count);
    MEM_FREE(m_values);
    m_values = block;
    m_count = m_capacity = count;
    return reader.Filled();
}

// ---- Priority queue

char* CDS_Priority::WriteToString() const {
    CStream stream(0);
    stream.WriteInteger(kPriorityMagic);
    stream.WriteInteger(m_count);
    WriteValues(stream, m_priorities, m_count);
    WriteValues(stream, m_values, m_count);
    return ToHex(stream);
}

bool CDS_Priority::ReadFromString(const char* text) {
    RecordReader reader(text, kPriorityMagic, "priority queue");
    if (!reader.Ok()) return false;
    const int32_t count = reader.Int();
    if (!reader.Fits(2 * static_cast<int64_t>(count))) return false;
    ScriptValue *priorities, *values;
    if (!reader.ReadBlock(count, priorities)) return false;
    if (!reader.ReadBlock(count, values)) {
        DS_ReleaseValues(priorities, count);
        MEM_FREE(priorities);
        return false;
    }
    Clear();
    m_priorities = priorities;
    m_values = values;
    m_count = m_valueCapacity = m_priorityCapacity = count;
    return reader.Filled();
}

// ---- Grid

char* CDS_Grid::WriteToString() const {
    CStream stream(0);
    stream.WriteInteger(kGridMagic);
    stream.WriteInteger(m_width);
    stream.WriteInteger(m_height);
    if (m_cells)
        for (int x = 0; x < m_width; ++x)
            for (int y = 0; y < m_height; ++y)
                WriteValue(stream, Cell(x, y));
    return ToHex(stream);
}

bool CDS_Grid::ReadFromString(const char* text) {
    RecordReader reader(text, kGridMagic, "grid");
    if (!reader.Ok()) return false;
    const int32_t width = reader.Int(), height = reader.Int();
    if (width < 0 || height < 0) return reader.Refuse("a negative size");
    const int64_t cells = static_cast<int64_t>(width) * height;
    ScriptValue* block;
    // Values come column by column; cell (x, y) is element y * width + x.
    if (!reader.Fits(cells) ||
        !reader.ReadBlockOrdered(cells, block, [&](int64_t i) { return (i % height) * width + i / height; }))
        return false;
    Adopt(block, width, height);
    return reader.Filled();
}

// ---- Map

char* CDS_Map::WriteToString() const {
    std::string out;
    ForEach([&](const MapEntry& entry) {
        if (!out.empty()) out += ',';
        out += static_cast<char>('0' + (entry.key.kind == KIND_STRING ? 1 : 0) + (entry.value.kind == KIND_STRING ? 2 : 0));
        out += ':';
        AppendField(out, &entry.key);
        out += ':';
        AppendField(out, &entry.value);
    });
    return CopyText(out);
}

bool CDS_Map::ReadFromString(const char* text) {
    ClearEntries();
    if (!text || !*text) return true;
    DamageReport report("map");
    const char* p = text;
    const auto at = [&](const char* what) {
        report.Damaged(Format(what, static_cast<long long>(p - text) + 1));
    };
    int entries = 0;
    for (;;) {
        const int type = static_cast<signed char>(*p) - '0';
        if (type < 0 || type > 3) at("a type digit that is not 0 to 3 at character %lld");
        ++p;
        if (*p != ':') at("no ':' after the type digit at character %lld");
        if (*p) ++p;
        auto* entry = new MapEntry;
        if (!ReadField(p, (type & 1) != 0, &entry->key))
            at("a key field that a writer does not make, up to character %lld");
        if (*p != ':') at("no value after the key at character %lld");
        if (*p) ++p;
        if (!ReadField(p, (type & 2) != 0, &entry->value))
            at("a value field that a writer does not make, up to character %lld");
        Append(entry);
        ++entries;
        if (*p && *p != ',') at("no ',' between entries at character %lld");
        if (*p && !p[1]) at("nothing after the ',' at character %lld");
        if (!*p || !*++p) break;
    }
    report.Outcome(Format("holds %lld entries read from it", entries));
    return true;
}
