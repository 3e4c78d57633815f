#!/bin/sh
# The renderer's whole help, as help2man reads it: the program's --help, then
# each subcommand's --help in the order the program lists them. The build
# tree's plug-in path in the defaults becomes @VARDO_PLUGIN@, which
# installation replaces with the installed plug-in's path.
# usage: vardo_help.sh <vardo executable> --help
exe=$1
if [ "$2" != "--help" ]; then
  echo "usage: vardo_help.sh <vardo> --help" >&2
  exit 2
fi
main=$("$exe" --help) || exit 1
{
  printf '%s\n' "$main"
  printf '%s\n' "$main" | awk '/^Subcommands:/ { on = 1; next } on && /^  [a-z]/ { print $1 }' |
    while read -r sub; do
      echo
      # The subcommand's description and usage become its section's opening.
      "$exe" "$sub" --help | awk -v name="$sub" '
        NR == 1 { description = $0; next }
        /^Usage: / { sub(/^Usage: /, ""); print "Command " name ":"; print "  " $0; print "      " description; next }
        /^Options:/ { print "Options of " name ":"; next }
        /^Positionals:/ { print "Arguments of " name ":"; next }
        { print }'

    done
} | sed 's#[^ =]*/plugin/vardo\.so#@VARDO_PLUGIN@#g'
