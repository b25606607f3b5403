#!/usr/bin/env python3
"""Fails when a shared object exports a symbol the public headers do not declare.

    scripts/check-exports.py LIBDIR [NAME ...]

Each library (default: the three of the project; NAME "zemhttp" is the file
LIBDIR/libzemhttp.so.<version>) must carry a versioned SONAME, and is listed
with `nm -D --defined-only`. A C symbol must be declared
with one of the export macros in include/*.h or platform/include/*.h, or be a
table named by a ZEM_*_SYMBOL macro there. A C++
symbol, compared by its demangled name, must belong to an exported class: one
of its members, its virtual table or its type information.
"""
import pathlib
import re
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
HEADERS = sorted((ROOT / "include").glob("*.h")) + sorted((ROOT / "platform" / "include").glob("*.h"))
LIBRARIES = ("zemplatform", "zemwininet", "zemhttp")
EXPORT_MACROS = ("WINBASEAPI", "WINUSERAPI", "ZEMSYSAPI", "INTERNETAPI", "BOOLAPI", "ZEMUPLOADAPI", "ZEMHTTP_API",
                 "ZEM_EXPORT")
IDENTIFIER = r"[A-Za-z_]\w*"


def strip_comments(text):
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    return re.sub(r"//[^\n]*", " ", text)


def declared_interface():
    """The C names declared for export, and the members of each exported class."""
    c_names, classes = set(), {}
    macros = "|".join(EXPORT_MACROS)
    for header in HEADERS:
        text = strip_comments(header.read_text())
        # A table a module exports for the platform to look up by name
        # (messages, resources) is declared by the macro naming its symbol.
        c_names.update(re.findall(r'#define\s+\w+_SYMBOL\s+"(%s)"' % IDENTIFIER, text))
        text = re.sub(r"#define[^\n]*(\\\n[^\n]*)*", " ", text)
        for match in re.finditer(r"\bclass\s+(?:%s)\s+(%s)[^{;]*\{" % (macros, IDENTIFIER), text):
            body, depth, end = match.end(), 1, match.end()
            while depth:
                depth += {"{": 1, "}": -1}.get(text[end], 0)
                end += 1
            members = set(re.findall(r"~?(%s)\s*\(" % IDENTIFIER, text[body:end]))
            classes[match.group(1)] = members
        for match in re.finditer(r"\b(?:%s)\b([^;{]*?)(%s)\s*[(\[;=]" % (macros, IDENTIFIER), text):
            if not re.search(r"\bclass\b", match.group(1)):
                c_names.add(match.group(2))
    return c_names, classes


def exported_symbols(path):
    out = subprocess.run(["nm", "-D", "--defined-only", str(path)], check=True, capture_output=True, text=True).stdout
    names = [line.split()[-1] for line in out.splitlines() if line.strip()]
    demangled = subprocess.run(["c++filt"], input="\n".join(names), check=True, capture_output=True,
                               text=True).stdout.splitlines()
    return list(zip(names, demangled))


def undeclared(symbols, c_names, classes):
    bad = []
    for name, readable in symbols:
        if not name.startswith("_Z"):
            if name not in c_names:
                bad.append(name)
            continue
        owner = re.match(r"(?:vtable for |typeinfo for |typeinfo name for )(%s)$" % IDENTIFIER, readable)
        if owner and owner.group(1) in classes:
            continue
        member = re.match(r"(%s)::~?(%s)\(" % (IDENTIFIER, IDENTIFIER), readable)
        if member and member.group(2) in classes.get(member.group(1), ()):
            continue
        bad.append(readable)
    return bad


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    libdir = pathlib.Path(argv[1])
    libraries = argv[2:] or LIBRARIES
    c_names, classes = declared_interface()
    failed = False
    for library in libraries:
        files = [p for p in libdir.glob("lib%s.so.*" % library) if not p.is_symlink()]
        if len(files) != 1:
            print("check-exports: %s: expected one file lib%s.so.<version>, found %d" % (libdir, library, len(files)),
                  file=sys.stderr)
            failed = True
            continue
        path = files[0]
        soname = re.search(r"SONAME\s+(\S+)", subprocess.run(["objdump", "-p", str(path)], check=True,
                                                              capture_output=True, text=True).stdout)
        if not soname or not re.fullmatch(r"lib%s\.so\.\d+" % library, soname.group(1)):
            print("check-exports: %s: SONAME %s carries no major version" % (path.name, soname and soname.group(1)),
                  file=sys.stderr)
            failed = True
        symbols = exported_symbols(path)
        bad = undeclared(symbols, c_names, classes)
        for symbol in bad:
            print("check-exports: %s exports %s, which no public header declares" % (path.name, symbol),
                  file=sys.stderr)
        print("check-exports: %s: %d symbols exported, %d undeclared" % (path.name, len(symbols), len(bad)))
        failed = failed or bool(bad)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
