#!/usr/bin/python3
"""Writes every picture of the program into content/ (or the folder given)."""
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import cartoons  # noqa: E402
import logo  # noqa: E402


def main():
    root = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parents[2] / "content"
    for sub in ("bitmaps", "icon", "cartoons"):
        (root / sub).mkdir(parents=True, exist_ok=True)
    logo.write_all(root)
    cartoons.write_all(root, only=sys.argv[2:] or None)


if __name__ == "__main__":
    main()
