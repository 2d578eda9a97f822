#!/usr/bin/python3
"""Assembles the embedded questionnaire content/bogen.txt.

The questionnaire is kept in UTF-8 with LF line ends (content/src/fragebogen.txt),
with the 60 rating items replaced by one line "@BEWERTUNGEN@"; the jokes live in
content/src/witze.txt. This tool expands the ratings, encodes Windows-1252 with
CR LF and checks the result against the outline the answer files depend on:
page and item names become answer names and resume markers, so a changed name,
kind or option count would silently break the evaluation of the collected data.

The reader of the program trusts the script; everything it does not check is
checked here, and the tool exits non-zero on any deviation without writing.

Usage:
  assemble_script.py [--source F] [--jokes F] [--output F] [--check] [--quiet]
  assemble_script.py --self-test

--check compares the assembled bytes with the existing output file instead of
writing it (for a test that the committed script is up to date).
"""

import argparse
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PLACEHOLDER = "@BEWERTUNGEN@"
KEYWORDS = ("PAGE", "RADIO", "TEXT", "SINGLE", "MULTI", "SKALA")
ENCODING = "cp1252"

# The outline: every page in order, every item with its kind, name and option
# count (for SKALA.STD the first hour). "RATINGS" marks the row of rating items.
OUTLINE = [
    ("Person1", [("TEXT", "Name", None), ("TEXT", "Email", None),
                 ("RADIO", "Geschlecht", 2), ("TEXT", "Geburt", None)]),
    ("Persona1", [("RADIO", "Fml", 5), ("TEXT", "Kinder", None),
                  ("RADIO", "Hfbe", 6), ("TEXT", "Gwch", None),
                  ("TEXT", "Grss", None), ("SINGLE", "Gesch", 16)]),
    ("Person2", [("RADIO", "Schulbldg", 6), ("RADIO", "Beruf", 6),
                 ("TEXT", "Berufsname", None), ("SINGLE", "Einkommen", 7)]),
    ("Person3", [("SINGLE", "LebeLand", 19), ("SINGLE", "WachsLand", 21)]),
    ("Person4", [("RADIO", "OssiWessi", 3), ("RADIO", "Sprache", 2),
                 ("RADIO", "Sprch", 5), ("RADIO", "Dlk", 2), ("RADIO", "Ethn", 5)]),
    ("Person5", [("RADIO", "Lebensstil", 2), ("SINGLE", "EwOrt", 8),
                 ("RADIO", "Alkh", 6), ("RADIO", "Rch", 5), ("MULTI", "RschK", 8),
                 ("MULTI", "RschR", 8), ("RADIO", "Int", 4), ("SINGLE", "Wh", 10),
                 ("RADIO", "SxOr", 4)]),
    ("Person6", [("RADIO", "KPrd", 3), ("RADIO", "Hm.s", 4), ("RADIO", "Km.s", 4),
                 ("RADIO", "Hm.f", 4), ("RADIO", "Km.f", 4), ("RADIO", "Lch", 4)]),
    ("MornEven1", [("SKALA.STD", "Afst", 5), ("SKALA.STD", "Btg", 20),
                   ("RADIO", "Wk", 4), ("RADIO", "Afstl", 4), ("RADIO", "Wach", 4)]),
    ("MornEven2", [("RADIO", "Apt", 4), ("RADIO", "Espf", 4),
                   ("RADIO", "freiBett", 4), ("RADIO", "etwSpr", 4)]),
    ("MornEven3", [("SKALA.STD", "WnMd", 20), ("RADIO", "Prf", 4),
                   ("RADIO", "23Md", 4), ("RADIO", "SptBt", 4), ("RADIO", "Nchwch", 4)]),
    ("MornEven4", [("RADIO", "Arb", 4), ("RADIO", "intSprt", 4),
                   ("SKALA.TAG", "Arbz", None), ("SKALA.TAG", "Fuehlz", None),
                   ("RADIO", "Typ", 4), ("SKALA.STD", "rAfst", 5)]),
    ("Witze", "RATINGS"),
    ("Person7", [("RADIO", "Info", 2), ("RADIO", "WSprach", 4),
                 ("RADIO", "WBild", 4), ("RADIO", "WSex", 4)]),
    ("Person8", [("RADIO", "WNon", 4), ("RADIO", "WUber", 4),
                 ("RADIO", "WSchwarz", 4), ("RADIO", "WBöse", 4)]),
    ("Person9", [("RADIO", "WFrage", 4), ("RADIO", "WSat", 4),
                 ("RADIO", "WSpott", 4), ("RADIO", "WKonVol", 6),
                 ("MULTI", "WKonForm", 12), ("MULTI", "WKonLieb", 13)]),
    ("Theorie", [("MULTI", "Fakt", 7)]),
    ("Komment", [("RADIO", "Ffragen", 2), ("TEXT", "Komm", None),
                 ("RADIO", "WPreis", 7)]),
]

# The rating items in the order in which participants see them.
RATING_ORDER = (
    "W01 W04 W43 W02 W41 W39 W03 W50 W05 W57 W06 W47 W11 W07 W08 W48 W09 W10 "
    "W51 W12 W15 W16 W45 W17 W42 W18 W19 W20 W44 W13 W21 W22 W46 W23 W49 W24 "
    "W59 W25 W26 W14 W52 W27 W58 W28 W29 W30 W31 W32 W53 W54 W33 W60 W34 W35 "
    "W55 W36 W56 W37 W38 W40").split()

# Cartoon items and the picture each one shows (W41 to W60, rising numbers).
CARTOONS = dict(zip(
    ["W%02d" % n for n in range(41, 61)],
    ["bild%03d.jpg" % n for n in (1, 4, 6, 7, 10, 11, 12, 14, 15, 18, 20, 27,
                                  31, 33, 44, 51, 53, 55, 57, 59)]))

STATES = ("Baden-Württemberg", "Bayern", "Berlin", "Brandenburg", "Bremen",
          "Hamburg", "Hessen", "Mecklenburg-Vorpommern", "Niedersachsen",
          "Nordrhein-Westfalen", "Rheinland-Pfalz", "Saarland", "Sachsen",
          "Sachsen-Anhalt", "Schleswig-Holstein", "Thüringen")

JOKE_NAMES = ["W%02d" % n for n in range(1, 41)]
TOTAL_LINES = 1029
TOTAL_PAGE_STARTS = 77
JOKE_LINES_TOTAL = 202
JOKE_MAX_LINES = 23
JOKE_MAX_BYTES = 1200
KIND_COUNTS = {"RADIO": 49, "TEXT": 8, "SINGLE": 6, "MULTI": 5, "SKALA.STD": 4,
               "SKALA.TAG": 2, "SKALA.WT": 40, "SKALA.WP": 20}


class Failure(Exception):
    pass


class Report:
    """Collects every deviation so that one run names them all."""

    def __init__(self):
        self.errors = []

    def error(self, where, text):
        self.errors.append("%s: %s" % (where, text) if where else text)

    def raise_if_any(self):
        if self.errors:
            raise Failure("\n".join(self.errors))


# ---------------------------------------------------------------------------
# Reading the sources

def read_utf8_lines(path, report):
    try:
        with open(path, "rb") as f:
            raw = f.read()
    except OSError as e:
        raise Failure("%s: cannot read: %s" % (path, e.strerror))
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError as e:
        raise Failure("%s: not UTF-8 (byte %d)" % (path, e.start))
    if "\r" in text:
        report.error(path, "contains CR; the source is kept with LF line ends")
    if text.startswith("\ufeff"):
        text = text[1:]
    # An editor's final line end is not a line of its own.
    if text.endswith("\n"):
        text = text[:-1]
    return text.split("\n")


def read_jokes(path, report):
    return parse_jokes(read_utf8_lines(path, report), path, report)


def parse_jokes(lines, path, report):
    """Returns {name: [lines]} from the "### Wnn" file."""
    jokes = {}
    order = []
    current = None
    for number, line in enumerate(lines, 1):
        if line.startswith("###"):
            name = line[3:].strip()
            if name in jokes:
                report.error("%s:%d" % (path, number), "joke %s given twice" % name)
            current = []
            jokes[name] = current
            order.append(name)
        elif current is None:
            if line.strip():
                report.error("%s:%d" % (path, number), "text before the first ### line")
        else:
            current.append(line)
    for name in order:
        body = jokes[name]
        while body and body[-1] == "":
            body.pop()
    unknown = [n for n in order if n not in JOKE_NAMES]
    missing = [n for n in JOKE_NAMES if n not in jokes]
    if unknown:
        report.error(path, "unknown joke names: " + ", ".join(unknown))
    if missing:
        report.error(path, "jokes missing: " + ", ".join(missing))
    for name in JOKE_NAMES:
        body = jokes.get(name)
        if body is None:
            continue
        where = "%s: %s" % (path, name)
        if not body or body[0] == "":
            report.error(where, "a joke must start with a line of text")
        if len(body) > JOKE_MAX_LINES:
            report.error(where, "%d lines, at most %d fit the page"
                         % (len(body), JOKE_MAX_LINES))
        size = len("\r\n".join(body).encode(ENCODING, "replace"))
        if size > JOKE_MAX_BYTES:
            report.error(where, "%d bytes, at most %d" % (size, JOKE_MAX_BYTES))
        for line in body:
            if line == "END":
                report.error(where, "a line \"END\" would end the joke early")
            elif line.startswith(KEYWORDS):
                report.error(where, "line begins with a keyword: %r" % line)
    total = sum(len(b) for b in jokes.values())
    if not missing and total != JOKE_LINES_TOTAL:
        diff = total - JOKE_LINES_TOTAL
        report.error(path, "the jokes have %d lines together, %d are needed "
                     "(%d too %s)" % (total, JOKE_LINES_TOTAL, abs(diff),
                                      "many" if diff > 0 else "few"))
    return jokes


def rating_lines(jokes):
    out = []
    for name in RATING_ORDER:
        if name in CARTOONS:
            out += ["SKALA.WP " + name, CARTOONS[name], ""]
        else:
            out += ["SKALA.WT " + name] + jokes.get(name, ["?"]) + ["END", ""]
    return out


def expand(source_path, source, jokes, report):
    spots = [i for i, line in enumerate(source) if line == PLACEHOLDER]
    if len(spots) != 1:
        raise Failure("%s: needs exactly one line %s, found %d"
                      % (source_path, PLACEHOLDER, len(spots)))
    i = spots[0]
    if i < 2 or source[i - 2] != "PAGE Witze" or source[i - 1] != "":
        report.error("%s:%d" % (source_path, i + 1),
                     "%s must follow the line \"PAGE Witze\" and one empty line"
                     % PLACEHOLDER)
    return source[:i] + rating_lines(jokes) + source[i + 1:]


def encode(lines, report):
    """Windows-1252, CR LF between lines, no line end after the last."""
    out = []
    for number, line in enumerate(lines, 1):
        try:
            out.append(line.encode(ENCODING))
        except UnicodeEncodeError as e:
            ch = line[e.start]
            report.error("bogen.txt line %d" % number,
                         "character %r (U+%04X) has no Windows-1252 byte"
                         % (ch, ord(ch)))
            out.append(line.encode(ENCODING, "replace"))
    return b"\r\n".join(out)


# ---------------------------------------------------------------------------
# Checking the assembled script

def is_page_start(line):
    return line.startswith("PAGE") or line.startswith("SKALA.W")


def parse_strictly(lines, report):
    """Walks the script as its author lays it out: PAGE lines and items, each
    followed by one empty line. Returns [(page, [(kind, name, count, line)])]
    and the content lines by role, for the keyword rules."""
    pages = []
    content = []   # (0-based line index, role, text)
    i = 0
    n = len(lines)

    def where(k):
        return "bogen.txt line %d" % (k + 1)

    def separator(k, what):
        # Every PAGE line and item is followed by one empty line, except the
        # last item of the script.
        if k == n:
            return k
        if lines[k] != "":
            report.error(where(k), "an empty line must follow %s" % what)
            return k
        return k + 1

    if not lines or not lines[0].startswith("PAGE "):
        report.error(where(0), "the first line must be a PAGE line")
    while i < n:
        line = lines[i]
        if line.startswith("PAGE "):
            pages.append((line[5:], []))
            i = separator(i + 1, "the PAGE line")
            continue
        if not pages:
            report.error(where(i), "item before the first PAGE line")
            pages.append(("?", []))
        items = pages[-1][1]
        m = re.match(r"^(RADIO|SINGLE|MULTI|TEXT|SKALA\.STD|SKALA\.TAG|SKALA\.WT|SKALA\.WP) (.+)$", line)
        if not m:
            report.error(where(i), "expected an item or a PAGE line: %r" % line)
            i += 1
            continue
        kind, name = m.group(1), m.group(2)
        start = i
        if kind in ("RADIO", "SINGLE", "MULTI"):
            content.append((i + 1, "question", lines[i + 1] if i + 1 < n else ""))
            k = i + 2
            options = []
            while k < n and lines[k] != "END":
                options.append(lines[k])
                content.append((k, "option", lines[k]))
                k += 1
            if k == n:
                report.error(where(i), "option list of %s is not closed by END" % name)
            items.append((kind, name, len(options), start))
            i = separator(k + 1, "the item " + name)
        elif kind in ("TEXT", "SKALA.TAG"):
            content.append((i + 1, "question", lines[i + 1] if i + 1 < n else ""))
            items.append((kind, name, None, start))
            i = separator(i + 2, "the item " + name)
        elif kind == "SKALA.STD":
            content.append((i + 1, "question", lines[i + 1] if i + 1 < n else ""))
            hour_line = lines[i + 2] if i + 2 < n else ""
            content.append((i + 2, "hour", hour_line))
            hour = int(hour_line) if re.fullmatch(r"[0-9]+", hour_line) else None
            if hour is None:
                report.error(where(i + 2), "hour line %r is not a decimal number"
                             % hour_line)
            items.append((kind, name, hour, start))
            i = separator(i + 3, "the item " + name)
        elif kind == "SKALA.WT":
            k = i + 1
            while k < n and (lines[k] != "END" or k == i + 1):
                content.append((k, "joke", lines[k]))
                k += 1
            if k == n:
                report.error(where(i), "joke %s is not closed by END" % name)
            items.append((kind, name, k - i - 1, start))
            i = separator(k + 1, "the item " + name)
        else:
            file_line = lines[i + 1] if i + 1 < n else ""
            content.append((i + 1, "file", file_line))
            items.append((kind, name, file_line, start))
            i = separator(i + 2, "the item " + name)
        if kind.startswith("SKALA.W") and i >= n:
            report.error(where(start), "a rating item must not end the script")
    return pages, content


def check_blanks(lines, report):
    """Blanks at a line's end belong to it. Only the federal states carry
    them, exactly three, so that they line up apart from the countries."""
    for i, line in enumerate(lines):
        if line.rstrip(" ") in STATES:
            if line != line.rstrip(" ") + "   ":
                report.error("bogen.txt line %d" % (i + 1),
                             "%r must end in exactly three blanks" % line.rstrip(" "))
        elif line != line.rstrip():
            report.error("bogen.txt line %d" % (i + 1),
                         "blanks at the end of %r" % line)


def check_states(pages, lines, report):
    for page, items in pages:
        for kind, name, _, start in items:
            if name not in ("LebeLand", "WachsLand"):
                continue
            options = []
            k = start + 2
            while k < len(lines) and lines[k] != "END":
                options.append(lines[k].rstrip(" "))
                k += 1
            if options[:16] != list(STATES):
                report.error("bogen.txt line %d" % (start + 1),
                             "%s must begin with the 16 federal states" % name)


def check_content_lines(content, report):
    for number, role, text in content:
        if text.startswith(KEYWORDS):
            report.error("bogen.txt line %d" % (number + 1),
                         "%s line begins with a keyword: %r" % (role, text))
        if role == "option" and text.startswith("END"):
            report.error("bogen.txt line %d" % (number + 1),
                         "option line begins with END: %r" % text)


def expected_items():
    """The outline as (page, [(kind, name, count)]) with the rating row."""
    out = []
    for page, items in OUTLINE:
        if items == "RATINGS":
            items = [("SKALA.WP", n, CARTOONS[n]) if n in CARTOONS
                     else ("SKALA.WT", n, "joke") for n in RATING_ORDER]
        out.append((page, items))
    return out


def check_outline(pages, jokes, report):
    expected = expected_items()
    got_names = [p for p, _ in pages]
    want_names = [p for p, _ in expected]
    if got_names != want_names:
        report.error("", "pages are %s, expected %s" % (got_names, want_names))
    for (page, items), (want_page, want) in zip(pages, expected):
        got = []
        for kind, name, count, start in items:
            if kind == "SKALA.WT":
                joke = jokes.get(name)
                if joke is not None and count != len(joke):
                    report.error("bogen.txt line %d" % (start + 1),
                                 "joke %s has %d lines, its source %d"
                                 % (name, count, len(joke)))
                count = "joke"
            got.append((kind, name, count))
        if got != want:
            for k in range(max(len(got), len(want))):
                g = got[k] if k < len(got) else None
                w = want[k] if k < len(want) else None
                if g != w:
                    report.error("page %s" % page,
                                 "item %d is %s, expected %s" % (k + 1, g, w))
                    break
    counts = {}
    for _, items in pages:
        for kind, _, _, _ in items:
            counts[kind] = counts.get(kind, 0) + 1
    if counts != KIND_COUNTS:
        report.error("", "items per kind %s, expected %s" % (counts, KIND_COUNTS))
    names = [p for p, _ in pages] + [n for _, it in pages for _, n, _, _ in it]
    seen = set()
    for name in names:
        if name in seen:
            report.error("", "name %s is used twice" % name)
        seen.add(name)


def check_lookup(lines, pages, report):
    """The program finds a page by the text of a line from its 6th or 10th
    character on; no other line may look like a page or rating item."""
    targets = {p for p, _ in pages}
    for _, items in pages:
        targets.update(n for k, n, _, _ in items if k.startswith("SKALA.W"))
    for i, line in enumerate(lines):
        own = ((line.startswith("PAGE ") and line[5:] in targets)
               or (line.startswith("SKALA.W") and line[9:] in targets))
        if own:
            continue
        for pos in (5, 9):
            if line[pos:] in targets:
                report.error("bogen.txt line %d" % (i + 1),
                             "%r would be found as the page %s"
                             % (line, line[pos:]))


def read_like_the_program(lines):
    """Walks the questionnaire as the participant sees it, by the reader's own
    rules (prefix tests, page lookup by the 6th or 10th character, the cursor
    moves of each item). Returns [(number, name, [(kind, name, count)])]."""
    n = len(lines)

    def at(k):
        if not 0 <= k < n:
            raise Failure("reading the script leaves it at index %d" % k)
        return lines[k]

    def lookup(name):
        number = 0
        found = None
        for i, line in enumerate(lines):
            if found is None and is_page_start(line):
                number += 1
            if line[5:] == name or line[9:] == name:
                found = i + 1
        if found is None:
            raise Failure("page %s is not found" % name)
        start = found - 1 if lines[found - 1].startswith("SKALA.W") else found
        return start, number

    shown = []
    name = lines[0][5:]
    seen = set()
    while name is not None:
        if name in seen:
            raise Failure("page %s is shown twice" % name)
        seen.add(name)
        cursor, number = lookup(name)
        items = []
        while cursor < n:
            line = at(cursor)
            kind = next((kw for kw in ("RADIO", "TEXT", "SKALA.TAG", "SKALA.STD",
                                       "MULTI", "SINGLE") if line.startswith(kw)), None)
            if kind in ("RADIO", "MULTI", "SINGLE"):
                k = cursor + 2
                while not at(k).startswith("END"):
                    k += 1
                items.append((kind, line[len(kind) + 1:], k - cursor - 2))
                cursor = k
            elif kind in ("TEXT", "SKALA.TAG"):
                items.append((kind, line[len(kind) + 1:], None))
            elif line.startswith("SKALA.STD"):
                hour = at(cursor + 2)
                if not re.fullmatch(r"[+-]?[0-9]+", hour):
                    raise Failure("'%s' is not a valid integer value" % hour)
                items.append(("SKALA.STD", line[10:], int(hour)))
            elif line.startswith("SKALA.W"):
                if line.startswith("SKALA.WT"):
                    k = cursor + 2
                    while at(k) != "END":
                        k += 1
                    items.append(("SKALA.WT", line[9:], "joke"))
                    cursor = k + 2
                else:
                    items.append(("SKALA.WP", line[9:], at(cursor + 1)))
                    cursor += 3
            ended = is_page_start(at(cursor))
            cursor += 1
            if ended:
                break
        shown.append((number, name, items))
        last = lines[cursor - 1]
        if last.startswith("PAGE"):
            name = last[5:]
        elif last.startswith("SKALA.W"):
            name = last[9:]
        else:
            name = None
    return shown


def check_reading(lines, report):
    expected = []
    for page, items in expected_items():
        if page == "Witze":
            expected.append(("Witze", [items[0]]))
            expected += [(it[1], [it]) for it in items[1:]]
        else:
            expected.append((page, items))
    try:
        shown = read_like_the_program(lines)
    except Failure as e:
        report.error("reading as the program does", str(e))
        return []
    got = [(name, items) for _, name, items in shown]
    if got != expected:
        for k, (g, w) in enumerate(zip(got, expected)):
            if g != w:
                report.error("reading as the program does",
                             "shown page %d is %s, expected %s" % (k + 1, g, w))
                break
        else:
            report.error("reading as the program does", "%d pages shown, %d expected"
                         % (len(got), len(expected)))
    numbers = [number for number, _, _ in shown]
    want_numbers = list(range(1, 13)) + list(range(14, 78))
    if numbers != want_numbers:
        report.error("reading as the program does",
                     "page numbers %s, expected 1 to 12 and 14 to 77" % numbers)
    return shown


def check(lines, jokes, report):
    if len(lines) != TOTAL_LINES:
        report.error("", "%d lines, expected %d" % (len(lines), TOTAL_LINES))
    page_lines = sum(1 for l in lines if l.startswith("PAGE"))
    starts = page_lines + sum(1 for l in lines if l.startswith("SKALA.W"))
    if page_lines != 17:
        report.error("", "%d PAGE lines, expected 17" % page_lines)
    if starts != TOTAL_PAGE_STARTS:
        report.error("", "%d page starts, expected %d" % (starts, TOTAL_PAGE_STARTS))
    if lines and lines[-1] != "END":
        report.error("", "the script must end with the line END")
    pages, content = parse_strictly(lines, report)
    check_blanks(lines, report)
    check_states(pages, lines, report)
    check_content_lines(content, report)
    check_outline(pages, jokes, report)
    check_lookup(lines, pages, report)
    shown = check_reading(lines, report)
    return pages, shown


def print_outline(pages, shown, data, out):
    number = {name: num for num, name, _ in shown}
    for page, items in pages:
        out.write("Seite %s  PAGE %s\n" % (number.get(page, "-"), page))
        for kind, name, count, _ in items:
            if kind == "SKALA.WT":
                detail = "%d Zeilen" % count
            elif kind == "SKALA.WP":
                detail = count
            elif kind == "SKALA.STD":
                detail = "ab %s Uhr" % count
            elif count is None:
                detail = ""
            else:
                detail = "%d Optionen" % count
            page_no = number.get(name)
            prefix = "  [Seite %d]" % page_no if page_no and name != page else ""
            out.write("    %-10s %-11s %s%s\n" % (kind, name, detail, prefix))
    out.write("%d Zeilen, %d Bytes, %d Seitenanfänge, %d Seiten gezeigt\n"
              % (data.count(b"\r\n") + 1, len(data), TOTAL_PAGE_STARTS, len(shown)))


def assemble(source_path, jokes_path):
    """Returns (bytes, pages, shown) or raises Failure with every deviation."""
    report = Report()
    source = read_utf8_lines(source_path, report)
    joke_lines = read_utf8_lines(jokes_path, report)
    return assemble_lines(source, joke_lines, report, source_path, jokes_path)


def assemble_lines(source, joke_lines, report, source_path="fragebogen.txt",
                   jokes_path="witze.txt"):
    jokes = parse_jokes(joke_lines, jokes_path, report)
    lines = expand(source_path, source, jokes, report)
    data = encode(lines, report)
    # Check the lines as the program will read them back from the bytes.
    decoded = data.decode(ENCODING, "replace").split("\r\n")
    pages, shown = check(decoded, jokes, report)
    report.raise_if_any()
    return data, pages, shown


# ---------------------------------------------------------------------------
# Self-test: the checks must catch the faults they exist for. Each case breaks
# a copy of the real sources in one way and expects its own message.

def _after(lines, anchor, offset=1):
    return lines.index(anchor) + offset


def _replace(anchor, new, offset=0, in_jokes=False):
    def mutate(src, jokes):
        lines = jokes if in_jokes else src
        lines[_after(lines, anchor, offset)] = new
    return mutate


def _insert(anchor, new, offset=1, in_jokes=False):
    def mutate(src, jokes):
        lines = jokes if in_jokes else src
        lines.insert(_after(lines, anchor, offset), new)
    return mutate


def _delete(anchor, offset=0):
    def mutate(src, jokes):
        del src[_after(src, anchor, offset)]
    return mutate


def _add_joke_line(src, jokes):
    jokes.insert(_after(jokes, "### W01"), "Noch eine Zeile.")


def _drop_joke(src, jokes):
    start = jokes.index("### W05")
    end = jokes.index("### W06")
    del jokes[start:end]


SELF_TESTS = [
    ("option list without END", _delete("RADIO Geschlecht", 4),
     "option line begins with a keyword: 'TEXT Geburt'"),
    ("option beginning with END", _insert("RADIO Fml", "ENDE der Ehe", 3),
     "option line begins with END"),
    ("question beginning with a keyword", _replace("TEXT Kinder", "TEXT: Kinder?", 1),
     "question line begins with a keyword"),
    ("option beginning with a keyword", _replace("RADIO Dlk", "PAGEnweise", 2),
     "option line begins with a keyword"),
    ("hour that is no number", _replace("SKALA.STD Afst", "5 Uhr", 2),
     "is not a decimal number"),
    ("state without its blanks", _replace("SINGLE LebeLand", "Bayern", 3),
     "'Bayern' must end in exactly three blanks"),
    ("blank at a line end", _replace("RADIO Sprache", "ja ", 2), "blanks at the end"),
    ("letter outside Windows-1252", _replace("TEXT Email", "Ihre E-Mail-Adresse→", 1),
     "U+2192"),
    ("one joke line too many", _add_joke_line, "203 lines together, 202 are needed (1 too many)"),
    ("joke missing", _drop_joke, "jokes missing: W05"),
    ("joke closed early", _insert("### W10", "END", in_jokes=True), "would end the joke early"),
    ("joke line beginning with a keyword", _insert("### W12", "SKALA.WT W99", in_jokes=True),
     "line begins with a keyword"),
    ("line found as a rating page", _replace("RADIO Int", "Raum W04", 3),
     "would be found as the page W04"),
    ("line found as a page", _replace("RADIO SxOr", "Rote Person8", 3),
     "would be found as the page Person8"),
    ("no empty line after a PAGE line", _delete("PAGE Person2", 1),
     "an empty line must follow the PAGE line"),
    ("no empty line after an item", _delete("TEXT Geburt", 2),
     "an empty line must follow the item Geburt"),
    ("duplicate name", _replace("TEXT Email", "TEXT Name"), "name Name is used twice"),
    ("option count", _delete("RADIO Hfbe", 3), "item 3 is ('RADIO', 'Hfbe', 5)"),
    ("first line not a PAGE line", lambda src, jokes: src.insert(0, "Fragebogen"),
     "the first line must be a PAGE line"),
    ("page renamed", _replace("PAGE Theorie", "PAGE Theorien"), "Theorien"),
    ("item kind changed", _replace("RADIO WPreis", "SINGLE WPreis"),
     "('SINGLE', 'WPreis', 7)"),
    ("PAGE line inside an option list", _insert("RADIO WSat", "PAGE Extra", 3),
     "shown page"),
]


def self_test(source_path, jokes_path):
    report = Report()
    source = read_utf8_lines(source_path, report)
    joke_lines = read_utf8_lines(jokes_path, report)
    assemble_lines(list(source), list(joke_lines), report)  # the clean sources pass
    failed = 0
    for label, mutate, expected in SELF_TESTS:
        src, jokes = list(source), list(joke_lines)
        mutate(src, jokes)
        try:
            assemble_lines(src, jokes, Report())
            message = None
        except Failure as e:
            message = str(e)
        if message is None or expected not in message:
            failed += 1
            print("FAILED %s: expected %r in:\n%s" % (label, expected, message))
    try:
        assemble_lines([l for l in source if l != PLACEHOLDER], joke_lines, Report())
        failed += 1
        print("FAILED a missing %s passed" % PLACEHOLDER)
    except Failure:
        pass
    passed = len(SELF_TESTS) + 1 - failed
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--source", default=os.path.join(ROOT, "content/src/fragebogen.txt"))
    parser.add_argument("--jokes", default=os.path.join(ROOT, "content/src/witze.txt"))
    parser.add_argument("--output", default=os.path.join(ROOT, "content/bogen.txt"))
    parser.add_argument("--check", action="store_true",
                        help="compare with the output file instead of writing it")
    parser.add_argument("--quiet", action="store_true", help="print no outline")
    parser.add_argument("--self-test", action="store_true",
                        help="break copies of the sources and expect each fault found")
    args = parser.parse_args(argv)
    if args.self_test:
        try:
            return self_test(args.source, args.jokes)
        except Failure as e:
            sys.stderr.write("assemble_script: the sources themselves deviate:\n%s\n" % e)
            return 1
    try:
        data, pages, shown = assemble(args.source, args.jokes)
    except Failure as e:
        sys.stderr.write("assemble_script: the questionnaire deviates:\n%s\n" % e)
        return 1
    if not args.quiet:
        print_outline(pages, shown, data, sys.stdout)
    if args.check:
        try:
            with open(args.output, "rb") as f:
                old = f.read()
        except OSError as e:
            sys.stderr.write("assemble_script: %s: %s\n" % (args.output, e.strerror))
            return 1
        if old != data:
            sys.stderr.write("assemble_script: %s is not what its sources give; "
                             "run tools/assemble_script.py\n" % args.output)
            return 1
        return 0
    tmp = args.output + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
