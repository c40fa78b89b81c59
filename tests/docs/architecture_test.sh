#!/usr/bin/env bash
# docs/architecture.md's table of targets kept true to the build. The source tree is configured
# (nothing is built) into a scratch directory with tests off, and CMake's --graphviz output of
# that configure gives every library and program the project defines, each with the targets,
# Qt modules and other libraries its target_link_libraries name. The table of the document's
# section "Targets and their links" must list exactly those targets, of the same kind, in the
# folder whose CMakeLists.txt makes them, with exactly those links: a target or a link the
# build has and the table lacks fails, and so does one the table names and the build lacks.
# An entry marked "(when found)" (an optional package) may be missing from the build.
#
# The test then checks itself: the table with one row deleted, and with one link added that
# the build lacks, must each fail.
#
#   architecture_test.sh SOURCE_DIR [CMAKE [GENERATOR [CXX_COMPILER]]]
set -euo pipefail
src=$(readlink -f "$1")
cmake=${2:-cmake}
generator=${3:-Ninja}
cxx=${4:-}
doc=$src/docs/architecture.md
tab=$'\t'
section="Targets and their links"

scratch=$(mktemp -d /tmp/vz-architecture.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$doc" ] || fail "$doc is missing"

# --- The build as CMake sees it ---

args=(-S "$src" -B "$scratch/build" -G "$generator" -DVZ_BUILD_TESTS=OFF
      "--graphviz=$scratch/graph/links.dot")
[ -n "$cxx" ] && args+=("-DCMAKE_CXX_COMPILER=$cxx")
mkdir -p "$scratch/graph"
"$cmake" "${args[@]}" >"$scratch/configure.log" 2>&1 ||
    { cat "$scratch/configure.log" >&2; fail "the source tree does not configure"; }

# Nodes: "node3" [ label = "vz_sim", shape = octagon ];   edges: "node2" -> "node3" ...
sed -n 's/^ *"\(node[0-9]*\)" \[ label = "\([^"]*\)", shape = \([a-z]*\) \];$/\1 \2 \3/p' \
    "$scratch/graph/links.dot" >"$scratch/nodes"
sed -n 's/^ *"\(node[0-9]*\)" -> "\(node[0-9]*\)".*$/\1 \2/p' "$scratch/graph/links.dot" >"$scratch/edges"

# The project's own targets are the nodes without a namespace (Qt6::Core is imported) that are
# no plain library name (util, shape septagon). A link to an executable is none: it is a tool
# the build runs (Qt6::moc, Qt6::rcc, Qt6::lrelease).
awk -v out_targets="$scratch/build-targets" -v out_links="$scratch/build-links" '
    function kind(shape) {
        if (shape == "egg") return "executable"
        if (shape == "octagon") return "static library"
        if (shape == "doubleoctagon") return "shared library"
        if (shape == "pentagon") return "interface library"
        if (shape == "hexagon") return "object library"
        return shape
    }
    FILENAME == ARGV[1] { name[$1] = $2; shape[$1] = $3; next }
    { from = $1; to = $2
      if (index(name[from], "::") || shape[from] == "septagon" || shape[to] == "egg") next
      print name[from] "\t" name[to] > out_links }
    END { for (n in name)
              if (!index(name[n], "::") && shape[n] != "septagon")
                  print name[n] "\t" kind(shape[n]) > out_targets }
' "$scratch/nodes" "$scratch/edges"
sort -u -o "$scratch/build-targets" "$scratch/build-targets"
sort -u -o "$scratch/build-links" "$scratch/build-links"
# A graph that lost its programs means the parse above no longer reads CMake's output.
for program in vezaro pregledi analyser-sim; do
    grep -q "^$program${tab}executable$" "$scratch/build-targets" ||
        fail "the configure's graph has no program $program: is CMake's --graphviz output read right?"
done

# --- The document's table ---

# Reads the table of the section into DIR/doc-targets (name, kind, folder, optional) and
# DIR/doc-links (from, to, optional). Columns: target | folder | kind | project targets |
# Qt modules (Core stands for Qt6::Core) | other libraries; "—" for none.
read_table() {
    local file=$1 dir=$2
    awk -v section="$section" -v out_targets="$dir/doc-targets" -v out_links="$dir/doc-links" '
        function trim(s) { gsub(/`/, "", s); gsub(/^[ \t]+|[ \t]+$/, "", s); return s }
        function optional(s) { return index(s, "(when found)") > 0 }
        function bare(s) { sub(/\(when found\)/, "", s); return trim(s) }
        function links(from, cell, qt,    n, items, i, item) {
            n = split(cell, items, ",")
            for (i = 1; i <= n; i++) {
                item = bare(items[i])
                if (item == "" || item == "—") continue
                if (qt && !index(item, "::")) item = "Qt6::" item
                print from "\t" item "\t" optional(items[i]) > out_links
            }
        }
        /^#/ { inside = ($0 == "## " section); next }
        !inside || !/^\| *`/ { next }
        { n = split($0, cells, "|")
          if (n != 8) { print "malformed row: " $0 > "/dev/stderr"; bad = 1; next }
          target = bare(cells[2])
          print target "\t" trim(cells[4]) "\t" trim(cells[3]) "\t" optional(cells[2]) > out_targets
          links(target, cells[5], 0); links(target, cells[6], 1); links(target, cells[7], 0) }
        END { exit bad }
    ' "$file"
    touch "$dir/doc-targets" "$dir/doc-links"
}

# Compares a document's table with the build; prints every difference, false when any.
check_table() {
    local file=$1 dir=$2 problems=0
    mkdir -p "$dir"
    rm -f "$dir/doc-targets" "$dir/doc-links"
    read_table "$file" "$dir" || problems=1
    [ -s "$dir/doc-targets" ] || { echo "no table rows in section \"$section\""; return 1; }

    local dup
    dup=$(cut -f1 "$dir/doc-targets" | sort | uniq -d)
    [ -z "$dup" ] || { echo "listed twice: $dup"; problems=1; }

    local name kind folder opt build_kind base
    while IFS=$'\t' read -r name build_kind; do
        grep -q "^$name${tab}" "$dir/doc-targets" || { echo "target $name ($build_kind) is not in the table"; problems=1; }
    done <"$scratch/build-targets"
    while IFS=$'\t' read -r name kind folder opt; do
        build_kind=$(awk -F'\t' -v n="$name" '$1 == n { print $2 }' "$scratch/build-targets")
        if [ -z "$build_kind" ]; then
            [ "$opt" = 1 ] || { echo "the table names target $name, which the build does not define"; problems=1; }
            continue
        fi
        [ "$kind" = "$build_kind" ] || { echo "$name: the build's kind is $build_kind, the table says $kind"; problems=1; }
        # Made in its folder: named there (a target made by a Qt function, X_resources_N,
        # by the target X it was made for).
        base=${name%_resources_[0-9]*}
        grep -Eq "(add_library|add_executable|qt_add_translations|qt_add_resources)\($base([ )]|\$)" \
            "$src/$folder/CMakeLists.txt" 2>/dev/null ||
            { echo "$name is not made in $folder/CMakeLists.txt"; problems=1; }
    done <"$dir/doc-targets"

    local from to
    while IFS=$'\t' read -r from to; do
        grep -q "^$from${tab}$to${tab}" "$dir/doc-links" || { echo "link $from -> $to is not in the table"; problems=1; }
    done <"$scratch/build-links"
    while IFS=$'\t' read -r from to opt; do
        grep -qx "$from${tab}$to" "$scratch/build-links" && continue
        [ "$opt" = 1 ] || { echo "the table names link $from -> $to, which the build does not have"; problems=1; }
    done <"$dir/doc-links"
    return $problems
}

check_table "$doc" "$scratch/doc" >"$scratch/findings" ||
    { cat "$scratch/findings" >&2; fail "docs/architecture.md does not match the build (above)"; }
echo "docs/architecture.md lists the $(wc -l <"$scratch/build-targets") targets and $(wc -l <"$scratch/build-links") links of the build"

# --- The check checks: a table that lost a row, or names a link too many, fails ---

first_row=$(awk -v section="$section" '/^#/ { inside = ($0 == "## " section); next }
                                      inside && /^\| *`/ { print NR; exit }' "$doc")
sed "${first_row}d" "$doc" >"$scratch/row-deleted.md"
! check_table "$scratch/row-deleted.md" "$scratch/mutated1" >/dev/null ||
    fail "a table with its first row deleted passed the check"
# vz_version links nothing; naming Qt6::Sql for it is a link the build lacks.
awk -v section="$section" '/^#/ { inside = ($0 == "## " section) }
    inside && /^\| *`vz_version`/ { n = split($0, c, "|"); c[6] = " Sql "; line = c[1]
                                    for (i = 2; i <= n; i++) line = line "|" c[i]; $0 = line }
    { print }' "$doc" >"$scratch/link-added.md"
! check_table "$scratch/link-added.md" "$scratch/mutated2" >/dev/null ||
    fail "a table naming a link the build lacks passed the check"
echo "and a table with a row deleted or a link added fails"
