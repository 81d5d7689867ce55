// General odd-radix pass (p a prime >= 7): the p-point DFT by pairing the
// terms m and p - m, O(p^2) per group, with the p-th roots of unity taken
// from the I = 1 entries of the twiddle block. For p up to 41 each DFT of a
// single contiguous sequence runs in registers; the others sweep over the
// values step by step.
//
// Unlike the radix-2..5 passes it leaves its result in the array that held
// the data (cc), using ch as scratch, except on the last pass (IDO = 1) with
// the data in work (NA = 1), where the result goes to ch.
#pragma once

#include <algorithm>
#include <type_traits>

#include "fft/kernels/complex_ops.hpp"
#include "fft/kernels/pass_layout.hpp"
#include "fft/kernels/pass_order.hpp"

namespace orbelix::fftpack {
inline namespace ORBELIX_KERNEL_ISA {

// Above this many pairs the sweeps run the cosine and sine parts output by
// output, their partial sums in registers, a block of outputs at a time.
constexpr int kWideRadix = 8;
constexpr int kWideBlock = kWidest > 2 ? 4 : 8;

// Calls f(s, ki, V{}) for every sequence s < ns and index ki < lid: W
// neighbouring indices at a time (V = cvec<W>) in one contiguous sequence,
// W neighbouring sequences at a time where the layout keeps them side by
// side, one value at a time (V = cfloat) otherwise.
template <class S, class F>
ORBELIX_INLINE inline void for_each_element(int ns, std::ptrdiff_t lid, F &&f) {
    if constexpr (std::is_same_v<S, Contiguous>) {
        std::ptrdiff_t ki = 0;
        for (; ki + kWidest <= lid; ki += kWidest) f(0, ki, cvec<kWidest>{});
        for (; ki < lid; ++ki) f(0, ki, cfloat{});
    } else {
        for (std::ptrdiff_t ki = 0; ki < lid; ++ki)
            for_each_sequence<S>(ns, [&](int s, auto z) ORBELIX_INLINE { f(s, ki, z); });
    }
}

// For each output pair (l, p - l), l = 1 .. (p-1)/2: the cosine part
// term1 + sum_j cos(2pi lj/p) sum_j into data(l) and the sine part
// -+sum_j sin(2pi lj/p) diff_j into data(p - l), each accumulated in
// increasing j exactly as the pass states it. A block of outputs at a time
// gives the processor independent chains of additions; the root index
// lj mod p advances by l instead of being divided out. NL outputs from l0
// (NL = 0: nl of them, fewer than a block).
template <bool Fwd, int NL, class V, class S>
ORBELIX_INLINE inline void cosine_sine_block(int nl, int l0, int ip, std::ptrdiff_t lid, int s,
                                             std::ptrdiff_t ki, const Twiddles &w, S cc, S ch) {
    constexpr int kMost = NL ? NL : kWideBlock;
    const int count = NL ? NL : nl;
    const int ipph = (ip + 1) / 2;
    auto tmp = [&](int j) ORBELIX_INLINE { return ch.template get<V>(s, ki + lid * j); };
    V re[kMost], im[kMost];
    int idx[kMost];
    for (int b = 0; b < count; ++b) {
        const int l = l0 + b;
        const float ai1 = Fwd ? -w.sin(0, l) : w.sin(0, l);
        re[b] = tmp(0) + w.cos(0, l) * tmp(1);
        im[b] = ai1 * tmp(ip - 1);
        idx[b] = (2 * l) % ip;
    }
    for (int j = 2; j < ipph; ++j) {
        const V sum = tmp(j), diff = tmp(ip - j);
        for (int b = 0; b < count; ++b) {
            const float war = w.cos(0, idx[b]);
            const float wai = Fwd ? -w.sin(0, idx[b]) : w.sin(0, idx[b]);
            re[b] = re[b] + war * sum;
            im[b] = im[b] + wai * diff;
            idx[b] += l0 + b;
            if (idx[b] >= ip) idx[b] -= ip;
        }
    }
    for (int b = 0; b < count; ++b) {
        cc.put(s, ki + lid * (l0 + b), re[b]);
        cc.put(s, ki + lid * (ip - l0 - b), im[b]);
    }
}

template <bool Fwd, class S>
void cosine_sine_parts_by_output(int ns, std::ptrdiff_t lid, int ip, const Twiddles &w, S cc,
                                 S ch) {
    const int ipph = (ip + 1) / 2;
    for (int l0 = 1; l0 < ipph; l0 += kWideBlock) {
        const int nl = std::min(kWideBlock, ipph - l0);
        for_each_element<S>(ns, lid, [&](int s, std::ptrdiff_t ki, auto z) ORBELIX_INLINE {
            using V = decltype(z);
            if (nl == kWideBlock)
                cosine_sine_block<Fwd, kWideBlock, V>(nl, l0, ip, lid, s, ki, w, cc, ch);
            else
                cosine_sine_block<Fwd, 0, V>(nl, l0, ip, lid, s, ki, w, cc, ch);
        });
    }
}

// The p-point DFTs of a pass for p from 7 to 41, value by value with all
// of one DFT in registers: the operations of the sweeps in general_dfts, in
// the same order (the sums and differences of the pairs, output 1, then
// each pair's cosine and sine parts in increasing j, then their
// combination), so the same numbers, but each value is read and written
// once instead of once per sweep. Writes the combined outputs to dest
// (which may be cc: a DFT reads all its values before writing any).
template <bool Fwd, int P, class S>
ORBELIX_INLINE inline void small_prime_dfts(int ns, std::ptrdiff_t lid, const Twiddles &w, S cc,
                                            S dest, bool scale, float sn) {
    constexpr int H = (P + 1) / 2;
    float cosine[H][H], sine[H][H];
    for (int l = 1; l < H; ++l)
        for (int j = 1; j < H; ++j) {
            const int lj = (l * j) % P;
            cosine[l][j] = w.cos(0, lj);
            sine[l][j] = Fwd ? -w.sin(0, lj) : w.sin(0, lj);
        }
    for_each_element<S>(ns, lid, [&](int s, std::ptrdiff_t ki, auto z) ORBELIX_INLINE {
        using V = decltype(z);
        const V x0 = cc.template get<V>(s, ki);
        V sum[H], diff[H];
        for (int j = 1; j < H; ++j) {
            const V a = cc.template get<V>(s, ki + lid * j), b = cc.template get<V>(s, ki + lid * (P - j));
            sum[j] = a + b;
            diff[j] = a - b;
        }
        V y0 = x0;
        for (int j = 1; j < H; ++j) y0 = y0 + sum[j];
        V re[H], im[H];
        for (int l = 1; l < H; ++l) {
            re[l] = x0 + cosine[l][1] * sum[1];
            im[l] = sine[l][1] * diff[1];
            for (int j = 2; j < H; ++j) {
                re[l] = re[l] + cosine[l][j] * sum[j];
                im[l] = im[l] + sine[l][j] * diff[j];
            }
        }
        dest.put(s, ki, scale ? sn * y0 : y0);
        for (int j = 1; j < H; ++j) {
            const V yj = plus_i_times(re[j], im[j]), yjc = minus_i_times(re[j], im[j]);
            dest.put(s, ki + lid * j, scale ? sn * yj : yj);
            dest.put(s, ki + lid * (P - j), scale ? sn * yjc : yjc);
        }
    });
}

// The p-point DFTs of a pass for any odd prime p, sweep by sweep over the
// values (V at a time, from for_each_element) with ch as scratch; the
// combined outputs go to dest.
template <bool Fwd, class S>
void general_dfts(int ns, std::ptrdiff_t LID, int ip, const Twiddles &w, S cc, S ch, S dest,
                  bool scale, float sn) {
    const int ipph = (ip + 1) / 2;
#define DATA(j) cc.template get<V>(s, ki + LID * (j))
#define TMP(j) ch.template get<V>(s, ki + LID * (j))
#define TO_DATA(j, v) cc.put(s, ki + LID * (j), v)
#define TO_TMP(j, v) ch.put(s, ki + LID * (j), v)

    // Term 1, and the sums and differences of the paired terms.
    for_each_element<S>(ns, LID, [&](int s, std::ptrdiff_t ki, auto z) ORBELIX_INLINE {
        using V = decltype(z);
        TO_TMP(0, DATA(0));
    });
    for (int j = 1; j < ipph; ++j) {
        const int jc = ip - j;
        for_each_element<S>(ns, LID, [&](int s, std::ptrdiff_t ki, auto z) ORBELIX_INLINE {
            using V = decltype(z);
            const V a = DATA(j), b = DATA(jc);
            TO_TMP(j, a + b);
            TO_TMP(jc, a - b);
        });
    }
    // Output 1 is term 1 plus all sums; output l collects the cosine part of
    // the pair (l, p - l), output p - l its sine part.
    for (int j = 1; j < ipph; ++j)
        for_each_element<S>(ns, LID, [&](int s, std::ptrdiff_t ki, auto z) ORBELIX_INLINE {
            using V = decltype(z);
            TO_DATA(0, DATA(0) + TMP(j));
        });
    if (ipph > kWideRadix) {
        cosine_sine_parts_by_output<Fwd>(ns, LID, ip, w, cc, ch);
    } else {
        for (int l = 1; l < ipph; ++l) {
            const int lc = ip - l;
            const float ar1 = w.cos(0, l);
            const float ai1 = Fwd ? -w.sin(0, l) : w.sin(0, l);
            for_each_element<S>(ns, LID, [&](int s, std::ptrdiff_t ki, auto z) ORBELIX_INLINE {
                using V = decltype(z);
                TO_DATA(l, TMP(0) + ar1 * TMP(1));
                TO_DATA(lc, ai1 * TMP(ip - 1));
            });
            for (int j = 2; j < ipph; ++j) {
                const int jc = ip - j;
                const int idlj = (l * j) % ip;
                const float war = w.cos(0, idlj);
                const float wai = Fwd ? -w.sin(0, idlj) : w.sin(0, idlj);
                for_each_element<S>(ns, LID, [&](int s, std::ptrdiff_t ki, auto z) ORBELIX_INLINE {
                    using V = decltype(z);
                    TO_DATA(l, DATA(l) + war * TMP(j));
                    TO_DATA(lc, DATA(lc) + wai * TMP(jc));
                });
            }
        }
    }

    // Combine each pair: out(j) = cos(j) + i*sin(jc), out(jc) = cos(j) - i*sin(jc).
    for_each_element<S>(ns, LID, [&](int s, std::ptrdiff_t ki, auto z) ORBELIX_INLINE {
        using V = decltype(z);
        const V y = DATA(0);
        dest.put(s, ki, scale ? sn * y : y);
    });
    for (int j = 1; j < ipph; ++j) {
        const int jc = ip - j;
        for_each_element<S>(ns, LID, [&](int s, std::ptrdiff_t ki, auto z) ORBELIX_INLINE {
            using V = decltype(z);
            const V a = DATA(j), b = DATA(jc);
            const V yj = plus_i_times(a, b), yjc = minus_i_times(a, b);
            dest.put(s, ki + LID * j, scale ? sn * yj : yj);
            dest.put(s, ki + LID * jc, scale ? sn * yjc : yjc);
        });
    }
#undef DATA
#undef TMP
#undef TO_DATA
#undef TO_TMP
}

template <bool Fwd, bool Many, class S>
void passg(int lot, int ido, int ip, int l1, int lid, int na, S cc, S ch,
           const float *wa) {
    const int ns = batch<Many>(lot);
    const Twiddles w{wa, ido, ip};
    const std::ptrdiff_t LID = lid, L1 = l1;
    // Both arrays seen as (ki, j) with ki = k + L1*i: input element (k, i, j).
    // The last pass scales (forward) and finishes in place (NA = 0) or in ch.
    const bool last = ido == 1;
    const bool scale = Fwd && last;
    const float sn = 1.0f / static_cast<float>(ip * l1);
    const S dest = (last && na == 0) ? cc : ch;
    // Batches and strided layouts run the sweeps: each p in registers is
    // compiled once per layout, and single contiguous sequences are what
    // the S-transforms and the analysis package transform.
    if constexpr (!std::is_same_v<S, Contiguous>) {
        general_dfts<Fwd>(ns, LID, ip, w, cc, ch, dest, scale, sn);
    } else {
        switch (ip) {
        case 7: small_prime_dfts<Fwd, 7>(ns, LID, w, cc, dest, scale, sn); break;
        case 11: small_prime_dfts<Fwd, 11>(ns, LID, w, cc, dest, scale, sn); break;
        case 13: small_prime_dfts<Fwd, 13>(ns, LID, w, cc, dest, scale, sn); break;
        case 17: small_prime_dfts<Fwd, 17>(ns, LID, w, cc, dest, scale, sn); break;
        case 19: small_prime_dfts<Fwd, 19>(ns, LID, w, cc, dest, scale, sn); break;
        case 23: small_prime_dfts<Fwd, 23>(ns, LID, w, cc, dest, scale, sn); break;
        case 29: small_prime_dfts<Fwd, 29>(ns, LID, w, cc, dest, scale, sn); break;
        case 31: small_prime_dfts<Fwd, 31>(ns, LID, w, cc, dest, scale, sn); break;
        case 37: small_prime_dfts<Fwd, 37>(ns, LID, w, cc, dest, scale, sn); break;
        case 41: small_prime_dfts<Fwd, 41>(ns, LID, w, cc, dest, scale, sn); break;
        default: general_dfts<Fwd>(ns, LID, ip, w, cc, ch, dest, scale, sn);
        }
    }
    if (last) return;

    // Back into the data array in output order (k, j, i), with twiddles for
    // i > 0 and j > 0; the L1 values k of one (i, j) are neighbours.
    auto move = [&](std::ptrdiff_t to, std::ptrdiff_t from) ORBELIX_INLINE {
        for_each_element<S>(ns, L1, [&](int s, std::ptrdiff_t k, auto z) ORBELIX_INLINE {
            cc.put(s, k + to, ch.template get<decltype(z)>(s, k + from));
        });
    };
    for (int i = 0; i < ido; ++i) move(L1 * ip * i, L1 * i);
    for (int j = 1; j < ip; ++j) move(L1 * j, L1 * ido * j);
    for (int j = 1; j < ip; ++j)
        for (int i = 1; i < ido; ++i) {
            const float wr = w.cos(i, j), wi = w.sin(i, j);
            const std::ptrdiff_t to = L1 * (j + std::ptrdiff_t(ip) * i);
            const std::ptrdiff_t from = L1 * (i + std::ptrdiff_t(ido) * j);
            for_each_element<S>(ns, L1, [&](int s, std::ptrdiff_t k, auto z) ORBELIX_INLINE {
                cc.put(s, k + to, twiddle<Fwd>(ch.template get<decltype(z)>(s, k + from), wr, wi));
            });
        }
}

}  // namespace ORBELIX_KERNEL_ISA
}  // namespace orbelix::fftpack
