#!/usr/bin/python3
"""Draws Velotune's artwork into Resources/GuiResources/.

The outputs are committed, so a normal build never runs this. Run it again
after changing a drawing; it only needs Debian's python3-pil and
fonts-dejavu-core, and its output is byte-for-byte repeatable.
"""

import io
import math
import struct
import sys
from pathlib import Path

from PIL import Image, ImageDraw, ImageFont

ROOT = Path(__file__).resolve().parent.parent
GUI = ROOT / "Resources" / "GuiResources"
FONT = Path("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf")
SS = 4  # supersampling factor

NAVY = (9, 42, 92)
TEAL = (0, 128, 138)
AQUA = (94, 226, 208)
WHITE = (255, 255, 255)


def downscale(img, size):
    return img.resize(size, Image.LANCZOS)


def diagonal_gradient(size, start, end):
    """RGB image blending start (top left) into end (bottom right)."""
    n = 64
    ramp = Image.new("L", (n, n))
    ramp.putdata([round(255 * (x + y) / (2 * (n - 1))) for y in range(n) for x in range(n)])
    ramp = ramp.resize(size, Image.BICUBIC)
    return Image.composite(Image.new("RGB", size, end), Image.new("RGB", size, start), ramp)


# ---------------------------------------------------------------- logo mark

def draw_mark(size):
    """The Norvane mark: a white geometric N on a navy-to-teal rounded tile.

    Icon sizes snap the strokes to whole pixels so the N stays crisp; 16 px
    gets its own heavier, tighter N because the normal counters vanish there.
    """
    if size <= 16:
        pad, left, right, top, bottom, stem = 0.0, 3 / 16, 13 / 16, 3 / 16, 13 / 16, 3 / 16
    else:
        pad, left, right, top, bottom, stem = 0.03, 0.24, 0.76, 0.23, 0.77, 0.16
    if size <= 64:
        left, right, top, bottom, stem = (round(v * size) / size for v in (left, right, top, bottom, stem))
    k = 8 if size <= 64 else SS
    s = size * k

    img = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    tile = Image.new("L", (s, s), 0)
    p0, p1 = round(pad * size) * k, (size - round(pad * size)) * k - 1
    ImageDraw.Draw(tile).rounded_rectangle((p0, p0, p1, p1), radius=0.23 * s, fill=255)
    img.paste(diagonal_gradient((s, s), NAVY, TEAL), (0, 0), tile)

    def px(x, y):
        return (x * s, y * s)

    d = ImageDraw.Draw(img)
    diag = stem * 1.25  # a slanted band looks thinner than an upright one
    d.polygon([px(left, top), px(left + diag, top), px(right, bottom), px(right - diag, bottom)],
              fill=WHITE)
    # Pixel (x) spans [x, x+1) in the supersampled grid, hence the "- 1".
    d.rectangle((*px(left, top), px(left + stem, bottom)[0] - 1, px(0, bottom)[1] - 1), fill=WHITE)
    # The aqua right stem is the "target" the diagonal travels to.
    d.rectangle((*px(right - stem, top), px(right, 0)[0] - 1, px(0, bottom)[1] - 1), fill=AQUA)
    return downscale(img, (size, size))


def corporate_logo_large():
    canvas = Image.new("RGBA", (336, 345), (0, 0, 0, 0))
    mark = draw_mark(336)
    canvas.paste(mark, (0, (345 - 336) // 2), mark)
    return canvas


def corporate_logo_wide():
    w, h = 400, 101
    s = SS
    img = Image.new("RGBA", (w * s, h * s), (0, 0, 0, 0))
    mark = draw_mark(h * s)
    img.paste(mark, (0, 0), mark)

    text = "Norvane"
    x0 = (h + 14) * s
    avail = w * s - x0 - 4 * s
    size = 60 * s
    font = ImageFont.truetype(str(FONT), size)
    while font.getlength(text) > avail:
        size -= s
        font = ImageFont.truetype(str(FONT), size)
    d = ImageDraw.Draw(img)
    # Centre on the cap height so the baseline sits where the eye expects.
    cap_top, cap_bottom = font.getbbox("N")[1], font.getbbox("N")[3]
    y = (h * s - (cap_bottom - cap_top)) / 2 - cap_top
    d.text((x0, y), text, font=font, fill=NAVY + (255,))
    return downscale(img, (w, h))


# ---------------------------------------------------------------- LEDs and arrows

def led(fill, rim):
    s = 127 * SS
    img = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    m = 2 * SS
    d.ellipse((m, m, s - 1 - m, s - 1 - m), fill=rim)
    r = 9 * SS
    d.ellipse((m + r, m + r, s - 1 - m - r, s - 1 - m - r), fill=fill)
    return downscale(img, (127, 127))


def ring_polygon(cx, cy, r_out, r_in, a0, a1, steps=120):
    """Closed outline of a ring segment between angles a0 and a1 (radians)."""
    pts = []
    for i in range(steps + 1):
        a = a0 + (a1 - a0) * i / steps
        pts.append((cx + r_out * math.cos(a), cy + r_out * math.sin(a)))
    for i in range(steps, -1, -1):
        a = a0 + (a1 - a0) * i / steps
        pts.append((cx + r_in * math.cos(a), cy + r_in * math.sin(a)))
    return pts


def cycle_arrows():
    n = 148
    s = n * SS
    c = s / 2
    img = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    m = 2 * SS
    d.ellipse((m, m, s - 1 - m, s - 1 - m), fill=(28, 128, 52))
    d.ellipse((m + 6 * SS, m + 6 * SS, s - 1 - m - 6 * SS, s - 1 - m - 6 * SS), fill=(52, 184, 78))

    radius = 0.29 * s
    half = 0.062 * s  # half the stroke width
    head_len = 0.16 * s
    head_half = 0.14 * s
    for start in (math.radians(200), math.radians(20)):
        # Each arrow sweeps clockwise and stops short of the other's tail.
        sweep = math.radians(118)
        end = start + sweep
        d.polygon(ring_polygon(c, c, radius + half, radius - half, start, end), fill=(0, 0, 0))
        tip_angle = end + head_len / radius
        tip = (c + radius * math.cos(tip_angle), c + radius * math.sin(tip_angle))
        ox, oy = math.cos(end), math.sin(end)
        base_out = (c + (radius + head_half) * ox, c + (radius + head_half) * oy)
        base_in = (c + (radius - head_half) * ox, c + (radius - head_half) * oy)
        d.polygon([base_out, tip, base_in], fill=(0, 0, 0))
    return downscale(img, (n, n))


# ---------------------------------------------------------------- ICO writer

def palettize(rgba, colors):
    """Index image with `colors` entries; index 0 is kept for masked pixels."""
    alpha = rgba.getchannel("A")
    rgb = rgba.convert("RGB")
    opaque = [p for p, a in zip(rgb.getdata(), alpha.getdata()) if a >= 128]
    sample = Image.new("RGB", (len(opaque), 1))
    sample.putdata(opaque)
    pal_img = sample.quantize(colors - 1, method=Image.MEDIANCUT)
    used = pal_img.getpalette()[: 3 * (colors - 1)]
    used += [0] * (3 * (colors - 1) - len(used))
    ref = Image.new("P", (1, 1))
    ref.putpalette(used)  # exactly colors - 1 entries, so no index can spill past them
    mapped = rgb.quantize(palette=ref, dither=Image.Dither.NONE)
    assert max(mapped.getdata()) < colors - 1
    out = Image.new("P", rgba.size)
    out.putpalette(([0, 0, 0] + used) + [0] * (768 - 3 - len(used)))
    out.putdata([i + 1 if a >= 128 else 0 for i, a in zip(mapped.getdata(), alpha.getdata())])
    return out


def png_bytes(img, **kw):
    buf = io.BytesIO()
    img.save(buf, format="PNG", **kw)
    return buf.getvalue()


def and_mask(alpha, w, h):
    stride = (w + 31) // 32 * 4
    rows = []
    for y in range(h - 1, -1, -1):
        row = bytearray(stride)
        for x in range(w):
            if alpha[y * w + x] < 128:
                row[x >> 3] |= 0x80 >> (x & 7)
        rows.append(bytes(row))
    return b"".join(rows)


def dib(rgba, bits):
    """Icon DIB: header, palette, bottom-up XOR rows, then the AND mask."""
    w, h = rgba.size
    alpha = list(rgba.getchannel("A").getdata())
    stride = (w * bits + 31) // 32 * 4
    rows = []
    palette = b""
    if bits == 32:
        px = list(rgba.getdata())
        for y in range(h - 1, -1, -1):
            row = bytearray()
            for r, g, b, a in px[y * w:(y + 1) * w]:
                row += bytes((b, g, r, a)) if a else b"\0\0\0\0"
            rows.append(bytes(row))
    else:
        colors = 1 << bits
        p = palettize(rgba, colors)
        pal = p.getpalette()[: 3 * colors]
        palette = b"".join(bytes((pal[i + 2], pal[i + 1], pal[i], 0)) for i in range(0, 3 * colors, 3))
        idx = list(p.getdata())
        for y in range(h - 1, -1, -1):
            line = idx[y * w:(y + 1) * w]
            if bits == 4:
                line = line + [0] * (len(line) % 2)
                row = bytes((line[i] << 4) | line[i + 1] for i in range(0, len(line), 2))
            else:
                row = bytes(line)
            rows.append(row + b"\0" * (stride - len(row)))
    xor = b"".join(rows)
    mask = and_mask(alpha, w, h)
    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, bits, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + palette + xor + mask


def ico_png(rgba, bits):
    if bits == 32:
        return png_bytes(rgba)
    p = palettize(rgba, 1 << bits)
    if bits == 4:
        # Trim the palette so the encoder may (and must) pick 4-bit samples.
        p.putpalette(p.getpalette()[:48])
        return png_bytes(p, bits=4, transparency=0)
    return png_bytes(p, transparency=0)


ICO_LAYOUT = [(256, 4, "png"), (256, 8, "png"), (256, 32, "png")] + [
    (size, bits, "bmp") for bits in (4, 8, 32) for size in (16, 32, 48)
]


def build_ico():
    marks = {size: draw_mark(size) for size in {s for s, _, _ in ICO_LAYOUT}}
    blobs = []
    for size, bits, kind in ICO_LAYOUT:
        data = ico_png(marks[size], bits) if kind == "png" else dib(marks[size], bits)
        blobs.append((size, bits, data))
    out = bytearray(struct.pack("<HHH", 0, 1, len(blobs)))
    offset = 6 + 16 * len(blobs)
    for size, bits, data in blobs:
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 16 if bits == 4 else 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    for _, _, data in blobs:
        out += data
    return bytes(out)


# ---------------------------------------------------------------- main

def save_png(img, rel):
    path = GUI / rel
    path.parent.mkdir(parents=True, exist_ok=True)
    img.save(path, format="PNG", optimize=False)
    print(f"wrote {path.relative_to(ROOT)} {img.size[0]}x{img.size[1]}")


def main():
    if not FONT.exists():
        sys.exit(f"missing {FONT}: apt-get install fonts-dejavu-core")
    save_png(led((36, 74, 44), (22, 48, 28)), "Icons/LED/Flat/RoundGreenOff.png")
    save_png(led((70, 232, 92), (28, 160, 56)), "Icons/LED/Flat/RoundGreenOn.png")
    save_png(cycle_arrows(), "Icons/Arrow/Green/CycleGreen.png")
    save_png(corporate_logo_large(), "CorporateDesign/CorporateLogo-Trans-Large.png")
    save_png(corporate_logo_wide(), "CorporateDesign/CorporateLogoAdjustedLarge.png")
    ico = GUI / "CorporateDesign" / "DefaultAppIcon.ico"
    ico.write_bytes(build_ico())
    print(f"wrote {ico.relative_to(ROOT)} ({len(ICO_LAYOUT)} images)")
    # The desktop's application icons: the icon's own 32-bit images, not compiled in.
    for size in (48, 256):
        save_png(draw_mark(size), f"Desktop/velotune-{size}.png")


if __name__ == "__main__":
    main()
