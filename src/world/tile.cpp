#include "world/room.h"

#include <algorithm>

namespace {

// Half-open containment of a point in a tile's drawn rectangle.
bool Inside(const RoomTile& t, double x, double y) {
    return t.x <= x && x < t.x + t.width * t.xscale && t.y <= y && y < t.y + t.height * t.yscale;
}

} // namespace

int CRoom::FindTile(int id) {
    const int n = static_cast<int>(tiles.size());
    if (lastTileIndex >= 0 && lastTileIndex < n && tiles[static_cast<size_t>(lastTileIndex)].id == id)
        return lastTileIndex;
    for (int i = 0; i < n; ++i)
        if (tiles[static_cast<size_t>(i)].id == id) return lastTileIndex = i;
    return -1;
}

int CRoom::FindTileAt(int x, int y, bool foreground) {
    for (size_t i = 0; i < tiles.size(); ++i) {
        const RoomTile& t = tiles[i];
        if ((foreground ? t.depth < 0 : t.depth >= 0) && Inside(t, x, y))
            return lastTileIndex = static_cast<int>(i);
    }
    return -1;
}

int CRoom::FindTileInLayerAt(float depth, float x, float y) {
    for (size_t i = 0; i < tiles.size(); ++i)
        if (tiles[i].depth == depth && Inside(tiles[i], x, y)) return lastTileIndex = static_cast<int>(i);
    return -1;
}

void CRoom::DeleteTile(int index) {
    if (index < 0 || static_cast<size_t>(index) >= tiles.size()) return;
    tiles.erase(tiles.begin() + index);
    if (tiles.empty()) ClearTiles();
}

namespace {

template <typename Doomed>
void EraseTiles(CRoom* room, Doomed doomed) {
    room->tiles.erase(std::remove_if(room->tiles.begin(), room->tiles.end(), doomed), room->tiles.end());
    if (room->tiles.empty()) room->ClearTiles();
}

} // namespace

void CRoom::DeleteTilesAt(int x, int y, bool foreground) {
    EraseTiles(this, [&](const RoomTile& t) {
        return (foreground ? t.depth <= 0 : t.depth >= 0) && t.x <= x && x <= t.x + t.width * t.xscale &&
               t.y <= y && y <= t.y + t.height * t.yscale;
    });
}

void CRoom::DeleteTileLayer(float depth) {
    EraseTiles(this, [&](const RoomTile& t) { return t.depth == depth; });
}

void CRoom::DeleteTileLayerAt(float depth, float x, float y) {
    EraseTiles(this, [&](const RoomTile& t) { return t.depth == depth && Inside(t, x, y); });
}

void CRoom::HideTileLayer(float depth) {
    for (RoomTile& t : tiles)
        if (t.depth == depth) t.visible = false;
}

void CRoom::ShowTileLayer(float depth) {
    for (RoomTile& t : tiles)
        if (t.depth == depth) t.visible = true;
}

void CRoom::ShiftTileLayer(float depth, float dx, float dy) {
    for (RoomTile& t : tiles)
        if (t.depth == depth) {
            t.x = static_cast<float>(static_cast<double>(t.x) + dx);
            t.y = static_cast<float>(static_cast<double>(t.y) + dy);
        }
}

void CRoom::SetTileLayerDepth(float depth, float newDepth) {
    for (RoomTile& t : tiles)
        if (t.depth == depth) t.depth = newDepth;
}

void CRoom::SortTiles() {
    if (tiles.size() < 2) return;
    bool ordered = true;
    for (size_t i = 0; i + 1 < tiles.size() && ordered; ++i)
        if (tiles[i + 1].depth > tiles[i].depth) ordered = false;
    if (ordered) return;
    std::stable_sort(tiles.begin(), tiles.end(), [](const RoomTile& a, const RoomTile& b) { return a.depth > b.depth; });
}
