// Two consecutive passes in one sweep over the data: pass A of radix P
// (L1, IDO) and pass B of radix Q (P*L1, IDO/Q).
//
// For fixed k < L1 and i' < IDO/Q, A's outputs of the Q groups
// i = i' + (IDO/Q)*m' (m' < Q) are exactly B's inputs of the P groups
// k' = k + L1*j, i' (j < P): a closed sub-problem of P*Q values. Each one is
// loaded once, goes through A's butterflies and twiddles, then B's, and is
// stored once: half the loads and stores of one sweep per pass. Every value
// sees the same float operations in the same order as in the two passes
// run one after the other (radix_pass.hpp, first_pass.hpp): the results are
// bit for bit the same.
//
// Two kernels, for one contiguous sequence: the first pair (L1 = 1), with
// neighbouring groups i' side by side as in first_pass, and the last pair
// (B's IDO = 1), which has no twiddles in B, is scaled by sn = 1/N forward,
// and whose outputs occupy the places of A's inputs, so that it may run in
// place.
#pragma once

#include <algorithm>
#include <type_traits>

#include "fft/kernels/butterflies.hpp"
#include "fft/kernels/complex_ops.hpp"
#include "fft/kernels/first_pass.hpp"
#include "fft/kernels/pass_layout.hpp"
#include "fft/kernels/pass_order.hpp"

namespace orbelix::fftpack {
inline namespace ORBELIX_KERNEL_ISA {

// Radix pairs swept together. Factors come as 4s, at most one 2, then 3s,
// 5s and larger primes (factor.cpp). On the SSE2 path (two values per
// register) a fused 4 x 4 pair needs more registers than it has and runs
// slower than two passes; on the wider paths it gains.
constexpr bool fusable(int p, int q) {
    const bool pair = (p == 4 && (q == 4 || q == 2 || q == 3)) || (p == 2 && q == 3) ||
                      (p == 3 && q == 3);
    return pair && (p * q < 16 || kWidest >= 4);
}

// The pairs of one contiguous sequence that run fused: the first (passes 1
// and 2) and the last (the last two passes).
//
// A fused sweep reads P*Q streams at once (and writes as many). Where many
// of them lie a multiple of 4 KB apart they share one set of an 8-way
// first-level cache and evict each other before their lines are used up,
// which costs far more than the fusion gains. So a pair is fused only where
// few streams share a set: at most 4 for the first pair, whose outputs go
// elsewhere (8 while the sequence fits in the first-level cache,
// n <= 4096), at most 8 for the last pair, which runs in place (its outputs
// take the lines of its inputs). Beyond n = 2048 the last pair pays only in
// place, with the data in c before it, which fixes the parity of the sweeps
// before it; up to 2048, where c and work fit in the cache together, it
// also pays from work into c. Where the parity allows only one pair up to
// n = 4096, the first gains more. The pairs in between, fused, run slower
// (their streams lie further apart). The first pair also needs enough
// groups to fill its registers.
struct FusePlan {
    bool first = false;
    bool last = false;
};

// Most of `count` streams 8*d bytes apart that share one cache set (64-byte
// lines, 4 KB per way): their offsets modulo 4 KB are the multiples of
// g = gcd(8d, 4096), each in a set of its own when g >= 64; fewer than 64
// bytes apart, neighbours share lines rather than sets.
inline int streams_per_set(int count, long d) {
    const int g = 1 << std::min(__builtin_ctzl(8 * d), 12);
    return g < 64 ? 1 : (count * g + 4095) / 4096;
}

// gap: values after each segment of a padded input (first_sweep.hpp), which
// moves the first pair's input streams apart.
inline FusePlan fuse_plan(int n, int nf, const float *fac, std::ptrdiff_t gap = 0) {
    FusePlan plan;
    if (nf < 2) return plan;
    auto f = [&](int k) { return static_cast<int>(fac[k]); };
    const int f0 = f(0), f1 = f(1), g0 = f(nf - 2), g1 = f(nf - 1);
    const int idb = n / (f0 * f1);  // the first pair's group count and distance
    // The inputs of both pairs lie at multiples of one distance (q = m' + Q*m).
    const bool in_cache = n <= 4096;
    const bool first_ok = nf >= 3 && fusable(f0, f1) && idb >= 4 * kFirstPassWidth &&
                          streams_per_set(f0 * f1, idb + gap) <= (in_cache ? 8 : 4);
    const int l1 = n / (g0 * g1);  // the last pair's distance of terms
    const bool last_ok = fusable(g0, g1) && streams_per_set(g0 * g1, l1) <= 8;
    // Sweeps before the last pair: nf - 2, or nf - 3 after a fused first
    // pair; an even count leaves the data in c.
    if (last_ok && first_ok && nf >= 4 && ((nf - 3) % 2 == 0 || n <= 2048)) {
        plan.first = plan.last = true;
    } else if (first_ok && in_cache) {
        plan.first = true;
    } else if (last_ok && nf % 2 == 0) {
        plan.last = true;
    } else if (first_ok) {
        plan.first = true;
    }
    return plan;
}

// One sub-problem on values of type V (cfloat or cvec<W>): load(m', m)
// gives input m of A's group m'; twiddle_a(m', j, y) and twiddle_b(j', y)
// apply the twiddles of A's output j of group m' and of B's output j' (or
// return y where the pass has none); store(j, j', y) takes B's output j' of
// its group j.
template <bool Fwd, int P, int Q, class V, class Load, class TwA, class TwB, class Store>
ORBELIX_INLINE inline void fused_butterflies(Load &&load, TwA &&twiddle_a, TwB &&twiddle_b,
                                             Store &&store) {
    V t[Q][P];
    for (int mq = 0; mq < Q; ++mq) {
        V x[P];
        for (int m = 0; m < P; ++m) x[m] = load(mq, m);
        Butterfly<Fwd, P>::apply(x, t[mq]);
        for (int j = 1; j < P; ++j) t[mq][j] = twiddle_a(mq, j, t[mq][j]);
    }
    for (int j = 0; j < P; ++j) {
        V x[Q], y[Q];
        for (int mq = 0; mq < Q; ++mq) x[mq] = t[mq][j];
        Butterfly<Fwd, Q>::apply(x, y);
        store(j, 0, y[0]);
        for (int jq = 1; jq < Q; ++jq) store(j, jq, twiddle_b(jq, y[jq]));
    }
}

// The last pair (B's IDO = 1, so A's IDO = Q) over a batch of `lot`
// sequences in layout S (Many), or over one sequence: A's group m' has the
// twiddles of i = m' (none for m' = 0), B none; B's outputs, scaled by
// sn = 1/N forward, take the places of A's inputs, so cc may be ch.
template <bool Fwd, bool Many, int P, int Q, class S>
void last_fused_pass(int lot, int l1, S cc, S ch, const float *wa, float sn) {
    const int ns = batch<Many>(lot);
    const std::ptrdiff_t L1 = l1;
    const Twiddles ta{wa, Q, P};
    float ar[Q][P], ai[Q][P];
    for (int mq = 1; mq < Q; ++mq)
        for (int j = 1; j < P; ++j) {
            ar[mq][j] = ta.cos(mq, j);
            ai[mq][j] = ta.sin(mq, j);
        }
    for (int k = 0; k < l1; ++k)
        for_each_sequence<S>(ns, [&](int s, auto z) ORBELIX_INLINE {
            using V = decltype(z);
            fused_butterflies<Fwd, P, Q, V>(
                // Input m of A's group m' at k + L1*(m' + Q*m).
                [&](int mq, int m) ORBELIX_INLINE {
                    return cc.template get<V>(s, k + L1 * (mq + Q * m));
                },
                [&](int mq, int j, V y) ORBELIX_INLINE {
                    return mq == 0 ? y : twiddle<Fwd>(y, ar[mq][j], ai[mq][j]);
                },
                [&](int, V y) ORBELIX_INLINE { return y; },
                // Output j' of B's group k + L1*j at k + L1*(j + P*j').
                [&](int j, int jq, V y) ORBELIX_INLINE {
                    if constexpr (Fwd)
                        ch.put(s, k + L1 * (j + P * jq), sn * y);
                    else
                        ch.put(s, k + L1 * (j + P * jq), y);
                });
        });
}

// Value 0 of y, values 1 .. W-1 of t.
template <int W>
ORBELIX_INLINE inline cvec<W> lane0_of(cvec<W> y, cvec<W> t) {
    struct Pick {
        static constexpr int lane(int l) { return l < 2 ? l : 2 * W + l; }
    };
    return {lanes::shuffle<W, Pick>(y.v, t.v)};
}

// The first pair of one contiguous sequence (L1 = 1, IDO/Q >= W), with W
// neighbouring groups i' side by side as in first_pass: their inputs are
// neighbours, their twiddles differ per lane, and output (j, j') of group
// i' goes to j + P*j' + P*Q*i', so the outputs are transposed on the way out.
// Input m of A's group i' + (IDO/Q)*m' is at cc[i' + stride*(m' + Q*m)]
// (stride = IDO/Q, or more for a padded input); the twiddles come from
// wsave's rows or a block table (first_sweep.hpp).
template <bool Fwd, int P, int Q, bool Masked, class Tw>
void first_fused_sweep(int ido, const cfloat *cc, std::ptrdiff_t stride, cfloat *ch, const Tw &tw,
                       unsigned zero_segments) {
    constexpr int W = kFirstPassWidth;
    constexpr int PQ = P * Q;
    const int idb = ido / Q;
    // W groups from i. In the block from i' = 0, lane 0 has no twiddles in
    // B nor in A's group m' = 0: there it keeps its untwiddled value, which
    // the other lanes' twiddled values join (a lane select, no arithmetic).
    auto block = [&](int i, auto from_zero) ORBELIX_INLINE {
        auto keep_lane0 = [&](cvec<W> y, cvec<W> t) ORBELIX_INLINE {
            if constexpr (decltype(from_zero)::value)
                return lane0_of(y, t);
            else
                return t;
        };
        cvec<W> y[PQ];  // output j + P*j'
        fused_butterflies<Fwd, P, Q, cvec<W>>(
            [&](int mq, int m) ORBELIX_INLINE {
                return sweep_input<Masked, cvec<W>>(cc + i + stride * (mq + Q * m), zero_segments,
                                                    mq + Q * m);
            },
            [&](int mq, int j, cvec<W> v) ORBELIX_INLINE {
                const cvec<W> t = twiddle_lanes<Fwd>(v, spread<W>(tw.a_cos(mq, j, i)),
                                                     spread<W>(tw.a_sin(mq, j, i)));
                return mq == 0 ? keep_lane0(v, t) : t;
            },
            [&](int jq, cvec<W> v) ORBELIX_INLINE {
                return keep_lane0(v, twiddle_lanes<Fwd>(v, spread<W>(tw.b_cos(jq, i)),
                                                        spread<W>(tw.b_sin(jq, i))));
            },
            [&](int j, int jq, cvec<W> v) ORBELIX_INLINE { y[j + P * jq] = v; });
        for (int jq = 0; jq < Q; ++jq)
            store_groups<P>(ch + static_cast<std::ptrdiff_t>(PQ) * i + P * jq, y + P * jq, PQ);
    };
    // idb >= W (fuse_plan).
    block(0, std::true_type{});
    int i = W;
    for (; i + W <= idb; i += W) block(i, std::false_type{});
    // The groups left over, i' >= 1, one at a time.
    for (; i < idb; ++i)
        fused_butterflies<Fwd, P, Q, cfloat>(
            [&](int mq, int m) ORBELIX_INLINE {
                return sweep_input<Masked, cfloat>(cc + i + stride * (mq + Q * m), zero_segments,
                                                   mq + Q * m);
            },
            [&](int mq, int j, cfloat y) ORBELIX_INLINE {
                return twiddle<Fwd>(y, *tw.a_cos(mq, j, i), *tw.a_sin(mq, j, i));
            },
            [&](int jq, cfloat y) ORBELIX_INLINE {
                return twiddle<Fwd>(y, *tw.b_cos(jq, i), *tw.b_sin(jq, i));
            },
            [&](int j, int jq, cfloat y) ORBELIX_INLINE { ch[j + P * jq + PQ * i] = y; });
}

// The twiddles from wsave's rows (wa for A, wb for B), or from a block table
// if one is given; input segment m' + Q*m is read as +0 where that bit of
// zero_segments is set.
template <bool Fwd, int P, int Q>
void first_fused_pass(int ido, const cfloat *cc, std::ptrdiff_t stride, cfloat *ch,
                      const float *wa, const float *wb, const float *table,
                      unsigned zero_segments = 0) {
    const int idb = ido / Q;
    auto sweep = [&](auto masked) {
        constexpr bool M = decltype(masked)::value;
        if (table)
            first_fused_sweep<Fwd, P, Q, M>(ido, cc, stride, ch, BlockTwiddles<P, Q, 0>{table},
                                            zero_segments);
        else
            first_fused_sweep<Fwd, P, Q, M>(ido, cc, stride, ch,
                                            RowTwiddles{{wa, ido, P}, {wb, idb, Q}, idb},
                                            zero_segments);
    };
    if (zero_segments)
        sweep(std::true_type{});
    else
        sweep(std::false_type{});
}

}  // namespace ORBELIX_KERNEL_ISA
}  // namespace orbelix::fftpack
