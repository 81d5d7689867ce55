// Which voices and which times a transform computes: the common description
// shared by the forward transform, its inverse and the epoch averages.
#pragma once

#include "st1/gauss_window.hpp"

namespace orbelix::tools {

struct ShapedWindows;  // analysis/signal/windows.hpp

struct VoiceGrid {
    int n = 0;         // signal length
    int k0 = 0;        // first FFT bin
    int step = 1;      // bins between voices (>= 1)
    int count = 0;     // number of voices; k0 + (count-1)*step <= n/2
    int decim = 1;     // time step in samples (>= 1)
    float c = kWindowConstant;  // window constant: w(m) = exp(-c m^2 / k^2)
    bool absolute = false;  // voice k times exp(2 pi i k t / n)
    // Optional, count values each, owned by the caller: the bins of the
    // voices when they are no arithmetic progression; a window constant per
    // voice (Gaussians whose width varies with frequency); the weights of
    // windows given by a shape in time.
    const int *bins = nullptr;
    const float *constants = nullptr;
    const ShapedWindows *shaped = nullptr;
    // The results hold the first `keep` times only (0: all of them), as for
    // a padded signal whose padding is dropped.
    int keep = 0;

    int bin(int i) const { return bins != nullptr ? bins[i] : k0 + i * step; }
    float constant(int i) const { return constants != nullptr ? constants[i] : c; }
    // Samples 0, decim, 2 decim, ... below n (no overflow for any decim).
    int times() const { return n > 0 && decim > 0 ? (n - 1) / decim + 1 : 0; }
    int stored() const { return keep > 0 && keep < times() ? keep : times(); }
    // When decim divides n, the voices come from spectra folded to n/decim.
    bool folded() const { return decim > 1 && n % decim == 0; }
    // Whether the description is usable: bins within 0 .. n/2, sizes positive.
    bool valid() const;
};

// The window constant of width gamma: 2 pi^2 gamma^2, and for gamma = 1
// exactly the constant of the fast S-transform, so that its voices come out
// bit for bit.
float window_constant(double width);

}  // namespace orbelix::tools
