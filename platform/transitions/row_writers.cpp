// The row writers every transition paints its frames with: copies, selects
// and masked writes of rows of pixels in the widest vectors the processor
// has, the RowComposer that plans a row as runs of those writes, and the
// RowScaler that zooms, squashes and pulls rows.
#include "platform/transitions/transition_kit.h"

#include <algorithm>
#include <bit>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace lv {
namespace tx {

namespace {

int vector_bits_limit = 512;

#if defined(__x86_64__) || defined(__i386__)
bool cpu_has_ssse3() {
    static const bool has = __builtin_cpu_supports("ssse3");
    return has && vector_bits_limit >= 128;
}
bool cpu_has_avx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has && vector_bits_limit >= 256;
}
bool cpu_has_avx512() {
    static const bool has = __builtin_cpu_supports("avx512f");
    return has && vector_bits_limit >= 512;
}
#else
bool cpu_has_ssse3() { return false; }
bool cpu_has_avx2() { return false; }
bool cpu_has_avx512() { return false; }
#endif

}  // namespace

void limit_vector_bits(int bits) { vector_bits_limit = bits; }

// The output writers. Each comes as a 256-bit version for processors that
// have it and a 128-bit one (SSE2, always there on x86-64), each with plain
// or streaming stores; a plain loop elsewhere. All give the same pixels.
namespace {

// The plain loops of put_crossed and put_changed, from pixel i on.
inline void crossed_plain(px* d, const px* a, const px* b, const std::int32_t* key, const std::int32_t* was,
                          std::int32_t level, int i, int n) {
    for (; i < n; ++i)
        if ((key[i] > level) != (was[i] > level)) d[i] = key[i] > level ? a[i] : b[i];
}
inline void changed_plain(px* d, const px* a, const px* b, const px* now, const px* changed, int i, int n) {
    for (; i < n; ++i)
        if (changed[i]) d[i] = now[i] ? a[i] : b[i];
}

#if defined(__SSE2__)
template <bool Stream>
inline void put_px(px* d, px v) {
    if constexpr (Stream)
        _mm_stream_si32(reinterpret_cast<int*>(d), int(v));
    else
        *d = v;
}
template <bool Stream>
inline void put4(px* d, __m128i v) {
    if constexpr (Stream)
        _mm_stream_si128(reinterpret_cast<__m128i*>(d), v);
    else
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), v);
}
inline __m128i load4(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline __m128i pick4(__m128i m, __m128i a, __m128i b) { return _mm_or_si128(_mm_and_si128(m, a), _mm_andnot_si128(m, b)); }

// Streaming stores want an aligned address: the pixels before it are
// written one by one (the 256-bit writers then take one 128-bit step).
template <bool Stream>
inline int head(const px* d, int n, int align) {
    if constexpr (!Stream) return 0;
    const int off = int((reinterpret_cast<std::uintptr_t>(d) & std::uintptr_t(align - 1)) / sizeof(px));
    return off ? std::min(n, (align / int(sizeof(px)) - off)) : 0;
}

template <bool Stream>
void copy_128(px* d, const px* s, int n) {
    int i = head<Stream>(d, n, 16);
    for (int k = 0; k < i; ++k) put_px<Stream>(d + k, s[k]);
    for (; i + 16 <= n; i += 16) {
        const __m128i a = load4(s + i), b = load4(s + i + 4), c = load4(s + i + 8), e = load4(s + i + 12);
        put4<Stream>(d + i, a);
        put4<Stream>(d + i + 4, b);
        put4<Stream>(d + i + 8, c);
        put4<Stream>(d + i + 12, e);
    }
    for (; i + 4 <= n; i += 4) put4<Stream>(d + i, load4(s + i));
    for (; i < n; ++i) put_px<Stream>(d + i, s[i]);
}

template <bool Stream>
void select_128(px* d, const px* a, const px* b, const px* m, int n) {
    int i = head<Stream>(d, n, 16);
    for (int k = 0; k < i; ++k) put_px<Stream>(d + k, (a[k] & m[k]) | (b[k] & ~m[k]));
    for (; i + 8 <= n; i += 8) {
        const __m128i r0 = pick4(load4(m + i), load4(a + i), load4(b + i));
        const __m128i r1 = pick4(load4(m + i + 4), load4(a + i + 4), load4(b + i + 4));
        put4<Stream>(d + i, r0);
        put4<Stream>(d + i + 4, r1);
    }
    for (; i + 4 <= n; i += 4) put4<Stream>(d + i, pick4(load4(m + i), load4(a + i), load4(b + i)));
    for (; i < n; ++i) put_px<Stream>(d + i, (a[i] & m[i]) | (b[i] & ~m[i]));
}

template <bool Stream>
void above_128(px* d, const px* a, const px* b, const std::int32_t* key, std::int32_t level, int n) {
    int i = head<Stream>(d, n, 16);
    for (int k = 0; k < i; ++k) put_px<Stream>(d + k, key[k] > level ? a[k] : b[k]);
    const __m128i lv = _mm_set1_epi32(level);
    for (; i + 4 <= n; i += 4)
        put4<Stream>(d + i, pick4(_mm_cmpgt_epi32(load4(key + i), lv), load4(a + i), load4(b + i)));
    for (; i < n; ++i) put_px<Stream>(d + i, key[i] > level ? a[i] : b[i]);
}

// Writes the changed pixels of four: now ? a : b.
inline void store_changed4(px* d, const px* a, const px* b, __m128i now, __m128i changed) {
    if (_mm_movemask_epi8(changed) == 0) return;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), pick4(changed, pick4(now, load4(a), load4(b)), load4(d)));
}

void crossed_128(px* d, const px* a, const px* b, const std::int32_t* key, const std::int32_t* was, std::int32_t level,
                 int n) {
    const __m128i lv = _mm_set1_epi32(level);
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i now = _mm_cmpgt_epi32(load4(key + i), lv);
        store_changed4(d + i, a + i, b + i, now, _mm_xor_si128(now, _mm_cmpgt_epi32(load4(was + i), lv)));
    }
    crossed_plain(d, a, b, key, was, level, i, n);
}

void changed_128(px* d, const px* a, const px* b, const px* now, const px* changed, int n) {
    int i = 0;
    for (; i + 4 <= n; i += 4) store_changed4(d + i, a + i, b + i, load4(now + i), load4(changed + i));
    changed_plain(d, a, b, now, changed, i, n);
}
#endif

#if defined(__x86_64__) || defined(__i386__)
template <bool Stream>
__attribute__((target("avx2"))) inline void put8(px* d, __m256i v) {
    if constexpr (Stream)
        _mm256_stream_si256(reinterpret_cast<__m256i*>(d), v);
    else
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), v);
}
__attribute__((target("avx2"))) inline __m256i load8(const void* p) {
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}
__attribute__((target("avx2"))) inline __m256i pick8(__m256i m, __m256i a, __m256i b) {
    return _mm256_or_si256(_mm256_and_si256(m, a), _mm256_andnot_si256(m, b));
}

template <bool Stream>
__attribute__((target("avx2"))) void copy_256(px* d, const px* s, int n) {
    int i = head<Stream>(d, n, 16);
    for (int k = 0; k < i; ++k) put_px<Stream>(d + k, s[k]);
    if (Stream && i + 4 <= n && (reinterpret_cast<std::uintptr_t>(d + i) & 31)) {
        put4<Stream>(d + i, load4(s + i));
        i += 4;
    }
    for (; i + 32 <= n; i += 32) {
        const __m256i a = load8(s + i), b = load8(s + i + 8), c = load8(s + i + 16), e = load8(s + i + 24);
        put8<Stream>(d + i, a);
        put8<Stream>(d + i + 8, b);
        put8<Stream>(d + i + 16, c);
        put8<Stream>(d + i + 24, e);
    }
    for (; i + 8 <= n; i += 8) put8<Stream>(d + i, load8(s + i));
    for (; i < n; ++i) put_px<Stream>(d + i, s[i]);
}

template <bool Stream>
__attribute__((target("avx2"))) void select_256(px* d, const px* a, const px* b, const px* m, int n) {
    int i = head<Stream>(d, n, 16);
    for (int k = 0; k < i; ++k) put_px<Stream>(d + k, (a[k] & m[k]) | (b[k] & ~m[k]));
    if (Stream && i + 4 <= n && (reinterpret_cast<std::uintptr_t>(d + i) & 31)) {
        put4<Stream>(d + i, pick4(load4(m + i), load4(a + i), load4(b + i)));
        i += 4;
    }
    for (; i + 16 <= n; i += 16) {
        const __m256i r0 = pick8(load8(m + i), load8(a + i), load8(b + i));
        const __m256i r1 = pick8(load8(m + i + 8), load8(a + i + 8), load8(b + i + 8));
        put8<Stream>(d + i, r0);
        put8<Stream>(d + i + 8, r1);
    }
    for (; i + 8 <= n; i += 8) put8<Stream>(d + i, pick8(load8(m + i), load8(a + i), load8(b + i)));
    for (; i < n; ++i) put_px<Stream>(d + i, (a[i] & m[i]) | (b[i] & ~m[i]));
}

template <bool Stream>
__attribute__((target("avx2"))) void above_256(px* d, const px* a, const px* b, const std::int32_t* key,
                                               std::int32_t level, int n) {
    int i = head<Stream>(d, n, 16);
    for (int k = 0; k < i; ++k) put_px<Stream>(d + k, key[k] > level ? a[k] : b[k]);
    if (Stream && i + 4 <= n && (reinterpret_cast<std::uintptr_t>(d + i) & 31)) {
        put4<Stream>(d + i, pick4(_mm_cmpgt_epi32(load4(key + i), _mm_set1_epi32(level)), load4(a + i), load4(b + i)));
        i += 4;
    }
    const __m256i lv = _mm256_set1_epi32(level);
    for (; i + 8 <= n; i += 8)
        put8<Stream>(d + i, pick8(_mm256_cmpgt_epi32(load8(key + i), lv), load8(a + i), load8(b + i)));
    for (; i < n; ++i) put_px<Stream>(d + i, key[i] > level ? a[i] : b[i]);
}

// Writes the changed pixels of eight: now ? a : b. Only the faces they now
// show are read: mostly one. The others are written back as they were: a
// masked store of eight costs several plain ones on some processors.
__attribute__((target("avx2"))) inline void store_changed8(px* d, const px* a, const px* b, __m256i now,
                                                           __m256i changed) {
    if (_mm256_testz_si256(changed, changed)) return;
    const __m256i v = _mm256_testc_si256(now, changed)   ? load8(a)
                      : _mm256_testz_si256(now, changed) ? load8(b)
                                                         : pick8(now, load8(a), load8(b));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), pick8(changed, v, load8(d)));
}

__attribute__((target("avx2"))) void crossed_256(px* d, const px* a, const px* b, const std::int32_t* key,
                                                 const std::int32_t* was, std::int32_t level, int n) {
    const __m256i lv = _mm256_set1_epi32(level);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i now = _mm256_cmpgt_epi32(load8(key + i), lv);
        store_changed8(d + i, a + i, b + i, now, _mm256_xor_si256(now, _mm256_cmpgt_epi32(load8(was + i), lv)));
    }
    crossed_plain(d, a, b, key, was, level, i, n);
}

__attribute__((target("avx2"))) void changed_256(px* d, const px* a, const px* b, const px* now, const px* changed,
                                                 int n) {
    int i = 0;
    for (; i + 8 <= n; i += 8) store_changed8(d + i, a + i, b + i, load8(now + i), load8(changed + i));
    changed_plain(d, a, b, now, changed, i, n);
}

// Sixteen pixels at a time, in blocks that keep to the cache lines of d (a
// masked store across two costs far more than one): with the masks in mask
// registers, masked loads and stores cost what plain ones do, and the ends
// of a run need no loops of their own. The pixels of the block from i.
// put_changed keeps the 256-bit loop: its runs are long with few pixels
// changed, and there this one measured slower.
__attribute__((target("avx512f"))) inline __mmask16 block_at(const px* d, int i, int n) {
    const int lead = i == 0 ? int(16 - (reinterpret_cast<std::uintptr_t>(d) / sizeof(px)) % 16) : 16;
    const int count = std::min(lead, n - i);
    return count >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << count) - 1);
}
__attribute__((target("avx512f"))) inline void store_changed16(px* d, const px* a, const px* b, __mmask16 now,
                                                             __mmask16 changed) {
    if (!changed) return;
    const __mmask16 to_new = now & changed, to_old = changed & ~now;
    __m512i v = _mm512_setzero_si512();
    if (to_old) v = _mm512_maskz_loadu_epi32(to_old, b);
    if (to_new) v = _mm512_mask_loadu_epi32(v, to_new, a);
    _mm512_mask_storeu_epi32(d, changed, v);
}

__attribute__((target("avx512f"))) void crossed_512(px* d, const px* a, const px* b, const std::int32_t* key,
                                                   const std::int32_t* was, std::int32_t level, int n) {
    const __m512i lv = _mm512_set1_epi32(level);
    for (int i = 0, step; i < n; i += step) {
        const __mmask16 in = block_at(d, i, n);
        step = std::popcount(unsigned(in));
        const __mmask16 now = _mm512_mask_cmpgt_epi32_mask(in, _mm512_maskz_loadu_epi32(in, key + i), lv);
        const __mmask16 then = _mm512_mask_cmpgt_epi32_mask(in, _mm512_maskz_loadu_epi32(in, was + i), lv);
        store_changed16(d + i, a + i, b + i, now, __mmask16(now ^ then));
    }
}

#endif

}  // namespace

void put_copy(px* d, const px* s, int n, bool stream) {
    if (n <= 0) return;
#if defined(__x86_64__) || defined(__i386__)
    if (cpu_has_avx2()) return stream ? copy_256<true>(d, s, n) : copy_256<false>(d, s, n);
#endif
#if defined(__SSE2__)
    return stream ? copy_128<true>(d, s, n) : copy_128<false>(d, s, n);
#else
    (void)stream;
    for (int i = 0; i < n; ++i) d[i] = s[i];
#endif
}

void put_select(px* d, const px* a, const px* b, const px* m, int n, bool stream) {
    if (n <= 0) return;
#if defined(__x86_64__) || defined(__i386__)
    if (cpu_has_avx2()) return stream ? select_256<true>(d, a, b, m, n) : select_256<false>(d, a, b, m, n);
#endif
#if defined(__SSE2__)
    return stream ? select_128<true>(d, a, b, m, n) : select_128<false>(d, a, b, m, n);
#else
    (void)stream;
    for (int i = 0; i < n; ++i) d[i] = (a[i] & m[i]) | (b[i] & ~m[i]);
#endif
}

void put_above(px* d, const px* a, const px* b, const std::int32_t* key, std::int32_t level, int n, bool stream) {
    if (n <= 0) return;
#if defined(__x86_64__) || defined(__i386__)
    if (cpu_has_avx2())
        return stream ? above_256<true>(d, a, b, key, level, n) : above_256<false>(d, a, b, key, level, n);
#endif
#if defined(__SSE2__)
    return stream ? above_128<true>(d, a, b, key, level, n) : above_128<false>(d, a, b, key, level, n);
#else
    (void)stream;
    for (int i = 0; i < n; ++i) d[i] = key[i] > level ? a[i] : b[i];
#endif
}

void put_crossed(px* d, const px* a, const px* b, const std::int32_t* key, const std::int32_t* was, std::int32_t level,
                 int n) {
    if (n <= 0) return;
#if defined(__x86_64__) || defined(__i386__)
    if (cpu_has_avx512()) return crossed_512(d, a, b, key, was, level, n);
    if (cpu_has_avx2()) return crossed_256(d, a, b, key, was, level, n);
#endif
#if defined(__SSE2__)
    crossed_128(d, a, b, key, was, level, n);
#else
    crossed_plain(d, a, b, key, was, level, 0, n);
#endif
}

void put_changed(px* d, const px* a, const px* b, const px* now, const px* changed, int n) {
    if (n <= 0) return;
#if defined(__x86_64__) || defined(__i386__)
    if (cpu_has_avx2()) return changed_256(d, a, b, now, changed, n);
#endif
#if defined(__SSE2__)
    changed_128(d, a, b, now, changed, n);
#else
    changed_plain(d, a, b, now, changed, 0, n);
#endif
}

void gather_row(px* __restrict d, const px* __restrict s, const int* __restrict xmap, int n) {
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const px a = s[xmap[i]], b = s[xmap[i + 1]], c = s[xmap[i + 2]], e = s[xmap[i + 3]];
        d[i] = a;
        d[i + 1] = b;
        d[i + 2] = c;
        d[i + 3] = e;
    }
    for (; i < n; ++i) d[i] = s[xmap[i]];
}

void shade_row(px* d, int n) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i alpha = _mm_set1_epi32(int(0xFF000000u));
    const __m128i half = _mm_set1_epi32(0x007F7F7F), quarter = _mm_set1_epi32(0x003F3F3F);
    for (; i + 4 <= n; i += 4) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        const __m128i r = _mm_or_si128(_mm_and_si128(c, alpha),
                                       _mm_add_epi32(_mm_and_si128(_mm_srli_epi32(c, 1), half),
                                                     _mm_and_si128(_mm_srli_epi32(c, 2), quarter)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), r);
    }
#endif
    for (; i < n; ++i) {
        const px c = d[i];
        d[i] = (c & 0xFF000000u) | (((c >> 1) & 0x007F7F7Fu) + ((c >> 2) & 0x003F3F3Fu));
    }
}

#if defined(__x86_64__) || defined(__i386__)
namespace {

// For each byte value, how many bits it has set, and the byte shuffle that
// packs the 16-bit lanes of its set bits to the front.
struct PackTable {
    alignas(16) std::uint8_t shuffle[256][16];
    std::uint8_t count[256];
    PackTable() {
        for (int m = 0; m < 256; ++m) {
            int n = 0;
            for (int j = 0; j < 8; ++j)
                if (m >> j & 1) {
                    shuffle[m][2 * n] = std::uint8_t(2 * j);
                    shuffle[m][2 * n + 1] = std::uint8_t(2 * j + 1);
                    ++n;
                }
            for (int k = 2 * n; k < 16; ++k) shuffle[m][k] = 0x80;
            count[m] = std::uint8_t(n);
        }
    }
};
const PackTable pack_table;

// Eight lanes at a time, without a branch on how many bits are set.
__attribute__((target("ssse3"))) int set_bits_ssse3(std::uint16_t* out, const std::uint16_t* masks, int groups) {
    const __m128i eight = _mm_set1_epi16(8);
    __m128i lanes = _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7);
    int n = 0;
    for (int g = 0; g < groups; ++g) {
        for (const unsigned half : {masks[g] & 0xFFu, unsigned(masks[g]) >> 8}) {
            const __m128i shuffle = _mm_load_si128(reinterpret_cast<const __m128i*>(pack_table.shuffle[half]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), _mm_shuffle_epi8(lanes, shuffle));
            n += pack_table.count[half];
            lanes = _mm_add_epi16(lanes, eight);
        }
    }
    return n;
}

}  // namespace
#endif

int set_bits(std::uint16_t* out, const std::uint16_t* masks, int groups) {
#if defined(__x86_64__) || defined(__i386__)
    if (cpu_has_ssse3()) return set_bits_ssse3(out, masks, groups);
#endif
    int n = 0;
    for (int g = 0; g < groups; ++g)
        for (unsigned m = masks[g]; m; m &= m - 1) out[n++] = std::uint16_t(16 * g + __builtin_ctz(m));
    return n;
}

void store_row(const Surface& s, int y, const px* row) { put_copy(s.out_row(y), row, s.w, s.stream); }

#if defined(__x86_64__) || defined(__i386__)
namespace {

// cell_mask's sixteen cells at a time for cells one or two pixels wide (the
// finest sparkles and swirls, whose masks cost about as much as their
// pixels), widening each cell's byte straight to its pixels. Returns the
// cells done.
__attribute__((target("avx2"))) int fine_cell_mask(px* mask, const std::uint8_t* coarse, std::uint8_t cq,
                                                   const std::uint64_t* tie_due, std::size_t first, int cells, int cw) {
    const __m128i bias = _mm_set1_epi8(char(0x80));
    const __m128i limit = _mm_set1_epi8(char(cq ^ 0x80));
    const __m128i exact = _mm_set1_epi8(char(cq));
    alignas(16) std::uint8_t flags[16];
    int c = 0;
    for (; c + 16 <= cells; c += 16) {
        const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coarse + c));
        __m128i f = _mm_cmplt_epi8(_mm_xor_si128(r, bias), limit);
        if (int tie = _mm_movemask_epi8(_mm_cmpeq_epi8(r, exact))) {
            _mm_store_si128(reinterpret_cast<__m128i*>(flags), f);
            for (; tie; tie &= tie - 1) {
                const int j = __builtin_ctz(unsigned(tie));
                const std::size_t i = first + std::size_t(c + j);
                flags[j] = (tie_due[i / 64] >> (i % 64)) & 1 ? 0xFF : 0;
            }
            f = _mm_load_si128(reinterpret_cast<const __m128i*>(flags));
        }
        px* d = mask + std::ptrdiff_t(c) * cw;
        // Bytes of all ones or all zeros widen by sign to whole pixels.
        const __m128i b0 = cw == 1 ? f : _mm_unpacklo_epi8(f, f);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), _mm256_cvtepi8_epi32(b0));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 8), _mm256_cvtepi8_epi32(_mm_srli_si128(b0, 8)));
        if (cw == 2) {
            const __m128i b1 = _mm_unpackhi_epi8(f, f);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 16), _mm256_cvtepi8_epi32(b1));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 24), _mm256_cvtepi8_epi32(_mm_srli_si128(b1, 8)));
        }
    }
    return c;
}

}  // namespace
#endif

void cell_mask(px* mask, const std::uint8_t* coarse, std::uint8_t cq, const std::uint64_t* tie_due,
               std::size_t first, int cells, int cw) {
    const auto tie_at = [&](int c) -> bool {
        const std::size_t i = first + std::size_t(c);
        return (tie_due[i / 64] >> (i % 64)) & 1;
    };
    const auto due = [&](int c) -> bool { return coarse[c] < cq || (coarse[c] == cq && tie_at(c)); };
    int c = 0;
#if defined(__x86_64__) || defined(__i386__)
    if ((cw == 1 || cw == 2) && cpu_has_avx2()) c = fine_cell_mask(mask, coarse, cq, tie_due, first, cells, cw);
#endif
#if defined(__SSE2__)
    // Sixteen cells at a time: their coarse ranks decide all but the cells
    // in count's own bucket, which look at their full rank.
    const __m128i bias = _mm_set1_epi8(char(0x80));
    const __m128i limit = _mm_set1_epi8(char(cq ^ 0x80));
    const __m128i exact = _mm_set1_epi8(char(cq));
    alignas(16) std::uint8_t flags[16];
    for (; c + 16 <= cells; c += 16) {
        const __m128i r = load4(coarse + c);
        __m128i f = _mm_cmplt_epi8(_mm_xor_si128(r, bias), limit);
        if (int tie = _mm_movemask_epi8(_mm_cmpeq_epi8(r, exact))) {
            _mm_store_si128(reinterpret_cast<__m128i*>(flags), f);
            for (; tie; tie &= tie - 1) {
                const int j = __builtin_ctz(unsigned(tie));
                flags[j] = tie_at(c + j) ? 0xFF : 0;
            }
            f = _mm_load_si128(reinterpret_cast<const __m128i*>(flags));
        }
        px* d = mask + std::ptrdiff_t(c) * cw;
        const __m128i lo = _mm_unpacklo_epi8(f, f), hi = _mm_unpackhi_epi8(f, f);
        const __m128i q[4] = {_mm_unpacklo_epi16(lo, lo), _mm_unpackhi_epi16(lo, lo), _mm_unpacklo_epi16(hi, hi),
                              _mm_unpackhi_epi16(hi, hi)};
        if (cw == 1) {
            for (int k = 0; k < 4; ++k) _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * k), q[k]);
        } else if (cw == 2) {
            for (int k = 0; k < 4; ++k) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 8 * k), _mm_unpacklo_epi32(q[k], q[k]));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 8 * k + 4), _mm_unpackhi_epi32(q[k], q[k]));
            }
        } else {
            // Four pixels at a time from the start of each cell; a store
            // that runs past the cell is overwritten by the next one.
            _mm_store_si128(reinterpret_cast<__m128i*>(flags), f);
            for (int j = 0; j < 16; ++j) {
                const __m128i v = _mm_set1_epi32(flags[j] ? -1 : 0);
                px* e = d + std::ptrdiff_t(j) * cw;
                for (int k = 0; k < cw; k += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(e + k), v);
            }
        }
    }
#endif
    for (; c < cells; ++c) {
        const px f = due(c) ? ~px(0) : 0u;
        px* d = mask + std::ptrdiff_t(c) * cw;
        for (int k = 0; k < cw; ++k) d[k] = f;
    }
}

void RowComposer::full_rows(const Surface& s, int y0, int y1, bool use_new) {
    y0 = std::max(y0, 0);
    y1 = std::min(y1, s.h);
    for (int y = y0; y < y1; ++y) store_row(s, y, s.row(use_new, y));
}


void RowComposer::add_step(int x0, int x1, Op op, int min_run) {
    if (x1 <= x0) return;
    if (x1 - x0 < min_run && op != Op::keep) op = Op::mixed;
    if (!steps_.empty() && steps_.back().op == op) {
        steps_.back().x1 = x1;
        return;
    }
    steps_.push_back({x0, x1, op});
}

void RowComposer::select_beside_selects() {
    // Rightwards, then leftwards, so that a select reaches along a whole
    // chain of short copies either side of it.
    const auto absorb = [](Step& st, const Step& beside) {
        if ((st.op == Op::old_face || st.op == Op::new_face) && beside.op == Op::mixed && st.x1 - st.x0 < long_run)
            st.op = Op::mixed;
    };
    for (std::size_t i = 1; i < steps_.size(); ++i) absorb(steps_[i], steps_[i - 1]);
    for (std::size_t i = steps_.size(); i-- > 1;) absorb(steps_[i - 1], steps_[i]);
    std::size_t k = 0;
    for (const Step& st : steps_) {
        if (k > 0 && steps_[k - 1].op == st.op)
            steps_[k - 1].x1 = st.x1;
        else
            steps_[k++] = st;
    }
    steps_.resize(k);
}

void RowComposer::plan(const Spans& spans, int w) {
    lined_w_ = -1;   // steps_ no longer follow lined_kinds_
    steps_.clear();
    int x = 0;
    for (const Span& sp : spans) {
        const int a = std::clamp(sp.x0, x, w), b = std::clamp(sp.x1, a, w);
        add_step(x, a, Op::old_face, short_run);
        add_step(a, b, Op::new_face, short_run);
        x = b;
    }
    add_step(x, w, Op::old_face, short_run);
    select_beside_selects();
    // The mask is read only where the plan selects.
    mask_.resize(std::size_t(w));
    auto sp = spans.begin();
    for (const Step& st : steps_) {
        if (st.op != Op::mixed) continue;
        std::fill(mask_.begin() + st.x0, mask_.begin() + st.x1, 0u);
        while (sp != spans.end() && sp->x1 <= st.x0) ++sp;
        for (auto it = sp; it != spans.end() && it->x0 < st.x1; ++it) {
            const int a = std::clamp(it->x0, st.x0, st.x1), b = std::clamp(it->x1, a, st.x1);
            std::fill(mask_.begin() + a, mask_.begin() + b, ~px(0));
        }
    }
}

void RowComposer::plan_lines(const Op* kinds, int w, int min_run) {
    const int count = (w + 15) / 16;
    // Neighbouring rows often see the same lines (a drip's rows between two
    // column ends): their plan is kept.
    if (lined_w_ == w && lined_min_run_ == min_run && std::equal(kinds, kinds + count, lined_kinds_.begin())) return;
    lined_kinds_.assign(kinds, kinds + count);
    lined_w_ = w;
    lined_min_run_ = min_run;
    steps_.clear();
    // Runs of one kind first, so that only a short run as a whole turns
    // into a select. Long runs are skipped sixteen lines at a time.
    static_assert(sizeof(Op) == 1);
    const int lines = (w + 15) / 16;
    int i = 0;
    while (i < lines) {
        const Op op = kinds[i];
        int j = i + 1;
#if defined(__SSE2__)
        const __m128i want = _mm_set1_epi8(char(op));
        for (; j + 16 <= lines; j += 16) {
            const int same = _mm_movemask_epi8(_mm_cmpeq_epi8(load4(kinds + j), want));
            if (same != 0xFFFF) {
                j += __builtin_ctz(unsigned(~same));
                goto found;
            }
        }
#endif
        while (j < lines && kinds[j] == op) ++j;
#if defined(__SSE2__)
    found:
#endif
        add_step(16 * i, std::min(w, 16 * j), op, min_run);
        i = j;
    }
}

void RowComposer::run(const Surface& s, int y0, int y1, const px* mask) {
    if (steps_.size() == 1 && steps_[0].op == Op::keep) return;
    if (steps_.size() == 1 && steps_[0].op != Op::mixed) return full_rows(s, y0, y1, steps_[0].op == Op::new_face);
    bool has_mixed = false;
    for (const Step& st : steps_) has_mixed |= st.op == Op::mixed;
    for (int y = y0; y < y1; ++y) {
        px* d = s.out_row(y);
        const px* o = s.old_row(y);
        const px* n = s.new_row(y);
        // Rows that select read both faces whole, streams the hardware
        // follows by itself; asking for more then only stalls.
        const bool ahead = !has_mixed && y + prefetch_distance < s.h;
        const px* po = ahead ? s.old_row(y + prefetch_distance) : nullptr;
        const px* pn = ahead ? s.new_row(y + prefetch_distance) : nullptr;
        for (const Step& st : steps_) {
            const int len = st.x1 - st.x0;
            switch (st.op) {
            case Op::old_face:
                if (ahead) prefetch(po + st.x0, len);
                put_copy(d + st.x0, o + st.x0, len, s.stream);
                break;
            case Op::new_face:
                if (ahead) prefetch(pn + st.x0, len);
                put_copy(d + st.x0, n + st.x0, len, s.stream);
                break;
            case Op::mixed: put_select(d + st.x0, n + st.x0, o + st.x0, mask + st.x0, len, s.stream); break;
            case Op::keep: break;
            }
        }
    }
}

void RowComposer::rows(const Surface& s, int y0, int y1, const Spans& spans, bool stable) {
    y0 = std::max(y0, 0);
    y1 = std::min(y1, s.h);
    if (y0 >= y1) return;
    if (spans.empty()) return full_rows(s, y0, y1, false);
    if (spans.size() == 1 && spans[0].x0 <= 0 && spans[0].x1 >= s.w) return full_rows(s, y0, y1, true);

    const bool same = cached_w_ == s.w && ((stable && &spans == stable_ptr_) || cached_ == spans);
    if (!same) {
        plan(spans, s.w);
        cached_ = spans;
        cached_w_ = s.w;
    }
    stable_ptr_ = stable ? &spans : nullptr;
    run(s, y0, y1, mask_.data());
}

bool RowComposer::keep_unchanged(Op* kinds, std::size_t lines, const std::uint64_t* unchanged) {
    constexpr std::size_t shortest = 16;
    bool any = false;
    for (std::size_t i = 0; i < lines;) {
        const std::size_t from = next_bit(unchanged, i, lines, true);
        any |= from > i;
        const std::size_t to = next_bit(unchanged, from, lines, false);
        if (to - from >= shortest) std::fill(kinds + from, kinds + to, Op::keep);
        i = to;
    }
    return any;
}

void paint_stretches(const Surface& s, int y0, int y1, std::initializer_list<Stretch> stretches) {
    y0 = std::max(y0, 0);
    y1 = std::min(y1, s.h);
    for (int y = y0; y < y1; ++y) {
        const bool ahead = y + prefetch_distance < y1;
        px* d = s.out_row(y);
        for (const Stretch& st : stretches) {
            const int x0 = std::clamp(st.x0, 0, s.w), x1 = std::clamp(st.x1, x0, s.w);
            if (ahead) prefetch(s.row(st.use_new, y + prefetch_distance + st.dy) + x0 + st.dx, x1 - x0);
            put_copy(d + x0, s.row(st.use_new, y + st.dy) + x0 + st.dx, x1 - x0, s.stream);
        }
    }
}


void RowScaler::prepare(std::vector<int> xmap, int src_width, int lead) {
    xmap_ = std::move(xmap);
    blocks_.clear();
    wide_.clear();
    bases_.clear();
    contiguous_from_ = -1;
    lead_ = 0;
    align_ = 0;
    const std::size_t count = xmap_.size();
    bool contiguous = count > 0;
    for (std::size_t i = 1; i < count && contiguous; ++i) contiguous = xmap_[i] == xmap_[i - 1] + 1;
    if (contiguous) {
        contiguous_from_ = xmap_[0];
        return;
    }
    if (cpu_has_avx512() && src_width >= 32) {
        lead_ = std::min(std::clamp(lead, 0, 15), int(count));
        align_ = 64;
        bases_.resize(count > std::size_t(lead_) ? (count - std::size_t(lead_)) / 16 : 0);
        for (std::size_t k = 0; k < bases_.size(); ++k) {
            const auto first = xmap_.begin() + std::ptrdiff_t(lead_ + 16 * k);
            const auto [lo, hi] = std::minmax_element(first, first + 16);
            const int base = std::clamp(*lo, 0, src_width - 32);
            bases_[k] = *lo >= base && *hi - base < 32 ? base : -1;
        }
        return;
    }
    if (cpu_has_avx2() && src_width >= 16) {
        lead_ = std::min(std::clamp(lead, 0, 15) % 8, int(count));
        align_ = 32;
        wide_.resize(count > std::size_t(lead_) ? (count - std::size_t(lead_)) / 8 : 0);
        for (std::size_t k = 0; k < wide_.size(); ++k) {
            Wide& b = wide_[k];
            const int* m = xmap_.data() + lead_ + 8 * k;
            b.base = std::clamp(*std::min_element(m, m + 8), 0, src_width - 16);
            b.permute = true;
            for (int j = 0; j < 8; ++j) {
                const int off = m[j] - b.base;
                if (off < 0 || off > 15) b.permute = false;
                b.index[j] = std::uint8_t(off & 15);
            }
        }
        return;
    }
    if (!cpu_has_ssse3() || src_width < 8) return;
    const std::size_t n = count / 4;
    blocks_.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        Block& b = blocks_[k];
        const int low = std::min({xmap_[4 * k], xmap_[4 * k + 1], xmap_[4 * k + 2], xmap_[4 * k + 3]});
        b.base = std::clamp(low, 0, src_width - 8);
        b.shuffle = true;
        for (int j = 0; j < 4; ++j) {
            const int off = xmap_[4 * k + std::size_t(j)] - b.base;
            if (off < 0 || off > 7) b.shuffle = false;
            for (int c = 0; c < 4; ++c) {
                b.lo[4 * j + c] = off >= 0 && off < 4 ? std::uint8_t(off * 4 + c) : 0x80;
                b.hi[4 * j + c] = off >= 4 && off < 8 ? std::uint8_t((off - 4) * 4 + c) : 0x80;
            }
        }
    }
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("ssse3"))) static void shuffle_blocks(px* d, const px* s, const int* xmap,
                                                            const RowScaler::Block* blocks, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
        const RowScaler::Block& b = blocks[k];
        px* out = d + 4 * k;
        if (!b.shuffle) {
            const int* m = xmap + 4 * k;
            out[0] = s[m[0]];
            out[1] = s[m[1]];
            out[2] = s[m[2]];
            out[3] = s[m[3]];
            continue;
        }
        const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + b.base));
        const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + b.base + 4));
        const __m128i r = _mm_or_si128(_mm_shuffle_epi8(v0, _mm_load_si128(reinterpret_cast<const __m128i*>(b.lo))),
                                       _mm_shuffle_epi8(v1, _mm_load_si128(reinterpret_cast<const __m128i*>(b.hi))));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), r);
    }
}

// Stream: d is aligned to 32 bytes.
template <bool Stream>
__attribute__((target("avx2"))) static void permute_blocks(px* d, const px* s, const int* xmap,
                                                           const RowScaler::Wide* blocks, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
        const RowScaler::Wide& b = blocks[k];
        px* out = d + 8 * k;
        if (!b.permute) {
            const int* m = xmap + 8 * k;
            for (int j = 0; j < 8; ++j) put_px<Stream>(out + j, s[m[j]]);
            continue;
        }
        const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + b.base));
        const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + b.base + 8));
        // The permutes read the low three bits of each place; the fourth,
        // moved to the sign, picks the second eight.
        const __m256i index = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(b.index)));
        const __m256 r = _mm256_blendv_ps(_mm256_castsi256_ps(_mm256_permutevar8x32_epi32(v0, index)),
                                          _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(v1, index)),
                                          _mm256_castsi256_ps(_mm256_slli_epi32(index, 28)));
        put8<Stream>(out, _mm256_castps_si256(r));
    }
}

// Sixteen output pixels picked from the 32 source pixels from their base
// with one two-table permute; Stream: d is aligned to a cache line, and
// each sixteen fill one.
template <bool Stream>
__attribute__((target("avx512f"))) static void permute_sixteens(px* d, const px* s, const int* xmap, const int* bases,
                                                              std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
        const int base = bases[k];
        const int* m = xmap + 16 * k;
        px* out = d + 16 * k;
        if (base < 0) {
            for (int j = 0; j < 16; ++j) put_px<Stream>(out + j, s[m[j]]);
            continue;
        }
        const __m512i index = _mm512_sub_epi32(_mm512_loadu_si512(m), _mm512_set1_epi32(base));
        const __m512i r =
            _mm512_permutex2var_epi32(_mm512_loadu_si512(s + base), index, _mm512_loadu_si512(s + base + 16));
        if constexpr (Stream)
            _mm512_stream_si512(reinterpret_cast<__m512i*>(out), r);
        else
            _mm512_storeu_si512(out, r);
    }
}

bool RowScaler::run_streamed(px* d, const px* s) const {
    const int n = int(xmap_.size());
    if (contiguous_from_ >= 0) {
        put_copy(d, s + contiguous_from_, n, true);
        return true;
    }
    if (align_ == 0 || (reinterpret_cast<std::uintptr_t>(d + lead_) & std::uintptr_t(align_ - 1)) != 0) return false;
    int done = lead_;
    for (int i = 0; i < lead_; ++i) put_px<true>(d + i, s[xmap_[std::size_t(i)]]);
    if (!bases_.empty()) {
        permute_sixteens<true>(d + lead_, s, xmap_.data() + lead_, bases_.data(), bases_.size());
        done += int(bases_.size()) * 16;
    } else if (!wide_.empty()) {
        permute_blocks<true>(d + lead_, s, xmap_.data() + lead_, wide_.data(), wide_.size());
        done += int(wide_.size()) * 8;
    }
    for (int i = done; i < n; ++i) put_px<true>(d + i, s[xmap_[std::size_t(i)]]);
    return true;
}
#else
bool RowScaler::run_streamed(px* d, const px* s) const {
    if (contiguous_from_ < 0) return false;
    put_copy(d, s + contiguous_from_, int(xmap_.size()), true);
    return true;
}
#endif

void RowScaler::run(px* d, const px* s) const {
    const int n = int(xmap_.size());
    if (contiguous_from_ >= 0) return copy_row(d, s + contiguous_from_, n);
    int done = 0;
#if defined(__x86_64__) || defined(__i386__)
    if (!bases_.empty()) {
        gather_row(d, s, xmap_.data(), lead_);
        permute_sixteens<false>(d + lead_, s, xmap_.data() + lead_, bases_.data(), bases_.size());
        done = lead_ + int(bases_.size()) * 16;
    } else if (!wide_.empty()) {
        gather_row(d, s, xmap_.data(), lead_);
        permute_blocks<false>(d + lead_, s, xmap_.data() + lead_, wide_.data(), wide_.size());
        done = lead_ + int(wide_.size()) * 8;
    } else if (!blocks_.empty()) {
        shuffle_blocks(d, s, xmap_.data(), blocks_.data(), blocks_.size());
        done = int(blocks_.size()) * 4;
    }
#endif
    gather_row(d + done, s, xmap_.data() + done, n - done);
}

}  // namespace tx
}  // namespace lv
