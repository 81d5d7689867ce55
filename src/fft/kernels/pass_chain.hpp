// The chain of passes of one transform: one self-sorting pass per factor,
// the data moving between c and work so that no permutation and no final
// copy are needed. Consecutive radix-2..5 passes of the pairs fusable()
// accepts run as one sweep (fused_pass.hpp), with the same numbers.
//
//   c1fm1f / c1fm1b  = run_passes<true / false, false, S>  (one sequence)
//   cmfm1f / cmfm1b  = run_passes<true / false, true, S>   (a batch of `lot`)
// S is the layout of both arrays (pass_layout.hpp). Each SIMD path compiles
// its own copy (pass_chain_kernels.cpp);
// callers go through drive() in passes.hpp.
#pragma once

#include <type_traits>

#include "fft/kernels/first_pass.hpp"
#include "fft/kernels/first_sweep.hpp"
#include "fft/kernels/fused_pass.hpp"
#include "fft/kernels/pass_layout.hpp"
#include "fft/kernels/radix_pass.hpp"
#include "fft/kernels/radixg.hpp"

namespace orbelix::fftpack {
inline namespace ORBELIX_KERNEL_ISA {

// One radix-2..5 pass.
template <bool Fwd, bool Many, class S>
void pass(int ip, int lot, int ido, int l1, int na, S from, S to, const float *wa, float sn) {
    switch (ip) {
    case 2: radix_pass<Fwd, Many, 2>(lot, ido, l1, na, from, to, wa, sn); break;
    case 3: radix_pass<Fwd, Many, 3>(lot, ido, l1, na, from, to, wa, sn); break;
    case 4: radix_pass<Fwd, Many, 4>(lot, ido, l1, na, from, to, wa, sn); break;
    default: radix_pass<Fwd, Many, 5>(lot, ido, l1, na, from, to, wa, sn); break;
    }
}

// The first pass alone, from wsave's rows or the sweep's block table.
template <bool Fwd>
void first_pass(int ip, int ido, const cfloat *from, cfloat *to, const float *wa,
                const FirstSweep &sweep) {
    const std::ptrdiff_t stride = ido + sweep.gap;
    const float *t = sweep.single_table;
    const unsigned z = sweep.zero_segments;
    switch (ip) {
    case 2: first_pass<Fwd, 2>(ido, from, stride, to, wa, t, z); break;
    case 3: first_pass<Fwd, 3>(ido, from, stride, to, wa, t, z); break;
    case 4: first_pass<Fwd, 4>(ido, from, stride, to, wa, t, z); break;
    default: first_pass<Fwd, 5>(ido, from, stride, to, wa, t, z); break;
    }
}

// The last two passes, of radix ip and iq, in one sweep (fusable(ip, iq)).
template <bool Fwd, bool Many, class S>
void last_fused_pass(int ip, int iq, int lot, int l1, S from, S to, const float *wa, float sn) {
    auto run = [&](auto p, auto q) ORBELIX_INLINE {
        last_fused_pass<Fwd, Many, decltype(p)::value, decltype(q)::value>(lot, l1, from, to, wa,
                                                                           sn);
    };
    using I2 = std::integral_constant<int, 2>;
    using I3 = std::integral_constant<int, 3>;
    using I4 = std::integral_constant<int, 4>;
    if (ip == 4)
        iq == 4 ? run(I4{}, I4{}) : iq == 2 ? run(I4{}, I2{}) : run(I4{}, I3{});
    else
        ip == 2 ? run(I2{}, I3{}) : run(I3{}, I3{});
}

// The first pair fused, from wsave's rows (wa, wb) or the sweep's block table.
template <bool Fwd>
void first_fused_pass(int ip, int iq, int ido, const cfloat *from, cfloat *to, const float *wa,
                      const float *wb, const FirstSweep &sweep) {
    const std::ptrdiff_t stride = ido / iq + sweep.gap;
    const float *t = sweep.fused_table;
    const unsigned z = sweep.zero_segments;
    if (ip == 4)
        iq == 4   ? first_fused_pass<Fwd, 4, 4>(ido, from, stride, to, wa, wb, t, z)
        : iq == 2 ? first_fused_pass<Fwd, 4, 2>(ido, from, stride, to, wa, wb, t, z)
                  : first_fused_pass<Fwd, 4, 3>(ido, from, stride, to, wa, wb, t, z);
    else
        ip == 2 ? first_fused_pass<Fwd, 2, 3>(ido, from, stride, to, wa, wb, t, z)
                : first_fused_pass<Fwd, 3, 3>(ido, from, stride, to, wa, wb, t, z);
}

// The input segments of the first sweep of one contiguous sequence of
// length n when its input is padded by `gap` values after each segment:
// P*Q for a fused first pair, P for a first pass alone. 0 where the first
// sweep is of another kind, which needs its input contiguous, or where the
// segments of a contiguous input already fall in different cache sets.
inline int padded_input_segments(int n, const float *wsave, std::ptrdiff_t gap) {
    const int nf = static_cast<int>(wsave[2 * static_cast<long>(n)]);
    const float *fac = wsave + 2 * static_cast<long>(n) + 1;
    if (nf < 2 || fac[0] > 5) return 0;
    const int ip = static_cast<int>(fac[0]), iq = static_cast<int>(fac[1]);
    const FusePlan plan = fuse_plan(n, nf, fac, gap);
    int segments = ip;
    if (plan.first)
        segments = ip * iq;
    else if (nf == 2 && plan.last)
        return 0;
    return streams_per_set(segments, n / segments) > 1 ? segments : 0;
}

// wsave: the table of length n (twiddle blocks, then the number of factors
// at float 2n and the factors after it). The result always ends in c.
// fuse = false runs one sweep per pass: the reference the tests compare the
// fused chain with. Only one contiguous sequence has fused pairs.
//
// One contiguous sequence may take its first sweep's twiddles from block
// tables and its input padded (sweep, first_sweep.hpp; a padded input needs
// padded_input_segments(n, wsave, sweep.gap) > 0). The result ends in c
// contiguous either way.
template <bool Fwd, bool Many, class S>
void run_passes(int lot, int n, S c, S work, const float *wsave, bool fuse,
                const FirstSweep &sweep) {
    const int nf = static_cast<int>(wsave[2 * static_cast<long>(n)]);
    const float *fac = wsave + 2 * static_cast<long>(n) + 1;
    constexpr bool kOneSequence = !Many && std::is_same_v<S, Contiguous>;
    const FusePlan plan = kOneSequence && fuse ? fuse_plan(n, nf, fac, sweep.gap) : FusePlan{};
    int na = 0;  // 0: the data are in c, 1: in work
    int l1 = 1;
    long iw = 0;
    for (int k1 = 0; k1 < nf; ++k1) {
        const int ip = static_cast<int>(fac[k1]);
        const int l2 = ip * l1;
        const int ido = n / l2;
        const float *wa = wsave + iw;
        const S from = na ? work : c;
        const S to = na ? c : work;
        if constexpr (kOneSequence) {
            if ((k1 == 0 && plan.first) || (k1 == nf - 2 && plan.last)) {
                const int iq = static_cast<int>(fac[k1 + 1]);
                const int idb = ido / iq;
                const float *wb = wa + 2L * (ip - 1) * ido;
                // The second pass of the pair, if last, ends in c (in
                // place if the data are there), as a last pass does.
                const S dest = idb == 1 ? c : to;
                const float sn = 1.0f / static_cast<float>(iq * l2);
                if (idb > 1)
                    first_fused_pass<Fwd>(ip, iq, ido, from.p, dest.p, wa, wb, sweep);
                else if (l1 > 1)
                    last_fused_pass<Fwd, true>(ip, iq, l1, 1, Interleaved{from.p, l1},
                                               Interleaved{dest.p, l1}, wa, sn);
                else
                    last_fused_pass<Fwd, false>(ip, iq, 1, 1, from, dest, wa, sn);
                na = 1 - na;
                l1 = iq * l2;
                iw += 2L * (ip - 1) * ido + 2L * (iq - 1) * idb;
                ++k1;
                continue;
            }
        }
        // The factor 1/N of the last forward pass, as the pass would form it.
        const float sn = 1.0f / static_cast<float>(ip * l1);
        if (ip > 5) {
            passg<Fwd, Many>(lot, ido, ip, l1, l1 * ido, na, from, to, wa);
        } else if constexpr (!Many && std::is_same_v<S, Contiguous>) {
            // Element k + l1*e of one contiguous sequence is element e of
            // "sequence" k in an interleaved batch of l1, with l1 = 1 per
            // sequence: the same butterflies and twiddles, with the groups
            // side by side so that they go a register at a time.
            if (l1 > 1)
                pass<Fwd, true>(ip, l1, ido, 1, na, Interleaved{from.p, l1},
                                Interleaved{to.p, l1}, wa, sn);
            else if (ido > 1)
                first_pass<Fwd>(ip, ido, from.p, to.p, wa, sweep);
            else
                pass<Fwd, false>(ip, 1, ido, 1, na, from, to, wa, sn);
        } else {
            pass<Fwd, Many>(ip, lot, ido, l1, na, from, to, wa, sn);
        }
        if (ip <= 5) na = 1 - na;
        l1 = l2;
        iw += 2L * (ip - 1) * ido;
    }
}

}  // namespace ORBELIX_KERNEL_ISA
}  // namespace orbelix::fftpack
