# Sourced by the measuring scripts in tools/: a home of its own for
# "lumivane /S" and the virtual X server they run on.

# Runs the calling script again, once, on an X server of its own (xvfb-run)
# with a screen of the given size.
#   on_own_x WxH "$0" "$@"
on_own_x() {
  if [[ -z "${LUMIVANE_TOOL_ON_XVFB:-}" ]]; then
    export LUMIVANE_TOOL_ON_XVFB=1
    exec xvfb-run -a -s "-screen 0 ${1}x24 -nolisten tcp" bash "${@:2}"
  fi
}

# One sequence of a custom slideshow: the picture at the display position,
# for the given seconds, no effect, no caption, no sound; a background
# picture with its placement when given.
#   show_sequence picture position seconds [background placement]
show_sequence() {
  printf '"%s",%d,1,0,1\r\n' "$1" "$2"
  printf '%d,"","",7,1\r\n' "$3"
  printf '0,1,"Arial",16\r\n'
  printf '0,0,0,1\r\n'
  printf '16777215,0,"",0\r\n'
  printf '"%s",%d,1\r\n' "${4:-}" "${5:-0}"
  printf '0,1\r\n'
  printf '0\r\n'
  printf '" "'; for _ in 1 2 3 4 5 6 7 8 9; do printf '," "'; done; printf '\r\n'
}

# The screen saver's home: settings that make the custom slideshow NAME the
# active one (with the extra setting lines given), and NAME.lmv with the
# sequences read from standard input (show_sequence's lines, COUNT of them).
#   show_home home name count 'key=value\n...' < sequences
show_home() {
  local home=$1 name=$2 count=$3 extra=${4:-} data="$1/data/lumivane/Lumivane Data"
  mkdir -p "$data" "$home/config" "$home/run"
  chmod 700 "$home/run"
  printf "[Config]\nactive_slideshow=%s.lmv\nscreen_saver_type=0\nset_extension=yes\n${extra}" "$name" \
    > "$home/config/Tavrel Lumivane.ini"
  {
    printf '"Lumivane","6.0.11","Custom"'; for _ in 1 2 3 4 5 6 7 8 9; do printf '," "'; done; printf '\r\n'
    printf '"%s"\r\n' "$name"
    printf '1,0,0,0,1,0,0,0,1,0,0\r\n'
    printf '%d\r\n' "$count"
    cat
    printf '0\r\n'
    printf '0\r\n'
  } > "$data/$name.lmv"
}

