#!/usr/bin/env python3
"""An independent model of the butterfly world, written from the rules of the
simulation, for cross-checking moonwisp-sim to the last bit.

It reproduces glibc's rand() (the additive feedback generator behind srand),
rounds every single-precision operation to float32 and follows the world's
set-up and update step. Usage:

    sim_reference.py SIM_BINARY

runs moonwisp-sim on several argument sets and compares every value of its
JSON dump with this model; exits 1 on the first difference."""
import json
import math
import struct
import subprocess
import sys


def f32(x):
    return struct.unpack('<f', struct.pack('<f', x))[0]


def bits(x):
    return struct.pack('<f', x)


class GlibcRand:
    def __init__(self, seed):
        seed &= 0xFFFFFFFF
        if seed == 0:
            seed = 1
        r = [0] * 34
        r[0] = seed - (1 << 32) if seed >= (1 << 31) else seed
        for i in range(1, 31):
            word = r[i - 1]
            hi = int(word / 127773)  # C division truncates toward zero
            lo = word - hi * 127773
            word = 16807 * lo - 2836 * hi
            if word < 0:
                word += 2147483647
            r[i] = word
        for i in range(31, 34):
            r[i] = r[i - 31]
        self.r = [v & 0xFFFFFFFF for v in r]
        for _ in range(310):
            self._next()

    def _next(self):
        r = self.r
        v = (r[-31] + r[-3]) & 0xFFFFFFFF
        r.append(v)
        if len(r) > 64:
            del r[:len(r) - 34]
        return v >> 1


class Random:
    def __init__(self, seed):
        self.g = GlibcRand(seed)

    def randdouble(self, lo, hi):
        if not hi > lo:
            return lo
        return lo + (float(self.g._next()) * (hi - lo)) / 2147483647.0

    def randfloat(self, lo, hi):
        if not hi > lo:
            return lo
        r = f32(float(self.g._next()))
        return f32(lo + f32(f32(r * f32(hi - lo)) * f32(4.656612873077393e-10)))

    def randint(self, lo, hi):
        if hi <= lo:
            return lo
        return lo + self.g._next() % (hi - lo + 1)


def add(a, b): return (f32(a[0] + b[0]), f32(a[1] + b[1]), f32(a[2] + b[2]))
def sub(a, b): return (f32(a[0] - b[0]), f32(a[1] - b[1]), f32(a[2] - b[2]))
def neg(a): return (-a[0], -a[1], -a[2])
def smul(a, s): return (f32(s * a[0]), f32(s * a[1]), f32(s * a[2]))
def len2(a): return f32(f32(f32(a[0] * a[0]) + f32(a[1] * a[1])) + f32(a[2] * a[2]))


def normalize(a):
    length = f32(math.sqrt(len2(a)))
    if length == 0.0:
        return a
    return (f32(a[0] / length), f32(a[1] / length), f32(a[2] / length))


def limit(a, mx):
    if len2(a) > f32(mx * mx):
        n = normalize(a)
        return (f32(mx * n[0]), f32(mx * n[1]), f32(mx * n[2]))
    return a


SCHEMES = [
    [(0.45, 1.0, 0.25), (0.75, 1.0, 0.3), (0.32, 0.7, 0.18), (0.53, 0.7, 0.21)],
    [(0.4, 0.9, 1.0), (0.15, 0.45, 1.0), (0.34, 0.77, 0.85), (0.13, 0.38, 0.85)],
    [(1.0, 0.8, 0.35), (1.0, 0.99, 0.35), (0.7, 0.56, 0.25), (0.7, 0.69, 0.25)],
    [(0.5, 0.35, 1.0), (0.85, 0.35, 1.0), (0.5, 0.35, 1.0), (0.85, 0.35, 1.0)],
    [(1.0, 0.23, 0.23), (1.0, 0.35, 0.35), (1.0, 0.28, 0.28), (1.0, 0.42, 0.42)],
    [(0.4, 0.9, 1.0), (0.15, 0.45, 1.0), (0.4, 0.9, 1.0), (0.15, 0.45, 1.0)],
]


def color(scheme, which):
    row = scheme & 0xFF
    return tuple(f32(c) for c in SCHEMES[row if row <= 4 else 5][which])


def cell(v):
    if v < 0:
        return 0
    if v > 1:
        return 9
    return min(9, int(math.floor(f32(v * f32(10.0)))))


def node_index(p):
    return cell(p[0]) * 100 + cell(p[1]) * 10 + cell(p[2])


class World:
    def __init__(self, rnd, n, color_type, w, h, choice, glow, speed, size):
        self.rnd = rnd
        self.glow, self.color_type, self.speed = glow, color_type, speed
        s = size
        self.min_y = self.min_x = f32(f32(-2.0 * s) - 0.1)
        self.max_y = f32(f32(f32(3.0) * s) + 1.1)
        self.max_x = f32(f32(f32(2.0) * s) + 1.1)
        self.max_z, self.min_z = 1.0, f32(0.47)
        self.butterfly_size, self.screen_width, self.screen_height = s, w, h
        self.color_scheme = rnd.randint(0, 4) if choice in (5, 6, 7) else choice
        r = rnd.randint(0, 4)
        self.next_color_scheme = (self.color_scheme + 1) % 5 if r == self.color_scheme else r
        off = 2 if glow else 0
        self.color_from, self.color_to = color(self.color_scheme, off), color(self.color_scheme, off + 1)
        self.color_cycle_elapsed, self.color_fade_time = 0, 5000000
        self.color_cycle_time = 5000000 if choice == 7 else 30000000
        self.color_cycling = 1 if choice in (6, 7) else 0
        self.bins = {}
        self.curr = [-1] * max(n, 0)
        self.b = []
        for i in range(max(n, 0)):
            fade_rate = rnd.randfloat(f32(1.0e-7), f32(4.0e-7))
            self.b.append(self.new_butterfly(i, fade_rate, speed))

    def file(self, i, k):
        if self.curr[i] >= 0:
            self.bins[self.curr[i]].remove(i)
            if not self.bins[self.curr[i]]:
                del self.bins[self.curr[i]]
        self.bins.setdefault(k, []).append(i)
        self.curr[i] = k

    def new_butterfly(self, i, fade_rate, speed):
        rnd = self.rnd
        b = {'color_mix': rnd.randfloat(0.0, 1.0), 'fade': rnd.randfloat(0.0, 1.0), 'fade_rate': fade_rate}
        zp = rnd.randdouble(self.min_z, self.max_z)
        yp = rnd.randdouble(self.min_y, self.max_y)
        xp = rnd.randdouble(self.min_x, self.max_x)
        b['position'] = (f32(xp), f32(yp), f32(zp))
        dz, dy, dx = rnd.randdouble(-1.0, 1.0), rnd.randdouble(-0.15, 0.15), rnd.randdouble(-1.0, 1.0)
        b['direction'] = normalize((f32(dx), f32(dy), f32(dz)))
        b['flock_direction'] = b['direction']
        b['max_speed'] = rnd.randfloat(f32(speed * f32(0.95)), f32(speed * f32(1.05)))
        b['max_force'] = f32(b['max_speed'] * 0.01)
        b['velocity'] = limit(b['direction'], b['max_speed'])
        self.b.append(b)  # filed before the rest is drawn
        self.file(i, node_index(b['position']))
        self.b.pop()
        b['active'] = 1
        b['flap_angle'] = rnd.randfloat(0.0, 360.0)
        b['flap_rate'] = rnd.randfloat(f32(3.0e-5), f32(5.0e-5))
        d = b['direction']
        b['facing'] = normalize((d[0], 0.0, d[2]))
        return b

    def neighbours(self, i, radius_cells, test, quantity):
        b = self.curr[i]
        c = (int(b / 100), int(math.fmod(int(b / 10), 10)), int(math.fmod(b, 10)))
        lo = [max(v - radius_cells, 0) for v in c]
        hi = [min(v + radius_cells, 9) for v in c]
        own = self.b[i]['position']
        total, count = (0.0, 0.0, 0.0), 0
        for kx in range(lo[0], hi[0] + 1):
            for ky in range(lo[1], hi[1] + 1):
                for kz in range(lo[2], hi[2] + 1):
                    for j in self.bins.get(kx * 100 + ky * 10 + kz, []):
                        if j == i:
                            continue
                        other = self.b[j]
                        if test(len2(sub(own, other['position']))):
                            total = add(total, quantity(own, other))
                            count += 1
        return total, count

    def step(self, dt_int):
        dt = f32(float(dt_int))
        for i, b in enumerate(self.b):
            if not b['active']:
                continue
            steer = (0.0, 0.0, 0.0)
            avg, n = self.neighbours(i, 3, lambda l2: l2 < 0.0625, lambda o, x: x['position'])
            if n > 0:
                avg = (f32(avg[0] / n), f32(avg[1] / n), f32(avg[2] / n))
                steer = add(steer, smul(limit(sub(avg, b['position']), b['max_force']), 1.0))
                d, m = self.neighbours(i, 3, lambda l2: l2 < 0.0625, lambda o, x: x['flock_direction'])
                if m > 0:
                    d = (f32(d[0] / m), f32(d[1] / m), f32(d[2] / m))
                    steer = add(steer, smul(limit(d, b['max_force']), 2.0))
                s, k = self.neighbours(i, 1, lambda l2: l2 < 0.01, lambda o, x: sub(x['position'], o))
                if k > 0:
                    steer = add(steer, smul(limit(neg(normalize(s)), b['max_force']), 3.0))
            if b['position'][2] < -0.45:
                steer = add(steer, smul(limit((0.0, 0.0, 1.0), b['max_force']), 5.0))
            if steer[0] != 0.0 or steer[1] != 0.0 or steer[2] != 0.0:
                b['velocity'] = limit(add(b['velocity'], steer), b['max_speed'])
            b['position'] = add(b['position'], smul(b['velocity'], dt))
            v = b['velocity']
            b['facing'] = normalize((v[0], 0.0, v[2]))
            self.file(i, node_index(b['position']))
            b['fade'] = f32(b['fade'] + f32(dt * b['fade_rate']))
            p = b['position']
            outside = (p[1] < self.min_y or p[1] > self.max_y or p[0] > self.max_x or p[0] < self.min_x
                       or p[2] > self.max_z or p[2] < self.min_z)
            if outside and b['fade'] <= 0:
                z = self.rnd.randdouble(self.min_z, self.max_z)
                y = self.rnd.randdouble(self.min_y, self.max_y)
                x = self.rnd.randdouble(self.min_x, self.max_x)
                b['position'] = (f32(x), f32(y), f32(z))
                dz = self.rnd.randdouble(-1.0, 1.0)
                dy = self.rnd.randdouble(-0.15, 0.15)
                dx = self.rnd.randdouble(-1.0, 1.0)
                b['direction'] = normalize((f32(dx), f32(dy), f32(dz)))
                b['flock_direction'] = b['direction']
                b['fade'] = 0.0
            if b['fade'] < 0:
                b['fade'], b['fade_rate'] = 0.0, -b['fade_rate']
            if b['fade'] > 1:
                b['fade'], b['fade_rate'] = 1.0, -b['fade_rate']
            ny = normalize(b['velocity'])[1]
            rate = f32(b['flap_rate'] + 0.000005 + (0.5 * ny + 0.5) * 0.000045)
            b['flap_angle'] = f32(math.fmod(f32(b['flap_angle'] + f32(rate * dt)), 360.0))
        if not self.color_cycling:
            return
        off = 2 if self.glow else 0
        self.color_cycle_elapsed += dt_int
        if self.color_cycle_elapsed > self.color_cycle_time:
            self.color_cycle_elapsed = 0
            self.color_scheme = self.next_color_scheme
            self.color_from, self.color_to = color(self.color_scheme, off), color(self.color_scheme, off + 1)
            self.next_color_scheme = (self.color_scheme + self.rnd.randint(1, 4)) % 5
            return
        start = self.color_cycle_time - self.color_fade_time
        if self.color_cycle_elapsed <= start:
            return
        t = f32(f32(float(self.color_cycle_elapsed - start)) / f32(float(self.color_fade_time)))
        for name, which in (('color_from', off), ('color_to', off + 1)):
            a, z = color(self.color_scheme, which), color(self.next_color_scheme, which)
            setattr(self, name, add(a, smul(sub(z, a), t)))


def simulate(seed, n, choice, glow, w, h, steps, dts):
    rnd = Random(seed)
    world_type = rnd.randint(0, 2)
    if choice == 5:
        choice = rnd.randint(0, 5)
    world = World(rnd, n, world_type, w, h, choice, glow, f32(f32(10.0) * 1e-08), f32(f32(4.0) * 0.03))
    for k in range(steps):
        world.step(dts[k % len(dts)])
    return world


def compare(world, dump):
    def same(name, model, text_value):
        if isinstance(model, tuple):
            for a, b in zip(model, text_value):
                same(name, a, b)
            return
        if isinstance(model, float):
            if bits(model) != bits(f32(float(text_value))):
                raise AssertionError(f'{name}: model {model!r} != dump {text_value!r}')
        elif model != text_value:
            raise AssertionError(f'{name}: model {model!r} != dump {text_value!r}')

    for key in ('color_type', 'speed', 'max_y', 'min_y', 'min_x', 'max_x', 'max_z', 'min_z', 'butterfly_size',
                'screen_width', 'screen_height', 'color_from', 'color_to', 'color_scheme', 'next_color_scheme',
                'color_cycle_elapsed', 'color_fade_time', 'color_cycle_time', 'color_cycling', 'glow'):
        same(key, getattr(world, key), dump[key])
    assert len(world.b) == len(dump['butterflies'])
    for i, (b, d) in enumerate(zip(world.b, dump['butterflies'])):
        for key, value in b.items():
            same(f'butterflies[{i}].{key}', value, d[key])
        same(f'butterflies[{i}].curr_bin', world.curr[i], d['curr_bin'])
    assert {str(k): v for k, v in world.bins.items()} == dump['bins'], 'bin lists differ'


CASES = [
    (1, 30, 6, 1, 1280, 800, 400, [16667]),
    (7, 60, 7, 0, 1920, 1200, 300, [16667, 1, 40000]),
    (123456789, 40, 5, 1, 640, 480, 300, [40000, 33333]),
    (4294967295, 25, 2, 0, 300, 200, 2000, [40000]),
    (0, 3, 0, 1, 100, 100, 10, [16667]),
]


def main():
    sim = sys.argv[1]
    for seed, n, choice, glow, w, h, steps, dts in CASES:
        args = [sim, '--seed', str(seed), '--quantity', str(n), '--color', str(choice), '--glow', str(glow),
                '--width', str(w), '--height', str(h), '--steps', str(steps), '--dt', ','.join(map(str, dts))]
        dump = json.loads(subprocess.run(args, check=True, capture_output=True, text=True).stdout)
        try:
            compare(simulate(seed, n, choice, glow, w, h, steps, dts), dump)
        except AssertionError as e:
            print(f'MISMATCH for {" ".join(args[1:])}: {e}')
            return 1
        print(f'identical: {" ".join(args[1:])}')
    print(f'{len(CASES)} passed, 0 failed')
    return 0


if __name__ == '__main__':
    sys.exit(main())
