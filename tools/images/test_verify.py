"""Tests of the picture checker against damaged copies of the committed
pictures, and of the generator's marker and profile writers.
Run: python3 -m unittest discover -s tools/images -p 'test_*.py'"""
import shutil
import struct
import sys
import tempfile
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import verify  # noqa: E402

CONTENT = HERE.parents[1] / "content"

try:
    import imgio  # needs python3-cairo
except ImportError:
    imgio = None


def find_marker(data, marker):
    pos = 2
    while pos < len(data) and data[pos + 1] != 0xDA:
        if data[pos + 1] == marker:
            return pos
        pos += 2 + struct.unpack(">H", data[pos + 2:pos + 4])[0]
    return -1


class DamagedCopies(unittest.TestCase):
    def setUp(self):
        self.tmp = Path(tempfile.mkdtemp())
        for sub in ("bitmaps", "icon", "cartoons"):
            shutil.copytree(CONTENT / sub, self.tmp / sub)

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def problems(self):
        return verify.verify(self.tmp, decode=False)

    def edit(self, rel, fn):
        p = self.tmp / rel
        p.write_bytes(fn(bytearray(p.read_bytes())))

    def assertProblem(self, text):
        found = self.problems()
        self.assertTrue(any(text in p for p in found), "%r not in %r" % (text, found))

    def test_committed_pictures_pass(self):
        self.assertEqual(verify.verify(CONTENT), [])

    def test_frame_header_faults(self):
        def to_baseline(d):
            d[find_marker(d, 0xC2) + 1] = 0xC0
            return d
        self.edit("cartoons/bild012.jpg", to_baseline)
        self.assertProblem("bild012.jpg: coded with SOF0, expected SOF2")

        def to_progressive(d):
            d[find_marker(d, 0xC0) + 1] = 0xC2
            return d
        self.edit("cartoons/bild051.jpg", to_progressive)
        self.assertProblem("bild051.jpg: coded with SOF2, expected SOF0")

        def wider(d):
            p = find_marker(d, 0xC2)
            struct.pack_into(">H", d, p + 7, 304)
            return d
        self.edit("cartoons/bild059.jpg", wider)
        self.assertProblem("bild059.jpg: 304 x 592 pixels, expected 303 x 592")

        def one_component(d):
            d[find_marker(d, 0xC2) + 9] = 1
            return d
        self.edit("cartoons/bild044.jpg", one_component)
        self.assertProblem("bild044.jpg: 1 components, expected 3")

    def test_byte_size_tolerance(self):
        # A comment segment pads a file; 16 % over fails, 14 % over passes.
        target = 16121
        path = self.tmp / "cartoons" / "bild053.jpg"
        data = path.read_bytes()
        for factor, fails in ((1.16, True), (1.14, False)):
            pad = int(target * factor) - len(data) - 4
            path.write_bytes(data[:2] + b"\xff\xfe" + struct.pack(">H", pad + 2) + b"x" * pad + data[2:])
            hit = any("bild053.jpg" in p and "bytes" in p for p in self.problems())
            self.assertEqual(hit, fails, factor)

    def test_broken_and_missing_files(self):
        self.edit("cartoons/bild006.jpg", lambda d: d[:-2])
        (self.tmp / "cartoons" / "bild007.jpg").unlink()
        (self.tmp / "cartoons" / "bild999.jpg").write_bytes(b"")
        found = self.problems()
        self.assertIn("cartoons/bild006.jpg: does not end with EOI", found)
        self.assertIn("cartoons/bild007.jpg: missing", found)
        self.assertIn("cartoons/bild999.jpg: not one of the cartoons", found)

    def test_set_needs_every_marker_kind(self):
        # Drop the comment from every file that has one.
        for p in (self.tmp / "cartoons").glob("*.jpg"):
            d = bytearray(p.read_bytes())
            pos = find_marker(d, 0xFE)
            if pos >= 0:
                n = struct.unpack(">H", d[pos + 2:pos + 4])[0]
                p.write_bytes(bytes(d[:pos] + d[pos + 2 + n:]))
        self.assertProblem("none carries a comment")

    def test_bitmap_faults(self):
        self.edit("bitmaps/psizwin.bmp", lambda d: d[:-2])
        found = self.problems()
        self.assertIn("bitmaps/psizwin.bmp: 124854 bytes, expected 124856", found)
        self.assertIn("bitmaps/psizwin.bmp: header says 124856 bytes, file has 124854", found)

        def top_down(d):
            struct.pack_into("<i", d, 22, -195)
            return d
        self.edit("bitmaps/logo.bmp", top_down)
        self.assertProblem("bitmaps/logo.bmp: 213 x -195, expected 213 x 195 bottom-up")

    def test_background_colour_is_exact(self):
        def recolour(d):
            # The last row in the file is the top row: its first pixel.
            off = struct.unpack_from("<I", d, 10)[0] + 640 * 194
            d[off:off + 3] = bytes((254, 0, 6))  # blue, green, red: one step off
            return d
        self.edit("bitmaps/psizwin.bmp", recolour)
        self.assertProblem("psizwin.bmp: background at (0, 0) is (6, 0, 254)")

    def test_wink_must_be_the_same_psi(self):
        def erase_psi(d):
            off = struct.unpack_from("<I", d, 10)[0]
            for i in range(0, 640 * 80, 3):
                d[off + i:off + i + 3] = bytes((255, 0, 6))
            return d
        self.edit("bitmaps/psizwin.bmp", erase_psi)
        self.assertProblem("differ in")
        shutil.copy(CONTENT / "bitmaps" / "psizwin.bmp", self.tmp / "bitmaps" / "psizwin.bmp")
        self.assertEqual(self.problems(), [])

    def test_icon_faults(self):
        def sixteen(d):
            d[6] = d[7] = 16
            return d
        self.edit("icon/mainicon.ico", sixteen)
        self.assertProblem("icon/mainicon.ico: 16x16")
        (self.tmp / "icon" / "mainicon-256.png").write_bytes((CONTENT / "icon" / "mainicon.png").read_bytes())
        self.assertProblem("icon/mainicon-256.png: (32, 32), expected 256 x 256")


@unittest.skipIf(imgio is None, "python3-cairo is not installed")
class Writers(unittest.TestCase):
    def test_spliced_markers_are_found_and_jfif_can_be_dropped(self):
        rows = [[(x * 8, y * 8, 128) for x in range(24)] for y in range(16)]
        jpeg = imgio.cjpeg(rows, 80, True, False)
        full = imgio.with_markers(jpeg, True, [imgio.adobe_segment(1), imgio.icc_segment(imgio.srgb_profile()),
                                               imgio.comment_segment("Grüße")])
        info = verify.parse_jpeg(full)
        self.assertEqual(info.markers, {"jfif", "adobe", "icc", "com"})
        self.assertEqual((info.sof, info.width, info.height, info.components), (0xC2, 24, 16, 3))
        bare = verify.parse_jpeg(imgio.with_markers(jpeg, False, [imgio.adobe_segment(1)]))
        self.assertEqual(bare.markers, {"adobe"})
        self.assertEqual(full[-len(jpeg) + 20:], jpeg[20:])

    def test_grey_encoding_has_one_component(self):
        rows = [[(v, v, v) for v in range(0, 240, 10)] for _ in range(8)]
        info = verify.parse_jpeg(imgio.cjpeg(rows, 75, False, True))
        self.assertEqual((info.sof, info.components), (0xC0, 1))

    def test_profile_is_self_consistent(self):
        p = imgio.srgb_profile()
        self.assertEqual(struct.unpack(">I", p[:4])[0], len(p))
        self.assertEqual(p[36:40], b"acsp")
        count = struct.unpack(">I", p[128:132])[0]
        for i in range(count):
            sig, off, size = struct.unpack(">4sII", p[132 + 12 * i:144 + 12 * i])
            self.assertLessEqual(off + size, len(p), sig)
            self.assertEqual(off % 4, 0, sig)

    def test_bitmap_writers_pad_rows(self):
        rows = [[(1, 2, 3)] * 5 for _ in range(3)]
        b24 = imgio.bmp24(rows, trailing=2)
        self.assertEqual(len(b24), 54 + 16 * 3 + 2)
        self.assertEqual(struct.unpack_from("<I", b24, 2)[0], len(b24))
        self.assertEqual(b24[54:57], bytes((3, 2, 1)))
        pal = [(1, 2, 3)] + [(0, 0, 0)] * 255
        b8 = imgio.bmp8(rows, pal)
        self.assertEqual(len(b8), 54 + 1024 + 8 * 3)


if __name__ == "__main__":
    unittest.main()
