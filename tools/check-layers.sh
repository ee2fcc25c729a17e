#!/bin/sh
# Holds every #include of tavorc's sources to the layering that the build
# states: each subsystem folder's CMakeLists.txt declares its libraries with
# tavorc_library(NAME SOURCES ... USES ...). A header belongs to the library
# that builds the .cpp file of the same name. A file may include headers of
# its own library and of the libraries that its library names in USES (a
# library that includes a header names its library, even one it also reaches
# through another); the USES graph has no cycle; every source file of a subsystem folder belongs to
# one library (core/main.cpp is the program and may include everything).
# Prints each breach and exits non-zero when there is one.
cd "$(dirname "$0")/.."
folders="core browse network playback update"

for folder in $folders; do
  sed 's/#.*//' "$folder/CMakeLists.txt" | tr '\n' ' ' | awk -v folder="$folder" '
    { text = text $0 }
    END {
      while (match(text, /tavorc_library\([^)]*\)/)) {
        call = substr(text, RSTART + 15, RLENGTH - 16)
        text = substr(text, RSTART + RLENGTH)
        n = split(call, word, /[ \t]+/)
        name = ""; mode = ""
        for (i = 1; i <= n; i++) {
          if (word[i] == "") continue
          if (name == "") { name = word[i]; print "lib", name; continue }
          if (word[i] == "SOURCES" || word[i] == "USES") { mode = word[i]; continue }
          if (mode == "SOURCES") print "src", name, folder "/" word[i]
          if (mode == "USES" && word[i] ~ /^tavorc_/) print "use", name, word[i]
        }
      }
    }'
done >/tmp/tavorc-layers.$$

for folder in $folders; do
  for file in "$folder"/*.cpp "$folder"/*.h; do
    [ -e "$file" ] && echo "file $file"
    [ -e "$file" ] && grep -n '^#include "' "$file" | sed "s|^\([0-9]*\):#include \"\([^\"]*\)\".*|inc $file \1 \2|"
  done
done >>/tmp/tavorc-layers.$$

awk '
  $1 == "lib" { lib[$2] = 1 }
  $1 == "src" { owner[$3] = $2; h = $3; sub(/\.cpp$/, ".h", h); owner[h] = $2 }
  $1 == "use" { uses[$2] = uses[$2] " " $3 }
  $1 == "file" { files[++nfiles] = $2 }
  $1 == "inc" { incs[++nincs] = $2 " " $3 " " $4 }
  function reach(from, to,    n, i, next_) {
    n = split(uses[from], next_, " ")
    for (i = 1; i <= n; i++) {
      if (next_[i] == to) return 1
      if (!((from, next_[i]) in visiting)) { visiting[from, next_[i]] = 1; if (reach(next_[i], to)) return 1 }
    }
    return 0
  }
  function allowed(from, to) { return from == to || index(uses[from] " ", " " to " ") > 0 }
  END {
    bad = 0
    for (l in lib) {
      n = split(uses[l], u, " ")
      for (i = 1; i <= n; i++) {
        if (!(u[i] in lib) && u[i] != "tavorc_libs") { print l ": uses " u[i] ", which no folder declares"; bad = 1 }
      }
      if (allowed_cycle(l)) { print l ": its USES lead back to itself"; bad = 1 }
    }
    for (i = 1; i <= nfiles; i++) {
      f = files[i]
      if (f == "core/main.cpp") continue
      if (!(f in owner)) { print f ": belongs to no tavorc_library"; bad = 1 }
    }
    for (i = 1; i <= nincs; i++) {
      split(incs[i], part, " ")
      f = part[1]; header = part[3]
      if (f == "core/main.cpp" || !(f in owner)) continue
      if (!(header in owner)) { print f ":" part[2] ": includes " header ", which no tavorc_library builds"; bad = 1; continue }
      if (!allowed(owner[f], owner[header])) {
        print f ":" part[2] ": " owner[f] " includes " header " of " owner[header] ", which it does not use"; bad = 1
      }
    }
    exit bad
  }
  function allowed_cycle(l) { delete visiting; return reach(l, l) }
' /tmp/tavorc-layers.$$
status=$?
rm -f /tmp/tavorc-layers.$$
[ $status -eq 0 ] && echo "layers: every include follows the libraries' USES"
exit $status
