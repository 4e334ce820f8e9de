#!/usr/bin/env python3
"""Finds names in the program's sources that the Windows headers define as
macros.

On Windows every file that reaches the seam includes windows.h, whose macros
silently rename or break identifiers of the same name (DrawText becomes
DrawTextA, ERROR becomes 0, small becomes char). A member renamed in one file
and not in another compiles and then fails to link, or worse, calls the wrong
function; nothing built on Linux shows it.

Usage: macro_clashes.py <mingw g++> <repo root>
Prints each clash with its first place and exits 1 when there is one.
"""
import pathlib
import re
import subprocess
import sys

WINDOWS_HEADERS = """
#define NOMINMAX
#include <windows.h>
#include <lm.h>
#include <objbase.h>
#include <shellapi.h>
#include <winnetwk.h>
#include <oleauto.h>
"""
# Macros of the C and C++ libraries are the same on every platform.
STANDARD_HEADERS = """
#include <bits/stdc++.h>
"""
# The seam's socket calls take Winsock's names, which are the BSD socket
# names: off Windows the system's socket headers give them (through
# platform/Win32Types.h), so the same names are meant on both sides. `s_addr`
# is a field there and a macro for that same field in Winsock.
SOCKET_HEADERS = """
#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
"""
SOCKET_FIELDS = {"s_addr"}
# Defined by the Windows SDK's rpcndr.h (MSVC kits) but not by mingw-w64's.
SDK_ONLY = {"small", "hyper"}
SOURCE_DIRS = ["app", "controls", "mainwindow", "netbrowse", "remote", "platform", "tests", "bench"]
# Files that use the Windows headers on purpose, and whose Win32 names are
# therefore meant.
WINDOWS_CODE = ["platform/Win32Types.h", "platform/native", "tools/winsmoke"]

TOKEN = re.compile(r"\b[A-Za-z_][A-Za-z0-9_]*\b")
# String and character literals, raw strings included.
LITERAL = re.compile(r'R"([^(\s]*)\((?:.|\n)*?\)\1"|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'')


def macro_names(compiler, text):
    out = subprocess.run([compiler, "-std=c++20", "-x", "c++", "-dM", "-E", "-"], input=text,
                         capture_output=True, text=True, check=True).stdout
    names = set()
    for line in out.splitlines():
        parts = line.split(None, 2)
        if len(parts) >= 2 and parts[0] == "#define":
            names.add(parts[1].split("(")[0])
    return names


def code_without_comments(compiler, path):
    # The preprocessor removes the comments without expanding anything.
    out = subprocess.run([compiler, "-x", "c++", "-fpreprocessed", "-dD", "-E", "-P", str(path)],
                         capture_output=True, text=True, check=True).stdout
    return LITERAL.sub(" ", out)


def main():
    compiler, root = sys.argv[1], pathlib.Path(sys.argv[2])
    windows = macro_names(compiler, WINDOWS_HEADERS) - macro_names(compiler, STANDARD_HEADERS)
    windows |= SDK_ONLY

    meant = macro_names("c++", SOCKET_HEADERS) | SOCKET_FIELDS
    for entry in WINDOWS_CODE:
        path = root / entry
        files = [path] if path.is_file() else sorted(path.rglob("*.[ch]*")) if path.exists() else []
        for f in files:
            meant |= set(TOKEN.findall(code_without_comments(compiler, f)))

    clashes = {}
    for directory in SOURCE_DIRS:
        for f in sorted((root / directory).rglob("*")):
            if f.suffix not in (".h", ".cpp") or any(
                    str(f.relative_to(root)).startswith(w) for w in WINDOWS_CODE):
                continue
            text = code_without_comments(compiler, f)
            # Code meant for Windows only is written against windows.h.
            text = re.sub(r"#\s*ifdef\s+_WIN32\b(?:.|\n)*?#\s*(?:else|endif)", " ", text)
            for name in set(TOKEN.findall(text)) & windows - meant:
                clashes.setdefault(name, str(f.relative_to(root)))
    for name in sorted(clashes):
        print(f"{clashes[name]}: '{name}' is a macro of the Windows headers")
    if clashes:
        return 1
    print(f"no clashes with the {len(windows)} macros of the Windows headers")
    return 0


if __name__ == "__main__":
    sys.exit(main())
