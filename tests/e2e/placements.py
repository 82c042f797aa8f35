#!/usr/bin/env python3
"""Checks where the saver put its pictures, from screenshots of the desktop.

    placements.py MONITORS TRACE OLD_TRACE MINIMUM SHOT...

MONITORS is "WxH+X+Y,..." (the primary first, the desktop at 0,0). TRACE is
tessera-show-trace's output for those monitors (lines end with the text's
position); OLD_TRACE its output for one screen of the monitors' bounding box,
which is where pictures went before they were placed onto a monitor. SHOTS are
screenshots in the order they were taken.

In every shot the pictures' pixels (everything not black on the monitors,
but for the text line) must lie wholly inside one monitor and inside the place the trace gives
the picture then showing; the shots must show at least MINIMUM of the trace's
placements whole, in the trace's order, among them at least one on each
monitor and one that the old placement would have put across the seam or off
the monitors. Prints one line per check; exit 0 when all pass.
"""
import re
import sys

from PIL import Image

SIZES = {0: (256, 336)}  # picture 0 is the portrait one
OTHER = (336, 256)
TEXT_BOX = (250, 32)
EDGE = 3  # pixels a whole picture's outline may miss (dark picture edges)


def monitors_of(text):
    out = []
    for one in text.split(","):
        w, h, x, y = map(int, re.fullmatch(r"(\d+)x(\d+)\+(-?\d+)\+(-?\d+)", one).groups())
        out.append((x, y, x + w, y + h))
    return out


def placements(path):
    """The trace's placements in order: (index, left, top, right, bottom), and the text box."""
    out, text = [], None
    for line in open(path):
        f = line.split()
        index, x, y = int(f[1]), int(f[5]), int(f[6])
        w, h = SIZES.get(index, OTHER)
        if not out or out[-1][0] != index:
            out.append((index, x, y, x + w, y + h))
        if len(f) >= 10:
            text = (int(f[8]), int(f[9]))
    return out, text


def inside(box, area, slack=0):
    return (box[0] >= area[0] - slack and box[1] >= area[1] - slack and
            box[2] <= area[2] + slack and box[3] <= area[3] + slack)


def on_one(box, monitors):
    return any(inside(box, m) for m in monitors)


def main(argv):
    monitors = monitors_of(argv[1])
    predicted, text = placements(argv[2])
    old, _ = placements(argv[3])
    minimum = int(argv[4])
    failures = []

    def check(what, ok):
        print(("ok: " if ok else "FAIL: ") + what)
        if not ok:
            failures.append(what)

    check("the trace puts every picture on one monitor",
          all(on_one(p[1:], monitors) for p in predicted))
    seen, shown, strays, n = [], 0, [], 0
    for shot in argv[5:]:
        # Only the monitors show anything: what a screenshot holds of the rest
        # of the bounding box is undefined.
        desktop = Image.open(shot).convert("L")
        image = Image.new("L", desktop.size, 0)
        for m in monitors:
            image.paste(desktop.crop(m), m[:2])
        # The text line is redrawn every tick over whatever is there.
        image.paste(0, (text[0], text[1], text[0] + TEXT_BOX[0], text[1] + TEXT_BOX[1]))
        box = image.point(lambda v: 255 if v > 8 else 0).getbbox()
        if box is None:
            continue
        shown += 1
        if not on_one(box, monitors):
            strays.append("%s: %s on no single monitor" % (shot, box))
        # The picture showing now is the last one seen or a later one.
        match = next((k for k in range(n, len(predicted)) if inside(box, predicted[k][1:], 1)), None)
        if match is None:
            strays.append("%s: %s not where the trace puts picture %d or a later one" % (shot, box, n))
            continue
        n = match
        whole = all(abs(a - b) <= EDGE for a, b in zip(box, predicted[n][1:]))
        if whole and (not seen or seen[-1] != n):
            seen.append(n)
    for stray in strays:
        print("  " + stray)
    check("%d shots showed a picture, each wholly inside one monitor and where the trace puts it"
          % shown, shown > 0 and not strays)
    places = ["%d:(%d,%d)" % (k, predicted[k][1], predicted[k][2]) for k in seen]
    check("%d placements seen whole, in the trace's order: %s" % (len(seen), " ".join(places)),
          len(seen) >= minimum)
    for i, m in enumerate(monitors):
        check("a whole picture was seen on monitor %d" % i,
              any(inside(predicted[k][1:], m) for k in seen))
    moved = [k for k in seen if k < len(old) and not on_one(old[k][1:], monitors)]
    check("placements that the bounding box alone would have left across the seam or off the "
          "monitors were seen: %s" % " ".join("%d:(%d,%d)" % (k, old[k][1], old[k][2]) for k in moved),
          len(moved) > 0)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
