#!/usr/bin/python3
"""The end-to-end case done the way a numpy user would, with numpy alone (pandas and
statsmodels cannot be installed here): read the data file, frame each series, the coherence
of every band bin by an FFT of each frame, the significant bins, a VAR fitted by least squares
with standard errors and t values, a forecast, the eigenvalues of the companion matrix, and the
report lines. Run in the case folder; prints the time of each stage.

It does the same kind of work, not the same arithmetic: its figures are for comparison only.
statsmodels would also form the covariance of all coefficients (a Kronecker product of order
nv*nr, some 40,000, for this case); this script takes the standard errors from the diagonal of
the inverse of X'X instead, so it is faster than the statsmodels way.
"""
import time

import numpy as np

LB, LOW, HIGH, PCT, P, LAGS, AHEAD = 1000, 10, 490, 10.0, 0.9999, 2, 1

t0 = time.perf_counter()
x = np.loadtxt("tones.dat", skiprows=2, dtype=np.float32)
t1 = time.perf_counter()

n, M = x.shape
nf = n // LB
ntap = int(np.floor(PCT * LB * 0.005 + 0.5))
k = np.arange(1, ntap + 1)
w = np.ones(LB)
w[:ntap] = np.sin(k * np.pi / (2 * (ntap + 1)))
w[LB - ntap:] = w[:ntap][::-1]
u2 = np.mean(w * w)

lines = []
forecasts = []
for j in range(M):
    frames = x[: nf * LB, j].astype(np.float64).reshape(nf, LB)
    wave = frames.mean(axis=0)
    resid = frames - wave
    A = np.abs(np.fft.fft(wave * w)[LOW : HIGH + 1]) ** 2
    S = (np.abs(np.fft.fft(resid * w, axis=1)[:, LOW : HIGH + 1]) ** 2).mean(axis=0) / LB / u2
    prob = 1.0 - np.exp(-(2.0 * n * A / (LB * LB * np.maximum(S, 1e-6))) / 2.0)
    bins = np.nonzero(prob > P)[0] + LOW

    coef = np.fft.fft(resid, axis=1)[:, bins]
    Z = np.empty((nf, 2 * len(bins)))
    Z[:, 0::2] = coef.real
    Z[:, 1::2] = coef.imag
    nv = Z.shape[1]
    nr = nv * LAGS
    X = np.hstack([Z[LAGS - l : nf - l] for l in range(1, LAGS + 1)])
    Y = Z[LAGS:]
    XtX = X.T @ X
    B = np.linalg.solve(XtX, X.T @ Y)
    E = Y - X @ B
    sigma2 = (E * E).sum(axis=0) / (len(Y) - nr)
    se = np.sqrt(np.outer(np.diag(np.linalg.inv(XtX)), sigma2))
    t = B / se
    for i in range(nv):
        for u in range(nr):
            lines.append(f"  b({i + 1:2d},{u + 1:2d}) = {B[u, i]:9.3f}   {se[u, i]:9.3f}   {t[u, i]:9.3f}")

    state = np.concatenate([Z[nf - l] for l in range(1, LAGS + 1)])
    spectrum = np.fft.fft(wave)
    for _ in range(AHEAD):
        nxt = state @ B
        state = np.concatenate([nxt, state[:-nv]])
        f = spectrum.copy()
        f[bins] += nxt[0::2] + 1j * nxt[1::2]
        f[LB - bins] = np.conj(f[bins])
        forecasts.append(np.fft.ifft(f).real)

    companion = np.zeros((nr, nr))
    companion[:nv, :] = B.T
    companion[nv:, :-nv] = np.eye(nr - nv)
    for e in np.linalg.eigvals(companion):
        lines.append(f" {abs(e):8.4f}      {2 * np.pi / abs(np.angle(e)) if np.angle(e) > 0 else 0.0:6.2f}")
t2 = time.perf_counter()

with open("numpy.out", "w") as out:
    out.write("\n".join(lines))
    out.write("\n")
np.savetxt("numpy.forec", np.column_stack(forecasts), fmt="%9.3f")
t3 = time.perf_counter()

print(f"reading  {t1 - t0:.3f} s\nanalysis {t2 - t1:.3f} s\nwriting  {t3 - t2:.3f} s\ntotal    {t3 - t0:.3f} s")
print(f"report lines {len(lines)}")
