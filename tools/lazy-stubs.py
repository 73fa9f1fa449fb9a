#!/usr/bin/env python3
"""Writes the program's stand-ins for the functions of libraries it loads when first called.

    lazy-stubs.py OUT.S OUT.cpp LIBRARY.so...

For every function a library exports (its default version), OUT.S defines a function of the
same name that jumps through a slot; the slot first points at a binder that loads the library
(by its soname), finds the function, puts it in the slot and jumps there, every argument
register as the caller left it. Linked into a program before the libraries themselves, with
--as-needed, the stand-ins take the libraries' place in its list of needed ones, so a run that
calls none of their functions never loads them. x86-64 only.
"""
import subprocess
import sys


def soname(library):
    dynamic = subprocess.run(["readelf", "-d", "-W", library], check=True, capture_output=True, text=True).stdout
    for line in dynamic.splitlines():
        if "(SONAME)" in line:
            return line.split("[", 1)[1].rstrip("]")
    sys.exit(f"lazy-stubs.py: {library} has no soname")


def functions(library):
    table = subprocess.run(["nm", "-D", "--defined-only", library], check=True, capture_output=True, text=True).stdout
    names = []
    for line in table.splitlines():
        fields = line.split()
        if len(fields) != 3 or fields[1] not in ("T", "W", "i"):
            continue
        name = fields[2]
        if "@" in name:
            # Only a symbol's default version is what a new link binds to.
            name, at, _ = name.partition("@@")
            if not at:
                continue
        if name.startswith("_") or name.startswith("Java_"):
            continue
        names.append(name)
    return sorted(set(names))


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    assembly_path, table_path, libraries = sys.argv[1], sys.argv[2], sys.argv[3:]
    sonames, entries, seen = [], [], set()
    for library in libraries:
        index = len(sonames)
        sonames.append(soname(library))
        for name in functions(library):
            if name not in seen:  # the first library that exports a name serves it
                seen.add(name)
                entries.append((name, index))

    lines = ["// Written by tools/lazy-stubs.py: do not edit.", ".text"]
    for number, (name, _) in enumerate(entries):
        lines += [
            f".globl {name}", f".type {name}, @function", f"{name}:",
            f"  jmp *kelvora_lazy_slots+{8 * number}(%rip)", f".size {name}, .-{name}",
            f"kelvora_lazy_first_{number}:", f"  pushq ${number}", "  jmp kelvora_lazy_common",
        ]
    # The binder is an ordinary function: the argument registers (vectors and the count of
    # vector arguments a variadic call leaves in %rax among them) are kept around it.
    lines += [
        "kelvora_lazy_common:",
        "  pushq %rdi", "  pushq %rsi", "  pushq %rdx", "  pushq %rcx", "  pushq %r8", "  pushq %r9",
        "  pushq %rax", "  subq $136, %rsp",
    ]
    lines += [f"  movdqu %xmm{i}, {16 * i}(%rsp)" for i in range(8)]
    lines += ["  movq 192(%rsp), %rdi", "  call kelvora_lazy_bind", "  movq %rax, %r11"]
    lines += [f"  movdqu {16 * i}(%rsp), %xmm{i}" for i in range(8)]
    lines += [
        "  addq $136, %rsp",
        "  popq %rax", "  popq %r9", "  popq %r8", "  popq %rcx", "  popq %rdx", "  popq %rsi", "  popq %rdi",
        "  addq $8, %rsp", "  jmp *%r11",
        ".data", ".balign 8", ".globl kelvora_lazy_slots", "kelvora_lazy_slots:",
    ]
    lines += [f"  .quad kelvora_lazy_first_{number}" for number in range(len(entries))]
    lines.append('.section .note.GNU-stack,"",@progbits')
    with open(assembly_path, "w") as out:
        out.write("\n".join(lines) + "\n")

    with open(table_path, "w") as out:
        out.write("// Written by tools/lazy-stubs.py: do not edit.\n#include <cstddef>\n\n")
        out.write('extern "C" {\n')
        out.write(f"extern const std::size_t kelvora_lazy_count = {len(entries)};\n")
        out.write("extern const char* const kelvora_lazy_sonames[] = {\n")
        out.writelines(f'    "{name}",\n' for name in sonames)
        out.write("};\nextern const char* const kelvora_lazy_names[] = {\n")
        out.writelines(f'    "{name}",\n' for name, _ in entries)
        out.write("};\nextern const unsigned char kelvora_lazy_library[] = {\n")
        out.writelines(f"    {index},\n" for _, index in entries)
        out.write("};\n}\n")


if __name__ == "__main__":
    main()
