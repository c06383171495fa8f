#!/usr/bin/env python3
"""Checks Vorn's installation CAB, as scripts/cab.sh makes it for any build.

    python3 tests/cab/check_cab.py CAB [EXE]

The CAB holds exactly the files its _setup.xml names (and _setup.xml); the
document is well-formed, its counts agree with what it lists, every path in
it starts with one of the phone's folder macros (translated at install), and
it installs vorn.exe into %CE1%\\Vorn with the two Start menu shortcuts to
it, "Vorn" and "Vorn Settings" (#CONFIG), and nothing else. With EXE, the
program in the CAB is that file. Prints a line per check; exit code 0 when
all hold, 1 when one does not, 2 on a usage error.
"""
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

MACRO = re.compile(r"^%CE\d+%(\\|$)")
# What the document must install: phone paths as the document writes them.
PROGRAM = "%CE1%\\Vorn\\vorn.exe"
SHORTCUTS = {
    "%CE11%\\Vorn.lnk": (PROGRAM, ""),
    "%CE11%\\Vorn Settings.lnk": (PROGRAM, "#CONFIG"),
}
COUNTS = ("NumDirs", "NumFiles", "NumRegKeys", "NumRegVals", "NumShortcuts")

failures = []


def check(holds, what):
    print(("ok   " if holds else "FAIL ") + what)
    if not holds:
        failures.append(what)
    return holds


def shortcut_target(value):
    """'"target" args' or a bare target, as (target, args)."""
    if value.startswith('"'):
        close = value.find('"', 1)
        if close < 0:
            return value, None
        return value[1:close], value[close + 1:].strip()
    return value, ""


def read_document(root):
    """Counts, folders made, files extracted and shortcuts of the document."""
    doc = {"counts": {}, "parms": {}, "made": [], "files": {}, "shortcuts": {},
           "paths": [], "other": []}
    for part in root:
        kind = part.get("type")
        if part.tag != "characteristic":
            doc["other"].append(part.tag)
        elif kind == "Install":
            for parm in part:
                name, value = parm.get("name"), parm.get("value")
                doc["parms"][name] = value
                if name in COUNTS:
                    doc["counts"][name] = value
                if name == "InstallDir":
                    doc["paths"].append((value, parm.get("translation")))
        elif kind == "FileOperation":
            for folder in part:
                path = folder.get("type", "")
                doc["paths"].append((path, folder.get("translation")))
                for item in folder:
                    step = item.get("type")
                    if step == "MakeDir":
                        doc["made"].append(path)
                        continue
                    target = path + "\\" + step
                    for operation in item:
                        sources = [p for p in operation if p.get("name") == "Source"]
                        source = sources[0] if len(sources) == 1 else None
                        if operation.get("type") == "Extract" and source is not None:
                            doc["files"][target] = source.get("value")
                        elif operation.get("type") == "Shortcut" and source is not None:
                            doc["shortcuts"][target] = source.get("value")
                            doc["paths"].append((shortcut_target(source.get("value"))[0],
                                                 source.get("translation")))
                        else:
                            doc["other"].append(target + ": " + str(operation.get("type")))
        else:
            doc["other"].append(str(kind))
    return doc


def main(argv):
    if len(argv) not in (2, 3):
        print("usage: " + __doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    cab = argv[1]
    exe = argv[2] if len(argv) == 3 else None
    with tempfile.TemporaryDirectory() as work:
        run = subprocess.run(["gcab", "-x", "-C", work, cab], capture_output=True, text=True)
        if not check(run.returncode == 0, "gcab reads %s%s" % (cab, run.stderr.strip() and
                                                                ": " + run.stderr.strip())):
            return 1
        listed = sorted(os.path.relpath(os.path.join(d, f), work)
                        for d, _, files in os.walk(work) for f in files)
        print("     the CAB holds: " + ", ".join(listed))
        if not check("_setup.xml" in listed, "the CAB holds _setup.xml"):
            return 1
        try:
            root = ET.parse(os.path.join(work, "_setup.xml")).getroot()
        except ET.ParseError as error:
            check(False, "_setup.xml is well-formed XML (%s)" % error)
            return 1
        check(True, "_setup.xml is well-formed XML")
        check(root.tag == "wap-provisioningdoc", "the document is a wap-provisioningdoc")
        doc = read_document(root)
        check(not doc["other"], "the document holds only Install and FileOperation steps "
              "(MakeDir, Extract, Shortcut)" + (": also %s" % doc["other"] if doc["other"] else ""))
        parms = doc["parms"]
        check(parms.get("InstallPhase") == "install", "InstallPhase is install")
        check(parms.get("AppName") == "Vorn", "AppName is Vorn (%s)" % parms.get("AppName"))
        check(parms.get("InstallDir") == "%CE1%\\Vorn", "InstallDir is %%CE1%%\\Vorn (%s)"
              % parms.get("InstallDir"))

        listed_counts = {"NumDirs": len(doc["made"]), "NumFiles": len(doc["files"]),
                         "NumRegKeys": 0, "NumRegVals": 0, "NumShortcuts": len(doc["shortcuts"])}
        for name in COUNTS:
            given = doc["counts"].get(name)
            check(given == str(listed_counts[name]), "%s says %s, the document lists %d"
                  % (name, given, listed_counts[name]))

        for path, translation in doc["paths"]:
            check(bool(MACRO.match(path or "")) and translation == "install",
                  "the path %s starts with a folder macro, translated at install" % path)

        named = sorted(doc["files"].values())
        in_cab = sorted(f for f in listed if f != "_setup.xml")
        check(sorted(n.lower() for n in named) == sorted(f.lower() for f in in_cab),
              "the CAB holds exactly the files the document names (named %s, held %s)"
              % (named, in_cab))

        check(list(doc["files"]) == [PROGRAM], "the document installs %s and no other file (%s)"
              % (PROGRAM, list(doc["files"])))
        check(sorted(doc["made"]) == sorted({p.rsplit("\\", 1)[0] for p in
                                              list(doc["files"]) + list(doc["shortcuts"])}),
              "it makes the folders of what it installs (%s)" % doc["made"])
        check(set(doc["shortcuts"]) == set(SHORTCUTS), "its shortcuts are %s (%s)"
              % (sorted(SHORTCUTS), sorted(doc["shortcuts"])))
        for path, value in sorted(doc["shortcuts"].items()):
            target, args = shortcut_target(value)
            check(target in doc["files"], "%s starts %s, a file the document installs"
                  % (path, target))
            if path in SHORTCUTS:
                check((target, args) == SHORTCUTS[path], "%s starts %s with %r (%r)"
                      % (path, SHORTCUTS[path][0], SHORTCUTS[path][1], args))

        if exe is not None and PROGRAM in doc["files"]:
            member = doc["files"][PROGRAM]
            path = os.path.join(work, member)
            with open(exe, "rb") as wanted:
                same = os.path.isfile(path) and open(path, "rb").read() == wanted.read()
            check(same, "the CAB's %s is %s" % (member, exe))

    print("%s: %s" % (cab, "PASS" if not failures else "FAIL (%d)" % len(failures)))
    return 0 if not failures else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
