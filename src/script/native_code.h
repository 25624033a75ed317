// Services that the compiled game's native code calls: the with-statement iteration and the string +.
#pragma once

class CInstance;

// One with-statement in native code, on the caller's stack.
struct WithIterator {
    CInstance* savedSelf;
    CInstance* savedOther;
    CInstance** list; // entry 0 is the end mark; null when no list was made
    int cursor;
};

// Starts a with-statement over target (an instance code, object index or instance id). Gives the number
// of visits, 0 when there is nothing to visit, or -1 for local, global and noone. When there is
// something to visit, self is already the first instance, and other the old self (for -2 the two
// are swapped). The visits run from the last candidate back to the first.
int WithIterator_Begin(WithIterator* it, CInstance** self, CInstance** other, int target);
// Moves self to the next instance; false when there is none.
bool WithIterator_Next(WithIterator* it, CInstance** self);
// Frees the list and restores self and other.
void WithIterator_End(WithIterator* it, CInstance** self, CInstance** other);

// A new text holding a followed by b; with one side null a copy of the other; null when both are null.
char* String_Add(const char* a, const char* b);
