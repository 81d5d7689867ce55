// General odd-radix pass (p a prime >= 7): the p-point DFT by pairing the
// terms m and p - m, O(p^2) per group, with the p-th roots of unity taken
// from the I = 1 entries of the twiddle block.
//
// Unlike the radix-2..5 passes it leaves its result in the array that held
// the data (cc), using ch as scratch, except on the last pass (IDO = 1) with
// the data in work (NA = 1), where the result goes to ch.
#pragma once

#include <algorithm>

#include "fftpack/complex_ops.hpp"
#include "fftpack/pass_layout.hpp"

namespace orbelix::fftpack {
inline namespace ORBELIX_KERNEL_ISA {

// Above this many pairs the sums over the pairs dominate a pass, and they
// run output by output with the partial sums in registers.
constexpr int kWideRadix = 8;

// For each output pair (l, p - l), l = 1 .. (p-1)/2: the cosine part
// term1 + sum_j cos(2pi lj/p) sum_j into data(l) and the sine part
// -+sum_j sin(2pi lj/p) diff_j into data(p - l), each accumulated in
// increasing j exactly as the pass states it. Eight outputs at a time give
// the processor independent chains of additions; the root index lj mod p
// advances by l instead of being divided out.
template <bool Fwd, class Data, class Tmp>
void cosine_sine_parts_by_output(int ns, std::ptrdiff_t lid, int ip, const Twiddles &w,
                                 Data &&data, Tmp &&tmp) {
    constexpr int kBlock = 8;
    const int ipph = (ip + 1) / 2;
    for (int l0 = 1; l0 < ipph; l0 += kBlock) {
        const int nl = std::min(kBlock, ipph - l0);
        for (std::ptrdiff_t ki = 0; ki < lid; ++ki)
            for (int s = 0; s < ns; ++s) {
                cfloat re[kBlock], im[kBlock];
                int idx[kBlock];
                for (int b = 0; b < nl; ++b) {
                    const int l = l0 + b;
                    const float ai1 = Fwd ? -w.sin(0, l) : w.sin(0, l);
                    re[b] = tmp(s, ki, 0) + w.cos(0, l) * tmp(s, ki, 1);
                    im[b] = ai1 * tmp(s, ki, ip - 1);
                    idx[b] = (2 * l) % ip;
                }
                for (int j = 2; j < ipph; ++j) {
                    const cfloat sum = tmp(s, ki, j), diff = tmp(s, ki, ip - j);
                    for (int b = 0; b < nl; ++b) {
                        const float war = w.cos(0, idx[b]);
                        const float wai = Fwd ? -w.sin(0, idx[b]) : w.sin(0, idx[b]);
                        re[b] = re[b] + war * sum;
                        im[b] = im[b] + wai * diff;
                        idx[b] += l0 + b;
                        if (idx[b] >= ip) idx[b] -= ip;
                    }
                }
                for (int b = 0; b < nl; ++b) {
                    data(s, ki, l0 + b) = re[b];
                    data(s, ki, ip - l0 - b) = im[b];
                }
            }
    }
}

template <bool Fwd, bool Many, class S>
void passg(int lot, int ido, int ip, int l1, int lid, int na, S cc, S ch,
           const float *wa) {
    const int ns = batch<Many>(lot);
    const int ipph = (ip + 1) / 2;
    const Twiddles w{wa, ido, ip};
    const std::ptrdiff_t LID = lid, L1 = l1;
    // Both arrays seen as (ki, j) with ki = k + L1*i: input element (k, i, j).
    auto data = [&](int s, std::ptrdiff_t ki, int j) -> cfloat & { return cc(s, ki + LID * j); };
    auto tmp = [&](int s, std::ptrdiff_t ki, int j) -> cfloat & { return ch(s, ki + LID * j); };

    // Term 1, and the sums and differences of the paired terms.
    for (std::ptrdiff_t ki = 0; ki < LID; ++ki)
        for (int s = 0; s < ns; ++s) tmp(s, ki, 0) = data(s, ki, 0);
    for (int j = 1; j < ipph; ++j) {
        const int jc = ip - j;
        for (std::ptrdiff_t ki = 0; ki < LID; ++ki)
            for (int s = 0; s < ns; ++s) {
                const cfloat a = data(s, ki, j), b = data(s, ki, jc);
                tmp(s, ki, j) = a + b;
                tmp(s, ki, jc) = a - b;
            }
    }
    // Output 1 is term 1 plus all sums; output l collects the cosine part of
    // the pair (l, p - l), output p - l its sine part.
    for (int j = 1; j < ipph; ++j)
        for (std::ptrdiff_t ki = 0; ki < LID; ++ki)
            for (int s = 0; s < ns; ++s) data(s, ki, 0) = data(s, ki, 0) + tmp(s, ki, j);
    if (ipph > kWideRadix) {
        cosine_sine_parts_by_output<Fwd>(ns, LID, ip, w, data, tmp);
    } else {
        for (int l = 1; l < ipph; ++l) {
            const int lc = ip - l;
            const float ar1 = w.cos(0, l);
            const float ai1 = Fwd ? -w.sin(0, l) : w.sin(0, l);
            for (std::ptrdiff_t ki = 0; ki < LID; ++ki)
                for (int s = 0; s < ns; ++s) {
                    data(s, ki, l) = tmp(s, ki, 0) + ar1 * tmp(s, ki, 1);
                    data(s, ki, lc) = ai1 * tmp(s, ki, ip - 1);
                }
            for (int j = 2; j < ipph; ++j) {
                const int jc = ip - j;
                const int idlj = (l * j) % ip;
                const float war = w.cos(0, idlj);
                const float wai = Fwd ? -w.sin(0, idlj) : w.sin(0, idlj);
                for (std::ptrdiff_t ki = 0; ki < LID; ++ki)
                    for (int s = 0; s < ns; ++s) {
                        data(s, ki, l) = data(s, ki, l) + war * tmp(s, ki, j);
                        data(s, ki, lc) = data(s, ki, lc) + wai * tmp(s, ki, jc);
                    }
            }
        }
    }

    // Combine each pair: out(j) = cos(j) + i*sin(jc), out(jc) = cos(j) - i*sin(jc).
    // The last pass scales (forward) and finishes in place (NA = 0) or in ch.
    const bool last = ido == 1;
    const bool scale = Fwd && last;
    const float sn = 1.0f / static_cast<float>(ip * l1);
    auto dest = [&](int s, std::ptrdiff_t ki, int j) -> cfloat & {
        return (last && na == 0) ? data(s, ki, j) : tmp(s, ki, j);
    };
    for (std::ptrdiff_t ki = 0; ki < LID; ++ki)
        for (int s = 0; s < ns; ++s) {
            const cfloat y = data(s, ki, 0);
            dest(s, ki, 0) = scale ? sn * y : y;
        }
    for (int j = 1; j < ipph; ++j) {
        const int jc = ip - j;
        for (std::ptrdiff_t ki = 0; ki < LID; ++ki)
            for (int s = 0; s < ns; ++s) {
                const cfloat a = data(s, ki, j), b = data(s, ki, jc);
                const cfloat yj{a.re - b.im, a.im + b.re};
                const cfloat yjc{a.re + b.im, a.im - b.re};
                dest(s, ki, j) = scale ? sn * yj : yj;
                dest(s, ki, jc) = scale ? sn * yjc : yjc;
            }
    }
    if (last) return;

    // Back into the data array in output order (k, j, i), with twiddles for
    // i > 0 and j > 0.
    for (int i = 0; i < ido; ++i)
        for (std::ptrdiff_t k = 0; k < L1; ++k)
            for (int s = 0; s < ns; ++s) cc(s, k + L1 * ip * i) = ch(s, k + L1 * i);
    for (int j = 1; j < ip; ++j)
        for (std::ptrdiff_t k = 0; k < L1; ++k)
            for (int s = 0; s < ns; ++s)
                cc(s, k + L1 * j) = ch(s, k + L1 * ido * j);
    for (int j = 1; j < ip; ++j)
        for (int i = 1; i < ido; ++i) {
            const float wr = w.cos(i, j), wi = w.sin(i, j);
            for (std::ptrdiff_t k = 0; k < L1; ++k)
                for (int s = 0; s < ns; ++s)
                    cc(s, k + L1 * (j + std::ptrdiff_t(ip) * i)) =
                        twiddle<Fwd>(ch(s, k + L1 * (i + std::ptrdiff_t(ido) * j)), wr, wi);
        }
}

}  // namespace ORBELIX_KERNEL_ISA
}  // namespace orbelix::fftpack
