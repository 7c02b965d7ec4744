#!/usr/bin/env python3
"""The ARM Tollamy.dll as a Windows Mobile 5 device's loader and Today host would take it, read
with the toolchain's own objdump and nm (Debian's binutils cannot read these files):

  dll-check.py --toolchain DIR --dll DLL pe
      machine 0x1c0, a DLL, subsystem 9 (Windows CE GUI) version 5.01; exports exactly the
      ordinals 240 and 241, with no names; imports from COREDLL.dll, COMMCTRL.dll and
      AYGSHELL.dll only, each function one that the toolchain's import library for that DLL
      provides (the list is printed), the handheld's own calls among them.
  dll-check.py --toolchain DIR --dll DLL resources --rc RC --desktop-windres WINDRES
      the toolchain's windres makes the same .res bytes from RC as MinGW-w64's, the DLL holds
      exactly that .res's resources, and among them string 1 "Tollamy", icon group 101 with one
      32 x 32 image and dialog 500.

Exit status 0 when everything holds, 1 with a FAIL line for each thing that does not, 77 when
the desktop windres is missing."""
import argparse
import os
import re
import struct
import subprocess
import sys
import tempfile

RT_ICON, RT_DIALOG, RT_STRING, RT_GROUP_ICON = 3, 5, 6, 14
# What the Today host loads: the DLLs of the device and the calls that only the handheld build
# makes (the desktop's are ShellExecuteExW, rand_s, CompareStringOrdinal, its own SHInitDialog).
ALLOWED_DLLS = ("COREDLL.dll", "COMMCTRL.dll", "AYGSHELL.dll")
HANDHELD_CALLS = (("AYGSHELL.dll", "SHInitDialog"), ("COREDLL.dll", "ShellExecuteEx"),
                  ("COREDLL.dll", "Random"), ("COREDLL.dll", "_wcsicmp"),
                  ("COMMCTRL.dll", "InitCommonControlsEx"))
# The defines with which each build compiles the resource script.
DESKTOP_RC_DEFINES = ["-DUNICODE", "-D_UNICODE", "-DWIN32_LEAN_AND_MEAN", "-DNOMINMAX",
                      "-D_WIN32_WINNT=0x0601", "-DWINVER=0x0601", "-D_WIN32_IE=0x0600"]
HANDHELD_RC_DEFINES = ["-D_WIN32_WCE=0x501", "-DUNICODE", "-D_UNICODE", "-DWIN32_LEAN_AND_MEAN",
                       "-DNOMINMAX", "-D_WIN32_IE=0x0600"]

failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message)


def tool(toolchain, name):
    return os.path.join(toolchain, "bin", "arm-mingw32ce-" + name)


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def check_pe(args):
    dump = run(tool(args.toolchain, "objdump"), "-p", args.dll)
    # The machine field of the file header, read from the file itself.
    with open(args.dll, "rb") as f:
        data = f.read(4096)
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    machine = struct.unpack_from("<H", data, pe + 4)[0] if data[pe:pe + 4] == b"PE\0\0" else None
    if machine != 0x1C0:
        fail("machine %s, not 0x1c0 (ARM)" % (hex(machine) if machine is not None else "unknown"))
    if "file format pei-arm-wince-little" not in dump:
        fail("objdump does not read it as pei-arm-wince-little")

    def field(name):
        m = re.search(r"^%s\s+(\S+)" % name, dump, re.M)
        return int(m.group(1), 16) if m else None

    if (field("Characteristics") or 0) & 0x2000 == 0:
        fail("the file is not a DLL (Characteristics %s)" % hex(field("Characteristics") or 0))
    version = (field("MajorSubsystemVersion"), field("MinorSubsystemVersion"))
    if field("Subsystem") != 9 or version != (5, 1):
        fail("subsystem %s version %s.%s, not 9 (Windows CE GUI) version 5.01"
             % (field("Subsystem"), version[0], version[1]))

    ordinals = sorted(int(o) for o in re.findall(r"\+base\[\s*(\d+)\]", dump))
    names = re.search(r"\[Name Pointer/Ordinal\] Table\s+([0-9a-f]+)", dump)
    named = re.search(r"\[Ordinal/Name Pointer\] Table\n((?:\s*\[.*\n)*)", dump)
    if ordinals != [240, 241]:
        fail("exports the ordinals %s, not exactly 240 and 241" % ordinals)
    if not names or int(names.group(1), 16) != 0 or (named and named.group(1).strip()):
        fail("exports names")

    imports = {}
    for block in re.split(r"\n\s*DLL Name: ", dump)[1:]:
        dll, _, rest = block.partition("\n")
        functions = []
        for line in rest.split("\n")[1:]:
            m = re.match(r"\s+[0-9a-f]+\s+\d+\s+(\S+)$", line)
            if not m:
                break
            functions.append(m.group(1))
        imports[dll.strip()] = functions
    lib_dir = os.path.join(args.toolchain, "arm-mingw32ce", "lib")
    for dll, functions in sorted(imports.items()):
        print("%s (%d): %s" % (dll, len(functions), " ".join(functions)))
        if dll not in ALLOWED_DLLS:
            fail("imports from %s" % dll)
            continue
        symbols = run(tool(args.toolchain, "nm"),
                      os.path.join(lib_dir, "lib%s.a" % dll[:-4].lower()))
        provided = set(re.findall(r" I __imp_(\S+)$", symbols, re.M))
        for name in functions:
            if name not in provided:
                fail("%s is not in the import library of %s" % (name, dll))
    for dll, name in HANDHELD_CALLS:
        if name not in imports.get(dll, []):
            fail("%s is not imported from %s" % (name, dll))


def resource_id(data, at):
    """A type or name in a .res header: (value, next offset); a number or a text."""
    if struct.unpack_from("<H", data, at)[0] == 0xFFFF:
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    end = at
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def read_res(data):
    """The resources of a .res file: {(type, name, language): bytes}."""
    resources = {}
    at = 0
    while at + 8 <= len(data):
        size, header = struct.unpack_from("<II", data, at)
        kind, p = resource_id(data, at + 8)
        name, p = resource_id(data, p)
        p = (p + 3) & ~3
        language = struct.unpack_from("<H", data, p + 6)[0]
        if size != 0 or kind != 0:
            resources[(kind, name, language)] = data[at + header:at + header + size]
        at = (at + header + size + 3) & ~3
    return resources


def read_rsrc(toolchain, dll):
    """The resources of the DLL's .rsrc section: {(type, name, language): bytes}."""
    dump = run(tool(toolchain, "objdump"), "-p", dll)
    image_base = int(re.search(r"^ImageBase\s+([0-9a-f]+)", dump, re.M).group(1), 16)
    section = bytearray()
    base = None
    for line in run(tool(toolchain, "objdump"), "-s", "-j", ".rsrc", dll).splitlines():
        m = re.match(r" ([0-9a-f]{8}) ((?:[0-9a-f]{2,8} ){1,4})", line + " ")
        if m:
            if base is None:
                base = int(m.group(1), 16)
            section += bytes.fromhex(m.group(2).replace(" ", ""))
    rva = base - image_base

    def entry_id(value):
        if value & 0x80000000:
            at = value & 0x7FFFFFFF
            length = struct.unpack_from("<H", section, at)[0]
            return bytes(section[at + 2:at + 2 + 2 * length]).decode("utf-16-le")
        return value

    def walk(at, path, out):
        named, ids = struct.unpack_from("<HH", section, at + 12)
        for i in range(named + ids):
            name, offset = struct.unpack_from("<II", section, at + 16 + 8 * i)
            key = path + (entry_id(name),)
            if offset & 0x80000000:
                walk(offset & 0x7FFFFFFF, key, out)
            else:
                data_rva, size = struct.unpack_from("<II", section, offset)
                out[key] = bytes(section[data_rva - rva:data_rva - rva + size])
        return out

    return walk(0, (), {})


def check_resources(args):
    if not args.desktop_windres or not os.access(args.desktop_windres, os.X_OK):
        print("skipped: no MinGW-w64 windres (x86_64-w64-mingw32-windres) to compare with")
        sys.exit(77)
    rc_dir = os.path.dirname(os.path.abspath(args.rc))
    with tempfile.TemporaryDirectory() as work:
        made = {}
        for name, windres, defines in (("desktop", args.desktop_windres, DESKTOP_RC_DEFINES),
                                       ("handheld", tool(args.toolchain, "windres"),
                                        HANDHELD_RC_DEFINES)):
            out = os.path.join(work, name + ".res")
            run(windres, *defines, "-I", rc_dir, "-O", "res", args.rc, out)
            with open(out, "rb") as f:
                made[name] = f.read()
    if made["desktop"] != made["handheld"]:
        fail("the two windres make different .res files (%d and %d bytes)"
             % (len(made["desktop"]), len(made["handheld"])))
    expected = read_res(made["desktop"])
    got = read_rsrc(args.toolchain, args.dll)
    print("resources: %s" % ", ".join("type %s name %s language %s (%d bytes)" % (k + (len(v),))
                                      for k, v in sorted(got.items(), key=str)))
    if got != expected:
        fail("the DLL's resources are not the desktop .res's: %s against %s"
             % (sorted(got, key=str), sorted(expected, key=str)))

    def one(kind, name):
        found = [v for (k, n, _), v in got.items() if k == kind and n == name]
        return found[0] if len(found) == 1 else None

    # String 1 is the second of the 16 counted strings in block 1.
    block = one(RT_STRING, 1)
    strings = []
    at = 0
    while block is not None and at + 2 <= len(block):
        length = struct.unpack_from("<H", block, at)[0]
        strings.append(block[at + 2:at + 2 + 2 * length].decode("utf-16-le"))
        at += 2 + 2 * length
    if len(strings) < 2 or strings[1] != "Tollamy":
        fail("string 1 is %r, not \"Tollamy\"" % (strings[1] if len(strings) > 1 else None))
    group = one(RT_GROUP_ICON, 101)
    if group is None or struct.unpack_from("<HHH", group, 0) != (0, 1, 1):
        fail("icon group 101 is not one icon with one image")
    else:
        width, height, _, _, _, _, size, image_id = struct.unpack_from("<BBBBHHIH", group, 6)
        image = one(RT_ICON, image_id)
        header = struct.unpack_from("<Iii", image, 0) if image and len(image) >= 12 else None
        if (width, height) != (32, 32) or image is None or len(image) != size or \
                header != (40, 32, 64):
            fail("icon group 101's image is not one 32 x 32 icon image (%dx%d, header %s)"
                 % (width, height, header))
    dialog = one(RT_DIALOG, 500)
    if dialog is None or struct.unpack_from("<IIH", dialog, 0) != (0x80C800C0, 0, 13):
        fail("dialog 500 is not the options dialog's template with its 13 controls")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--toolchain", required=True)
    parser.add_argument("--dll", required=True)
    parser.add_argument("--rc")
    parser.add_argument("--desktop-windres")
    parser.add_argument("part", choices=("pe", "resources"))
    args = parser.parse_args()
    if args.part == "pe":
        check_pe(args)
    else:
        check_resources(args)
    if failures:
        sys.exit(1)
    print("%s: %s as expected" % (os.path.basename(args.dll), args.part))


if __name__ == "__main__":
    main()
