#include "library/json_builtins.h"

#include "core/console.h"
#include "core/convert.h"
#include "core/memory.h"
#include "core/text.h"
#include "library/builtin.h"
#include "library/data_structures.h"
#include "library/ds_list.h"
#include "library/ds_map.h"
#include "script/vm/vm_error.h"

#include <json-c/json.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// ---- Decoding

ScriptValue Marked(uint32_t mark, int index) {
    ScriptValue v{};
    v.kind = mark;
    v.real = index;
    return v;
}

ScriptValue Text(const char* text) {
    ScriptValue v{};
    v.kind = KIND_STRING;
    v.str = String_Duplicate(text ? text : "");
    return v;
}

ScriptValue Decoded(json_object* o);

// A new map in its slot. A map takes its slot before its members are decoded, so a tree's maps and
// lists are numbered from the outside in.
CDS_Map* NewMap(int& index) {
    auto* map = new CDS_Map();
    index = DS_Map_NewIndex();
    DS_State().DS_Maps.Store(index, map);
    return map;
}

// The keys of an object are distinct texts, so entries are appended without a look-up.
void AppendDecoded(CDS_Map* map, const char* key, json_object* value) {
    auto* entry = new MapEntry;
    entry->key = Text(key);
    entry->value = Decoded(value);
    map->Append(entry);
}

int DecodeObject(json_object* o) {
    int index;
    CDS_Map* map = NewMap(index);
    for (json_object_iterator it = json_object_iter_begin(o), end = json_object_iter_end(o);
         !json_object_iter_equal(&it, &end); json_object_iter_next(&it))
        AppendDecoded(map, json_object_iter_peek_name(&it), json_object_iter_peek_value(&it));
    return index;
}

int DecodeArray(json_object* o) {
    auto* list = new CDS_List();
    const int index = DS_List_NewIndex();
    DS_State().DS_Lists.Store(index, list);
    const size_t n = json_object_array_length(o);
    for (size_t i = 0; i < n; ++i) {
        ScriptValue v = Decoded(json_object_array_get_idx(o, i));
        list->Add(&v);
        Value_Free(&v);
    }
    return index;
}

// Recursion is bounded by the tokener's depth limit.
ScriptValue Decoded(json_object* o) {
    ScriptValue v{};
    switch (json_object_get_type(o)) {
    case json_type_null:
        v.kind = KIND_UNDEFINED;
        break;
    case json_type_boolean:
        v.real = json_object_get_boolean(o) ? 1.0 : 0.0;
        break;
    case json_type_int:
    case json_type_double:
        v.real = json_object_get_double(o);
        break;
    case json_type_string:
        v = Text(json_object_get_string(o));
        break;
    case json_type_object:
        v = Marked(DS_MARK_MAP, DecodeObject(o));
        break;
    case json_type_array:
        v = Marked(DS_MARK_LIST, DecodeArray(o));
        break;
    }
    return v;
}

bool OnlySpaceFrom(const char* text) {
    for (; *text; ++text)
        if (*text != ' ' && *text != '\t' && *text != '\n' && *text != '\r') return false;
    return true;
}

// ---- Encoding

// Whole reals as integers; other reals with the fewest significant digits that read back the same.
json_object* Number(double d) {
    if (!std::isfinite(d)) return nullptr;
    if (d == std::trunc(d) && std::fabs(d) < 9.2e18) return json_object_new_int64(static_cast<int64_t>(d));
    char text[40];
    for (int digits = 15; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, d);
        if (std::strtod(text, nullptr) == d) break;
    }
    return json_object_new_double_s(d, text);
}

class Encoder {
public:
    // The root is the first structure being written.
    explicit Encoder(const CDS_Map* root) : m_path{root} {}

    json_object* Map(const CDS_Map& map, int depth) {
        json_object* object = json_object_new_object();
        map.ForEach([&](const MapEntry& entry) {
            json_object* value = Value(entry.value, depth);
            if (entry.key.Kind() == KIND_STRING) {
                json_object_object_add(object, entry.key.str ? entry.key.str : "", value);
                return;
            }
            char* key = nullptr;
            char* cursor = nullptr;
            int capacity = 0;
            Value_AppendText(&cursor, &key, &capacity, &entry.key);
            json_object_object_add(object, key ? key : "", value);
            MEM_FREE(key);
        });
        return object;
    }

private:
    json_object* List(const CDS_List& list, int depth) {
        json_object* array = json_object_new_array_ext(list.Size());
        for (int i = 0; i < list.Size(); ++i)
            json_object_array_add(array, Value(*list.Get(i), depth));
        return array;
    }

    // A marked value is written as its structure when there is one that is not already being written
    // and the depth allows it.
    json_object* Nested(const ScriptValue& v, int depth) {
        const uint32_t mark = (v.kind & DS_MARK_MAP) ? DS_MARK_MAP : DS_MARK_LIST;
        const int index = X86_DoubleToInt32(v.real);
        const void* structure = mark == DS_MARK_MAP
                                    ? static_cast<const void*>(DS_State().DS_Maps.Get(index))
                                    : static_cast<const void*>(DS_State().DS_Lists.Get(index));
        bool open = false;
        for (const void* s : m_path)
            open |= s == structure;
        if (!structure || open || depth >= JSON_MaxDepth) return Number(v.real);
        m_path.push_back(structure);
        json_object* o = mark == DS_MARK_MAP ? Map(*static_cast<const CDS_Map*>(structure), depth + 1)
                                             : List(*static_cast<const CDS_List*>(structure), depth + 1);
        m_path.pop_back();
        return o;
    }

    json_object* Value(const ScriptValue& v, int depth) {
        if (DS_NamesNested(v.kind)) return Nested(v, depth);
        switch (v.Kind()) {
        case KIND_REAL:
            return Number(v.real);
        case KIND_STRING:
            return json_object_new_string(v.str ? v.str : "");
        default:
            return nullptr;
        }
    }

    // The structures being written, outermost first.
    std::vector<const void*> m_path;
};

// ---- Built-ins

BUILTIN_BODY(json_decode) {
    const char* text = args.Text(0);
    Value_Free(&result);
    Value_SetReal(&result, JSON_Decode(text));
}

BUILTIN_BODY(json_encode) {
    char* text = JSON_Encode(args.Rounded(0));
    if (!text) {
        Code_Error_Report("Data structure with index does not exist.", false);
        return;
    }
    BuiltIn_SetText(result, text);
}

const BuiltInRegistration kJsonFunctions[] = {
    BUILTIN_ENTRY(json_decode, 1),
    BUILTIN_ENTRY(json_encode, 1),
};

} // namespace

int JSON_Decode(const char* text) {
    if (!text) return -1;
    json_tokener* tokener = json_tokener_new_ex(JSON_MaxDepth);
    if (!tokener) return -1;
    // The terminating zero is given too: it ends a number that ends the text.
    const size_t length = std::strlen(text);
    json_object* root = length < INT32_MAX ? json_tokener_parse_ex(tokener, text, static_cast<int>(length + 1))
                                           : nullptr;
    // The end of the parse may lie past the terminating zero, which it then took in.
    const bool parsed = root && json_tokener_get_error(tokener) == json_tokener_success &&
                        OnlySpaceFrom(text + std::min(json_tokener_get_parse_end(tokener), length));
    json_tokener_free(tokener);
    int index = -1;
    if (parsed) {
        if (json_object_get_type(root) == json_type_object) {
            index = DecodeObject(root);
        } else {
            AppendDecoded(NewMap(index), "default", root);
        }
    }
    json_object_put(root);
    return index;
}

char* JSON_Encode(int mapIndex) {
    const CDS_Map* map = DS_State().DS_Maps.Get(mapIndex);
    if (!map) return nullptr;
    Encoder encoder(map);
    json_object* root = encoder.Map(*map, 0);
    char* text = String_Duplicate(json_object_to_json_string_ext(root, JSON_C_TO_STRING_SPACED));
    json_object_put(root);
    return text;
}

void Json_AddFunctions() {
    BuiltIn_Register(kJsonFunctions);
}
