#!/usr/bin/env bash
# Builds a game data file for each benchmark program: programs/NAME.code becomes OUT/NAME/game.win.
#
# A program file holds, each after a marker line, its scripts ("@script NAME"), objects ("@object
# NAME", no sprite, depth 0) with their events' code ("@event OBJECT KIND NUMBER", kinds as in the
# data-file builder's description format), and the code to time ("@main"); lines before the first
# marker belong to the main code. The game has one room holding one instance of obj_bench, whose
# create event runs the main code and then ends the game. The code stays source text, compiled when
# the game starts, so that the same file runs on the machine and in the tree evaluator ("-oldexec").
#
# Usage: bench/programs/make_games.sh DATABUILD OUT [NAME...]   (default: every program)
set -euo pipefail
databuild=$1
out=$2
shift 2
programs=$(cd "$(dirname "$0")" && pwd)
if [ "$#" -eq 0 ]; then
  set -- $(cd "$programs" && ls ./*.code | sed 's|^\./||; s|\.code$||')
fi
for name in "$@"; do
  dir="$out/$name"
  rm -rf "$dir"
  mkdir -p "$dir"
  awk -v dir="$dir" '
    function open(path) { if (file != "") close(file); file = path; printf "" > file }
    BEGIN { open(dir "/main.gml") }
    /^@script / { scripts[++ns] = $2; open(dir "/script_" $2 ".gml"); next }
    /^@object / { objects[++no] = $2; next }
    /^@event / { ne++; line[ne] = $2 " " $3 " " $4; open(dir "/event" ne ".gml"); next }
    /^@main/ { if (file != "") close(file); file = dir "/main.gml"; next }
    { print >> file }
    END {
      close(file)
      print "game_end();" >> (dir "/main.gml")
      d = dir "/game.txt"
      print "game Bench 64 64" > d
      for (i = 1; i <= no; i++) print "object " objects[i] " - 0" >> d
      print "object obj_bench - 0" >> d
      for (i = 1; i <= ns; i++) print "script " scripts[i] " script_" scripts[i] ".gml" >> d
      for (i = 1; i <= ne; i++) print "event " line[i] " event" i ".gml" >> d
      print "event obj_bench create 0 main.gml" >> d
      print "room rm_bench 64 64 30 000000 -" >> d
      print "instance rm_bench obj_bench 0 0" >> d
    }' "$programs/$name.code"
  (cd "$dir" && "$databuild" game.win -game game.txt >build.log 2>&1) ||
    { cat "$dir/build.log" >&2; echo "make_games: $name does not build" >&2; exit 1; }
done
