#!/usr/bin/python3
"""The end-to-end case done the way a careful numpy user would, with numpy alone (pandas and
statsmodels cannot be installed here): read the data file; for each series its descriptive
statistics, its frames, the coherence of every band bin from the transforms of all frames at
once, the significant bins, a VAR fitted by least squares through the normal equations with
standard errors and t values, a forecast, the eigenvalues of the companion matrix; then the
report lines and the forecast file. Run in the case folder; prints the time of each stage.

It does the same kind of work as the program, not the same arithmetic (double precision
throughout, the least-squares fit of the frames after the first `LAGS` instead of the program's
normal equations over all frame pairs): its figures are for comparison only. statsmodels would
also form the covariance of all coefficients (a Kronecker product of order nv*nr, some 40,000,
for this case); this script takes the standard errors from the diagonal of the inverse of X'X
instead, so it is faster than the statsmodels way.
"""
import time

import numpy as np

# The case's settings (bench/e2e_case.hpp, written into the case's tramel.cnl by the generator).
LB, LOW, HIGH, PCT, P, LAGS, AHEAD = 1000, 10, 490, 10.0, 0.9999, 2, 1

t0 = time.perf_counter()
# The fastest numpy reader of this file: np.loadtxt (its reader is compiled code) into single
# precision, the precision the program reads into. Measured on this case (8 million values,
# numpy 1.24, medians of 3 alternating reads at a load average near 2): loadtxt into float32
# 0.78 s, into float64 0.93 s, np.fromfile(sep=" ") 1.47 s, np.fromstring(sep=" ") 2.13 s.
# Like the others it splits the f10.3 fields at blanks, which is right here because no value
# of the case fills its 10 columns.
x = np.loadtxt("tones.dat", skiprows=2, dtype=np.float32)
t1 = time.perf_counter()

n, M = x.shape
nf = n // LB
# The sine taper: a quarter sine over the first ntap positions, its mirror over the last.
ntap = int(np.floor(PCT * LB * 0.005 + 0.5))
w = np.ones(LB)
w[:ntap] = np.sin(np.arange(1, ntap + 1) * np.pi / (2 * (ntap + 1)))
w[LB - ntap :] = w[:ntap][::-1]
u2 = np.mean(w * w)

results = []
for j in range(M):
    series = x[:, j].astype(np.float64)

    # Descriptive statistics: mean, standard deviation, skewness, excess kurtosis, the sixth
    # cumulant over the sixth power of the standard deviation, the extremes.
    d = series - series.mean()
    d2 = d * d
    m2, m3, m4, m6 = d2.mean(), (d2 * d).mean(), (d2 * d2).mean(), (d2 * d2 * d2).mean()
    stats = (series.mean(), np.sqrt(m2 * n / (n - 1)), m3 / m2**1.5, m4 / m2**2 - 3.0,
             (m6 - 15 * m4 * m2 - 10 * m3 * m3 + 30 * m2**3) / m2**3, series.max(), series.min())

    # Coherence: the tapered mean waveform's power against the noise spectrum of the tapered
    # residual frames, all frames in one batched real transform.
    frames = series[: nf * LB].reshape(nf, LB)
    wave = frames.mean(axis=0)
    resid = frames - wave
    W = np.fft.rfft(wave * w)
    A = np.abs(W[LOW : HIGH + 1]) ** 2
    S = np.maximum((np.abs(np.fft.rfft(resid * w, axis=1)[:, LOW : HIGH + 1]) ** 2).mean(axis=0)
                   / LB / u2, 1e-6)
    prob = 1.0 - np.exp(-n * A / (LB * LB * S))  # chi-square, 2 degrees of freedom, at 2K A/S
    bins = np.flatnonzero(prob > P) + LOW

    # The VAR of the significant bins' coefficients, frame after frame (untapered residuals).
    coef = np.fft.rfft(resid, axis=1)[:, bins]
    Z = np.empty((nf, 2 * len(bins)))
    Z[:, 0::2] = coef.real
    Z[:, 1::2] = coef.imag
    nv = Z.shape[1]
    nr = nv * LAGS
    X = np.hstack([Z[LAGS - l : nf - l] for l in range(1, LAGS + 1)])
    Y = Z[LAGS:]
    XtX = X.T @ X
    B = np.linalg.solve(XtX, X.T @ Y)  # B[u, i]: regressor u of equation i
    E = Y - X @ B
    sigma2 = (E * E).sum(axis=0) / (len(Y) - nr)
    se = np.sqrt(np.outer(np.diag(np.linalg.inv(XtX)), sigma2))
    t = B / se
    r_square = 1.0 - (E * E).sum() / ((Y - Y.mean(axis=0)) ** 2).sum()

    # The forecast: the VAR run forward from the last frames, leaving out the coefficients
    # whose t value is below 1 in magnitude; each forecast frame is bin 0 of the tapered mean
    # waveform plus, at the significant bins, its coefficients and the forecast, turned back
    # into samples and scaled to the mean waveform's standard deviation.
    Bt = np.where(np.abs(t) < 1.0, 0.0, B)
    state = np.concatenate([Z[nf - l] for l in range(1, LAGS + 1)])
    spectrum = np.zeros(LB // 2 + 1, dtype=complex)
    spectrum[0] = W[0]
    forecast = []
    for _ in range(AHEAD):
        nxt = state @ Bt
        state = np.concatenate([nxt, state[:-nv]])
        spectrum[bins] = W[bins] + nxt[0::2] + 1j * nxt[1::2]
        y = np.fft.irfft(spectrum, LB)
        forecast.append(y * (wave.std(ddof=1) / y.std(ddof=1)))

    # The eigenvalues of the companion matrix: magnitude, and period in frames.
    companion = np.zeros((nr, nr))
    companion[:nv, :] = B.T
    companion[nv:, :-nv] = np.eye(nr - nv)
    e = np.linalg.eigvals(companion)
    angle = np.angle(e)
    period = np.where(angle > 0, 2 * np.pi / np.where(angle > 0, angle, 1.0), 0.0)
    results.append((stats, bins, prob[bins - LOW], B, se, t, r_square, np.abs(e), period,
                    np.concatenate(forecast)))
t2 = time.perf_counter()

# The report lines and the forecast file (the program's record layout: frame, position, the
# value of every series).
lines = []
for j, (stats, bins, p, B, se, t, r_square, mag, period, _) in enumerate(results):
    lines.append(f"  Series {j + 1}")
    lines.append(f" Mean = {stats[0]:12.3g}       Std Dev = {stats[1]:12.3g}")
    lines.append(f" Skew = {stats[2]:10.3g}    Kurtosis = {stats[3]:10.3g}    C(6) = {stats[4]:10.3f}")
    lines.append(f" Max value = {stats[5]:12.3g}       Min value = {stats[6]:12.3g}")
    lines.extend(f"  {k:4d}  {q:8.6f}" for k, q in zip(bins, p))
    # Equation after equation; the values as Python floats first, which format about twice
    # as fast as numpy scalars.
    i, u = np.meshgrid(np.arange(1, B.shape[1] + 1), np.arange(1, B.shape[0] + 1), indexing="ij")
    rows = zip(i.ravel().tolist(), u.ravel().tolist(), B.T.ravel().tolist(),
               se.T.ravel().tolist(), t.T.ravel().tolist())
    lines.extend("  b(%2d,%2d) = %9.3f   %9.3f   %9.3f" % row for row in rows)
    lines.append(f"  R square = {r_square:8.4f}")
    lines.extend(f" {a:8.4f}      {b:6.2f}" for a, b in zip(mag, period))
with open("numpy.out", "w") as out:
    out.write("\n".join(lines))
    out.write("\n")
samples = AHEAD * LB
table = np.column_stack([np.arange(samples) // LB + 1, np.arange(samples) % LB + 1]
                        + [r[-1] for r in results])
np.savetxt("numpy.forec", table, fmt="%3d  %4d  " + " ".join(["%9.3f"] * M))
t3 = time.perf_counter()

print(f"reading  {t1 - t0:.3f} s\nanalysis {t2 - t1:.3f} s\nwriting  {t3 - t2:.3f} s\ntotal    {t3 - t0:.3f} s")
print(f"report lines {len(lines)}")
