"""vexa.accel_fit on still means and on a stream of readings, against errors made here."""

import numpy as np
import pytest

import vexa


def _directions():
    faces = [np.eye(3)[a] * s for a in range(3) for s in (1, -1)]
    edges = [
        (np.eye(3)[i] * si + np.eye(3)[j] * sj) / np.sqrt(2)
        for i, j in ((0, 1), (0, 2), (1, 2))
        for si in (1, -1)
        for sj in (1, -1)
    ]
    return np.array(faces + edges)


def _readings(forces, bias, scale, angles_deg):
    yx, zx, zy = np.radians(angles_deg)
    t = np.diag(1 + np.asarray(scale))
    t[1, 0], t[2, 0], t[2, 1] = yx, zx, zy
    return forces @ t.T + bias


BIAS = np.array([0.021, -0.034, 0.012])
SCALE = np.array([0.004, -0.007, 0.0025])
ANGLES = np.array([0.2, -0.35, 0.15])


def test_accel_fit_on_still_means_recovers_the_errors():
    rng = np.random.default_rng(4)
    means = _readings(_directions(), BIAS, SCALE, ANGLES) + rng.normal(0, 20e-6, (18, 3))
    fit = vexa.accel_fit(means, sigma=np.full((18, 3), 20e-6))
    assert fit["ok"] and fit["trusted"]
    np.testing.assert_allclose(fit["scale"]["value"], SCALE, atol=100e-6)
    np.testing.assert_allclose(fit["misalignment"]["value"], ANGLES, atol=0.05)
    np.testing.assert_allclose(fit["bias"]["value"], BIAS, atol=0.5e-3)


def test_accel_fit_finds_the_still_intervals_of_a_stream():
    rng = np.random.default_rng(5)
    rate, hold, turn = 200.0, 4.0, 1.0
    rows = []
    dirs = _directions()
    for k, d in enumerate(dirs):
        nxt = dirs[(k + 1) % len(dirs)]
        still = np.repeat(d[None, :], int(hold * rate), axis=0)
        s = np.linspace(0, 1, int(turn * rate))[:, None]
        moving = d * (1 - s) + nxt * s
        for block, rate_dps in ((still, 0.0), (moving, 50.0)):
            acc = _readings(block, BIAS, SCALE, ANGLES) + rng.normal(0, 0.002, block.shape)
            gyro = rng.normal(0, 0.2, block.shape) + [rate_dps, 0.0, 0.0]
            rows.append(np.hstack([gyro, acc]))
    fit = vexa.accel_fit(np.vstack(rows), rate=rate, seconds_per_pose=2.0)
    assert fit["ok"], fit["problem"]
    assert fit["poses"] == 18
    np.testing.assert_allclose(fit["scale"]["value"], SCALE, atol=300e-6)


def test_accel_fit_refuses_too_few_poses_with_the_reason():
    means = _readings(_directions()[:8], BIAS, SCALE, ANGLES)
    fit = vexa.accel_fit(means)
    assert not fit["ok"]
    assert "8 distinct still poses" in fit["problem"]
    with pytest.raises(ValueError):
        vexa.accel_fit(np.ones((5, 2)))
