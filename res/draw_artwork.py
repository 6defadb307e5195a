#!/usr/bin/python3
"""Draw the VELTRIKA Utility artwork: PNG icons and a multi-size ICO.

Design: a dark rounded box carrying a cyan-to-violet "V" signal stroke;
large sizes also show a small video-port outline below the V.
The 16, 32 and 48 pixel designs also come at twice their pixels (@2x).
Run from anywhere: /usr/bin/python3 res/draw_artwork.py
Output goes next to this script. Only Pillow is needed; output is
deterministic (no randomness, no timestamps in the PNG chunks).
"""
import os

from PIL import Image, ImageDraw

OUT = os.path.dirname(os.path.abspath(__file__))
SS = 4  # supersampling factor: draw large, downscale for smooth edges

BODY = (28, 33, 48, 255)
RIM = (58, 68, 96, 255)
PORT = (150, 160, 182, 255)
TOP = (34, 211, 238)      # gradient start (cyan)
BOTTOM = (168, 85, 247)   # gradient end (violet)


def gradient(n):
    """Vertical cyan-to-violet fill used for the V stroke."""
    g = Image.new("RGBA", (n, n))
    px = g.load()
    for y in range(n):
        t = y / (n - 1)
        c = tuple(round(a + (b - a) * t) for a, b in zip(TOP, BOTTOM))
        for x in range(n):
            px[x, y] = c + (255,)
    return g


def draw(size, scale=1):
    """The design for a size-pixel icon, rendered at scale times its pixels."""
    n = size * scale * SS
    u = lambda v: round(v * n)  # unit square -> pixels
    img = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    detailed = size >= 48  # the port outline would be mush below 48 px

    # Box: tiny icons use nearly the full square so they stay legible.
    m = 0.02 if size <= 16 else 0.05
    d.rounded_rectangle((u(m), u(m), u(1 - m) - 1, u(1 - m) - 1),
                        radius=u(0.2), fill=BODY, outline=RIM,
                        width=max(SS, u(0.025)))

    # V stroke: drawn into a mask, then filled with the gradient.
    mask = Image.new("L", (n, n), 0)
    md = ImageDraw.Draw(mask)
    if detailed:
        pts, w = [(0.25, 0.22), (0.5, 0.62), (0.75, 0.22)], 0.12
    else:
        pts, w = [(0.22, 0.24), (0.5, 0.76), (0.78, 0.24)], 0.17
    md.line([(u(x), u(y)) for x, y in pts], fill=255, width=u(w),
            joint="curve")
    r = u(w) // 2  # round caps on the two open ends
    for x, y in (pts[0], pts[-1]):
        md.ellipse((u(x) - r, u(y) - r, u(x) + r, u(y) + r), fill=255)
    img.paste(gradient(n), (0, 0), mask)

    if detailed:
        # Port: wide top, chamfered lower corners, a row of contacts.
        x0, x1, y0, y1, c = 0.32, 0.68, 0.71, 0.83, 0.04
        d.polygon([(u(x0), u(y0)), (u(x1), u(y0)), (u(x1), u(y1 - c)),
                   (u(x1 - c), u(y1)), (u(x0 + c), u(y1)),
                   (u(x0), u(y1 - c))], outline=PORT, width=u(0.022))
        d.line((u(x0 + 0.06), u(0.76), u(x1 - 0.06), u(0.76)),
               fill=PORT, width=u(0.02))

    return img.resize((size * scale, size * scale), Image.LANCZOS)


def main():
    for size, name in ((16, "Veltrika_16.png"), (32, "Veltrika_32.png"),
                       (48, "Veltrika_48.png"), (512, "Veltrika.png")):
        draw(size).save(os.path.join(OUT, name), optimize=True)
    # The same designs for a device pixel ratio of 2: Qt loads "name@2x.png" in place of
    # "name.png" on such a screen.
    for size in (16, 32, 48):
        draw(size, 2).save(os.path.join(OUT, "Veltrika_%d@2x.png" % size),
                           optimize=True)

    # ICO: one hand-drawn 32-bit image per size; Pillow stores each
    # entry PNG-compressed.
    sizes = [16, 32, 48, 64, 128, 256]
    frames = [draw(s) for s in sizes]
    frames[-1].save(os.path.join(OUT, "Veltrika.ico"), format="ICO",
                    sizes=[(s, s) for s in sizes],
                    append_images=frames[:-1])


if __name__ == "__main__":
    main()
