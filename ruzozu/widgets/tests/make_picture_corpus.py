#!/usr/bin/python3
"""Writes a corpus of picture files, each beside the picture a common viewer
shows for it ("<name>.ppm", transparency laid on white), into the folder
given.  The PNG, bitmap and icon files are written here byte by byte from
known pixels, and their expected pictures computed from those pixels; the
JPEG files are written (by Pillow, libjpeg's cjpeg or ImageMagick) and
decoded by Pillow.  Files a viewer cannot show either are listed in
"refused.txt".

    make_picture_corpus.py OUTDIR
"""
import io
import os
import struct
import subprocess
import sys
import zlib

from PIL import Image

W, H = 13, 11  # odd sizes: partial bytes, every interlace pass, padding


def ppm(path, pixels, w, h):
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (w, h))
        f.write(bytes(v for px in pixels for v in px))


def on_white(rgb, a):
    return tuple((c * a + 255 * (255 - a) + 127) // 255 for c in rgb)


def sample(x, y, c, bits):
    """A spread of values over the whole range of a channel."""
    top = (1 << bits) - 1
    v = (x * 7919 + y * 104729 + c * 1299709 + x * y * 31) % (top + 1)
    if (x + y) % 5 == 0:
        v = top if c != 1 else 0
    if bits == 16 and x == 1 and y == 1:
        v = 0x8080
    return v


# ------------------------------------------------------------------ PNG

def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def pack_row(values, bits):
    if bits == 16:
        return b"".join(struct.pack(">H", v) for v in values)
    if bits == 8:
        return bytes(values)
    out, acc, n = bytearray(), 0, 0
    for v in values:
        acc = (acc << bits) | v
        n += bits
        if n == 8:
            out.append(acc)
            acc, n = 0, 0
    if n:
        out.append(acc << (8 - n))
    return bytes(out)


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def png_bytes(channels, bits, ctype, interlace, extra=b"", palette=None, before=b""):
    """channels[y][x] is a tuple of the stored samples of one pixel."""
    raw = bytearray()
    if interlace:
        passes = [[(x, y) for y in range(y0, H, dy) for x in range(x0, W, dx)] for x0, y0, dx, dy in ADAM7]
        for x0, y0, dx, dy in ADAM7:
            xs = list(range(x0, W, dx))
            if not xs:
                continue
            for y in range(y0, H, dy):
                raw += b"\0" + pack_row([v for x in xs for v in channels[y][x]], bits)
        del passes
    else:
        for y in range(H):
            raw += b"\0" + pack_row([v for x in range(W) for v in channels[y][x]], bits)
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, bits, ctype, 0, 0, interlace))
    # Text before and after the picture data: read past, never shown.
    out += chunk(b"tEXt", b"Comment\0made for the tests") + before
    if palette:
        out += chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    out += extra + chunk(b"IDAT", zlib.compress(bytes(raw)))
    out += chunk(b"zTXt", b"Note\0\0" + zlib.compress(b"x" * 1000)) + chunk(b"IEND", b"")
    return out


def to8(v, bits):
    return (v * 255 + ((1 << bits) - 1) // 2) // ((1 << bits) - 1)


def gamma_fix(v8_exact, gamma):
    """v8_exact: the stored value on 0..1; gamma: the file's, or None."""
    if gamma is None:
        return round(v8_exact * 255)
    return round(255 * (v8_exact ** (1.0 / (gamma * 2.2))))


def png_cases(out):
    kinds = [(0, [1, 2, 4, 8, 16]), (2, [8, 16]), (3, [1, 2, 4, 8]), (4, [8, 16]), (6, [8, 16])]
    for ctype, depths in kinds:
        for bits in depths:
            for interlace in (0, 1):
                for trns in ((False, True) if ctype in (0, 2, 3) else (False,)):
                    for gname, gchunk, gamma in (("plain", b"", None),
                                                 ("g100", chunk(b"gAMA", struct.pack(">I", 100000)), 1.0),
                                                 ("g45", chunk(b"gAMA", struct.pack(">I", 45455)), None),
                                                 ("srgb", chunk(b"gAMA", struct.pack(">I", 45455)) + chunk(b"sRGB", b"\0"), None)):
                        name = "png_c%d_b%d_i%d_t%d_%s" % (ctype, bits, interlace, int(trns), gname)
                        write_png_case(out, name, ctype, bits, interlace, trns, gchunk, gamma)
    # Metadata of 2 MB (an editor's XMP packet): passed over, the picture shown.
    xmp = chunk(b"iTXt", b"XML:com.adobe.xmp\0\0\0\0\0" + b" " * (2 << 20))
    write_png_case(out, "png_big_metadata", 2, 8, 0, False, xmp, None)


def write_png_case(out, name, ctype, bits, interlace, trns, gchunk, gamma):
    top = (1 << bits) - 1
    n = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[ctype]
    palette = None
    extra = b""
    alpha_of_index = None
    if ctype == 3:
        count = 1 << bits
        palette = [(sample(i, 3, 0, 8), sample(i, 5, 1, 8), sample(i, 7, 2, 8)) for i in range(count)]
        if trns:
            alpha_of_index = [(i * 67) % 256 for i in range(count)]
            alpha_of_index[0] = 0
            extra += chunk(b"tRNS", bytes(alpha_of_index))
    chans = [[tuple(sample(x, y, c, bits) for c in range(n)) for x in range(W)] for y in range(H)]
    key = None
    if trns and ctype in (0, 2):
        key = chans[2][3]
        extra += chunk(b"tRNS", b"".join(struct.pack(">H", v) for v in key))
    data = png_bytes(chans, bits, ctype, interlace, extra, palette, gchunk)
    with open(os.path.join(out, name + ".png"), "wb") as f:
        f.write(data)

    def level(v):  # a stored sample, gamma applied, on 0..255
        return gamma_fix(v / top, gamma)

    pixels = []
    for y in range(H):
        for x in range(W):
            s = chans[y][x]
            if ctype == 3:
                rgb = tuple(gamma_fix(c / 255, gamma) for c in palette[s[0]])
                a = alpha_of_index[s[0]] if alpha_of_index else 255
            elif ctype in (0, 4):
                rgb = (level(s[0]),) * 3
                a = to8(s[1], bits) if ctype == 4 else 255
            else:
                rgb = tuple(level(v) for v in s[:3])
                a = to8(s[3], bits) if ctype == 6 else 255
            if key is not None and s == key:
                a = 0
            pixels.append(on_white(rgb, a))
    ppm(os.path.join(out, name + ".ppm"), pixels, W, H)


# ------------------------------------------------------------------ JPEG

def jpeg_cases(out):
    base = Image.new("RGB", (W * 3, H * 3))
    base.putdata([(sample(x, y, 0, 8), sample(x, y, 1, 8), (x * 9 + y * 5) % 256) for y in range(H * 3) for x in range(W * 3)])
    cases = [("grey", base.convert("L"), {}),
             ("ycc444", base, {"subsampling": 0}),
             ("ycc422", base, {"subsampling": 1}),
             ("ycc420", base, {"subsampling": 2}),
             ("progressive", base, {"progressive": True}),
             ("cmyk", base.convert("CMYK"), {}),
             ("cmyk_progressive", base.convert("CMYK"), {"progressive": True})]
    for name, img, opts in cases:
        buf = io.BytesIO()
        img.save(buf, "JPEG", quality=90, **opts)
        path = os.path.join(out, "jpeg_" + name + ".jpg")
        with open(path, "wb") as f:
            f.write(buf.getvalue())
        ref = Image.open(path).convert("RGB")
        ppm(os.path.join(out, "jpeg_" + name + ".ppm"), list(ref.getdata()), ref.width, ref.height)
    # Files Pillow does not write: red, green and blue stored as they are,
    # and arithmetic coding, made by libjpeg's own cjpeg.
    src = os.path.join(out, "jpeg_source.ppm")
    ppm(src, list(base.getdata()), base.width, base.height)
    for name, args in (("rgb", ["-rgb"]), ("arithmetic", ["-arithmetic"]),
                       ("arithmetic_progressive", ["-arithmetic", "-progressive"]),
                       ("grey_arithmetic", ["-grayscale", "-arithmetic"])):
        path = os.path.join(out, "jpeg_" + name + ".jpg")
        subprocess.run(["cjpeg", "-quality", "90"] + args + ["-outfile", path, src], check=True)
        ref = Image.open(path).convert("RGB")
        ppm(os.path.join(out, "jpeg_" + name + ".ppm"), list(ref.getdata()), ref.width, ref.height)
    # YCCK (inks stored as luminance and colour differences), as ImageMagick
    # writes a CMYK picture through libjpeg's defaults.
    path = os.path.join(out, "jpeg_ycck.jpg")
    subprocess.run(["convert", src, "-colorspace", "CMYK", "-quality", "90", path], check=True)
    ref = Image.open(path).convert("RGB")
    ppm(os.path.join(out, "jpeg_ycck.ppm"), list(ref.getdata()), ref.width, ref.height)
    os.remove(src)


# ------------------------------------------------------------------ bitmaps

def bmp_cases(out):
    src = [[(sample(x, y, 0, 8), sample(x, y, 1, 8), sample(x, y, 2, 8), sample(x, y, 3, 8)) for x in range(W)] for y in range(H)]
    palette = [(sample(i, 2, 0, 8), sample(i, 4, 1, 8), sample(i, 6, 2, 8)) for i in range(256)]

    def indexed(bits):
        return [[(x * 3 + y * 5 + x * y) % (1 << bits) for x in range(W)] for y in range(H)]

    def write(name, header, table, bits_data, expected):
        body = header + table
        data = b"BM" + struct.pack("<IHHI", 14 + len(body) + len(bits_data), 0, 0, 14 + len(body)) + body + bits_data
        with open(os.path.join(out, "bmp_" + name + ".bmp"), "wb") as f:
            f.write(data)
        ppm(os.path.join(out, "bmp_" + name + ".ppm"), [p for row in expected for p in row], W, H)

    def info(size, bpp, compression, top_down=False, masks=(0, 0, 0, 0), colors=0, image_size=0):
        if size == 12:
            return struct.pack("<IHHHH", 12, W, H, 1, bpp)
        h = struct.pack("<IiiHHIIiiII", size, W, -H if top_down else H, 1, bpp, compression, image_size, 2835, 2835, colors, 0)
        if size >= 52:
            h += struct.pack("<III", *masks[:3])
        if size >= 56:
            h += struct.pack("<I", masks[3])
        if size >= 108:
            h += b"BGRs" + b"\0" * 36 + b"\0" * 12
        if size >= 124:
            h += struct.pack("<IIII", 4, 0, 0, 0)
        return (h + b"\0" * (size - len(h)))[:size]

    def rows(pack, top_down):
        order = range(H) if top_down else range(H - 1, -1, -1)
        out_rows = b""
        for y in order:
            r = pack(y)
            out_rows += r + b"\0" * ((-len(r)) % 4)
        return out_rows

    # Palettes, every header (OS/2 1 and 2, the latter short and long).
    for size in (12, 16, 40, 64, 108, 124):
        for bpp in (1, 4, 8):
            for top_down in ((False, True) if size != 12 else (False,)):
                idx = indexed(bpp)
                entry = 3 if size == 12 else 4
                table = b"".join(bytes((b, g, r)) + (b"" if entry == 3 else b"\0") for r, g, b in palette[:1 << bpp])
                data = rows(lambda y: pack_row(idx[y], bpp), top_down)
                exp = [[palette[idx[y][x]] for x in range(W)] for y in range(H)]
                write("h%d_b%d_td%d" % (size, bpp, int(top_down)), info(size, bpp, 0, top_down), table, data, exp)

    # True colours.
    for size in (12, 16, 40, 64, 124):
        data = rows(lambda y: b"".join(bytes((b, g, r)) for r, g, b, a in src[y]), False)
        write("h%d_b24" % size, info(size, 24, 0), b"", data, [[p[:3] for p in row] for row in src])
    # Some writers leave out the last row's padding: the rows are all there.
    data = rows(lambda y: b"".join(bytes((b, g, r)) for r, g, b, a in src[y]), False)
    pad = (-3 * W) % 4
    if pad:
        write("h40_b24_short", info(40, 24, 0), b"", data[:-pad], [[p[:3] for p in row] for row in src])
    data = rows(lambda y: b"".join(bytes((b, g, r, a)) for r, g, b, a in src[y]), True)
    write("h40_b32_rgb", info(40, 32, 0, True), b"", data, [[p[:3] for p in row] for row in src])

    # Colour masks: 16 and 32 bits, common and uncommon, with and without
    # transparency.
    mask_sets = [(16, (0x7C00, 0x03E0, 0x001F, 0)), (16, (0xF800, 0x07E0, 0x001F, 0)),
                 (16, (0x0F00, 0x00F0, 0x000F, 0xF000)), (16, (0x001F, 0x07E0, 0xF800, 0)),
                 (16, (0x7000, 0x0E00, 0x01C0, 0x0001)),
                 (32, (0xFF0000, 0xFF00, 0xFF, 0)), (32, (0xFF0000, 0xFF00, 0xFF, 0xFF000000)),
                 (32, (0xFFE00000, 0x001FFC00, 0x000003FF, 0)), (32, (0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000)),
                 (32, (0x000000FF, 0x0000FF00, 0x00FF0000, 0)), (32, (0x0000F800, 0x000007E0, 0x0000001F, 0))]
    for n, (bpp, masks) in enumerate(mask_sets):
        for size in (40, 56, 124):
            if masks[3] and size < 56:
                continue

            def field(v, m):
                if not m:
                    return 0
                shift = (m & -m).bit_length() - 1
                top = m >> shift
                return ((v * top + 127) // 255) << shift

            def value(p):
                return field(p[0], masks[0]) | field(p[1], masks[1]) | field(p[2], masks[2]) | field(p[3], masks[3])

            def level(v, m):
                shift = (m & -m).bit_length() - 1
                top = m >> shift
                q = (v * top + 127) // 255
                bitsn = top.bit_length()
                if bitsn > 8:
                    return q >> (bitsn - 8)  # the top eight bits
                return (q * 255 + top // 2) // top

            fmt = "<H" if bpp == 16 else "<I"
            data = rows(lambda y: b"".join(struct.pack(fmt, value(p)) for p in src[y]), False)
            table = b"" if size >= 52 else struct.pack("<III", *masks[:3])
            exp = []
            for row in src:
                er = []
                for p in row:
                    rgb = tuple(level(p[c], masks[c]) for c in range(3))
                    a = 255
                    if masks[3] and size >= 56:
                        m = masks[3]
                        top = m >> ((m & -m).bit_length() - 1)
                        a = ((p[3] * top + 127) // 255 * 255 + top // 2) // top
                    er.append(on_white(rgb, a))
                exp.append(er)
            write("masks%d_h%d" % (n, size), info(size, bpp, 3, masks=masks), table, data, exp)
    # 16 bits without masks: 5-5-5.
    data = rows(lambda y: b"".join(struct.pack("<H", (p[0] >> 3) << 10 | (p[1] >> 3) << 5 | p[2] >> 3) for p in src[y]), False)
    write("h40_b16_rgb", info(40, 16, 0), b"", data,
          [[tuple(((p[c] >> 3) * 255 + 15) // 31 for c in range(3)) for p in row] for row in src])

    # Run-length coded: runs, literal stretches, a move.
    for bpp, comp in ((8, 1), (4, 2)):
        idx = indexed(bpp)
        for y in range(H):
            for x in range(4):
                idx[y][x] = 1  # a run at the start of each row
        code = b""
        for y in range(H - 1, -1, -1):
            code += bytes((4, 1 if bpp == 8 else 0x11))
            rest = idx[y][4:]
            if bpp == 8:
                code += bytes((0, len(rest))) + bytes(rest) + b"\0" * (len(rest) % 2)
            else:
                packed = pack_row(rest, 4)
                code += bytes((0, len(rest))) + packed + b"\0" * (len(packed) % 2)
            code += b"\0\0"
        code += b"\0\1"
        table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette[:1 << bpp])
        exp = [[palette[idx[y][x]] for x in range(W)] for y in range(H)]
        write("rle%d" % bpp, info(40, bpp, comp, colors=1 << bpp, image_size=len(code)), table, code, exp)
        # A move over pixels, and an end before the top rows: those pixels
        # are transparent, laid on white.  Rows as the code counts them,
        # bottom first.
        one, two = (1, 0x11) if bpp == 4 else (1, 1), (2, 0x22) if bpp == 4 else (2, 2)
        white = (255, 255, 255)
        grid = [[white] * W for _ in range(H)]
        code = bytes((6, one[1], W - 6, two[1], 0, 0))
        grid[0] = [palette[1]] * 6 + [palette[2]] * (W - 6)
        code += bytes((2, one[1], 0, 2, 5, 2, W - 7, two[1], 0, 0))  # two pixels, five right and two up
        grid[1][0] = grid[1][1] = palette[1]
        grid[3] = [white] * 7 + [palette[2]] * (W - 7)
        for y in range(4, H - 2):
            code += bytes((6, one[1], W - 6, two[1], 0, 0))
            grid[y] = [palette[1]] * 6 + [palette[2]] * (W - 6)
        code += b"\0\1"
        exp = grid[::-1]
        write("rle%d_moves" % bpp, info(40, bpp, comp, colors=1 << bpp, image_size=len(code)), table, code, exp)


# ------------------------------------------------------------------ icons

def ico_cases(out):
    src = [[(sample(x, y, 0, 8), sample(x, y, 1, 8), sample(x, y, 2, 8), sample(x, y, 3, 8)) for x in range(W)] for y in range(H)]
    palette = [(sample(i, 1, 0, 8), sample(i, 8, 1, 8), sample(i, 9, 2, 8)) for i in range(256)]
    hole = [[(x + 2 * y) % 3 == 0 for x in range(W)] for y in range(H)]

    def bottom_up(pack):
        data = b""
        for y in range(H - 1, -1, -1):
            r = pack(y)
            data += r + b"\0" * ((-len(r)) % 4)
        return data

    def write(name, entry_data, bpp, expected):
        head = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", W, H, 0, 0, 1, bpp, len(entry_data), 22)
        with open(os.path.join(out, "ico_" + name + ".ico"), "wb") as f:
            f.write(head + entry_data)
        ppm(os.path.join(out, "ico_" + name + ".ppm"), [p for row in expected for p in row], W, H)

    mask = bottom_up(lambda y: pack_row([1 if hole[y][x] else 0 for x in range(W)], 1))
    for bpp in (1, 4, 8, 24, 32):
        header = struct.pack("<IiiHHIIiiII", 40, W, 2 * H, 1, bpp, 0, 0, 0, 0, 0, 0)
        if bpp <= 8:
            idx = [[(x * 5 + y * 3) % (1 << bpp) for x in range(W)] for y in range(H)]
            table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette[:1 << bpp])
            bits = bottom_up(lambda y: pack_row(idx[y], bpp))
            colour = [[palette[idx[y][x]] for x in range(W)] for y in range(H)]
        else:
            table = b""
            if bpp == 24:
                bits = bottom_up(lambda y: b"".join(bytes((b, g, r)) for r, g, b, a in src[y]))
            else:
                bits = bottom_up(lambda y: b"".join(bytes((b, g, r, a)) for r, g, b, a in src[y]))
            colour = [[p[:3] for p in row] for row in src]
        if bpp == 32:
            exp = [[on_white(src[y][x][:3], src[y][x][3]) for x in range(W)] for y in range(H)]
        else:
            exp = [[(255, 255, 255) if hole[y][x] else colour[y][x] for x in range(W)] for y in range(H)]
        write("b%d" % bpp, header + table + bits + mask, bpp, exp)
    # Two entries, a small 1-bit one first: the larger, deeper one is shown.
    small = struct.pack("<IiiHHIIiiII", 40, 8, 16, 1, 1, 0, 0, 0, 0, 0, 0) + b"\0\0\0\0\xff\xff\xff\0" + b"\0" * 64
    header = struct.pack("<IiiHHIIiiII", 40, W, 2 * H, 1, 32, 0, 0, 0, 0, 0, 0)
    big = header + bottom_up(lambda y: b"".join(bytes((b, g, r, a)) for r, g, b, a in src[y])) + mask
    head = struct.pack("<HHH", 0, 1, 2) + struct.pack("<BBBBHHII", 8, 8, 2, 0, 1, 1, len(small), 38)
    head += struct.pack("<BBBBHHII", W, H, 0, 0, 1, 32, len(big), 38 + len(small))
    with open(os.path.join(out, "ico_two.ico"), "wb") as f:
        f.write(head + small + big)
    ppm(os.path.join(out, "ico_two.ppm"), [on_white(p[:3], p[3]) for row in src for p in row], W, H)
    # The same two with no depth in the directory (some writers leave it
    # 0): the pictures' own headers tell which is deeper.
    small = struct.pack("<IiiHHIIiiII", 40, W, 2 * H, 1, 1, 0, 0, 0, 0, 0, 0) + b"\0\0\0\0\xff\xff\xff\0"
    small += bottom_up(lambda y: pack_row([0] * W, 1)) + mask
    head = struct.pack("<HHH", 0, 1, 2) + struct.pack("<BBBBHHII", W, H, 0, 0, 1, 0, len(small), 38)
    head += struct.pack("<BBBBHHII", W, H, 0, 0, 1, 0, len(big), 38 + len(small))
    with open(os.path.join(out, "ico_nodepth.ico"), "wb") as f:
        f.write(head + small + big)
    ppm(os.path.join(out, "ico_nodepth.ppm"), [on_white(p[:3], p[3]) for row in src for p in row], W, H)
    # A PNG entry.
    img = Image.new("RGBA", (W, H))
    img.putdata([p for row in src for p in row])
    buf = io.BytesIO()
    img.save(buf, "PNG")
    write("png", buf.getvalue(), 32, [[on_white(p[:3], p[3]) for p in row] for row in src])


def refused_cases(out):
    names = []
    # A 12-bit JPEG cannot be made here; a JPEG cut short before its
    # frame, a bitmap of Huffman-coded OS/2 bits and a PNG of a broken
    # header stand for the files that are no picture a viewer shows.
    with open(os.path.join(out, "cut.jpg"), "wb") as f:
        f.write(b"\xff\xd8\xff\xe0\0\x10JFIF\0\1\1\0\0\1\0\1\0\0")
    names.append("cut.jpg")
    os2 = struct.pack("<IiiHHIIiiII", 64, 8, 8, 1, 1, 3, 0, 0, 0, 0, 0) + b"\0" * 24
    with open(os.path.join(out, "huffman.bmp"), "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 14 + 64 + 8 + 64, 0, 0, 14 + 64 + 8) + os2 + b"\0" * 8 + b"\0" * 64)
    names.append("huffman.bmp")
    with open(os.path.join(out, "badheader.png"), "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 4, 4, 3, 2, 0, 0, 0)) + chunk(b"IEND", b""))
    names.append("badheader.png")
    with open(os.path.join(out, "refused.txt"), "w") as f:
        f.write("\n".join(names) + "\n")


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    png_cases(out)
    jpeg_cases(out)
    bmp_cases(out)
    ico_cases(out)
    refused_cases(out)


if __name__ == "__main__":
    main()
