"""velmora's model file and report for the peer comparison (numpy only).

read_model(path)          the six sections of an input.txt
read_displacements(path)  the nodal displacement table of an output.txt
print_rounding(u)         half a unit of the last printed digit of each value
lateral_stretch(...)      l2 of the homogeneous plane-strain stretch that frees the sides
exact_stretch(model)      the closed-form displacements of a strip pulled at one end

The reader follows the input format of README.md ("The input file"): section
headers are lines whose first character is ':', lines before a header are
passed over, numbers are free format (spread over lines if need be) and the
rest of a line after the last number of a record or count is passed over.
Large blocks of one record per line (what velmora-mesh writes) are converted
by numpy in one go; anything else goes through the general tokenizer.
"""

import re
import warnings

import numpy as np

_BASED = re.compile(r"^([0-9_]+)#([0-9A-Fa-f_]+)(?:\.([0-9A-Fa-f_]*))?#(?:[eE]([+-]?[0-9_]+))?$")


def number(token):
    """One number of the input: 2.5e-4, 1_000, 2E3 or based, 16#1F#."""
    m = _BASED.match(token)
    if m:
        base = int(m.group(1).replace("_", ""))
        if not 2 <= base <= 16:
            raise ValueError(f"base {base} outside 2..16 in {token!r}")
        value = float(int(m.group(2).replace("_", ""), base))
        fraction = (m.group(3) or "").replace("_", "")
        for k, digit in enumerate(fraction, start=1):
            value += int(digit, base) / float(base) ** k
        if m.group(4):
            value *= float(base) ** int(m.group(4).replace("_", ""))
        return value
    return float(token.replace("_", ""))


class _Cursor:
    """A position in the text: the line and the tokens of it not yet read."""

    def __init__(self, lines):
        self.lines = lines
        self.line = 0  # index of the next line to open
        self.tokens = []  # unread tokens of the open line

    def header(self, what):
        """Pass over lines up to and including the next section header."""
        self.tokens = []
        while self.line < len(self.lines):
            text = self.lines[self.line]
            self.line += 1
            if text.startswith(":"):
                return
        raise ValueError(f"input ends before the {what} section header")

    def numbers(self, count, what, end=True):
        """count numbers, over as many lines as they take; then, when they end
        a record (end), the rest of the line is passed over."""
        values = []
        while len(values) < count:
            while not self.tokens:
                if self.line >= len(self.lines):
                    raise ValueError(f"input ends inside {what}")
                self.tokens = self.lines[self.line].split()
                self.line += 1
            token = self.tokens.pop(0)
            try:
                values.append(number(token))
            except ValueError:
                raise ValueError(f"line {self.line}: a number expected in {what}, found {token!r}") from None
        if end:
            self.tokens = []
        return values

    def title(self):
        """Pass over one title line."""
        if self.line >= len(self.lines):
            raise ValueError("input ends before a title line")
        self.tokens = []
        self.line += 1

    def records(self, count, width, what):
        """count records of width numbers, as an array (count, width)."""
        if count == 0:
            return np.zeros((0, width))
        block = self.lines[self.line:self.line + count]
        if len(block) == count:
            # One record per line: numpy reads the whole block at once. A
            # comment word, a based number or a record spread over lines
            # stops it short, and the tokenizer takes over.
            with warnings.catch_warnings():
                warnings.simplefilter("ignore", DeprecationWarning)
                values = np.fromstring("\n".join(block), dtype=float, sep=" ")
            if values.size == count * width:
                self.line += count
                self.tokens = []
                return values.reshape(count, width)
        return np.array([self.numbers(width, what) for _ in range(count)])


def _whole(value, what):
    if value != int(value):
        raise ValueError(f"{what}: a whole number expected, found {value}")
    return int(value)


def read_model(path):
    """The model of an input.txt as a dict of numpy arrays and numbers.

    nodes: (n, 3) coordinates of nodes 1..n (row k is node k + 1);
    elements: (m, 3) zero-based node indices of elements 1..m;
    supports, loads: dicts {(node index, direction 0..2): value}, a later
    record for the same node and direction replacing the earlier one.
    """
    with open(path, "r", encoding="latin-1") as f:
        lines = f.read().split("\n")
    cur = _Cursor(lines)

    cur.header("control")
    eta, search_limit, tolerance, reference_residue, max_iterations, memory = cur.numbers(6, "the control values")
    cur.header("material")
    thickness, kind = cur.numbers(2, "the material", end=False)
    kind = _whole(kind, "material kind")
    if kind == 1:
        constants = cur.numbers(2, "the neo-Hookean constants")
    elif kind == 2:
        constants = cur.numbers(3, "the Mooney-Rivlin constants")
    else:
        raise ValueError(f"material kind {kind} is neither 1 nor 2")

    cur.header("nodes")
    n = _whole(cur.numbers(1, "the node count")[0], "node count")
    cur.title()
    rec = cur.records(n, 4, "a node record")
    order = rec[:, 0].astype(np.int64)
    if n and (order.min() < 1 or order.max() > n or np.unique(order).size != n):
        raise ValueError("node numbers are not 1..count, each once")
    nodes = np.empty((n, 3))
    nodes[order - 1] = rec[:, 1:]

    cur.header("elements")
    m = _whole(cur.numbers(1, "the element count")[0], "element count")
    cur.title()
    rec = cur.records(m, 4, "an element record")
    order = rec[:, 0].astype(np.int64)
    if m and (order.min() < 1 or order.max() > m or np.unique(order).size != m):
        raise ValueError("element numbers are not 1..count, each once")
    elements = np.empty((m, 3), dtype=np.int64)
    elements[order - 1] = rec[:, 1:].astype(np.int64) - 1
    if m and (elements.min() < 0 or elements.max() >= n):
        raise ValueError("an element corner names no node")

    def node_records(what):
        cur.header(what)
        count = _whole(cur.numbers(1, f"the {what} count")[0], f"{what} count")
        if count > 0:
            cur.title()
        rec = cur.records(count, 3, f"a {what} record")
        out = {}
        for node, direction, value in rec.tolist():  # later records replace earlier ones
            node, direction = int(node), int(direction)
            if not (1 <= node <= n and 1 <= direction <= 3):
                raise ValueError(f"{what} record names node {node}, direction {direction}")
            out[(node - 1, direction - 1)] = value
        return out

    supports = node_records("supports")
    loads = node_records("loads")

    return {
        "eta": eta, "search_limit": search_limit,
        "tolerance": tolerance if tolerance > 0 else 1e-3,
        "reference_residue": reference_residue,
        "max_iterations": int(max_iterations), "memory": memory,
        "thickness": thickness, "kind": kind, "constants": constants,
        "nodes": nodes, "elements": elements, "supports": supports, "loads": loads,
    }


def read_displacements(path, node_count):
    """The displacement table of a velmora output.txt: an array (node_count, 3)."""
    with open(path, "r", encoding="latin-1") as f:
        lines = f.read().split("\n")
    for k, text in enumerate(lines):
        if text.split()[:3] == ["Node", "Displ", "X"]:
            break
    else:
        raise ValueError(f"{path}: no displacement table")
    start = k + 2  # past the rule under the heading
    block = lines[start:start + node_count]
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)
        values = np.fromstring("\n".join(block), dtype=float, sep=" ")
    if values.size != 4 * node_count:
        raise ValueError(f"{path}: the displacement table does not hold {node_count} nodes")
    values = values.reshape(node_count, 4)
    out = np.full((node_count, 3), np.nan)
    out[values[:, 0].astype(np.int64) - 1] = values[:, 1:]
    return out


# The homogeneous plane-strain stretch (l1, l2, 1) of the energy per unit
# initial volume (with i1 = tr C, i2 = (i1^2 - tr C^2)/2, J = det F):
#   neo-Hookean    W = mu/2 i1 J^(-2/3) + bulk/2 (J^2 - 2 J)
#   Mooney-Rivlin  W = c10 i1 J^(-2/3) + c01 i2 J^(-4/3) + bulk/2 (J^2 - 2 J)
# The lateral Cauchy stress is l2/J dW/dl2; it vanishes where dW/dl2 = 0.

def _dw_dl2(l1, l2, kind, constants):
    i1 = l1 * l1 + l2 * l2 + 1.0
    i2 = l1 * l1 * l2 * l2 + l2 * l2 + l1 * l1
    J = l1 * l2
    if kind == 1:
        mu, bulk = constants
        w_i1, w_i2 = 0.5 * mu * J ** (-2.0 / 3.0), 0.0
        w_J = -mu / 3.0 * i1 * J ** (-5.0 / 3.0) + bulk * (J - 1.0)
    else:
        c10, c01, bulk = constants
        w_i1, w_i2 = c10 * J ** (-2.0 / 3.0), c01 * J ** (-4.0 / 3.0)
        w_J = -2.0 / 3.0 * c10 * i1 * J ** (-5.0 / 3.0) - 4.0 / 3.0 * c01 * i2 * J ** (-7.0 / 3.0) + bulk * (J - 1.0)
    return w_i1 * 2.0 * l2 + w_i2 * (2.0 * l1 * l1 * l2 + 2.0 * l2) + w_J * l1


def lateral_stretch(l1, kind, constants):
    """l2 that frees the sides under the stretch l1 (bisection to the last bit)."""
    lo, hi = 1e-3, 1e3
    f_lo = _dw_dl2(l1, lo, kind, constants)
    if f_lo >= 0 or _dw_dl2(l1, hi, kind, constants) <= 0:
        raise ValueError("no lateral stretch frees the sides for this material")
    while True:
        mid = 0.5 * (lo + hi)
        if mid <= lo or mid >= hi:
            return mid
        if (_dw_dl2(l1, mid, kind, constants) < 0) == (f_lo < 0):
            lo = mid
        else:
            hi = mid


def exact_stretch(model):
    """Closed-form displacements (n, 2) of a strip pulled at its end by a prescribed x displacement.

    The strip: the nodes at the smallest x held in x, one of them also in y,
    the nodes at the largest x moved by one prescribed x displacement, no
    other support in the plane and no load. Node (x, y) then moves by
    ((l1 - 1) (x - x0), (l2 - 1) (y - y0)), (x0, y0) the node held in both.
    Returns (displacements, l1, l2).
    """
    x, y = model["nodes"][:, 0], model["nodes"][:, 1]
    sup = model["supports"]
    if any(v != 0.0 for (node, d), v in model["loads"].items() if d < 2):
        raise ValueError("the closed-form stretch is for a strip without loads")
    moved = {node: v for (node, d), v in sup.items() if d == 0 and v != 0.0}
    held_x = [node for (node, d), v in sup.items() if d == 0 and v == 0.0]
    held_y = [node for (node, d), v in sup.items() if d == 1]
    values = set(moved.values())
    if len(values) != 1 or len(held_y) != 1 or sup[(held_y[0], 1)] != 0.0:
        raise ValueError("the model is not a strip stretched at one end")
    x_end, x_start = x[list(moved)], x[held_x]
    if x_end.min() != x_end.max() or x_start.min() != x_start.max() or held_y[0] not in held_x:
        raise ValueError("the model is not a strip stretched at one end")
    x0, y0 = x[held_y[0]], y[held_y[0]]
    l1 = 1.0 + values.pop() / (x_end[0] - x0)
    l2 = lateral_stretch(l1, model["kind"], model["constants"])
    return np.column_stack(((l1 - 1.0) * (x - x0), (l2 - 1.0) * (y - y0))), l1, l2


def print_rounding(u):
    """Half a unit of the last digit of each value as output.txt prints it
    (9 significant digits, d.dddddddd E+xx): the most its rounding moved it."""
    a = np.abs(u)
    out = np.zeros_like(a)
    nonzero = a > 0
    out[nonzero] = 0.5e-8 * 10.0 ** np.floor(np.log10(a[nonzero]))
    return out


def largest_error(u, exact, used=None, rounding=None):
    """Largest absolute difference, per direction and overall, over the nodes in used (all by default).

    With rounding (per value, as print_rounding gives), only the part of each
    difference beyond it: a lower bound of the error of the unrounded values.
    """
    d = np.abs(u[:, :2] - exact[:, :2])
    if rounding is not None:
        d = np.maximum(d - rounding[:, :2], 0.0)
    if used is not None:
        d = d[used]
    ex, ey = float(d[:, 0].max()), float(d[:, 1].max())
    return max(ex, ey), ex, ey

