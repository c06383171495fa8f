#!/usr/bin/env python3
"""Rewrites the ARM assembly of an ELF compiler for the phone's COFF assembler.

    python3 elf_to_ce.py IN.s OUT.s

It rewrites only what the two assemblers spell differently, and fails, naming
the line, on any directive it does not know: a line passed through unread
could assemble into something else, or into Thumb code the phone's ARMv4T
CPU does not run.
- ELF-only directives (.eabi_attribute, .fpu, unwind notes, .type, .size,
  .hidden, .ident) say nothing the phone's image keeps: dropped.
- A section gets its PE name and COFF flags: .text.N -> .text$N "x",
  .rodata.N -> .rdata$N "dr", .data.N -> .data$N "dw", .bss.N -> .bss$N "bw".
  The phone's linker script gathers NAME$PART into NAME, and each part stays
  a section of its own for --gc-sections. ELF flag words after the flags
  string (%progbits, %nobits, entity sizes) are dropped.
- A COMDAT group becomes ".linkonce discard"; its weak definitions become
  global ones, since the linker keeps one copy of the whole section.
- Static constructors and destructors (.ctors, .dtors, .init_array,
  .fini_array) fail: the phone program's entry runs none.
- Thumb (.thumb, .code 16, .thumb_func) fails: ARM state only.
"""
import re
import sys

# Passed as they are: both assemblers read them alike.
PLAIN = {
    ".align", ".p2align", ".arch", ".arm", ".code", ".syntax", ".file", ".text", ".data",
    ".global", ".globl", ".ascii", ".asciz", ".string", ".space", ".zero", ".word", ".long",
    ".short", ".hword", ".2byte", ".4byte", ".byte", ".set", ".equ", ".ltorg", ".pool",
}
DROPPED = {
    ".eabi_attribute", ".fpu", ".fnstart", ".fnend", ".cantunwind", ".personality",
    ".handlerdata", ".type", ".size", ".hidden", ".ident", ".cpu",
}
THUMB = {".thumb", ".thumb_func", ".force_thumb", ".thumb_set"}
KINDS = (
    (".text", ".text", "x"),
    (".rodata", ".rdata", "dr"),
    (".data.rel.ro", ".rdata", "dr"),
    (".data", ".data", "dw"),
    (".bss", ".bss", "bw"),
)
STATIC_INIT = (".ctors", ".dtors", ".init_array", ".fini_array")

SECTION = re.compile(r'^\s*\.section\s+([^,\s]+)\s*(?:,\s*"([^"]*)"\s*(.*))?$')


def fail(where, text, why):
    sys.exit("elf_to_ce: %s: %s: %s" % (where, why, text.strip()))


def section(where, line):
    """The COFF form of a .section line, and whether it opens a COMDAT group."""
    match = SECTION.match(line)
    if not match:
        fail(where, line, "a section line it cannot read")
    name, flags, rest = match.group(1), match.group(2) or "", match.group(3) or ""
    if name.startswith(STATIC_INIT):
        fail(where, line, "a static constructor or destructor, which the phone program never runs")
    if name == ".note.GNU-stack":
        return None, False
    comdat = "G" in flags
    if comdat and not rest.rstrip().endswith("comdat"):
        fail(where, line, "a section group that is not a COMDAT group")
    for elf, coff, coff_flags in KINDS:
        if name == elf or name.startswith(elf + "."):
            part = name[len(elf) + 1:]
            return '\t.section\t%s%s,"%s"' % (coff, "$" + part if part else "", coff_flags), comdat
    fail(where, line, "a section it does not know")


def convert(lines, source):
    out = []
    comdat = False
    for number, line in enumerate(lines, 1):
        where = "%s:%d" % (source, number)
        body = line.split("@", 1)[0].strip()
        if not body.startswith(".") or body.endswith(":"):
            out.append(line)  # an instruction, a label, a comment or nothing
            continue
        word = body.split(None, 1)[0]
        if word in THUMB or (word == ".code" and body.split()[1:] != ["32"]):
            fail(where, line, "Thumb code, which the phone's ARMv4T program must not hold")
        if word == ".section":
            coff, comdat = section(where, line)
            if coff:
                out.append(coff + "\n")
                if comdat:
                    out.append("\t.linkonce discard\n")
        elif word in (".text", ".data"):
            comdat = False
            out.append(line)
        elif word == ".weak":
            if not comdat:
                fail(where, line, "a weak symbol outside a COMDAT group")
            out.append(line.replace(".weak", ".global", 1))
        elif word in DROPPED:
            continue
        elif word in PLAIN:
            out.append(line)
        else:
            fail(where, line, "a directive it does not know")
    return out


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: elf_to_ce.py IN.s OUT.s")
    with open(sys.argv[1]) as f:
        lines = f.readlines()
    out = convert(lines, sys.argv[1])
    with open(sys.argv[2], "w") as f:
        f.writelines(out)


main()
