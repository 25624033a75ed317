// The tile built-ins (tile_add, tile_find, tile_layer_*, tile_get_*, tile_set_* and the rest).
#pragma once

void InitTileFunctions();
