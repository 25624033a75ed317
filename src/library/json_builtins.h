// JSON text to and from trees of maps and lists: json_decode and json_encode.
#pragma once

// Decodes JSON text into a new map and returns its index; -1 when the text is not JSON (or nests deeper
// than JSON_MaxDepth). Objects become maps and arrays lists, each held by its parent as a marked value,
// so destroying the root destroys the tree. Strings stay strings, numbers become reals, true and false
// the reals 1 and 0, null the undefined value. A text whose outermost value is not an object gives a map
// holding that value under the key "default". Anything but white space after the value is not JSON.
int JSON_Decode(const char* text);

// The JSON text of the map of an index and of the lists and maps its marked values name, as a
// memory-manager block of the caller's; null when the index names no map. Whole reals are written
// without a fraction, other reals with the fewest digits that read back as the same number, and NaN
// and the infinities as null; a real key is written as its text. Arrays and undefined values are
// written as null. A marked value whose structure does not exist, is already being written further
// out (a cycle) or lies deeper than JSON_MaxDepth is written as the plain number it holds.
char* JSON_Encode(int mapIndex);

constexpr int JSON_MaxDepth = 512;

// Registers json_decode and json_encode (part of the "Misc.." group).
void Json_AddFunctions();
