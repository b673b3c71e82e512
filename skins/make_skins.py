#!/usr/bin/env python3
"""Writes the two sample skins (Blue and Green): a Controls.xml description each and the
BMP images it names. Run from anywhere; the files land beside this script. The output
is deterministic, so the checked-in files can be compared with a fresh run."""
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def bmp(width, height, pixel, bits=32):
    """An uncompressed bottom-up BMP; pixel(x, y) gives (b, g, r, a) with y from the top."""
    stride = ((width * bits + 31) // 32) * 4
    rows = []
    for y in reversed(range(height)):
        row = bytearray()
        for x in range(width):
            b, g, r, a = pixel(x, y)
            row += bytes((b, g, r, a) if bits == 32 else (b, g, r))
        row += bytes(stride - len(row))
        rows.append(bytes(row))
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(data), 2835, 2835, 0, 0)
    return header + info + data


def png(width, height, pixel):
    """An 8-bit RGBA PNG; pixel(x, y) gives (b, g, r, a)."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            b, g, r, a = pixel(x, y)
            raw += bytes((r, g, b, a))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")


def glow(base):
    """A 16 x 16 glow whose alpha falls off from the centre (loaded through GDI+)."""
    def pixel(x, y):
        d = max(abs(2 * x - 15), abs(2 * y - 15))
        return base[0], base[1], base[2], max(0, 255 - d * 16)
    return png(16, 16, pixel)


def button_strip(base):
    """Four 24 x 24 button states side by side (normal, hot, pressed, disabled) with a
    soft alpha edge, so the Alpha part shows through its corners."""
    def pixel(x, y):
        state = x // 24
        lx, ly = x % 24, y
        edge = min(lx, ly, 23 - lx, 23 - ly)
        alpha = 255 if edge >= 2 else (0, 128)[edge]
        shade = (0, 30, -30, -80)[state]
        b, g, r = (max(0, min(255, c + shade)) for c in base)
        return b, g, r, alpha
    return bmp(96, 24, pixel)


def check_strip(base):
    """Two 13 x 13 check box states on a magenta key (24 bits, Mask mode)."""
    def pixel(x, y):
        lx = x % 13
        if lx in (0, 12) or y in (0, 12):
            return base[0], base[1], base[2], 255
        if x >= 13 and abs(lx - y) <= 1:
            return 0, 0, 0, 255
        return 255, 0, 255, 255
    return bmp(26, 13, pixel, bits=24)


def frame(base):
    """A 32 x 32 panel frame with 4-pixel borders for nine-cell slices."""
    def pixel(x, y):
        border = x < 4 or y < 4 or x >= 28 or y >= 28
        c = base if border else (240, 240, 240)
        return c[0], c[1], c[2], 255
    return bmp(32, 32, pixel)


CONTROLS = """<?xml version="1.0" encoding="utf-8"?>
<Skin>
  <Graphic Name="frame.bmp"/>
  <Item name="Default">
    <Part Name="Face" FillMode="stretch">
      <State Left="0" Top="0" Width="32" Height="32">
        <Margins Left="4" Top="4" Right="4" Bottom="4"/>
        <Color>{face}</Color>
        <Font Name="Tahoma" Size="8" Color="clWindowText"/>
      </State>
    </Part>
  </Item>
  <Item name="Button">
    <Graphic Name="button.bmp"/>
    <Part Name="Face" TransparentMode="Alpha" FillMode="stretch">
      <Font Name="Tahoma" Size="8" Style="bold" Color="{text}"/>
      <State Top="0" Width="24" Height="24"><Margins Left="3" Top="3" Right="3" Bottom="3"/></State>
      <State Top="0" Width="24" Height="24"/>
      <State Top="0" Width="24" Height="24"/>
      <State Top="0" Width="24" Height="24"><Font Name="Tahoma" Size="8" Color="clGrayText"/></State>
    </Part>
  </Item>
  <Item name="CheckBox">
    <Graphic Name="check.bmp"/>
    <Part Name="Box" TransparentColor="clFuchsia">
      <State Top="0" Width="13" Height="13"/>
      <State Top="0" Width="13" Height="13"/>
    </Part>
  </Item>
  <Item name="Glow">
    <Graphic Name="glow.png"/>
    <Part Name="Halo" TransparentMode="Alpha"><State Width="16" Height="16"/></Part>
  </Item>
  <Item name="Panel">
    <Slice Id="frame" rect="0,0,32,32" TransparentColor="clFuchsia">
      <Margins Left="4" Top="4" Right="4" Bottom="4"/>
    </Slice>
    <Part Name="Background" Stretch="True">
      <State type="box"><Brush Color="{face}"/><Pen Color="{border}" Width="1"/></State>
    </Part>
  </Item>
</Skin>
"""

SKINS = {
    # name: (image base colour b, g, r; face colour; text colour; border colour)
    "Blue": ((200, 120, 40), "$F0E0D0", "clNavy", "$804020"),
    "Green": ((60, 160, 60), "$D8F0D8", "clGreen", "$206020"),
}


def main():
    for name, (base, face, text, border) in SKINS.items():
        folder = os.path.join(HERE, name)
        os.makedirs(folder, exist_ok=True)
        files = {
            "Controls.xml": CONTROLS.format(face=face, text=text, border=border).encode("utf-8"),
            "button.bmp": button_strip(base),
            "check.bmp": check_strip(base),
            "frame.bmp": frame(base),
            "glow.png": glow(base),
        }
        for file_name, data in files.items():
            with open(os.path.join(folder, file_name), "wb") as f:
                f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
