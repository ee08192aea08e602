#!/usr/bin/env python3
"""Writes samples/sample_page.xml: a 96 x 56 mm magnet page with one shape of every kind (a
picture, a rectangle, an ellipse, a rounded rectangle, a polygon, a group, a single-line text and
a memo), one of them turned and one translucent. The picture is drawn here, pixel by pixel, and
embedded as the bytes of a PNG file.

usage: make_sample_page.py STICKWELL_CLI [OUT.xml]

The page is written as a draft and then passed through "stickwell-cli page --readable", so that
the stored file is exactly the program's own form of it.
"""
import base64
import math
import os
import struct
import subprocess
import sys
import tempfile
import zlib

PICTURE_W, PICTURE_H = 160, 100


def scene(x, y):
    """A sky that lightens towards the horizon, a sun and two rows of hills, at a point."""
    u, v = x / PICTURE_W, y / PICTURE_H
    if y > 78 + 6 * math.cos(u * 2 * math.pi * 2.5 + 1):
        return 30, 110, 45
    if y > 62 + 9 * math.sin(u * 2 * math.pi * 1.5):
        return 60, 150, 60
    if math.hypot(x - 120, y - 28) < 15:
        return 255, 214, 40
    return 70 + 120 * v, 130 + 90 * v, 235


def picture_pixel(x, y):
    """The scene averaged over 4 x 4 points of the pixel, so that its edges are smooth."""
    samples = [scene(x + (i + 0.5) / 4, y + (j + 0.5) / 4) for i in range(4) for j in range(4)]
    return tuple(round(sum(c[k] for c in samples) / len(samples)) for k in range(3))


def png_bytes():
    rows = bytearray()
    for y in range(PICTURE_H):
        rows.append(0)  # filter: none
        for x in range(PICTURE_W):
            rows.extend(picture_pixel(x, y))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", PICTURE_W, PICTURE_H, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b""))


def shape(class_name, left, top, width, height, extra=""):
    return (f"<Shape><ClassName>{class_name}</ClassName><DocLeft>{left}</DocLeft><DocTop>{top}</DocTop>"
            f"<DocWidth>{width}</DocWidth><DocHeight>{height}</DocHeight>{extra}</Shape>")


def polygon(fill, outline, extra=""):
    """A filled shape with a 0.5 mm outline; its curbs hold half the outline outside the rectangle.
    Lengths are binary fractions, so that single-precision millimetres write back as they stand."""
    curbs = "".join(f"<Curb{side}>0.25</Curb{side}>" for side in ("Left", "Top", "Right", "Bottom"))
    return (f"{curbs}<OutlineWidth>0.5</OutlineWidth><FillAlpha>255</FillAlpha><FillColor>${fill:08X}</FillColor>"
            f"<OutlineColor>${outline:08X}</OutlineColor><UseFill>True</UseFill><UseOutline>True</UseOutline>{extra}")


def star_points(cx, cy, outer, inner, count=5):
    points = []
    for i in range(2 * count):
        radius = outer if i % 2 == 0 else inner
        angle = math.pi * i / count - math.pi / 2
        x, y = (round(16 * c) / 16 for c in (cx + radius * math.cos(angle), cy + radius * math.sin(angle)))
        points.append(f"<Point><X>{x:g}</X><Y>{y:g}</Y></Point>")
    return "<Polygon><Line>" + "".join(points) + "</Line></Polygon>"


def draft():
    data = png_bytes()
    image = ("<Image><ClassName>TdtpBitmapResource</ClassName>"
             f"<Data><Size>{len(data)}</Size><Filter>Base64</Filter>"
             f"<Buffer>{base64.b64encode(data).decode()}</Buffer></Data>"
             "<FileName>sample_picture.png</FileName><Storage>Embedded</Storage></Image>")
    # Window-system colours: 0x00BBGGRR.
    shapes = [
        shape("TdtpBitmapShape", 4, 6, 48, 30, "<DocAngle>6</DocAngle>" + image),
        shape("TdtpRectangleShape", 58, 4, 34, 14, polygon(0x0040E0FF, 0x00803000)),
        shape("TdtpEllipseShape", 59, 21, 14, 14, polygon(0x0030B030, 0x00205020)),
        shape("TdtpRoundRectShape", 36, 24, 30, 16,
              "<MasterAlpha>$A0</MasterAlpha>" +
              polygon(0x00C04010, 0x00601000, "<CornerWidth>4</CornerWidth><CornerHeight>4</CornerHeight>")),
        shape("TdtpPolygonShape", 77, 21, 15, 15,
              polygon(0x001080F0, 0x00104080,
                      "<StorePoints>True</StorePoints>" + star_points(7.5, 7.5, 7.5, 3.2))),
        shape("TdtpGroupShape", 4, 40, 22, 12,
              shape("TdtpRectangleShape", 0, 0, 22, 12, polygon(0x00F0E0D0, 0x00000000)) +
              shape("TdtpEllipseShape", 2, 2, 8, 8, polygon(0x003030D0, 0x00000000)) +
              shape("TdtpEllipseShape", 12, 2, 8, 8, polygon(0x00D03030, 0x00000000))),
        shape("TdtpTextShape", 28, 42, 30, 8,
              "<Text>Stickwell</Text><FontHeight>7</FontHeight><AutoSize>False</AutoSize>"
              "<Font><Name>DejaVu Sans</Name><Color>$00602000</Color></Font>"),
        shape("TdtpMemoShape", 60, 40, 34, 13,
              "<Text>Fridge magnets&#13;&#10;made at home</Text><FontHeight>5</FontHeight>"
              "<AutoSize>False</AutoSize><Alignment>2</Alignment><Font><Name>DejaVu Sans</Name></Font>"),
    ]
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<Page><ClassName>TdtpPage</ClassName>'
            "<Name>Sample magnet</Name><DocWidth>96</DocWidth><DocHeight>56</DocHeight>"
            + "".join(shapes) + "</Page>\n")


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    cli = sys.argv[1]
    out = sys.argv[2] if len(sys.argv) == 3 else os.path.join(os.path.dirname(__file__), "sample_page.xml")
    with tempfile.NamedTemporaryFile("w", suffix=".xml", delete=False) as f:
        f.write(draft())
        draft_name = f.name
    try:
        result = subprocess.run([cli, "page", draft_name, "--readable"], check=True, capture_output=True)
    finally:
        os.unlink(draft_name)
    with open(out, "wb") as f:
        f.write(result.stdout)


if __name__ == "__main__":
    main()
