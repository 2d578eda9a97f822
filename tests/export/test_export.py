"""fragebogen-export on answer files that the program itself wrote.

The fixtures (answer files, the server's spool copy of the one sent, and
what was entered on every page) come from make_answer_files, which fills in
the questionnaire through the real windows. Here they are exported and read
back with the csv module.
"""
import collections
import csv
import io
import json
import os
import re
import shutil
import subprocess
import tempfile
import unittest

EXPORT = os.environ["FB_EXPORT"]
FIXTURES = os.environ["FB_EXPORT_FIXTURES"]
FILES = os.path.join(FIXTURES, "files")
SPOOL = os.path.join(FIXTURES, "spool")

with open(os.path.join(FIXTURES, "expected.json"), encoding="utf-8") as f:
    EXPECTED = {e["file"]: e for e in json.load(f)}
with open(os.path.join(FIXTURES, "pages.json"), encoding="utf-8") as f:
    PAGES = json.load(f)

NAME_AT = {"TEXT": 5, "RADIO": 6, "SINGLE": 7, "MULTI": 6, "SKALA": 10}


def kind_of(line):
    for k in ("RADIO", "TEXT", "SINGLE", "MULTI", "SKALA.TAG", "SKALA.STD", "SKALA.WT", "SKALA.WP"):
        if line.startswith(k):
            return k
    raise AssertionError(line)


def name_of(line):
    for prefix, at in NAME_AT.items():
        if line.startswith(prefix):
            return line[at:]
    raise AssertionError(line)


# Every entry the pages showed, in the order they were shown.
ENTRIES = []
for page in PAGES:
    number = int(re.match(r"Seite (\d+) von 76\.", page["caption"]).group(1))
    for e in page["entries"]:
        ENTRIES.append(dict(e, name=name_of(e["line"]), kind=kind_of(e["line"]), page=page, number=number))
NAMES = [e["name"] for e in ENTRIES]
META = ["datei", "gesendet", "recipient"]


def run(args, cwd=None):
    return subprocess.run([EXPORT] + args, capture_output=True, cwd=cwd, timeout=120)


def read_csv(path, excel=False):
    with open(path, "rb") as f:
        raw = f.read()
    if excel:
        assert raw.startswith(b"\xef\xbb\xbf"), path
        raw = raw[3:]
    else:
        assert not raw.startswith(b"\xef\xbb\xbf"), path
    text = raw.decode("utf-8")
    assert text.endswith("\r\n"), path
    return list(csv.reader(io.StringIO(text, newline=""), delimiter=";" if excel else ","))


def as_dicts(rows):
    header = rows[0]
    return header, [dict(zip(header, r)) for r in rows[1:]]


class Folder:
    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="fb-export-")

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def close(self):
        shutil.rmtree(self.dir, ignore_errors=True)


class ExportTestCase(unittest.TestCase):
    def setUp(self):
        self.tmp = Folder()
        self.addCleanup(self.tmp.close)

    def export(self, inputs, *options, expect=0, out="out"):
        p = run(["--out", self.tmp.path(out)] + list(options) + inputs)
        self.assertEqual(p.returncode, expect, p.stderr.decode())
        return p.stderr.decode("utf-8").splitlines()

    def data(self, out="out", excel=False):
        return as_dicts(read_csv(self.tmp.path(out, "daten.csv"), excel))

    def assert_row_as_recorded(self, row, expected, skip=()):
        recorded = {name: value for name, value in expected["answers"]}
        self.assertEqual(len(recorded), len(expected["answers"]), "names recorded twice")
        for name in NAMES:
            if name in skip:
                self.assertNotIn(name, row)
            elif name in recorded:
                self.assertEqual(row[name], recorded[name], name)
            else:
                # Only an unchecked "War mir bekannt." records no line.
                self.assertTrue(name.endswith(".k"), name)
                self.assertEqual(row[name], "0", name)
        self.assertEqual(row["recipient"], expected["recipient"])


class Data(ExportTestCase):
    def test_every_column_in_script_order_and_every_value_as_recorded(self):
        notes = self.export([FILES, SPOOL])
        header, rows = self.data()
        self.assertEqual(header, META + NAMES)
        self.assertEqual(len(NAMES), 254)
        spool_name = next(n for n in EXPECTED if n.endswith(".bgn") and "-" in n)
        self.assertEqual([r["datei"] for r in rows], ["00000000.bgn", "00000001.bgn", "00000002.bgn"])
        for r in rows:
            self.assert_row_as_recorded(r, EXPECTED[r["datei"]])
        self.assertEqual([r["gesendet"] for r in rows], ["1", "0", "0"])
        # The spool copy holds the same answer line as the sent file, which
        # also carries the sent mark: one row and a note naming both.
        self.assertEqual(len(notes), 1, notes)
        self.assertIn(spool_name + ": note: holds the same answers as ", notes[0])
        self.assertIn("00000000.bgn; exported once", notes[0])

    def test_texts_with_ampersand_equals_percent_and_umlaut(self):
        self.export([FILES])
        _, rows = self.data()
        by = {r["datei"]: r for r in rows}
        self.assertEqual(by["00000000.bgn"]["Komm"], "Witze & Cartoons = super, 100% sch\u00f6n")
        self.assertEqual(by["00000000.bgn"]["Name"], "Eva M\u00fcster")
        # Texts that hold a name allowed next, followed by "=".
        self.assertEqual(by["00000001.bgn"]["Berufsname"], "Clown & Artist&Einkommen=3")
        self.assertEqual(by["00000001.bgn"]["Komm"], "Preis? &WPreis=3 wenn es geht")
        self.assertEqual(by["00000002.bgn"]["Komm"], "%20&amp;=&")
        self.assertTrue(EXPECTED["00000001.bgn"]["resumed"])

    def test_war_mir_bekannt_checked_and_unchecked(self):
        self.export([FILES])
        _, rows = self.data()
        by = {r["datei"]: r for r in rows}
        known = [n for n in NAMES if n.endswith(".k")]
        self.assertEqual(len(known), 60)
        self.assertEqual({by["00000002.bgn"][n] for n in known}, {"1"})
        self.assertEqual({by["00000000.bgn"][n] for n in known}, {"0", "1"})

    def test_spool_files_count_as_sent(self):
        self.export([SPOOL])
        _, rows = self.data()
        self.assertEqual(len(rows), 1)
        self.assertEqual(rows[0]["gesendet"], "1")
        self.assert_row_as_recorded(rows[0], EXPECTED[rows[0]["datei"]])

    def test_byte_identical_inputs_give_one_row_and_a_note(self):
        os.mkdir(self.tmp.path("in"))
        shutil.copy(os.path.join(FILES, "00000001.bgn"), self.tmp.path("in", "00000001.bgn"))
        shutil.copy(os.path.join(FILES, "00000001.bgn"), self.tmp.path("in", "mail-anhang.bgn"))
        # The server's copy of a mailed file: one row, counted as sent.
        spool_name = next(n for n in EXPECTED if n.endswith(".bgn") and "-" in n)
        shutil.copy(os.path.join(FILES, "00000001.bgn"), self.tmp.path("in", spool_name))
        notes = self.export([self.tmp.path("in")])
        _, rows = self.data()
        self.assertEqual([r["datei"] for r in rows], ["00000001.bgn"])
        self.assertEqual(rows[0]["gesendet"], "1")
        self.assertEqual(len(notes), 2)
        self.assertIn("/" + spool_name + ": note: identical to ", notes[0])
        self.assertIn("/mail-anhang.bgn: note: identical to ", notes[1])

    def test_a_page_never_recorded_stays_empty(self):
        with open(os.path.join(FILES, "00000002.bgn"), "rb") as f:
            line = f.read().rstrip(b"\r\n")
        cut = line.index(b"&Info=")  # the first answer after the ratings
        with open(self.tmp.path("kurz.bgn"), "wb") as f:
            f.write(line[:cut] + b"\r\n")
        self.export([self.tmp.path("kurz.bgn")])
        _, rows = self.data()
        after = NAMES[NAMES.index("Info"):]
        self.assertEqual({rows[0][n] for n in after}, {""})
        self.assertEqual(rows[0][NAMES[NAMES.index("Info") - 1]], "1")

    def test_empty_input_is_an_error(self):
        os.mkdir(self.tmp.path("leer"))
        p = run(["--out", self.tmp.path("out"), self.tmp.path("leer")])
        self.assertEqual(p.returncode, 2)
        self.assertIn(b"no answer files", p.stderr)
        self.assertFalse(os.path.exists(self.tmp.path("out", "daten.csv")))
        p = run(["--out", self.tmp.path("out")])
        self.assertEqual(p.returncode, 2)
        self.assertIn(b"usage", p.stderr)

    def test_other_files_in_a_folder_are_ignored_with_a_note(self):
        os.mkdir(self.tmp.path("in"))
        os.mkdir(self.tmp.path("in", "done"))
        shutil.copy(os.path.join(FILES, "00000001.bgn"), self.tmp.path("in"))
        open(self.tmp.path("in", "liesmich.txt"), "w").close()
        open(self.tmp.path("in", ".tmp-20261209-101010.000001-7"), "w").close()
        notes = self.export([self.tmp.path("in")])
        self.assertEqual(len(notes), 3, notes)
        self.assertTrue(all("ignored" in n for n in notes))
        self.assertEqual(len(self.data()[1]), 1)


class BadInput(ExportTestCase):
    def good_line(self):
        with open(os.path.join(FILES, "00000001.bgn"), "rb") as f:
            return f.read().split(b"\r\n")[0]

    def test_every_bad_file_is_skipped_with_one_line_and_the_others_exported(self):
        line = self.good_line()
        os.mkdir(self.tmp.path("in"))
        bad = {
            "leer.bgn": (b"", "defective"),
            "drei.bgn": (line + b"\r\nDaten erfolgreich gesendet.\r\n\r\n", "3 lines"),
            "kopf.bgn": (b"empfaenger=" + line[len(b"recipient="):] + b"\r\n", 'start with "recipient="'),
            "feld.bgn": (line.replace(b"&Geschlecht=", b"&Geschlechtx=") + b"\r\n",
                         'field "Geschlechtx" at position %d is not allowed' % (line.index(b"&Geschlecht=") + 2)),
            "zahl.bgn": (re.sub(rb"&Fml=\d+", b"&Fml=zwei", line) + b"\r\n",
                         'value "zwei" of "Fml" at position %d is not a number' % (line.index(b"&Fml=") + 6)),
            "bereich.bgn": (re.sub(rb"&Geschlecht=\d+", b"&Geschlecht=3", line) + b"\r\n", "outside 1..2"),
            "utf8.bgn": (line.decode("cp1252").encode("utf-8") + b"\r\n", "UTF-8"),
            "binaer.bgn": (line[:40] + b"\x00\x01\x02" + line[40:] + b"\r\n", "NUL byte at byte 41"),
            "undefiniert.bgn": (line.replace(b"&Komm=", b"&Komm=\x81"), "0x81"),
            "mitten.bgn": (line[: line.index(b"&Ffragen=") + 10] + b"\r\n", "ends inside page Komment"),
            "schnitt.bgn": (line[: line.index(b"&Ffragen=") + 8] + b"\r\n", 'the value of "Ffragen" at position'),
        }
        # A field of another script version after a text answer.
        for text in ("Email", "Geburt", "Berufsname", "Komm"):
            after = b"&" + NAMES[NAMES.index(text) + 1].encode("cp1252") + b"="
            bad["neu-%s.bgn" % text] = (line.replace(after, b"&Alter=33" + after) + b"\r\n",
                                        'the text answer "%s" ends in "&Alter=33"' % text)
        for name, (content, _) in bad.items():
            with open(self.tmp.path("in", name), "wb") as f:
                f.write(content)
        shutil.copy(os.path.join(FILES, "00000002.bgn"), self.tmp.path("in"))
        errors = self.export([self.tmp.path("in")], expect=1)
        self.assertEqual(len(errors), len(bad), errors)
        for name, (_, reason) in bad.items():
            lines = [e for e in errors if "/" + name + ": skipped: " in e]
            self.assertEqual(len(lines), 1, name)
            self.assertIn(reason, lines[0])
        _, rows = self.data()
        self.assertEqual([r["datei"] for r in rows], ["00000002.bgn"])
        self.assert_row_as_recorded(rows[0], EXPECTED["00000002.bgn"])

    def test_missing_input_is_skipped(self):
        errors = self.export([os.path.join(FILES, "00000002.bgn"), self.tmp.path("fehlt.bgn")], expect=1)
        self.assertEqual(len(errors), 1)
        self.assertIn("fehlt.bgn: skipped: no such file", errors[0])

    def test_second_line_other_than_the_sent_mark(self):
        with open(self.tmp.path("x.bgn"), "wb") as f:
            f.write(self.good_line() + b"\r\n\r\n")
        notes = self.export([self.tmp.path("x.bgn")])
        self.assertEqual(len(notes), 1)
        self.assertEqual(self.data()[1][0]["gesendet"], "0")


def formula_file(folder):
    """00000002.bgn with a comment a spreadsheet would run; its expected row."""
    with open(os.path.join(FILES, "00000002.bgn"), "rb") as f:
        line = f.read().split(b"\r\n")[0]
    komm = '=HYPERLINK("http://x.invalid";"Klick")'
    line = re.sub(rb"&Komm=.*&WPreis=", b"&Komm=" + komm.encode() + b"&WPreis=", line, flags=re.S)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "formel.bgn"), "wb") as f:
        f.write(line + b"\r\n")
    expected = dict(EXPECTED["00000002.bgn"])
    expected["answers"] = [(n, komm if n == "Komm" else v) for n, v in expected["answers"]]
    return expected


class Options(ExportTestCase):
    def test_excel(self):
        expected = formula_file(self.tmp.path("in"))
        self.export([FILES, self.tmp.path("in")], "--excel")
        header, rows = as_dicts(read_csv(self.tmp.path("out", "daten.csv"), excel=True))
        self.assertEqual(header, META + NAMES)
        formula = rows.pop()
        self.assertEqual(formula["Komm"], "'" + dict(expected["answers"])["Komm"])
        for r in rows:
            self.assert_row_as_recorded(r, EXPECTED[r["datei"]])
        # Without --excel the text stays exact.
        self.export([self.tmp.path("in")], out="plain")
        self.assert_row_as_recorded(self.data("plain")[1][0], expected)
        self.assertEqual(len(read_csv(self.tmp.path("out", "codebook.csv"), excel=True)), len(header) + 1)

    def test_multi_dummies(self):
        self.export([FILES], "--multi-dummies")
        header, rows = self.data()
        multis = [e for e in ENTRIES if e["kind"] == "MULTI"]
        self.assertEqual(len(multis), 5)
        expected_header = list(META)
        for e in ENTRIES:
            expected_header.append(e["name"])
            if e["kind"] == "MULTI":
                expected_header += ["%s_%d" % (e["name"], i + 1) for i in range(len(e["options"]))]
        self.assertEqual(header, expected_header)
        for r in rows:
            self.assert_row_as_recorded(r, EXPECTED[r["datei"]])
            for e in multis:
                bits = int(r[e["name"]])
                for i in range(len(e["options"])):
                    self.assertEqual(r["%s_%d" % (e["name"], i + 1)], str(bits >> i & 1))
        self.assertEqual(rows[2]["Fakt_7"], "1")
        self.assertEqual(rows[0]["Fakt_2"], "0")

    def test_pseudonymize(self):
        self.export([FILES], "--pseudonymize")
        header, rows = self.data()
        self.assertEqual(header, ["id", "gesendet", "recipient"] + [n for n in NAMES if n not in ("Name", "Email")])
        ids_header, ids = as_dicts(read_csv(self.tmp.path("out", "identitaeten.csv")))
        self.assertEqual(ids_header, ["id", "Name", "Email", "datei"])
        self.assertEqual(sorted(r["id"] for r in rows), sorted(r["id"] for r in ids))
        self.assertEqual(len({r["id"] for r in rows}), 3)
        person = {r["id"]: r for r in ids}
        for r in rows:
            who = person[r["id"]]
            expected = EXPECTED[who["datei"]]
            recorded = dict(expected["answers"])
            self.assertEqual((who["Name"], who["Email"]), (recorded["Name"], recorded["Email"]))
            self.assert_row_as_recorded(r, expected, skip=("Name", "Email"))
            self.assertRegex(r["id"], r"^[0-9a-f]{16}$")
        # Random: a second export of the same files gives other ids.
        self.export([FILES], "--pseudonymize", out="out2")
        again = {r["id"] for r in self.data("out2")[1]}
        self.assertFalse(again & set(person))


    def test_script_option(self):
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "content", "bogen.txt")
        self.export([FILES], "--script", script, out="a")
        self.export([FILES], out="b")
        for name in ("daten.csv", "codebook.csv", "labels.sps", "labels.R"):
            with open(self.tmp.path("a", name), "rb") as a, open(self.tmp.path("b", name), "rb") as b:
                a_path = os.path.realpath(self.tmp.path("a")).encode()
                self.assertEqual(a.read().replace(a_path, a_path[:-1] + b"b"), b.read(), name)
        # Another questionnaire: its names are the columns, and the embedded
        # questionnaire's files no longer fit it.
        with open(self.tmp.path("kurz.txt"), "wb") as f:
            f.write(b"PAGE Eins\r\n\r\nTEXT Name\r\nIhr Name:\r\n\r\nRADIO Wahl\r\nFrage\r\nja\r\nnein\r\nEND")
        with open(self.tmp.path("kurz.bgn"), "wb") as f:
            f.write(b"recipient=a@b&subject=Bogendaten&Name=X & Y&Wahl=2\r\n")
        errors = self.export([self.tmp.path("kurz.bgn"), os.path.join(FILES, "00000001.bgn")],
                             "--script=" + self.tmp.path("kurz.txt"), expect=1)
        self.assertEqual(len(errors), 1)
        self.assertIn('00000001.bgn: skipped: field "Email"', errors[0])
        header, rows = self.data()
        self.assertEqual(header, META + ["Name", "Wahl"])
        self.assertEqual(rows, [{"datei": "kurz.bgn", "gesendet": "0", "recipient": "a@b", "Name": "X & Y", "Wahl": "2"}])

    def test_script_the_program_fails_on_and_usage_errors(self):
        with open(self.tmp.path("kaputt.txt"), "wb") as f:
            f.write(b"PAGE Eins\r\nSKALA.WT W01\r\nWitz\r\nEND")
        for args in (["--script", self.tmp.path("kaputt.txt"), FILES], ["--script", self.tmp.path("fehlt.txt"), FILES],
                     ["--unbekannt", FILES], ["--out"], [FILES, "--script"]):
            p = run(args, cwd=self.tmp.dir)
            self.assertEqual(p.returncode, 2, args)
            self.assertTrue(p.stderr.startswith(b"fragebogen-export: "), p.stderr)
        self.assertFalse(os.path.exists(self.tmp.path("export")))
        p = run(["--help"])
        self.assertEqual(p.returncode, 0)
        self.assertIn(b"--pseudonymize", p.stdout)


class Codebook(ExportTestCase):
    def setUp(self):
        super().setUp()
        self.export([FILES])
        self.header, self.rows = as_dicts(read_csv(self.tmp.path("out", "codebook.csv")))
        self.by = {r["name"]: r for r in self.rows}

    def values(self, name):
        return [tuple(v.split("=", 1)) for v in self.by[name]["values"].split("\n")]

    def test_one_row_per_column_against_what_the_pages_showed(self):
        self.assertEqual(self.header, ["name", "page", "page_number", "kind", "question", "values", "spss_name", "note"])
        self.assertEqual([r["name"] for r in self.rows], META + NAMES)
        for e in ENTRIES:
            r = self.by[e["name"]]
            self.assertEqual(int(r["page_number"]), e["number"], e["name"])
            self.assertEqual(r["page"], e["page"]["name"])
            self.assertEqual(r["kind"], e["kind"])
            if e["kind"] == "SKALA.WT":
                self.assertTrue(any(l.splitlines()[0] == r["question"] for l in e["page"]["labels"]), e["name"])
            elif e["kind"] == "SKALA.WP":
                self.assertRegex(r["question"], r"^bild\d{3}\.jpg$")
            else:
                self.assertIn(r["question"], e["page"]["labels"], e["name"])
            if e["kind"] == "RADIO":
                self.assertEqual(self.values(e["name"]), [(str(i + 1), o) for i, o in enumerate(e["options"])])
            elif e["kind"] == "SINGLE":
                self.assertEqual(self.values(e["name"]), [(str(i), o) for i, o in enumerate(e["options"])])
            elif e["kind"] == "MULTI":
                self.assertEqual(self.values(e["name"]), [(str(1 << i), o) for i, o in enumerate(e["options"])])
            elif e["kind"] == "SKALA.TAG":
                self.assertEqual(len(self.values(e["name"])), e["boxes"])
        self.assertEqual(self.by["Geschlecht"]["page_number"], "1")
        self.assertEqual(self.by["01.w"]["page"], "Witze")
        self.assertEqual(self.by["01.w"]["page_number"], "12")
        self.assertEqual(self.by["04.w"]["page_number"], "13")
        self.assertEqual(self.by["Komm"]["page_number"], "76")

    def test_value_labels(self):
        self.assertIn(("1", "Bayern   "), self.values("LebeLand"))  # trailing blanks kept
        self.assertEqual(self.values("Arbz")[0], ("1", "0 bis 1 Uhr"))
        self.assertEqual(self.values("Arbz")[23], ("24", "23 bis 24 Uhr"))
        self.assertEqual(self.values("Afst")[0], ("1", "5:00\u20135:15"))
        self.assertEqual(self.values("Afst")[27], ("28", "11:45\u201312:00"))
        self.assertEqual(self.values("Btg")[15], ("16", "23:45\u201324:00"))
        self.assertEqual(self.values("Btg")[16], ("17", "0:00\u20130:15"))
        self.assertEqual(self.values("01.w"), [("1", "nicht witzig"), ("7", "sehr witzig")])
        self.assertEqual(self.values("01.a"), [("1", "keine Ablehnung"), ("7", "starke Ablehnung")])
        self.assertIn(("1", "War mir bekannt."), self.values("01.k"))

    def test_spss_names_valid_and_unique(self):
        names = [r["spss_name"] for r in self.rows]
        self.assertEqual(len({n.lower() for n in names}), len(names))
        for n in names:
            self.assertRegex(n, r"^[^\W\d_][\w@#$]*$")
            self.assertLessEqual(len(n.encode("utf-8")), 64)
            self.assertNotIn(n.upper(), {"ALL", "AND", "BY", "EQ", "GE", "GT", "LE", "LT", "NE", "NOT", "OR", "TO", "WITH"})
        self.assertEqual(self.by["01.w"]["spss_name"], "W01_w")
        self.assertEqual(self.by["Hm.s"]["spss_name"], "Hm_s")
        self.assertEqual(self.by["23Md"]["spss_name"], "V23Md")
        self.assertEqual(self.by["WB\u00f6se"]["spss_name"], "WB\u00f6se")
        self.assertEqual(self.by["Geschlecht"]["spss_name"], "Geschlecht")

    def test_spss_syntax_reads_every_column_by_its_spss_name(self):
        with open(self.tmp.path("out", "labels.sps"), encoding="utf-8") as f:
            sps = f.read()
        self.assertTrue(sps.startswith("* Encoding: UTF-8.\n"))
        block = sps[sps.index("/VARIABLES=") : sps.index("\n.\n")]
        listed = re.findall(r"^\s+(\S+) (A\d+|F\d+\.0)$", block, re.M)
        self.assertEqual([n for n, _ in listed], [r["spss_name"] for r in self.rows])
        self.assertIn("VALUE LABELS", sps)
        self.assertIn("W01_w\n      1 'nicht witzig'\n      7 'sehr witzig'", sps)
        for line in sps.split("\n"):
            self.assertLessEqual(len(line.encode("utf-8")), 120, line)


R_CHECK = r"""
source(commandArgs(trailingOnly = TRUE)[1])
out <- data.frame(datei = daten$datei, stringsAsFactors = FALSE)
for (n in names(daten)) out[[n]] <- as.character(daten[[n]])
write.csv(out, "r-check.csv", row.names = FALSE, fileEncoding = "UTF-8")
info <- c(is.factor(daten$Geschlecht), is.ordered(daten[["01.w"]]), is.integer(daten$Fakt),
          is.character(daten$Kinder), attr(daten$Komm, "label") != "")
writeLines(paste(as.integer(info), collapse = ""), "r-info.txt")
writeLines(attr(daten[["WB\u00f6se"]], "label"), "r-label.txt", useBytes = TRUE)
"""


@unittest.skipIf(shutil.which("Rscript") is None, "Rscript (r-base-core) is not installed")
class RLabels(ExportTestCase):
    def check(self, *options):
        # Read as a researcher would, from another folder; a comment that
        # looks like a formula comes back exact from the --excel variant too.
        expected = dict(EXPECTED, **{"formel.bgn": formula_file(self.tmp.path("in"))})
        self.export([FILES, self.tmp.path("in")], *options)
        labels = self.tmp.path("out", "labels.R")
        elsewhere = self.tmp.path("anderswo")
        os.mkdir(elsewhere)
        env = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")
        p = subprocess.run(["Rscript", "--vanilla", labels], cwd=elsewhere, capture_output=True, timeout=120, env=env)
        self.assertEqual((p.returncode, p.stderr), (0, b""))
        self.assertIn(b"4 Zeilen,", p.stdout)
        with open(os.path.join(elsewhere, "check.R"), "w") as f:
            f.write(R_CHECK)
        p = subprocess.run(["Rscript", "--vanilla", "check.R", labels], cwd=elsewhere, capture_output=True,
                           timeout=120, env=env)
        self.assertEqual(p.returncode, 0, p.stderr.decode())
        self.assertEqual(p.stderr.decode().strip(), "", "R warned")
        with open(os.path.join(elsewhere, "r-info.txt")) as f:
            self.assertEqual(f.read().strip(), "11111")
        header, rows = as_dicts(read_csv_plain(os.path.join(elsewhere, "r-check.csv")))
        options = {e["name"]: e["options"] for e in ENTRIES}
        kinds = {e["name"]: e["kind"] for e in ENTRIES}
        self.assertEqual(len(rows), 4)
        for r in rows:
            recorded = dict(expected[r["datei"]]["answers"])
            for name in NAMES:
                value = recorded.get(name, "0" if name.endswith(".k") else None)
                if kinds[name] == "RADIO":
                    value = options[name][int(value) - 1]
                elif kinds[name] == "SINGLE":
                    value = options[name][int(value)]
                elif name.endswith(".w") or name.endswith(".a"):
                    value = {"1": "nicht witzig" if name.endswith(".w") else "keine Ablehnung",
                             "7": "sehr witzig" if name.endswith(".w") else "starke Ablehnung"}.get(value, value)
                self.assertEqual(r[name], value, (r["datei"], name))

    def test_labels_r_runs_and_labels_the_recorded_values(self):
        self.check()

    def test_labels_r_reads_the_excel_variant(self):
        self.check("--excel")


def snapshot(folder):
    files = {}
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name), "rb") as f:
            files[name] = f.read()
    return files


FILL_AND_EXPORT = r"""
set -eu
exp=$1 in=$2 earlier=$3 mnt=$4 err=$5
mount -t tmpfs -o size=1m tmpfs "$mnt"
free=0
while [ $free -le 1048576 ]; do
  rm -rf "$mnt/out" "$mnt/fill"
  cp -r "$earlier" "$mnt/out"
  avail=$(df -B1 --output=avail "$mnt" | tail -n 1)
  [ "$avail" -gt "$free" ] && fallocate -l $((avail - free)) "$mnt/fill"
  rc=0
  "$exp" --out "$mnt/out" "$in" >/dev/null 2>"$err" || rc=$?
  if [ $rc -eq 0 ]; then echo "written with $free bytes free"; exit 0; fi
  [ $rc -eq 2 ] || { echo "exit $rc with $free bytes free"; cat "$err"; exit 1; }
  grep -q "left as it was" "$err" || { echo "no word on the earlier export"; cat "$err"; exit 1; }
  diff -r "$earlier" "$mnt/out" || { echo "earlier export changed with $free bytes free"; exit 1; }
  free=$((free + 4096))
done
echo "never written"; exit 1
"""


class AllOrNothing(ExportTestCase):
    def earlier_export(self):
        self.export([os.path.join(FILES, "00000000.bgn")], "--pseudonymize")
        return snapshot(self.tmp.path("out"))

    def test_nothing_exported_leaves_the_earlier_export_and_exits_2(self):
        before = self.earlier_export()
        with open(self.tmp.path("kaputt.bgn"), "wb") as f:
            f.write(b"recipient=x\r\n")
        errors = self.export([self.tmp.path("kaputt.bgn")], expect=2)
        self.assertIn("skipped", errors[0])
        self.assertIn("nothing exported", errors[-1])
        self.assertEqual(snapshot(self.tmp.path("out")), before)
        # A full export replaces the whole set, the names of the earlier
        # pseudonymized one included.
        self.export([FILES])
        self.assertEqual(sorted(os.listdir(self.tmp.path("out"))), ["codebook.csv", "daten.csv", "labels.R", "labels.sps"])

    @unittest.skipUnless(os.geteuid() == 0 and shutil.which("unshare"), "a tmpfs mount needs root")
    def test_a_full_disk_at_every_step_leaves_the_earlier_export(self):
        self.earlier_export()
        os.mkdir(self.tmp.path("mnt"))
        p = subprocess.run(["unshare", "--mount", "--propagation", "private", "sh", "-c", FILL_AND_EXPORT, "sh",
                            EXPORT, FILES, self.tmp.path("out"), self.tmp.path("mnt"), self.tmp.path("err")],
                           capture_output=True, timeout=600)
        self.assertEqual(p.returncode, 0, p.stdout.decode() + p.stderr.decode())
        # Writing needs tens of kilobytes free: many steps failed before.
        self.assertGreater(int(p.stdout.split()[2]), 16 * 4096, p.stdout)


PSPP_CHECK = """SET TNUMBERS=VALUES.
DISPLAY DICTIONARY.
FREQUENCIES W01_w W05_a.
"""


@unittest.skipIf(shutil.which("pspp") is None, "PSPP (pspp) is not installed")
class Pspp(ExportTestCase):
    def test_labels_sps_runs_from_another_folder(self):
        # One more participant, in a file whose name holds a line break.
        os.mkdir(self.tmp.path("in"))
        with open(os.path.join(FILES, "00000002.bgn"), "rb") as f:
            line = f.read().split(b"\r\n")[0]
        with open(self.tmp.path("in", "zeilen\numbruch.bgn"), "wb") as f:
            f.write(line.replace(b"&Komm=", b"&Komm=noch einer ") + b"\r\n")
        notes = self.export([FILES, self.tmp.path("in")])
        self.assertIn("line break", notes[-1])
        _, rows = self.data()
        self.assertEqual(rows[-1]["datei"], "zeilen umbruch.bgn")
        elsewhere = self.tmp.path("anderswo")
        os.mkdir(elsewhere)
        with open(os.path.join(elsewhere, "check.sps"), "w") as f:
            f.write(PSPP_CHECK)
        labels = self.tmp.path("out", "labels.sps")
        for args in ([labels], [labels, "check.sps"]):
            p = subprocess.run(["pspp", "-o", "ausgabe.csv"] + args, cwd=elsewhere, capture_output=True, timeout=120)
            with open(os.path.join(elsewhere, "ausgabe.csv"), encoding="utf-8") as f:
                output = f.read()
            self.assertEqual(p.returncode, 0, p.stdout.decode() + output)
            for text in (p.stdout.decode(), p.stderr.decode(), output):
                self.assertNotRegex(text, r"(?i)error|warning")
        tables, table = {}, None
        for row in csv.reader(io.StringIO(output)):
            if row and row[0].startswith("Table: "):
                table = tables.setdefault(row[0][7:], [])
            elif row and table is not None:
                table.append(row)
        dictionary = {r[0]: r for r in tables["Variables"][1:]}
        codebook = {r["spss_name"]: r for r in as_dicts(read_csv(self.tmp.path("out", "codebook.csv")))[1]}
        self.assertEqual(list(dictionary), list(codebook))
        for name, level in (("Geschlecht", "Nominal"), ("W01_w", "Ordinal"), ("W01_k", "Nominal"),
                            ("Afst", "Ordinal"), ("Komm", "Nominal")):
            self.assertEqual(dictionary[name][3], level, name)
        # Every label is the question, a long one cut after a word with "…".
        cut = 0
        for name, row in dictionary.items():
            label = re.sub(r"^(Witzigkeit|Ablehnung|War mir bekannt): ", "", row[2])
            question = codebook[name]["question"]
            if label != question:
                cut += 1
                self.assertTrue(label.endswith("\u2026") and question.startswith(label[:-1]), name)
                self.assertIn(question[len(label) - 1], " ,;:-", name)
        self.assertGreater(cut, 0)
        # The frequencies PSPP counts are those of the CSV, one case per row.
        for spss, column in (("W01_w", "01.w"), ("W05_a", "05.a")):
            freq = tables[dictionary[spss][2]][1:]
            counted = {r[1]: int(r[2]) for r in freq if r[0] in ("Valid", "") and r[1]}
            self.assertEqual(counted, dict(collections.Counter(r[column] for r in rows)), spss)
            self.assertEqual([int(r[2]) for r in freq if r[0] == "Total"], [len(rows)])


def read_csv_plain(path):
    with open(path, encoding="utf-8", newline="") as f:
        return list(csv.reader(f))


if __name__ == "__main__":
    unittest.main()
