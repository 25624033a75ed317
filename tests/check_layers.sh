#!/usr/bin/env bash
# The layer check: every folder of src/ has a rank, and a file includes headers of its own rank or lower.
# A call upward goes through an interface that the higher layer installs at start-up. Folders of the same
# rank include each other only in the directions listed in PEERS. Exceptions are listed in EXCEPTIONS,
# each with its reason; an exception that no longer matches an include is reported as well, so the list
# stays exact. A folder listed in SUBRANKS is split the same way: its sub-folders have an order of their
# own, and a file includes headers of its own sub-folder or of lower ones.
#
#   tests/check_layers.sh [src-folder]          check; exit 1 on any violation
#   tests/check_layers.sh --count [src-folder]  count upward includes, mutual folder pairs and cycles of
#                                               folders and of sub-folders
set -euo pipefail

COUNT=0
if [[ ${1:-} == --count ]]; then
  COUNT=1
  shift
fi
SRC=${1:-$(dirname "$0")/../src}

# Lowest first.
RANKS='
core 0
platform 1
device 2
data 3
script 4
library 5
graphics 6
io 6
world 6
audio 6
physics 6
net 6
ext 6
game 6
runner 7
'

# The sub-folders of a folder, lowest first: "folder sub-folder rank"; "." stands for the folder's own
# files. In graphics, the registrars of the group are declared at the top of the folder for every part;
# images and their files come first, then the device and the frame that every drawing goes through, the
# shapes and textured quads drawn with them, the vertex buffers that scripts fill, the sprites,
# backgrounds and fonts, text, particles and the 3D layer (whose shutdown releases every part's device
# objects in order).
SUBRANKS='
graphics . 0
graphics image 1
graphics frame 2
graphics draw 3
graphics vertex 4
graphics sprite 5
graphics text 6
graphics particles 7
graphics 3d 8
'

# The directions allowed between folders of the same rank: "from to". The game world uses every other
# subsystem, and none of them includes the world: what they read of it (the calling instance's image,
# the running room's size) comes through the interface the world installs in script/. The drawing
# (graphics) sits on the window and input (io) and not the other way: the device reads and writes the
# window's record, pumps its messages while it waits and titles its message boxes with the caption, and
# the overlay maps taps and draws the virtual keys from the input state. What the window asks of the device
# (a reset, a new size) it writes into its own record, which the next frame reads. Extensions reach the
# frame and the window state, and nothing that they include includes them back.
PEERS='
world graphics
world io
world audio
world physics
world net
world ext
world game
graphics io
ext graphics
ext io
'

# "file header reason": an include that breaks the order, kept on purpose.
EXCEPTIONS='
'

cd "$SRC"
grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]+"' --include='*.cpp' --include='*.h' . |
  sed -E 's#^\./([^:]+):[0-9]+:[^"]*"([^"]+)".*#\1 \2#' |
  awk -v count="$COUNT" -v ranks="$RANKS" -v subranks="$SUBRANKS" -v peers="$PEERS" -v exceptions="$EXCEPTIONS" '
function folder(path,   parts) { split(path, parts, "/"); return parts[1] }
# The sub-folder of a path inside a folder with sub-ranks ("." for a file of the folder itself).
function subfolder(path,   parts, n) { n = split(path, parts, "/"); return n > 2 ? parts[2] : "." }
# Tarjan: the strongly connected components of the folder graph.
# Sub-folders are nodes named "folder/sub" in the same graph; they have edges only among themselves.
function visit(v,   w, i) {
  index_[v] = low[v] = ++counter; stack[++top] = v; onstack[v] = 1
  for (i = 1; i <= nout[v]; ++i) {
    w = out[v, i]
    if (!(w in index_)) { visit(w); if (low[w] < low[v]) low[v] = low[w] }
    else if (onstack[w] && index_[w] < low[v]) low[v] = index_[w]
  }
  if (low[v] == index_[v]) {
    members = ""; size = 0
    do { w = stack[top--]; onstack[w] = 0; members = members " " w; ++size } while (w != v)
    if (size > 1) {
      if (index(v, "/")) { ++subcycles; subcycle_list = subcycle_list "\n  " substr(members, 2) }
      else { ++cycles; cycle_list = cycle_list "\n  " substr(members, 2) }
    }
  }
}
BEGIN {
  n = split(ranks, lines, "\n")
  for (i = 1; i <= n; ++i) if (split(lines[i], f, " ") == 2) rank[f[1]] = f[2]
  n = split(subranks, lines, "\n")
  for (i = 1; i <= n; ++i) if (split(lines[i], f, " ") == 3) { subrank[f[1], f[2]] = f[3]; split_[f[1]] = 1 }
  n = split(peers, lines, "\n")
  for (i = 1; i <= n; ++i) if (split(lines[i], f, " ") == 2) peer[f[1], f[2]] = 1
  n = split(exceptions, lines, "\n")
  for (i = 1; i <= n; ++i) if (split(lines[i], f, " ") >= 3) {
    sub(/^src\//, "", f[1]); excepted[f[1], f[2]] = 1; used[f[1], f[2]] = 0
  }
}
{
  file = $1; header = $2
  from = folder(file); to = folder(header)
  if (!(from in rank) && index(file, "/") && from != "") unknown[from] = 1
  if (from == to && (from in split_)) {
    fromsub = subfolder(file); tosub = subfolder(header)
    if (!((from, fromsub) in subrank)) { unknownsub[from "/" fromsub] = 1; next }
    if (!((to, tosub) in subrank)) { unknownsub[to "/" tosub] = 1; next }
    if (fromsub == tosub) next
    a = from "/" fromsub; b = to "/" tosub
    if (!((a, b) in edge)) { edge[a, b] = 1; out[a, ++nout[a]] = b; subnode[a] = subnode[b] = 1 }
    if (subrank[to, tosub] > subrank[from, fromsub]) {
      ++subupward
      violations = violations sprintf("\n  src/%s includes %s (upward: %s -> %s)", file, header, a, b)
    }
    next
  }
  if (!(from in rank) || !(to in rank) || from == to) next
  if (!((from, to) in edge)) { edge[from, to] = 1; out[from, ++nout[from]] = to }
  bad = ""
  if (rank[to] > rank[from]) { ++upward; bad = "upward" }
  else if (rank[to] == rank[from] && !((from, to) in peer)) { ++sideways; bad = "between peers" }
  if (bad == "") next
  if ((file, header) in excepted) { used[file, header] = 1; ++kept; next }
  violations = violations sprintf("\n  src/%s includes %s (%s: %s -> %s)", file, header, bad, from, to)
}
END {
  for (u in unknown) violations = violations sprintf("\n  folder src/%s has no rank", u)
  for (u in unknownsub) violations = violations sprintf("\n  sub-folder src/%s has no rank", u)
  for (key in used) if (!used[key]) {
    split(key, f, SUBSEP)
    violations = violations sprintf("\n  exception src/%s %s matches no include", f[1], f[2])
  }
  pairs = 0; cross = 0
  for (key in edge) {
    split(key, f, SUBSEP)
    if (index(f[1], "/")) continue
    if (f[1] < f[2] && ((f[2], f[1]) in edge)) {
      ++pairs
      if (rank[f[1]] != rank[f[2]]) {
        ++cross
        violations = violations sprintf("\n  %s and %s include each other", f[1], f[2])
      }
      pair_list = pair_list " " f[1] "<->" f[2]
    }
  }
  cycles = 0; subcycles = 0; counter = 0; top = 0
  for (v in rank) if (!(v in index_)) visit(v)
  for (v in subnode) if (!(v in index_)) visit(v)
  if (count) {
    printf "upward include lines: %d\n", upward
    printf "include lines between peers in no listed direction: %d\n", sideways
    printf "of these, listed as exceptions: %d\n", kept
    printf "folder pairs including each other: %d (of different layers: %d)%s\n", pairs, cross, pairs ? ":" pair_list : ""
    printf "groups of folders in a cycle: %d%s\n", cycles, cycle_list
    printf "include lines up the order of sub-folders: %d\n", subupward
    printf "groups of sub-folders in a cycle: %d%s\n", subcycles, subcycle_list
    exit 0
  }
  if (violations != "") {
    print "Layer check failed (order: core < platform < device < data < script < library < peers < runner;" \
          " sub-folders as in SUBRANKS):" violations
    exit 1
  }
  print "Layer check passed."
}'
