// The data-structure tables as the asynchronous event stage reaches them.
#pragma once

// Destroys the map of an index (every entry with key and value, then its buckets) and empties its slot;
// the asynchronous stage destroys the async_load map this way after each event. An index that names no
// map is ignored.
void DS_Map_Destroy(int index);
