#!/usr/bin/env bash
# How soon "lumivane /S" shows its first picture, against feh showing the same
# picture on the same virtual screen, in three cases:
#   fit      a 24-megapixel JPEG fitted to the screen ("Center Full Screen
#            100%") against `feh -F`;
#   own      the same JPEG at its own size, centred ("Middle Justify
#            Middle"), against `feh -F --zoom 100`;
#   own_png  a 50-megapixel PNG at its own size, centred, against
#            `feh -F --zoom 100`.
#
#   bash tools/first_picture.sh [build-folder] [runs] [cases...]
#
# Runs on its own X server (xvfb-run). Each run starts the program and polls
# the screen every 10 ms until it shows the picture as expected (compared
# block by block, so that the two programs' scaling filters may differ); the
# time counts from the program's start. The runs of the two programs
# alternate, pair by pair, so that both see the same load. Prints the median
# and spread of each and the ratio of the medians. Needs feh, xvfb-run,
# GraphicsMagick (gm) and a C compiler with the X11 headers. Not part of the
# tests: run it by hand. SIZE=WxH sets the screen (default 1920x1080).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-5}
shift $(( $# < 2 ? $# : 2 ))
cases=("$@")
[[ ${#cases[@]} -gt 0 ]] || cases=(fit own own_png)
size=${SIZE:-1920x1080}

source "$root/tools/show_home.sh"
on_own_x "$size" "$0" "$build" "$runs" "${cases[@]}"

bin="$build/app/lumivane"
[[ -x "$bin" ]] || { echo "no lumivane in $build/app" >&2; exit 1; }
command -v feh >/dev/null || { echo "feh is not installed (apt-get install feh)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The probe: starts a command, polls the screen, prints the milliseconds from
# the start until the screen matches the expected picture (-1: never).
cat > "$work/probe.c" <<'EOF'
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

enum { block = 16 };

static double now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

static unsigned char* read_ppm(const char* path, int* w, int* h) {
    FILE* f = fopen(path, "rb");
    if (!f) return NULL;
    int maxval = 0;
    if (fscanf(f, "P6 %d %d %d", w, h, &maxval) != 3 || maxval != 255) { fclose(f); return NULL; }
    fgetc(f);
    size_t n = (size_t)*w * *h * 3;
    unsigned char* p = malloc(n);
    if (fread(p, 1, n, f) != n) { free(p); p = NULL; }
    fclose(f);
    return p;
}

/* Mean colour of every block x block square, sampling every other pixel. */
static void block_means(int w, int h, int bw, int bh, int* out,
                        void (*pixel)(void*, int, int, int*), void* ctx) {
    for (int by = 0; by < bh; ++by)
        for (int bx = 0; bx < bw; ++bx) {
            int sum[3] = {0, 0, 0}, n = 0, c[3];
            for (int y = by * block; y < (by + 1) * block && y < h; y += 2)
                for (int x = bx * block; x < (bx + 1) * block && x < w; x += 2) {
                    pixel(ctx, x, y, c);
                    sum[0] += c[0]; sum[1] += c[1]; sum[2] += c[2]; ++n;
                }
            for (int k = 0; k < 3; ++k) out[(by * bw + bx) * 3 + k] = n ? sum[k] / n : 0;
        }
}

static int ppm_w;
static void ppm_pixel(void* ctx, int x, int y, int* c) {
    const unsigned char* p = (const unsigned char*)ctx + ((size_t)y * ppm_w + x) * 3;
    c[0] = p[0]; c[1] = p[1]; c[2] = p[2];
}
static void x_pixel(void* ctx, int x, int y, int* c) {
    XImage* img = ctx;
    unsigned long v = XGetPixel(img, x, y);
    c[0] = (v >> 16) & 255; c[1] = (v >> 8) & 255; c[2] = v & 255;
}

int main(int argc, char** argv) {
    if (argc < 5) { fprintf(stderr, "usage: probe expected.ppm timeout_ms cmd args...\n"); return 2; }
    int w, h;
    unsigned char* expected = read_ppm(argv[1], &w, &h);
    if (!expected) { fprintf(stderr, "cannot read %s\n", argv[1]); return 2; }
    ppm_w = w;
    const int bw = w / block, bh = h / block;
    int* want = malloc(sizeof(int) * 3 * bw * bh);
    int* got = malloc(sizeof(int) * 3 * bw * bh);
    block_means(w, h, bw, bh, want, ppm_pixel, expected);
    Display* dpy = XOpenDisplay(NULL);
    if (!dpy) { fprintf(stderr, "no display\n"); return 2; }
    const Window root = DefaultRootWindow(dpy);
    const double timeout = atof(argv[2]);

    const double start = now_ms();
    pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[3], argv + 3);
        _exit(127);
    }
    double found = -1;
    while (now_ms() - start < timeout) {
        XImage* img = XGetImage(dpy, root, 0, 0, w, h, AllPlanes, ZPixmap);
        const double shot = now_ms();
        if (img) {
            block_means(w, h, bw, bh, got, x_pixel, img);
            XDestroyImage(img);
            int match = 0;
            for (int i = 0; i < bw * bh; ++i) {
                int ok = 1;
                for (int k = 0; k < 3; ++k) ok &= abs(got[i * 3 + k] - want[i * 3 + k]) <= 24;
                match += ok;
            }
            if (match >= bw * bh * 97 / 100) {
                found = shot - start;
                break;
            }
        }
        const double next = shot + 10 - now_ms();
        if (next > 0) usleep((useconds_t)(next * 1000));
    }
    printf("%.0f\n", found);
    fflush(stdout);
    kill(pid, SIGTERM);
    for (int i = 0; i < 100 && waitpid(pid, NULL, WNOHANG) == 0; ++i) usleep(20000);
    if (waitpid(pid, NULL, WNOHANG) == 0) { kill(pid, SIGKILL); waitpid(pid, NULL, 0); }
    return found < 0;
}
EOF
cc -O2 -o "$work/probe" "$work/probe.c" -lX11

# A 24-megapixel photo-like JPEG, and for own_png a 50-megapixel PNG made
# from it, with the screens they should give: fitted, or their middle at
# their own size, on black.
echo "making a 6000x4000 JPEG ..." >&2
gm convert -size 6000x4000 plasma:fractal -quality 90 "$work/photo.jpg"
gm convert "$work/photo.jpg" -resize "$size" -background black -gravity center -extent "$size" "$work/fit.ppm"
gm convert "$work/photo.jpg" -gravity center -crop "$size+0+0" +repage "$work/own.ppm"
if [[ " ${cases[*]} " == *" own_png "* ]]; then
  echo "making an 8660x5774 PNG ..." >&2
  gm convert "$work/photo.jpg" -resize '8660x5774!' "$work/big.png"
  gm convert "$work/big.png" -gravity center -crop "$size+0+0" +repage "$work/own_png.ppm"
fi

# The screen saver's home for each case: its settings and a one-picture
# custom slideshow at the given display position (no effect, no caption, no
# sound, no background).
make_home() {   # case picture position
  show_sequence "$2" "$3" 60 | show_home "$work/home-$1" First 1 'logging=0\n'
}
make_home fit "$work/photo.jpg" 0
make_home own "$work/photo.jpg" 8
make_home own_png "$work/big.png" 8

run_lumivane() {   # case
  local home="$work/home-$1"
  XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run" \
    "$work/probe" "$work/$1.ppm" 30000 "$bin" /S
}
run_feh() {   # case
  local picture="$work/photo.jpg" zoom=(--auto-zoom)
  [[ $1 == own_png ]] && picture="$work/big.png"
  [[ $1 != fit ]] && zoom=(--zoom 100)
  "$work/probe" "$work/$1.ppm" 30000 feh --fullscreen "${zoom[@]}" --image-bg black --hide-pointer "$picture"
}

median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
spread() { sort -n | awk 'NR == 1 {lo = $1} {hi = $1} END {print lo "-" hi}'; }

for c in "${cases[@]}"; do
  # One unmeasured run of each, so that both start from a warm file cache.
  run_feh "$c" >/dev/null || true
  run_lumivane "$c" >/dev/null || true
  feh_times=() lv_times=()
  for ((i = 1; i <= runs; ++i)); do
    f=$(run_feh "$c") || true
    l=$(run_lumivane "$c") || true
    feh_times+=("$f") lv_times+=("$l")
    echo "$c run $i: feh $f ms, lumivane /S $l ms" >&2
  done
  feh_med=$(printf '%s\n' "${feh_times[@]}" | median)
  lv_med=$(printf '%s\n' "${lv_times[@]}" | median)
  echo "$c: screen $size, median of $runs (spread): feh $feh_med ms ($(printf '%s\n' "${feh_times[@]}" | spread))," \
       "lumivane /S $lv_med ms ($(printf '%s\n' "${lv_times[@]}" | spread))," \
       "ratio $(awk -v a="$lv_med" -v b="$feh_med" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}')x"
done
