#!/usr/bin/env python3
"""windows-tool-golden.py BUILD_DIR CORPUS: pictomill-convert.exe under Wine over
the whole corpus, every command of tests/data/golden-outputs.tsv, in batch mode
(one Wine process per command and chunk); every output's SHA-256 must be the
table's, and every refusal in the table a missing output. Run it with the
environment scripts/test-windows.sh sets up (WINEPREFIX, the server)."""
import hashlib, os, shutil, subprocess, sys

# command of the table -> (tool format, options, extension)
COMMANDS = {
    "jpg": ("jpg", [], "jpg"), "jpg-grey": ("jpg", ["--grey"], "jpg"), "bmp": ("bmp", [], "bmp"),
    "tif": ("tif", [], "tif"), "tif-8bit": ("tif", ["--8bit"], "tif"), "png": ("png", [], "png"),
    "ppm": ("ppm", [], "ppm"), "ppm-plain": ("ppm", ["--plain"], "ppm"), "pgm": ("pgm", [], "pgm"),
    "pgm-plain": ("pgm", ["--plain"], "pgm"), "pcx": ("pcx", [], "pcx"), "pic": ("pic", [], "pic"),
    "sgi": ("sgi", [], "sgi"),
}

def windows(path):  # Wine's drive Z: is the Linux root
    return "Z:" + os.path.abspath(path).replace("/", "\\")

def main():
    build, corpus = sys.argv[1], sys.argv[2]
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    wine = os.environ.get("PICTOMILL_WINE", "/usr/lib/wine/wine64")
    table = {}
    with open(os.path.join(root, "tests/data/golden-outputs.tsv"), encoding="utf-8") as rows:
        next(rows)
        for row in rows:
            file, command, expected = row.rstrip("\n").split("\t")
            table.setdefault(command, {})[file] = expected
    out = os.path.join(build, "tool-golden")
    shutil.rmtree(out, ignore_errors=True)
    compared = differ = 0
    for command, files in sorted(table.items()):
        tool, options, extension = COMMANDS[command]
        folder = os.path.join(out, command)
        os.makedirs(folder)
        names = sorted(files)
        for start in range(0, len(names), 80):  # the command line stays under Windows' limit
            chunk = [windows(os.path.join(corpus, name)) for name in names[start:start + 80]]
            subprocess.run([wine, os.path.join(build, "pictomill-convert.exe"), tool, "--into", windows(folder),
                            "-j", "2", *options, *chunk], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, check=False)
        for name in names:
            target = os.path.join(folder, os.path.basename(name) + "." + extension)
            if os.path.exists(target):
                with open(target, "rb") as produced:
                    got = hashlib.sha256(produced.read()).hexdigest()
            else:
                got = None
            expected = files[name]
            good = got == expected if not expected.startswith("result ") else got is None
            compared += 1
            if not good:
                differ += 1
                print(f"windows-tool-golden: {name} {command}: {got or 'no output'}, the table says {expected}")
    shutil.rmtree(out, ignore_errors=True)
    print(f"windows-tool-golden: {compared - differ} passed, {differ} failed")
    return 1 if differ or compared == 0 else 0

if __name__ == "__main__":
    sys.exit(main())
