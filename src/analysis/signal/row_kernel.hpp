// The per-sample work on a voice's values (powers, magnitudes, the epoch
// sums of power and of S/|S|, the fold of a windowed spectrum), written once
// for any vector width and compiled per instruction set (row_kernels.cpp).
// Each lane runs the scalar tail's operations in its order, so every path
// gives the bits of the portable one.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <utility>

#include "core/simd/paths.hpp"
#include "core/view.hpp"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace orbelix::tools::kernel {

// W floats a register: W/2 complex values, read as W/2 real and W/2
// imaginary parts, or widened to W/2 doubles.
template <int W>
struct Lanes {
    static constexpr int h = W / 2;
    typedef float F __attribute__((vector_size(4 * W)));
    typedef int FBits __attribute__((vector_size(4 * W)));
    typedef float Half __attribute__((vector_size(2 * W)));
    typedef int HalfBits __attribute__((vector_size(2 * W)));
    typedef double D __attribute__((vector_size(4 * W)));
    typedef long long DBits __attribute__((vector_size(4 * W)));
};

template <class V, class T>
ORBELIX_INLINE inline V load(const T *p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class T, class V>
ORBELIX_INLINE inline void store(T *p, V v) {
    std::memcpy(p, &v, sizeof v);
}

template <class Half, class F, int... I>
ORBELIX_INLINE inline Half evens(F f, std::integer_sequence<int, I...>) {
    return __builtin_shufflevector(f, f, (2 * I)...);
}

template <class Half, class F, int... I>
ORBELIX_INLINE inline Half odds(F f, std::integer_sequence<int, I...>) {
    return __builtin_shufflevector(f, f, (2 * I + 1)...);
}

// The real (even) and imaginary (odd) lanes of two vectors of complex values.
template <class F, int... I>
ORBELIX_INLINE inline F pair_evens(F a, F b, std::integer_sequence<int, I...>) {
    return __builtin_shufflevector(a, b, (2 * I)...);
}

template <class F, int... I>
ORBELIX_INLINE inline F pair_odds(F a, F b, std::integer_sequence<int, I...>) {
    return __builtin_shufflevector(a, b, (2 * I + 1)...);
}

// {w0, w0, w1, w1, ...}: a real factor for each complex value.
template <class F, class Half, int... I>
ORBELIX_INLINE inline F doubled(Half w, std::integer_sequence<int, I...>) {
    return __builtin_shufflevector(w, w, (I / 2)...);
}

// {w[h-1], w[h-1], ..., w0, w0}: the same for factors read backwards.
template <class F, class Half, int... I>
ORBELIX_INLINE inline F doubled_reversed(Half w, std::integer_sequence<int, I...>) {
    constexpr int h = sizeof...(I) / 2;
    return __builtin_shufflevector(w, w, (h - 1 - I / 2)...);
}

// A vector of `bytes` bytes of E.
template <class E, int bytes>
struct Vector {
    typedef E type __attribute__((vector_size(bytes)));
};

// Correctly rounded square roots of floats or doubles: the same bits as
// std::sqrt in each lane.
template <class V>
ORBELIX_INLINE inline V sqrt_lanes(V x) {
    using E = std::remove_reference_t<decltype(x[0])>;
    constexpr bool single = std::is_same_v<E, float>;
#if defined(__AVX__)
    if constexpr (sizeof(V) == 64) {
        // Two halves (GCC's 512-bit square root intrinsics start from an
        // undefined register it then warns about).
        using Half = typename Vector<E, 32>::type;
        Half half[2];
        std::memcpy(half, &x, sizeof x);
        half[0] = sqrt_lanes(half[0]);
        half[1] = sqrt_lanes(half[1]);
        std::memcpy(&x, half, sizeof x);
        return x;
    }
    if constexpr (sizeof(V) == 32 && single) return reinterpret_cast<V>(_mm256_sqrt_ps(reinterpret_cast<__m256>(x)));
    if constexpr (sizeof(V) == 32 && !single) return reinterpret_cast<V>(_mm256_sqrt_pd(reinterpret_cast<__m256d>(x)));
#endif
#if defined(__SSE2__)
    if constexpr (sizeof(V) == 16 && single) return reinterpret_cast<V>(_mm_sqrt_ps(reinterpret_cast<__m128>(x)));
    if constexpr (sizeof(V) == 16 && !single) return reinterpret_cast<V>(_mm_sqrt_pd(reinterpret_cast<__m128d>(x)));
#endif
    for (std::size_t i = 0; i < sizeof(V) / sizeof(E); ++i) x[i] = std::sqrt(x[i]);
    return x;
}

// Whether any lane of a comparison's mask is set.
template <class Bits>
ORBELIX_INLINE inline bool any_lane(Bits mask) {
    for (std::size_t i = 0; i < sizeof(Bits) / sizeof(int); ++i)
        if (mask[i] != 0) return true;
    return false;
}

// 1.0 where the mask is set, else 0.0.
template <class D, class DBits>
ORBELIX_INLINE inline D ones_where(DBits mask) {
    const D one = D{} + 1.0;
    return reinterpret_cast<D>(mask & reinterpret_cast<DBits>(one));
}

template <int W>
struct Rows {
    using T = Lanes<W>;
    using F = typename T::F;
    using Half = typename T::Half;
    using D = typename T::D;
    using DBits = typename T::DBits;
    static constexpr int h = T::h;
    using Seq = std::make_integer_sequence<int, h>;
    using SeqW = std::make_integer_sequence<int, W>;

    // Real and imaginary parts of h values.
    ORBELIX_INLINE static void parts(const cfloat *v, Half &re, Half &im) {
        const F f = load<F>(v);
        re = evens<Half>(f, Seq{});
        im = odds<Half>(f, Seq{});
    }
    ORBELIX_INLINE static void wide_parts(const cfloat *v, D &re, D &im) {
        Half r, i;
        parts(v, r, i);
        re = __builtin_convertvector(r, D);
        im = __builtin_convertvector(i, D);
    }

    // |v|^2 in single precision.
    static void power(const cfloat *v, std::size_t n, float *dst) {
        std::size_t t = 0;
        for (; t + h <= n; t += h) {
            Half re, im;
            parts(v + t, re, im);
            store(dst + t, re * re + im * im);
        }
        for (; t < n; ++t) dst[t] = v[t].re * v[t].re + v[t].im * v[t].im;
    }

    // |v| from the squares in double (exact: no overflow of a float's
    // square), rounded once.
    static void magnitude(const cfloat *v, std::size_t n, float *dst) {
        std::size_t t = 0;
        for (; t + h <= n; t += h) {
            D re, im;
            wide_parts(v + t, re, im);
            store(dst + t, __builtin_convertvector(sqrt_lanes(re * re + im * im), Half));
        }
        for (; t < n; ++t) {
            const double re = v[t].re, im = v[t].im;
            dst[t] = static_cast<float>(std::sqrt(re * re + im * im));
        }
    }

    // One epoch's terms of the sums of |S|^2 and of S/|S| (0 for S = 0,
    // which divides by 1 instead), stored (first) or added.
    template <bool first>
    static void epoch_sums(const cfloat *v, std::size_t n, double *sum_p, double *sum_re,
                           double *sum_im) {
        std::size_t t = 0;
        for (; t + h <= n; t += h) {
            D re, im;
            wide_parts(v + t, re, im);
            const D p = re * re + im * im;
            const D inv = 1.0 / sqrt_lanes(p + ones_where<D>(p == 0.0));
            const D ure = re * inv, uim = im * inv;
            if constexpr (first) {
                store(sum_p + t, p);
                store(sum_re + t, ure);
                store(sum_im + t, uim);
            } else {
                store(sum_p + t, load<D>(sum_p + t) + p);
                store(sum_re + t, load<D>(sum_re + t) + ure);
                store(sum_im + t, load<D>(sum_im + t) + uim);
            }
        }
        for (; t < n; ++t) {
            const double re = v[t].re, im = v[t].im;
            const double p = re * re + im * im;
            const double inv = 1.0 / std::sqrt(p + static_cast<double>(p == 0.0));
            if constexpr (first) {
                sum_p[t] = p;
                sum_re[t] = re * inv;
                sum_im[t] = im * inv;
            } else {
                sum_p[t] += p;
                sum_re[t] += re * inv;
                sum_im[t] += im * inv;
            }
        }
    }

    // S/|S| in single precision is accurate when |S|^2 is a normal float
    // (or S is 0): below 2^-100 and above 2^126 the double formulas above
    // are used instead.
    static constexpr float kUnitLow = 0x1p-100f, kUnitHigh = 0x1p126f;

    static bool unit_fits(float re, float im, float p) {
        return p <= kUnitHigh && (p >= kUnitLow || (re == 0.0f && im == 0.0f));
    }

    // epoch_sums with S/|S| formed in single precision (|S|^2 still exact
    // in double) and added to the double sums, when every value of the row
    // fits (unit_fits); else false, and the sums untouched.
    template <bool first>
    static bool unit_sums(const cfloat *v, std::size_t n, double *sum_p, double *sum_re,
                          double *sum_im) {
        using FBits = typename T::FBits;
        using Evens = std::make_integer_sequence<int, W>;
        auto full_parts = [](const cfloat *p, F &re, F &im) {
            const F a = load<F>(p), b = load<F>(p + h);
            re = pair_evens<F>(a, b, Evens{});
            im = pair_odds<F>(a, b, Evens{});
        };
        const F high = F{} + kUnitHigh, low = F{} + kUnitLow;
        FBits bad{};
        std::size_t t = 0;
        for (; t + W <= n; t += W) {
            F re, im;
            full_parts(v + t, re, im);
            const F p = re * re + im * im;
            bad |= ~((p <= high) & ((p >= low) | ((re == 0.0f) & (im == 0.0f))));
        }
        if (any_lane(bad)) return false;
        for (; t < n; ++t)
            if (!unit_fits(v[t].re, v[t].im, v[t].re * v[t].re + v[t].im * v[t].im)) return false;

        auto add = [](double *sum, std::size_t at, D term) {
            if constexpr (first)
                store(sum + at, term);
            else
                store(sum + at, load<D>(sum + at) + term);
        };
        t = 0;
        for (; t + W <= n; t += W) {
            F re, im;
            full_parts(v + t, re, im);
            const F pf = re * re + im * im;
            const F one = F{} + 1.0f;
            const F inv = 1.0f / sqrt_lanes(pf + reinterpret_cast<F>(
                                                           (pf == 0.0f) & reinterpret_cast<FBits>(one)));
            const F ure = re * inv, uim = im * inv;
            const Half halves_re[2] = {lower(re, Seq{}), upper(re, Seq{})};
            const Half halves_im[2] = {lower(im, Seq{}), upper(im, Seq{})};
            const Half halves_ure[2] = {lower(ure, Seq{}), upper(ure, Seq{})};
            const Half halves_uim[2] = {lower(uim, Seq{}), upper(uim, Seq{})};
            for (int k = 0; k < 2; ++k) {
                const D r = __builtin_convertvector(halves_re[k], D);
                const D i = __builtin_convertvector(halves_im[k], D);
                add(sum_p, t + k * h, r * r + i * i);
                add(sum_re, t + k * h, __builtin_convertvector(halves_ure[k], D));
                add(sum_im, t + k * h, __builtin_convertvector(halves_uim[k], D));
            }
        }
        for (; t < n; ++t) {
            const float pf = v[t].re * v[t].re + v[t].im * v[t].im;
            const float inv = 1.0f / std::sqrt(pf + static_cast<float>(pf == 0.0f));
            const double re = v[t].re, im = v[t].im;
            const double p = re * re + im * im;
            const double ure = v[t].re * inv, uim = v[t].im * inv;
            if constexpr (first) {
                sum_p[t] = p;
                sum_re[t] = ure;
                sum_im[t] = uim;
            } else {
                sum_p[t] += p;
                sum_re[t] += ure;
                sum_im[t] += uim;
            }
        }
        return true;
    }

    template <int... I>
    ORBELIX_INLINE static Half lower(F f, std::integer_sequence<int, I...>) {
        return __builtin_shufflevector(f, f, I...);
    }
    template <int... I>
    ORBELIX_INLINE static Half upper(F f, std::integer_sequence<int, I...>) {
        return __builtin_shufflevector(f, f, (I + h)...);
    }

    // The means over `epochs` of the sums: power, and |mean of S/|S||.
    static void epoch_means(const double *sum_p, const double *sum_re, const double *sum_im,
                            std::size_t n, int epochs, float *pw, float *coh) {
        const double e = epochs;
        std::size_t t = 0;
        for (; t + h <= n; t += h) {
            const D re = load<D>(sum_re + t), im = load<D>(sum_im + t);
            store(pw + t, __builtin_convertvector(load<D>(sum_p + t) / e, Half));
            store(coh + t, __builtin_convertvector(sqrt_lanes(re * re + im * im) / e, Half));
        }
        for (; t < n; ++t) {
            pw[t] = static_cast<float>(sum_p[t] / e);
            coh[t] = static_cast<float>(std::sqrt(sum_re[t] * sum_re[t] + sum_im[t] * sum_im[t]) / e);
        }
    }

    // One epoch: power |S|^2 and coherence 1 (0 where S = 0). Returns
    // whether some power is not finite (inf or NaN).
    static bool single_epoch(const cfloat *v, std::size_t n, float *pw, float *coh) {
        using HalfBits = typename T::HalfBits;
        HalfBits bad{};
        std::size_t t = 0;
        for (; t + h <= n; t += h) {
            D re, im;
            wide_parts(v + t, re, im);
            const D p = re * re + im * im;
            const Half pf = __builtin_convertvector(p, Half);
            store(pw + t, pf);
            store(coh + t, __builtin_convertvector(ones_where<D>(p != 0.0), Half));
            bad |= (pf - pf != 0.0f);
        }
        bool non_finite = any_lane(bad);
        for (; t < n; ++t) {
            const double re = v[t].re, im = v[t].im;
            const double p = re * re + im * im;
            pw[t] = static_cast<float>(p);
            coh[t] = p != 0.0 ? 1.0f : 0.0f;
            non_finite |= pw[t] - pw[t] != 0.0f;
        }
        return non_finite;
    }

    // out[j] = times_real(in[j], w[j]) (forward) or times_real(in[j], w[-j])
    // (backward), j < run: re*r - im*0, im*r + re*0, as the scalar product
    // of a complex value and a real one forms it (signs of zeros included).
    template <bool backward>
    static void window_product(cfloat *out, const cfloat *in, const float *w, int run) {
        int j = 0;
        const F zero{};
        for (; j + h <= run; j += h) {
            F wd;
            if constexpr (backward)
                wd = doubled_reversed<F>(load<Half>(w - j - (h - 1)), SeqW{});
            else
                wd = doubled<F>(load<Half>(w + j), SeqW{});
            const F z = load<F>(in + j);
            const F p = z * wd;
            const F q = swapped(z, SeqW{}) * zero;
            store(out + j, alternate(p - q, p + q, SeqW{}));
        }
        for (; j < run; ++j) {
            const float r = backward ? w[-j] : w[j];
            out[j] = {in[j].re * r - in[j].im * 0.0f, in[j].im * r + in[j].re * 0.0f};
        }
    }

    // {z1, z0, z3, z2, ...}: each value's parts exchanged.
    template <int... I>
    ORBELIX_INLINE static F swapped(F z, std::integer_sequence<int, I...>) {
        return __builtin_shufflevector(z, z, (I ^ 1)...);
    }
    // Even lanes from a, odd lanes from b.
    template <int... I>
    ORBELIX_INLINE static F alternate(F a, F b, std::integer_sequence<int, I...>) {
        return __builtin_shufflevector(a, b, (I % 2 == 0 ? I : I + W)...);
    }

    // q[i] = max(-((c * float(m*m)) / kk), -128) for m = m0 + i, i < len,
    // the square formed in double: the arguments of a half window's
    // exponential, held where its integer steps do not overflow.
    static void window_quotients(float c, float kk, long long m0, int len, float *q) {
        const D iota = iota_lanes(std::make_integer_sequence<int, h>{});
        const Half lowest = Half{} - 128.0f;
        int i = 0;
        for (; i + h <= len; i += h) {
            const D m = iota + static_cast<double>(m0 + i);
            const Half sq = __builtin_convertvector(m * m, Half);
            const Half v = -((c * sq) / kk);
            store(q + i, v < lowest ? lowest : v);
        }
        for (; i < len; ++i) {
            const double m = static_cast<double>(m0 + i);
            const float v = -((c * static_cast<float>(m * m)) / kk);
            q[i] = v < -128.0f ? -128.0f : v;
        }
    }

    template <int... I>
    ORBELIX_INLINE static D iota_lanes(std::integer_sequence<int, I...>) {
        return D{static_cast<double>(I)...};
    }

    // out[j] += in[j] * w[j] (forward) or in[j] * w[-j] (backward), j < run.
    template <bool backward>
    static void fold(cfloat *out, const cfloat *in, const float *w, int run) {
        int j = 0;
        for (; j + h <= run; j += h) {
            F wd;
            if constexpr (backward)
                wd = doubled_reversed<F>(load<Half>(w - j - (h - 1)), SeqW{});
            else
                wd = doubled<F>(load<Half>(w + j), SeqW{});
            store(out + j, load<F>(out + j) + load<F>(in + j) * wd);
        }
        for (; j < run; ++j) {
            const float wj = backward ? w[-j] : w[j];
            out[j].re += in[j].re * wj;
            out[j].im += in[j].im * wj;
        }
    }
};

}  // namespace orbelix::tools::kernel

// Per instruction set: the loops above at its width (row_kernels.cpp).
namespace orbelix::tools::row_paths {
ORBELIX_DECLARE_PATHS(
    void power(const cfloat *v, std::size_t n, float *dst);
    void magnitude(const cfloat *v, std::size_t n, float *dst);
    void epoch_sums(bool first, const cfloat *v, std::size_t n, double *sum_p, double *sum_re,
                    double *sum_im);
    void epoch_means(const double *sum_p, const double *sum_re, const double *sum_im,
                     std::size_t n, int epochs, float *pw, float *coh);
    bool single_epoch(const cfloat *v, std::size_t n, float *pw, float *coh);
    void fold(bool backward, cfloat *out, const cfloat *in, const float *w, int run);
    void window_quotients(float c, float kk, long long m0, int len, float *q);
    bool unit_sums(bool first, const cfloat *v, std::size_t n, double *sum_p, double *sum_re,
                   double *sum_im);
    void window_product(bool backward, cfloat *out, const cfloat *in, const float *w, int run))
}  // namespace orbelix::tools::row_paths
