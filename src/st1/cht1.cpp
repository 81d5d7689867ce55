#include "st1/cht1.hpp"

#include "core/complex.hpp"

namespace orbelix::hilbrt {

void cht1f(View1<cfloat> a) {
    const int n = a.n;
    for (int i = 1; i < (n + 1) / 2; ++i) a[i] = times_real(a[i], 2.0f);
    for (int i = n / 2 + 1; i < n; ++i) a[i] = {0.0f, 0.0f};
}

void cht1b(View1<cfloat> a) {
    const int n = a.n;
    for (int i = 1; i < (n + 1) / 2; ++i) a[i] = times_real(a[i], 0.5f);
    for (int i = n / 2 + 1; i < n; ++i) a[i] = {a[n - i].re, -a[n - i].im};
}

}  // namespace orbelix::hilbrt
