#!/usr/bin/env python3
"""What `cmake --install` puts on a Linux desktop, read back as the desktop
would read it: the desktop entry of each prefix starts the installed program
(by its bare name where the system PATH has it, by its absolute path
elsewhere, quoted as the Desktop Entry rules ask), its main action on the
real network and its second action on the simulated one, it passes
desktop-file-validate, and the icons are the sizes their folders say.

  install_layout.py BUILD_DIR
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

BUILD = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else "build"
SIZES = (16, 24, 32, 48, 64, 96, 128, 256)


def install(prefix, destdir=None):
    env = dict(os.environ)
    if destdir:
        env["DESTDIR"] = destdir
    # Run from an empty folder, which must stay empty: nothing is written
    # outside the prefix. Named, the default component installs everything
    # as before but keeps its list apart (install_manifest_Unspecified.txt),
    # so that the list of a real install, which the README's uninstall
    # reads, survives the tests.
    with tempfile.TemporaryDirectory() as cwd:
        subprocess.run(["cmake", "--install", BUILD, "--prefix", prefix, "--component", "Unspecified"],
                       env=env, check=True, stdout=subprocess.DEVNULL, cwd=cwd)
        if os.listdir(cwd):
            raise AssertionError(f"cmake --install wrote {os.listdir(cwd)} into its working folder")
    return (destdir or "") + prefix


def read_entry(path):
    """The groups of a desktop entry: {group: {key: value}}, values unescaped
    as strings (\\s \\n \\t \\r \\\\)."""
    groups, group = {}, None
    with open(path, encoding="utf-8") as f:
        for line in f.read().splitlines():
            if not line or line.startswith("#"):
                continue
            if line.startswith("["):
                group = groups.setdefault(line.strip("[]"), {})
                continue
            key, value = line.split("=", 1)
            out, i = [], 0
            while i < len(value):
                if value[i] == "\\" and i + 1 < len(value):
                    out.append({"s": " ", "n": "\n", "t": "\t", "r": "\r", "\\": "\\"}
                               .get(value[i + 1], "\\" + value[i + 1]))
                    i += 2
                else:
                    out.append(value[i])
                    i += 1
            group[key] = "".join(out)
    return groups


def exec_arguments(value):
    """Splits an Exec value the way a launcher does: %% for a literal %
    anywhere, arguments apart by spaces, double quotes around one that has
    reserved characters (inside, a backslash escapes \", `, $ and \\)."""
    args, current, quoted, started, i = [], [], False, False, 0
    while i < len(value):
        c = value[i]
        if c == "%":
            # Field codes are expanded before the quotes are read.
            if value[i + 1 : i + 2] != "%":
                raise ValueError(f"field code in {value!r}")
            current.append("%")
            started = True
            i += 2
            continue
        if quoted:
            if c == "\\" and value[i + 1] in '"`$\\':
                current.append(value[i + 1])
                i += 1
            elif c == '"':
                quoted = False
            else:
                current.append(c)
        elif c == '"':
            quoted = started = True
        elif c == " ":
            if started:
                args.append("".join(current))
            current, started = [], False
        else:
            current.append(c)
            started = True
        i += 1
    if quoted:
        raise ValueError(f"unbalanced quotes in {value!r}")
    if started:
        args.append("".join(current))
    return args


class InstallLayout(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="skarvet-install-")

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def check_entry(self, root, command):
        entry = os.path.join(root, "share/applications/skarvet.desktop")
        result = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
        self.assertEqual((result.returncode, result.stdout + result.stderr), (0, ""))
        groups = read_entry(entry)
        self.assertEqual(exec_arguments(groups["Desktop Entry"]["Exec"]),
                         ["env", "SKARVET_NETWORK=real", command])
        self.assertEqual(groups["Desktop Entry"]["Actions"], "simulated;")
        action = groups["Desktop Action simulated"]
        self.assertEqual(action["Name"], "Try on the simulated network")
        self.assertEqual(exec_arguments(action["Exec"]), ["env", "SKARVET_NETWORK=simulated", command])

    def test_a_prefix_off_the_system_path_is_named_by_its_absolute_path(self):
        # Spaces, quotes, a dollar and a percent sign in the path: each needs
        # its own escape in an Exec line.
        prefix = install(os.path.join(self.tmp, 'home dir/"odd" $HOME 100%/.local'))
        program = os.path.join(prefix, "bin/skarvet")
        self.assertTrue(os.access(program, os.X_OK))
        self.check_entry(prefix, program)

    def test_the_system_prefix_names_the_program_by_its_name(self):
        root = install("/usr", destdir=os.path.join(self.tmp, "stage"))
        self.assertTrue(os.access(os.path.join(root, "bin/skarvet"), os.X_OK))
        self.check_entry(root, "skarvet")

    def test_icons_are_the_sizes_of_their_folders(self):
        prefix = install(os.path.join(self.tmp, "local"))
        icons = os.path.join(prefix, "share/icons/hicolor")
        for size in SIZES:
            with open(os.path.join(icons, f"{size}x{size}/apps/skarvet.png"), "rb") as f:
                header = f.read(24)
            self.assertEqual(header[:8], b"\x89PNG\r\n\x1a\n")
            self.assertEqual(struct.unpack(">II", header[16:24]), (size, size), f"{size} px icon")
        with open(os.path.join(icons, "scalable/apps/skarvet.svg"), encoding="utf-8") as f:
            self.assertIn('viewBox="0 0 48 48"', f.read())


class ExecArguments(unittest.TestCase):
    """The reader above, on the Desktop Entry rules' own cases, so that a
    wrong reader cannot pass a wrong entry."""

    def test_quoting(self):
        self.assertEqual(exec_arguments('env A=1 "/a b/c\\"d\\$e\\`f\\\\g 5%%" 100%%'),
                         ["env", "A=1", '/a b/c"d$e`f\\g 5%', "100%"])
        with self.assertRaises(ValueError):
            exec_arguments('"/a b')
        with self.assertRaises(ValueError):
            exec_arguments("skarvet %f")


if __name__ == "__main__":
    unittest.main(verbosity=2)
