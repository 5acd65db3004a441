"""The exact figures of a raster, worked out here independently of the module: the README's
formulas taken literally, cell by cell, in rational numbers (heights sample / 10^decimals),
each square root kept exact as a sum of square roots grouped by square-free part. A figure's
text is its value correctly rounded to 6 decimals (a tie to even, "-0.000000" for a negative
value that rounds to 0), its double the nearest one: decided exactly where the value is
rational, else by enclosures narrowed until no boundary lies inside (an irrational value is on
no boundary, so the narrowing ends). Slow: for rasters of a few thousand cells."""
from fractions import Fraction
from math import isqrt


class Roots:
    """Square roots of whole numbers grouped by square-free part: √a and √b belong together
    when a·b is a perfect square, and then √a = (√(a·b) / b)·√b. Roots of numbers of distinct
    square-free parts are linearly independent over the rationals, so a sum of them is 0 only
    when every group's coefficient is."""

    def __init__(self):
        self.keys = []

    def key_of(self, radicand):
        """(key, factor) with √radicand = factor·√key, key one of the groups' numbers."""
        for key in self.keys:
            product = radicand * key
            root = isqrt(product)
            if root * root == product:
                return key, Fraction(root, key)
        self.keys.append(radicand)
        return radicand, Fraction(1)


class Surd:
    """Σ c·√k over keys k of one Roots, c rational; 1 is the key of the rational part."""

    def __init__(self, roots, terms=None):
        self.roots = roots
        self.terms = {k: c for k, c in (terms or {}).items() if c != 0}

    @classmethod
    def root(cls, roots, value):
        """√value, value a rational ≥ 0: √(p/q) = √(p·q) / q."""
        value = Fraction(value)
        assert value >= 0
        if value == 0:
            return cls(roots)
        key, factor = roots.key_of(value.numerator * value.denominator)
        return cls(roots, {key: factor / value.denominator})

    @classmethod
    def rational(cls, roots, value):
        """A rational value; the Roots' first key is 1."""
        assert roots.keys[0] == 1
        return cls(roots, {1: Fraction(value)})

    def __add__(self, other):
        terms = dict(self.terms)
        for k, c in other.terms.items():
            terms[k] = terms.get(k, 0) + c
        return Surd(self.roots, terms)

    def scaled(self, factor):
        return Surd(self.roots, {k: c * factor for k, c in self.terms.items()})

    def __sub__(self, other):
        return self + other.scaled(-1)

    def is_zero(self):
        return not self.terms

    def rational_value(self):
        """Its value when it is rational, else None."""
        if set(self.terms) <= {1}:
            return self.terms.get(1, Fraction(0))
        return None

    def enclosure(self, bits):
        """(low, high) rationals around its value, each root to 2^-bits."""
        low = high = Fraction(0)
        for key, c in self.terms.items():
            root = isqrt(key << (2 * bits))
            exact = root * root == key << (2 * bits)
            lo, hi = Fraction(root, 1 << bits), Fraction(root + (0 if exact else 1), 1 << bits)
            low, high = (low + c * lo, high + c * hi) if c > 0 else (low + c * hi, high + c * lo)
        return low, high

    def sign(self):
        if self.is_zero():
            return 0
        bits = 64
        while True:
            low, high = self.enclosure(bits)
            if low > 0 or high < 0:
                return 1 if low > 0 else -1
            bits *= 2


class Quotient:
    """numerator / denominator, two surds, the denominator not 0."""

    def __init__(self, numerator, denominator):
        assert not denominator.is_zero()
        self.numerator, self.denominator = numerator, denominator

    def rational_value(self):
        """Its value when rational: then, by the roots' independence, the numerator's terms
        are the denominator's times that value."""
        n, d = self.numerator.terms, self.denominator.terms
        if set(n) - set(d):
            return None
        key = next(iter(d))
        ratio = n.get(key, Fraction(0)) / d[key]
        return ratio if all(n.get(k, 0) == c * ratio for k, c in d.items()) else None

    def enclosure(self, bits):
        n_low, n_high = self.numerator.enclosure(bits)
        d_low, d_high = self.denominator.enclosure(bits)
        if d_low <= 0 <= d_high:
            return None
        ends = [a / b for a in (n_low, n_high) for b in (d_low, d_high)]
        return min(ends), max(ends)


def text_of_rational(value):
    """"%f" of an exact rational: 6 decimals, a tie to even."""
    scaled = value * 10**6
    whole = scaled.numerator // scaled.denominator  # floor
    rest = scaled - whole
    if rest > Fraction(1, 2) or (rest == Fraction(1, 2) and whole % 2 == 1):
        whole += 1
    sign = "-" if value < 0 else ""
    magnitude = abs(whole)
    return f"{sign}{magnitude // 10**6}.{magnitude % 10**6:06d}"


def certified(value):
    """(text, double) of a Surd or Quotient, or ("undefined", None) for None."""
    if value is None:
        return "undefined", None
    exact = value.rational_value()
    if exact is not None:
        return text_of_rational(exact), float(exact)
    bits = 64
    while True:
        ends = value.enclosure(bits)
        if ends is not None:
            texts = {text_of_rational(end) for end in ends}
            doubles = {float(end) for end in ends}
            if len(texts) == 1 and len(doubles) == 1:
                return texts.pop(), doubles.pop()
        bits *= 2


def rms_of(roots, values):
    """√(Σ (z − m)² / n), m the mean of the n values."""
    mean = sum(values, Fraction(0)) / len(values)
    return Surd.root(roots, sum(((z - mean) ** 2 for z in values), Fraction(0)) / len(values))


def profile(roots, z):
    lines, columns = len(z), len(z[0])
    line_rms = [rms_of(roots, line) for line in z]
    column_rms = [rms_of(roots, [z[i][j] for i in range(lines)]) for j in range(columns)]
    cells = [v for line in z for v in line]
    n = len(cells)
    mean = sum(cells, Fraction(0)) / n
    s = sum(((v - mean) ** 2 for v in cells), Fraction(0))
    zero = Surd(roots)
    r1 = sum(line_rms, zero).scaled(Fraction(1, lines))
    r2 = sum(column_rms, zero).scaled(Fraction(1, columns))
    r3 = Surd.root(roots, s / n)
    f = {"rms_line": r1, "rms_column": r2, "rms_image": r3,
         "standard_deviation": Surd.root(roots, s / (n * (n - 1))) if n > 1 else None}

    def distance(a, b):
        return (a - b).scaled(Fraction((a - b).sign()))

    total = (distance(r1, r2) + distance(r1, r3) + distance(r2, r3)).scaled(Fraction(1, 3))
    average = (r1 + r2 + r3).scaled(Fraction(1, 3))
    f["rms_total"], f["average_rms"] = total, average
    if average.is_zero():
        f["homogeneity"] = f["homogeneity_report"] = None
    else:
        f["homogeneity"] = Quotient(total.scaled(100), average)
        f["homogeneity_report"] = Quotient(average.scaled(100) - total.scaled(100), average)
    return f, line_rms


def neighbourhood(roots, z):
    lines, columns = len(z), len(z[0])
    xs, ys, qs = [], [], []
    for i in range(1, lines - 1):
        for j in range(1, columns - 1):
            eight = (z[i - 1][j] + z[i][j + 1] + z[i + 1][j] + z[i][j - 1] + z[i - 1][j - 1] +
                     z[i - 1][j + 1] + z[i + 1][j + 1] + z[i + 1][j - 1])
            xs.append(z[i][j])
            ys.append(eight / 8)
            qs.append((z[i - 1][j] + z[i][j + 1] + z[i + 1][j] + z[i][j - 1]) / 4)
    n = len(xs)
    names = ("slope", "r", "r_abs", "r2", "rms_error", "rms_error_sd")
    f = dict.fromkeys(names)
    if n < 2:
        return f, n
    sx, sy = sum(xs, Fraction(0)), sum(ys, Fraction(0))
    sxy = sum((x * y for x, y in zip(xs, ys)), Fraction(0))
    sxx, syy = sum((x * x for x in xs), Fraction(0)), sum((y * y for y in ys), Fraction(0))
    numerator, qx, qy = n * sxy - sx * sy, n * sxx - sx * sx, n * syy - sy * sy
    if qx != 0:
        f["slope"] = Surd.rational(roots, numerator / qx)
    if qx * qy > 0:
        r = Surd.root(roots, 1 / (qx * qy)).scaled(numerator)
        f["r"], f["r_abs"] = r, r.scaled(Fraction(r.sign() or 1))
        f["r2"] = Surd.rational(roots, numerator * numerator / (qx * qy))
    f["rms_error"] = Surd.root(roots, sum(((x - q) ** 2 for x, q in zip(xs, qs)), Fraction(0))
                               / (n - 1))
    d = sum((abs(x - y) for x, y in zip(xs, ys)), Fraction(0)) / n
    f["rms_error_sd"] = Surd.root(
        roots, sum(((abs(x - q) - d) ** 2 for x, q in zip(xs, qs)), Fraction(0)) / (n - 1))
    return f, n


def exact_figures(samples, decimals):
    """For a 2-D array of samples, heights sample / 10^decimals: (texts, doubles, rows) where
    texts and doubles map each figure's name (as Result names it) to its "%f" text or
    "undefined", and to its nearest double or None; rows are the table's texts, line by line."""
    scale = 10**decimals
    z = [[Fraction(int(v), scale) for v in line] for line in samples.tolist()]
    roots = Roots()
    roots.key_of(1)  # the rational part's key first
    figures, line_rms = profile(roots, z)
    more, interior = neighbourhood(roots, z)
    figures.update(more)
    texts, doubles = {}, {}
    for name, value in figures.items():
        texts[name], doubles[name] = certified(value)
    doubles["interior_cells"] = interior
    doubles["minimum"], doubles["maximum"] = int(samples.min()), int(samples.max())
    rows = [certified(value) for value in line_rms]
    return texts, doubles, rows
