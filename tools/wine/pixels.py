#!/usr/bin/env python3
"""Looks at a screenshot the way a person would: is there a picture, is there
text, is a panel plain. Reads a binary PPM (ImageMagick: `convert a.png a.ppm`).

  pixels.py IMAGE CHECK...

CHECK is NAME:X,Y,W,H:KIND with KIND one of
  picture   many colours (at least 64): a photograph or a drawing
  text      some dark pixels (text or lines) on a lighter ground
  plain     one colour covers at least 95 % of the area
  drawn     not plain: something is drawn there
  regular   text whose strokes are mostly one pixel wide (a horizontal run
            of dark pixels, counted row by row, is most often 1 long)
  bold      text whose strokes are mostly two pixels wide: emboldened once
  size      the image is W x H (X and Y ignored)
Prints one line per check; exits with 1 when one fails.
"""
import sys
from collections import Counter


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P6" or int(fields[3]) != 255:
        raise SystemExit(f"{path}: not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[pos + 1:]


def is_dark(c):
    return 0.299 * c[0] + 0.587 * c[1] + 0.114 * c[2] < 96


def stroke_width(pixels, width, x, y, w, h):
    """The most common length of a horizontal run of dark pixels."""
    runs = Counter()
    for row in range(y, y + h):
        run = 0
        for col in range(x, x + w + 1):
            start = (row * width + col) * 3
            if col < x + w and is_dark(pixels[start:start + 3]):
                run += 1
            elif run:
                runs[run] += 1
                run = 0
    return runs.most_common(1)[0][0] if runs else 0


def main():
    width, height, pixels = read_ppm(sys.argv[1])
    failed = 0
    for check in sys.argv[2:]:
        name, box, kind = check.split(":")
        x, y, w, h = (int(v) for v in box.split(","))
        if kind == "size":
            ok = (width, height) == (w, h)
            print(f"{'ok  ' if ok else 'FAIL'} {name}: {width} x {height}, expected {w} x {h}")
            failed += not ok
            continue
        if x < 0 or y < 0 or x + w > width or y + h > height:
            print(f"FAIL {name}: {w} x {h} at {x},{y} lies outside {width} x {height}")
            failed += 1
            continue
        colours = Counter()
        for row in range(y, y + h):
            start = (row * width + x) * 3
            line = pixels[start:start + w * 3]
            colours.update(line[i:i + 3] for i in range(0, len(line), 3))
        area = w * h
        common, count = colours.most_common(1)[0]
        dark = sum(n for c, n in colours.items() if is_dark(c))
        if kind in ("regular", "bold"):
            want = 1 if kind == "regular" else 2
            stroke = stroke_width(pixels, width, x, y, w, h)
            ok = 0 < dark < area // 2 and stroke == want
            print(f"{'ok  ' if ok else 'FAIL'} {name} ({kind}): {dark} dark pixels, strokes "
                  f"mostly {stroke} px wide, expected {want}")
            failed += not ok
            continue
        if kind == "picture":
            ok = len(colours) >= 64
        elif kind == "text":
            ok = 0 < dark < area // 2
        elif kind == "plain":
            ok = count >= area * 95 // 100
        elif kind == "drawn":
            ok = count < area * 95 // 100
        else:
            raise SystemExit(f"unknown kind of check: {kind}")
        print(f"{'ok  ' if ok else 'FAIL'} {name} ({kind}): {len(colours)} colours, "
              f"{dark} dark pixels, #{common.hex()} covers {100 * count // area} %")
        failed += not ok
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
