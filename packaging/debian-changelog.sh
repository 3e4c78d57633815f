#!/bin/sh
# Writes CHANGELOG.md's releases as a Debian changelog (the format of
# /usr/share/doc/PACKAGE/changelog.gz) on standard output.
#
#   packaging/debian-changelog.sh CHANGELOG.md "Name <address>" [PACKAGE]
#
# Every heading "## VERSION (YYYY-MM-DD)" starts an entry; the text up to the
# next such heading becomes its lines: list items "- " become "  * ", nested
# items "  - " become "    - ", other paragraphs stay as text, all re-wrapped
# to 78 columns. Headings of other forms (the version policy) are left out.
set -eu
changelog=$1
maintainer=$2
package=${3:-vardo}

# The entries, each closed by a line "@@DATE YYYY-MM-DD"; the dates are
# turned into RFC 5322 ones below, outside awk.
awk -v package="$package" '
  function flush(   words, n, i, line, width, first, rest, started) {
    if (text == "") return
    if (kind == "item") { first = "  * "; rest = "    " }
    else if (kind == "sub") { first = "    - "; rest = "      " }
    else if (kind == "more") { first = "    "; rest = "    " }
    else { first = "  "; rest = "  " }
    n = split(text, words, " ")
    line = first
    width = length(first)
    started = 0
    for (i = 1; i <= n; i++) {
      if (started && width + 1 + length(words[i]) > 78) {
        print line
        line = rest
        width = length(rest)
        started = 0
      }
      if (started) { line = line " "; width++ }
      line = line words[i]
      width += length(words[i])
      started = 1
    }
    print line
    text = ""
  }
  function close_entry() {
    flush()
    if (date != "") print "\n@@DATE " date "\n"
    date = ""
  }
  /^## [0-9]+\.[0-9]+\.[0-9]+ \([0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]\)$/ {
    close_entry()
    version = $2
    date = substr($3, 2, 10)
    printf "%s (%s) unstable; urgency=medium\n\n", package, version
    inside = 1
    next
  }
  /^#/ { close_entry(); inside = 0; next }
  !inside { next }
  /^[ \t]*$/ { flush(); next }
  /^- / { flush(); kind = "item"; text = substr($0, 3); next }
  /^  - / { flush(); kind = "sub"; text = substr($0, 5); next }
  {
    line = $0
    sub(/^[ \t]+/, "", line)
    if (text == "") kind = ($0 ~ /^[ \t]/) ? "more" : "text"
    text = (text == "") ? line : text " " line
  }
  END { close_entry() }
' "$changelog" | while IFS= read -r line; do
  case $line in
    "@@DATE "*)
      day=${line#@@DATE }
      printf ' -- %s  %s\n' "$maintainer" "$(LC_ALL=C date -u -R -d "$day 00:00:00")" ;;
    *) printf '%s\n' "$line" ;;
  esac
done
