// The user variables of one scope (an instance, the globals, a level of locals): variable id -> value.
#pragma once

#include <cstddef>
#include <vector>

#include "script/value.h"

class IBuffer;
class tagIConsole;

struct VariableListEntry {
    VariableListEntry* bucketNext; // next entry of the same bucket, newer before older
    VariableListEntry* allNext;    // the entry added before this one
    ScriptValue value;
    int id;
    int position; // how many entries the list was given before this one
};

// The ids a list was given since it was made or emptied, in the order it was given them. Lists given
// the same ids in the same order share one layout, and so hold each variable at the same position: a
// position found in one list serves every list of that layout. Layouts live until the process ends; past
// a bound on their number, lists go on with a layout of their own that is never shared.
struct VariableLayout;

// What reading a never-set variable does, reached through VariableList_State().
struct VariableListState {
    // What reading a variable that was never set gives: false (the default), the real 0 and success; true,
    // the unset marker and failure, which the caller reports. The data file's options set it.
    bool Variable_UnsetIsError = false;
};

inline VariableListState& VariableList_State() {
    static VariableListState state;
    return state;
}
constexpr double kUnsetVariableMarker = 1.23456789e7;

class CVariableList {
public:
    static constexpr int kBuckets = 64;

    CVariableList();
    virtual ~CVariableList();
    CVariableList(const CVariableList&) = delete;
    CVariableList& operator=(const CVariableList&) = delete;

    // Frees every value; the entries go to a free list shared by all lists.
    void Clear();
    // Reads element arrayIndex (-1 the whole value) of variable id into out. An absent variable reads as
    // Variable_UnsetIsError says.
    bool GetVar(int id, int arrayIndex, ScriptValue* out);
    // Assigns with copy-on-write, creating the variable (real 0) when absent.
    void SetVar(int id, int arrayIndex, const ScriptValue* value);
    // Creates the variable holding real 0 when absent.
    void Declare(int id);
    // The stored value of variable id, or null when absent: the machine's fast paths read and write
    // reals through it.
    ScriptValue* Slot(int id) {
        VariableListEntry* entry = Find(id);
        return entry ? &entry->value : nullptr;
    }
    // The same, with the variable made (real 0) when absent.
    ScriptValue* SlotOrAdd(int id);
    // Makes variable id, which the list does not hold, as real 0.
    ScriptValue* AddAbsent(int id) { return &Add(id)->value; }
    // Makes this list a deep copy of other (arrays cloned); null leaves it empty.
    void CopyFrom(const CVariableList* other);

    // s32 count, then per variable its name (a buffer string) and its value's binary form.
    void Serialise(IBuffer* buffer) const;
    // Clears the list and reads the saved form; names the game no longer has are skipped with a warning.
    // Each bucket keeps the order it was saved in, so the list saves again to the same bytes. False when
    // the form is cut short or a count cannot be right; the list then holds what was read.
    bool Deserialise(IBuffer* buffer);
    // "name(id) = value" per variable, for the debug views.
    void Dump(tagIConsole* console) const;
    static void DumpOne(tagIConsole* console, int id, const ScriptValue* value);
    // What reading a variable that was never set gives (see Variable_UnsetIsError).
    static bool ReadAbsent(ScriptValue* out);

    int Count() const { return count; }

    const VariableLayout* Layout() const { return layout; }
    // False for a layout that no other list shares (see VariableLayout).
    bool LayoutShared() const;
    // The position of variable id, or -1 when absent.
    int PositionOf(int id) const {
        VariableListEntry* entry = Find(id);
        return entry ? entry->position : -1;
    }
    // The stored value at a position below Count(); it stays where it is until the list is emptied.
    ScriptValue* At(int position) { return &byPosition[static_cast<size_t>(position)]->value; }

    VariableListEntry* buckets[kBuckets];
    VariableListEntry* last; // the newest entry: head of the chain of all entries
    int count;

private:
    const VariableLayout* layout;
    std::vector<VariableListEntry*> byPosition;
    VariableListEntry* Find(int id) const;
    // A new entry holding real 0, at the head of its bucket (or, with atTail, at its end).
    VariableListEntry* Add(int id, bool atTail = false);
};
