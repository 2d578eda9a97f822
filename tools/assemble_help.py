#!/usr/bin/python3
"""Converts the help texts content/src/hilfe1.txt .. hilfe3.txt (UTF-8, LF)
into content/help/hilfe1.txt.in .. hilfe3.txt.in (Windows-1252, CR LF).

One paragraph is one line (the help window wraps it), with one empty line
between paragraphs. The placeholders @StudyWebAddress@, @ContactAddress@ and
@StudySiteName@ stay in the .in files; the build replaces them with the
configured values. Whether the last line ends with CR LF is fixed per text,
so an editor's final line end in the source does not matter.

Usage:
  assemble_help.py [--check] [--self-test]

--check compares with the existing .in files instead of writing them.
"""

import argparse
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCE_DIR = os.path.join(ROOT, "content", "src")
OUTPUT_DIR = os.path.join(ROOT, "content", "help")
PLACEHOLDERS = ("@StudyWebAddress@", "@ContactAddress@", "@StudySiteName@")

# name: (number of lines, last line ends with CR LF, bytes aimed at)
LAYOUT = {
    "hilfe1": (25, False, 2624),
    "hilfe2": (3, True, 358),
    "hilfe3": (5, False, 392),
}
HEADINGS = ("NEUER BOGEN", "WEITERMACHEN", "ABBRECHEN", "FRAGEBOGEN BEENDEN", "ABSENDEN")
SIZE_TOLERANCE = 0.10


class Failure(Exception):
    pass


def typical_values():
    """The build's default configuration, for judging the final sizes."""
    values = {"StudyWebAddress": "http://localhost:8080/humor/",
              "ContactAddress": "humor-studie@localhost",
              "StudySiteName": "Humorforschung"}
    try:
        with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as f:
            text = f.read()
        for key in values:
            m = re.search(r'set\(%s\s+"([^"]*)"' % key, text)
            if m:
                values[key] = m.group(1)
    except OSError:
        pass
    return values


def substitute(text, values):
    for key, value in values.items():
        text = text.replace("@%s@" % key, value)
    return text


def convert(name, text):
    """Returns (bytes, warnings) or raises Failure naming every fault."""
    count, terminated, aimed = LAYOUT[name]
    errors = []
    if "\r" in text:
        errors.append("contains CR; the source is kept with LF line ends")
    lines = text.rstrip("\n").split("\n")
    if len(lines) != count:
        errors.append("%d lines, %d expected (paragraphs with one empty line "
                      "between them)" % (len(lines), count))
    if lines[0] == "" or lines[-1] == "":
        errors.append("the text must begin and end with a paragraph")
    for i, line in enumerate(lines, 1):
        if i > 1 and line == "" and lines[i - 2] == "":
            errors.append("line %d: two empty lines in a row" % i)
        if line != line.strip():
            errors.append("line %d: blanks at its start or end" % i)
        for token in re.findall(r"@[A-Za-z]*@", line):
            if token not in PLACEHOLDERS:
                errors.append("line %d: unknown placeholder %s" % (i, token))
        try:
            line.encode("cp1252")
        except UnicodeEncodeError as e:
            errors.append("line %d: character %r (U+%04X) has no Windows-1252 byte"
                          % (i, line[e.start], ord(line[e.start])))
    if name == "hilfe1":
        for heading in HEADINGS:
            if heading not in lines:
                errors.append("the section heading %r is missing" % heading)
    if name == "hilfe3" and len(lines) == count:
        if "@StudyWebAddress@" not in lines[3] or "@ContactAddress@" not in lines[4]:
            errors.append("the last two lines must name the web address and the "
                          "mail address")
    if errors:
        raise Failure("\n".join("%s.txt: %s" % (name, e) for e in errors))
    data = "\r\n".join(lines).encode("cp1252") + (b"\r\n" if terminated else b"")
    warnings = []
    final = len(substitute(data.decode("cp1252"), typical_values()).encode("cp1252"))
    if abs(final - aimed) > aimed * SIZE_TOLERANCE:
        warnings.append("%s.txt: %d bytes with the default addresses, about %d "
                        "are aimed at" % (name, final, aimed))
    return data, final, warnings


def read_source(name):
    path = os.path.join(SOURCE_DIR, name + ".txt")
    try:
        with open(path, "rb") as f:
            return f.read().decode("utf-8")
    except OSError as e:
        raise Failure("%s: cannot read: %s" % (path, e.strerror))
    except UnicodeDecodeError as e:
        raise Failure("%s: not UTF-8 (byte %d)" % (path, e.start))


SELF_TESTS = [
    ("a line too many", "hilfe2", lambda t: t + "\nNoch ein Absatz.\n", "5 lines, 3 expected"),
    ("two empty lines", "hilfe1", lambda t: t.replace("\n\n", "\n\n\n", 1), "two empty lines"),
    ("heading missing", "hilfe1", lambda t: t.replace("\nABBRECHEN\n", "\nAbbrechen\n"),
     "'ABBRECHEN' is missing"),
    ("unknown placeholder", "hilfe3", lambda t: t.replace("@ContactAddress@", "@Kontakt@"),
     "unknown placeholder @Kontakt@"),
    ("letter outside Windows-1252", "hilfe2", lambda t: t.replace("Studie", "Stud\u0131e", 1),
     "U+0131"),
    ("trailing blank", "hilfe3", lambda t: t.replace("\n", " \n", 1), "blanks at its start or end"),
    ("CR in the source", "hilfe2", lambda t: t.replace("\n", "\r\n"), "contains CR"),
    ("addresses swapped", "hilfe3",
     lambda t: t.replace("@StudyWebAddress@", "@X@").replace("@ContactAddress@", "@StudyWebAddress@")
                .replace("@X@", "@ContactAddress@"), "must name the web address"),
]


def self_test():
    failed = 0
    texts = {name: read_source(name) for name in LAYOUT}
    for name, text in texts.items():
        data, _, _ = convert(name, text)          # the real texts pass
        count, terminated, _ = LAYOUT[name]
        if data.count(b"\r\n") != count - (0 if terminated else 1) or b"\n\n" in data:
            failed += 1
            print("FAILED %s: wrong line ends" % name)
        # An editor's final line end must not change the result.
        if convert(name, text.rstrip("\n") + "\n")[0] != convert(name, text.rstrip("\n"))[0]:
            failed += 1
            print("FAILED %s: the final line end of the source matters" % name)
    for label, name, mutate, expected in SELF_TESTS:
        try:
            convert(name, mutate(texts[name]))
            message = None
        except Failure as e:
            message = str(e)
        if message is None or expected not in message:
            failed += 1
            print("FAILED %s: expected %r in:\n%s" % (label, expected, message))
    total = len(SELF_TESTS) + 2 * len(texts)
    print("%d passed, %d failed" % (total - failed, failed))
    return 1 if failed else 0


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--check", action="store_true",
                        help="compare with the .in files instead of writing them")
    parser.add_argument("--self-test", action="store_true",
                        help="break copies of the texts and expect each fault found")
    args = parser.parse_args(argv)
    try:
        if args.self_test:
            return self_test()
        results = {name: convert(name, read_source(name)) for name in LAYOUT}
    except Failure as e:
        sys.stderr.write("assemble_help: %s\n" % e)
        return 1
    status = 0
    for name, (data, final, warnings) in results.items():
        out = os.path.join(OUTPUT_DIR, name + ".txt.in")
        for w in warnings:
            sys.stderr.write("assemble_help: warning: %s\n" % w)
        print("%s: %d lines, %d bytes (%d with the default addresses)"
              % (name, LAYOUT[name][0], len(data), final))
        if args.check:
            try:
                with open(out, "rb") as f:
                    if f.read() != data:
                        sys.stderr.write("assemble_help: %s is not what its source "
                                         "gives; run tools/assemble_help.py\n" % out)
                        status = 1
            except OSError as e:
                sys.stderr.write("assemble_help: %s: %s\n" % (out, e.strerror))
                status = 1
            continue
        os.makedirs(OUTPUT_DIR, exist_ok=True)
        with open(out + ".tmp", "wb") as f:
            f.write(data)
        os.replace(out + ".tmp", out)
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
