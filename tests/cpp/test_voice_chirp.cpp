// The voices of the fast S-transform on the chirp-z path: the band
// convolution against the voice summed in double precision, at both phases,
// with full and truncated windows, and the same bits on every SIMD path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <vector>

#include "st1/voice_chirp.hpp"
#include "test_support.hpp"

using orbelix::cfloat;
using orbelix::VoiceChirp;
using cd = std::complex<double>;

namespace {

// A spectrum that is zero above n/2, as the analytic one is.
std::vector<cfloat> band_spectrum(int n, unsigned seed) {
    std::mt19937 gen(seed);
    std::normal_distribution<float> d;
    std::vector<cfloat> a(n, cfloat{0.0f, 0.0f});
    for (int m = 0; m <= n / 2; ++m) a[m] = {d(gen), d(gen)};
    return a;
}

// sum_t A[(k+t) mod n] w(|t|) e^{2 pi i t j / n} (t signed, |t| <= n/2), times
// e^{2 pi i k j / n} for absolute phase, in double, root indices exact.
std::vector<cd> voice_in_double(const std::vector<cfloat> &a, int k, const std::vector<float> &w,
                                bool absolute) {
    const long long n = static_cast<long long>(a.size());
    std::vector<cd> out(n);
    for (long long j = 0; j < n; ++j) {
        cd acc = 0;
        for (long long t = -(n / 2); t < n - n / 2; ++t) {
            const long long at = ((k + t) % n + n) % n;
            const long long d = t < 0 ? -t : t;
            if (d >= static_cast<long long>(w.size())) continue;
            const long long idx = (((absolute ? k + t : t) * j) % n + n) % n;
            acc += cd(a[at].re, a[at].im) * double(w[d]) * std::polar(1.0, 2.0 * M_PI * idx / n);
        }
        out[j] = acc;
    }
    return out;
}

std::vector<float> gaussian(int k, int n, int len) {
    std::vector<float> w(std::min(len, n / 2 + 1));
    for (int d = 0; d < static_cast<int>(w.size()); ++d)
        w[d] = static_cast<float>(std::exp(-19.73921 * double(d) * d / (double(k) * k)));
    return w;
}

}  // namespace

TEST(VoiceChirp, InnerLengthHoldsOneAndAHalfLengths) {
    EXPECT_EQ(VoiceChirp::inner_length(4099), 6400);  // 6148 slots
    EXPECT_EQ(VoiceChirp::inner_length(4097), 6400);
    EXPECT_EQ(VoiceChirp::inner_length(8191), 12288);
    EXPECT_EQ(VoiceChirp::inner_length(2561), 4096);  // 3841 slots, past 3840
    EXPECT_EQ(VoiceChirp::inner_length(2731), 4096);
    for (int n = 2; n < 3000; n += 37) {
        const int m = VoiceChirp::inner_length(n);
        EXPECT_GE(m, n + n / 2) << n;
        EXPECT_EQ(m % 64, 0) << n;
    }
}

TEST(VoiceChirp, PaysOnTheChirpZPathAndWhereEstimatedFasterAboveTheExactPrimes) {
    using orbelix::fftpack::TransformPlan;
    // Lengths whose primes are all at most 41 keep cfft1_'s numbers.
    for (int n : {2, 41, 4096, 37 * 41 * 4, 41 * 41 * 3})
        EXPECT_FALSE(VoiceChirp::pays(TransformPlan(n))) << n;
    for (int n : {43, 4097, 4099, 8191}) {
        if (TransformPlan(n).uses_chirp()) {
            EXPECT_TRUE(VoiceChirp::pays(TransformPlan(n))) << n;
        }
    }
    // 1647 = 27 * 61 keeps the radix passes for one transform, but its voices
    // convolve (2.1 times faster measured); 1032 = 24 * 43 keeps the passes.
    EXPECT_FALSE(TransformPlan(1647).uses_chirp());
    EXPECT_TRUE(VoiceChirp::pays(TransformPlan(1647)));
    EXPECT_FALSE(VoiceChirp::pays(TransformPlan(1032)));
    EXPECT_TRUE(VoiceChirp::pays(TransformPlan(4099)));
}

TEST(VoiceChirp, MatchesTheVoiceSummedInDoublePrecision) {
    // 2731 convolves at 4096, where the inner plan takes a padded input.
    for (int n : {2, 3, 4, 97, 257, 1031, 2049, 2731}) {
        const std::vector<cfloat> a = band_spectrum(n, n);
        VoiceChirp chirp(n);
        for (int k : {1, 2, n / 4, n / 3, n / 2 - 1, n / 2}) {
            if (k < 1 || k > n / 2 || (n > 2049 && k != 1 && k != n / 2)) continue;
            // The whole window, and one cut short (zero from offset 5 on).
            for (int len : {n / 2 + 1, 5}) {
                const std::vector<float> w = gaussian(k, n, len);
                for (bool absolute : {false, true}) {
                    std::vector<cfloat> got(n + 1, cfloat{7.0f, 7.0f});
                    chirp.voice(a.data(), k, w.data(), static_cast<int>(w.size()), absolute, got.data());
                    const std::vector<cd> want = voice_in_double(a, k, w, absolute);
                    double num = 0, den = 0;
                    for (int j = 0; j < n; ++j) {
                        num += std::norm(cd(got[j].re, got[j].im) - want[j]);
                        den += std::norm(want[j]);
                    }
                    EXPECT_LE(std::sqrt(num / den), 1e-6)
                        << "n " << n << ", k " << k << ", len " << len << ", absolute " << absolute;
                    EXPECT_EQ(got[n].re, 7.0f) << "wrote past the voice";
                }
            }
        }
    }
}

TEST(VoiceChirp, EveryPathGivesTheSameBits) {
    for (int n : {4099, 8191}) {  // inner lengths 6400 and 12288 (padded)
        const std::vector<cfloat> a = band_spectrum(n, 11);
        std::vector<std::vector<cfloat>> by_path;
        for (auto isa : orbelix::testing::supported_paths()) {
            const orbelix::testing::ForcedPath path(isa);
            ASSERT_TRUE(path.forced());
            VoiceChirp chirp(n);
            std::vector<cfloat> all;
            for (int k : {1, 7, 1000, 2049}) {
                const std::vector<float> w = gaussian(k, n, n);
                std::vector<cfloat> v(n);
                chirp.voice(a.data(), k, w.data(), static_cast<int>(w.size()), k % 2 == 0, v.data());
                all.insert(all.end(), v.begin(), v.end());
            }
            by_path.push_back(all);
        }
        for (std::size_t p = 1; p < by_path.size(); ++p)
            EXPECT_EQ(std::memcmp(by_path[p].data(), by_path[0].data(), by_path[0].size() * sizeof(cfloat)), 0)
                << "n " << n << ", path " << p;
    }
}

TEST(VoiceChirp, AVoiceDoesNotDependOnTheOnesBefore) {
    // Where the inner plan takes a padded input, the segments outside a
    // voice's band are neither cleared nor read: what earlier voices left
    // there must not reach a later one.
    for (int n : {2731, 8191}) {  // inner lengths 4096 and 12288 (padded)
        const std::vector<cfloat> a = band_spectrum(n, 5);
        VoiceChirp reused(n);
        for (int k : {n / 2, 3, n / 3, 1}) {
            const std::vector<float> w = gaussian(k, n, n);
            const int len = static_cast<int>(w.size());
            std::vector<cfloat> got(n), want(n);
            reused.voice(a.data(), k, w.data(), len, false, got.data());
            VoiceChirp fresh(n);
            fresh.voice(a.data(), k, w.data(), len, false, want.data());
            EXPECT_EQ(std::memcmp(got.data(), want.data(), n * sizeof(cfloat)), 0)
                << "n " << n << ", k " << k;
        }
    }
}

TEST(VoiceChirp, LongLengthsWithTheKernelInSinglePrecision) {
    // Beyond kDoubleKernelUpTo the kernel's spectrum comes from the float
    // passes; a sample of times against the band summed in double.
    const int n = 700001;
    ASSERT_GT(VoiceChirp::inner_length(n), VoiceChirp::kDoubleKernelUpTo);
    const std::vector<cfloat> a = band_spectrum(n, 5);
    VoiceChirp chirp(n);
    for (int k : {1, n / 2}) {
        const std::vector<float> w = gaussian(k, n, k == 1 ? 5 : n);
        const int wlen = static_cast<int>(w.size());
        std::vector<cfloat> got(n);
        chirp.voice(a.data(), k, w.data(), wlen, false, got.data());
        double num = 0, den = 0;
        for (long long j = 0; j < n; j += n / 17) {
            cd want = 0;
            for (long long m = std::max(0, k - wlen + 1); m <= std::min(n / 2, k + wlen - 1); ++m) {
                const long long d = m - k, idx = ((d * j) % n + n) % n;
                want += cd(a[m].re, a[m].im) * double(w[d < 0 ? -d : d]) *
                        std::polar(1.0, 2.0 * M_PI * static_cast<double>(idx) / n);
            }
            num += std::norm(cd(got[j].re, got[j].im) - want);
            den += std::norm(want);
        }
        EXPECT_LE(std::sqrt(num / den), 1e-6) << "k " << k;
    }
}
